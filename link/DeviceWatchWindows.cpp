// Serial port devices on Windows: what the SetupAPI tells of each COM port, and a watch of them
// by the system's own notifications.
//
// Windows tells of COM ports that arrive or leave through the device interface notifications
// of the COM-port class (CM_Register_Notification, looked up at run time: Wine may lack it), and
// every serial driver names its ports under HARDWARE\DEVICEMAP\SERIALCOMM, which is watched too
// (RegNotifyChangeKeyValue): Wine sends no device notifications. Both only set one event, the
// watch's descriptor; the ports are looked at again only then. No device identity is kept: a
// port name is taken as one device.
#include <windows.h>
// After windows.h, which these need.
#include <devguid.h>
#include <setupapi.h>
// A device interface class, defined here rather than through initguid.h.
#include <cfgmgr32.h>

#include <algorithm>
#include <memory>

#include "link/DeviceWatch.h"

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size,
                                                                nullptr, 0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), static_cast<int>(utf8.size()),
                      nullptr, nullptr);
  return utf8;
}

// "COM3" of "\\.\COM3"; the name itself for anything else.
std::wstring PortNameOf(const std::string& path) {
  const std::string name = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
  return std::wstring(name.begin(), name.end());
}

// Whether Windows has a device under the DOS name of `path`: one it names, or one that opens
// for no access at all (Wine's dosdevices links are not all named), or that another program
// holds.
bool Exists(const std::string& path) {
  wchar_t target[1024];
  if (QueryDosDeviceW(PortNameOf(path).c_str(), target, 1024) != 0) return true;
  const std::wstring device = L"\\\\.\\" + PortNameOf(path);
  HANDLE handle = CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return true;
  }
  const DWORD error = GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

std::wstring Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t buffer[512] = {};
  if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                         reinterpret_cast<BYTE*>(buffer), sizeof buffer - 2,
                                         nullptr))
    return {};
  return buffer;
}

std::wstring PortNameValue(HDEVINFO set, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  wchar_t buffer[64] = {};
  DWORD size = sizeof buffer - 2, type = 0;
  const bool read = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                     reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  return read && type == REG_SZ ? buffer : L"";
}

// "USB\VID_2341&PID_0043\85734323": vendor, product and, where the device has one, its serial
// number (Windows makes up an instance with "&" in it for a device without one).
std::optional<TDeviceFacts> UsbFacts(const std::wstring& instance) {
  const std::string id = Utf8(instance);
  if (id.rfind("USB\\VID_", 0) != 0 || id.size() < 21 || id.compare(12, 5, "&PID_") != 0)
    return std::nullopt;
  TDeviceFacts facts{id.substr(8, 4), id.substr(17, 4), {}, {}};
  const auto slash = id.find('\\', 21);
  if (slash != std::string::npos && id.find('&', slash) == std::string::npos)
    facts.Serial = id.substr(slash + 1);
  return facts;
}

}  // namespace

std::optional<TDeviceIdentity> DeviceIdentityOf(const std::string& path) {
  if (!Exists(path)) return std::nullopt;
  return TDeviceIdentity{};
}

std::optional<TDeviceFacts> DescribeUsbDevice(const std::string& path) {
  if (auto port = DescribePort(path)) return port->Usb;
  return std::nullopt;
}

std::optional<TPortFacts> DescribePort(const std::string& path) {
  if (!Exists(path)) return std::nullopt;
  TPortFacts facts;
  const std::wstring name = PortNameOf(path);
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return facts;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    if (_wcsicmp(PortNameValue(set, device).c_str(), name.c_str()) != 0) continue;
    facts.Name = Utf8(Property(set, device, SPDRP_FRIENDLYNAME));
    wchar_t instance[512] = {};
    if (SetupDiGetDeviceInstanceIdW(set, &device, instance, 511, nullptr))
      facts.Usb = UsbFacts(instance);
    break;
  }
  SetupDiDestroyDeviceInfoList(set);
  return facts;
}

namespace {

// GUID_DEVINTERFACE_COMPORT.
constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

using TRegister = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK,
                                     PHCMNOTIFICATION);
using TUnregister = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

DWORD CALLBACK OnDeviceChange(HCMNOTIFICATION, PVOID event, CM_NOTIFY_ACTION, PCM_NOTIFY_EVENT_DATA,
                              DWORD) {
  SetEvent(static_cast<HANDLE>(event));
  return ERROR_SUCCESS;
}

}  // namespace

struct TDeviceWatch::TState {
  std::vector<std::string> Paths;
  std::vector<bool> Present;
  HANDLE Changed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HKEY Names = nullptr;  // HARDWARE\DEVICEMAP\SERIALCOMM
  HMODULE Manager = LoadLibraryW(L"cfgmgr32.dll");
  HCMNOTIFICATION Notification = nullptr;

  // The key tells of one change at a time: asked again after each.
  void WatchNames() {
    if (Names)
      RegNotifyChangeKeyValue(Names, FALSE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                              Changed, TRUE);
  }

  TState() {
    // The key exists once a serial driver runs; made empty otherwise, so that it can be watched.
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr,
                    REG_OPTION_VOLATILE, KEY_NOTIFY | KEY_QUERY_VALUE, nullptr, &Names, nullptr);
    if (!Names)
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                    KEY_NOTIFY | KEY_QUERY_VALUE, &Names);
    WatchNames();
    const auto subscribe = Manager ? reinterpret_cast<TRegister>(reinterpret_cast<void*>(
                                         GetProcAddress(Manager, "CM_Register_Notification")))
                                   : nullptr;
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    filter.u.DeviceInterface.ClassGuid = kComPortInterface;
    if (subscribe && subscribe(&filter, Changed, OnDeviceChange, &Notification) != CR_SUCCESS)
      Notification = nullptr;
  }
  ~TState() {
    const auto unsubscribe = Manager ? reinterpret_cast<TUnregister>(reinterpret_cast<void*>(
                                           GetProcAddress(Manager, "CM_Unregister_Notification")))
                                     : nullptr;
    if (Notification && unsubscribe) unsubscribe(Notification);
    if (Manager) FreeLibrary(Manager);
    if (Names) RegCloseKey(Names);
    CloseHandle(Changed);
  }
  TState(const TState&) = delete;
  TState& operator=(const TState&) = delete;
};

TDeviceWatch::TDeviceWatch(std::vector<std::string> paths) : State(std::make_unique<TState>()) {
  State->Paths = std::move(paths);
  for (const auto& path : State->Paths) State->Present.push_back(Exists(path));
}

TDeviceWatch::~TDeviceWatch() = default;

const std::vector<std::string>& TDeviceWatch::Paths() const { return State->Paths; }
// The event's handle: Windows keeps handles within 32 bits, for 32-bit programs' sake.
int TDeviceWatch::Descriptor() const { return HandleToLong(State->Changed); }
bool TDeviceWatch::UsesUdev() const { return false; }
bool TDeviceWatch::Present(std::size_t index) const { return State->Present.at(index); }

std::vector<TDeviceWatch::TEvent> TDeviceWatch::TakeEvents() {
  // Asked again before looking: a change while looking is not missed.
  ResetEvent(State->Changed);
  State->WatchNames();
  std::vector<TEvent> events;
  for (std::size_t index = 0; index < State->Paths.size(); ++index) {
    const bool now = Exists(State->Paths[index]);
    if (now != State->Present[index])
      events.push_back({index, now ? TChange::Appeared : TChange::Gone});
    State->Present[index] = now;
  }
  return events;
}

bool TDeviceWatch::Wait(std::chrono::steady_clock::time_point deadline) const {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
  return WaitForSingleObject(State->Changed, static_cast<DWORD>(std::max<long long>(left, 0))) ==
         WAIT_OBJECT_0;
}
