// The station's ports on Windows: the system's device notifications in (link/DeviceWatch.h),
// units out, every handled unit held until it leaves.
//
// Windows keeps a COM port to the one open that made it, so holding that open is the lock: from
// the probe until the unit leaves, a copy of the link's handle keeps the port through the link's
// own closes, and another station or the window gets the "busy" text. The unit leaves when its
// port disappears (a USB unit unplugged) or a new device comes there.
#include <windows.h>

#include <algorithm>
#include <chrono>

#include "link/DeviceWatch.h"
#include "link/SerialPort.h"
#include "link/Text.h"
#include "station/Arrivals.h"
#include "station/TerminalPerson.h"
#include "transfer/UnitSession.h"

namespace {

using namespace std::chrono_literals;

// How often a busy port is tried again: Windows tells nobody that a program let a port go.
constexpr std::chrono::milliseconds kBusyRetry = 1s;

enum class TPortPhase {
  Absent,  // no device, or one that could not be opened: awaiting one that appears
  ToProbe,
  Silent,  // opened but did not answer: left alone until it goes and comes back
  Busy,    // another program holds it: tried again a second later
  Held,    // a unit handled: held until it leaves
};

HANDLE HandleOf(int waitable) { return LongToHandle(waitable); }

}  // namespace

struct TArrivals::TState {
  struct TPort {
    std::string Name, Path;
    TPortPhase Phase = TPortPhase::Absent;
    HANDLE Held = nullptr;               // the unit's port, kept from the link's own open
    TPortHandle HeldFrom = kClosedPort;  // the link's handle it was copied from
    std::string BusyText;                // what was said when it was last found busy
  };

  TUnitSession& Unit;
  TTerminalPerson& Person;
  int Stop;
  std::function<bool()> Enough;
  std::chrono::milliseconds EnoughEvery{-1};
  std::function<void(const std::string&)> Left;
  std::function<void(const std::string&, const std::string&)> PortFailed;
  std::vector<TPort> Ports;
  std::unique_ptr<TDeviceWatch> Watch;

  TState(TUnitSession& unit, TTerminalPerson& person, int stop)
      : Unit(unit), Person(person), Stop(stop) {}
  ~TState() {
    for (TPort& port : Ports) Release(port);
  }

  void Release(TPort& port) {
    if (port.Held) CloseHandle(port.Held);
    port.Held = nullptr;
    port.HeldFrom = kClosedPort;
  }

  void Leave(TPort& port) {
    Release(port);
    if (Left)
      Left(port.Name);
    else
      Person.Say(port.Name + ": блок отключён");
    port.Phase = DeviceIdentityOf(port.Path) ? TPortPhase::ToProbe : TPortPhase::Absent;
  }

  void Apply(const TDeviceWatch::TEvent& event) {
    TPort& port = Ports[event.Index];
    switch (event.Change) {
      case TDeviceWatch::TChange::Gone:
        if (port.Phase == TPortPhase::Held)
          Leave(port);
        else
          port.Phase = TPortPhase::Absent;
        break;
      case TDeviceWatch::TChange::Appeared:
        if (port.Phase == TPortPhase::Held) Leave(port);
        port.Phase = TPortPhase::ToProbe;
        break;
      case TDeviceWatch::TChange::Released:
        if (port.Phase == TPortPhase::Busy) port.Phase = TPortPhase::ToProbe;
        break;
    }
  }

  void TakeEvents(const TPort* except = nullptr) {
    for (const auto& event : Watch->TakeEvents())
      if (&Ports[event.Index] != except) Apply(event);
  }

  // Opens `port` on the form's link; false (its phase set) when that cannot be done now.
  bool Open(TPort& port) {
    const std::string failure = Unit.Link.OpenPort(port.Name);
    if (failure.empty()) return true;
    Unit.Link.ClosePort();
    const TSystemError error = Unit.Link.LastError();
    if (SerialPort::IsBusy(error)) {
      if (failure != port.BusyText) {
        Person.Say(failure);
        if (PortFailed) PortFailed(port.Name, failure);
      }
      port.BusyText = failure;
      port.Phase = TPortPhase::Busy;
      return false;
    }
    port.Phase = TPortPhase::Absent;
    return false;
  }

  // A copy of the link's handle: the port stays open through every close of the link until the
  // unit leaves, and no other program opens it meanwhile.
  void Hold(TPort& port) {
    Release(port);
    DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(Unit.Link.PortHandle),
                    GetCurrentProcess(), &port.Held, 0, FALSE, DUPLICATE_SAME_ACCESS);
    port.HeldFrom = Unit.Link.PortHandle;
  }

  std::optional<TUnit> Probe(TPort& port) {
    port.Phase = TPortPhase::ToProbe;
    if (!Open(port)) return std::nullopt;
    // Held from the first question: a unit is never left to another program in between.
    Hold(port);
    std::string version;
    try {
      version = Unit.Link.ReadVersion(1);
    } catch (const std::exception&) {
      // Not a unit, or not one that answers as a unit.
    }
    port.BusyText.clear();
    if (version.empty()) {
      Release(port);
      Unit.Link.ClosePort();
      port.Phase = TPortPhase::Silent;
      return std::nullopt;
    }
    return TUnit{port.Name, port.Path, Cp1251ToUtf8(version)};
  }

  // Waits for anything: a stop, a device event. False on a stop.
  bool Wait() {
    const HANDLE handles[] = {HandleOf(Stop), HandleOf(Watch->Descriptor())};
    const bool busy = std::any_of(Ports.begin(), Ports.end(),
                                  [](const TPort& port) { return port.Phase == TPortPhase::Busy; });
    auto timeout = EnoughEvery;
    if (busy && (timeout.count() < 0 || timeout > kBusyRetry)) timeout = kBusyRetry;
    const DWORD ready = WaitForMultipleObjects(
        2, handles, FALSE, timeout.count() < 0 ? INFINITE : static_cast<DWORD>(timeout.count()));
    if (ready == WAIT_OBJECT_0 || (ready == WAIT_TIMEOUT && Enough && Enough())) return false;
    if (ready == WAIT_TIMEOUT)
      for (TPort& port : Ports)
        if (port.Phase == TPortPhase::Busy) port.Phase = TPortPhase::ToProbe;
    TakeEvents();
    return true;
  }
};

TArrivals::TArrivals(TUnitSession& unit, TTerminalPerson& person,
                     const std::vector<std::string>& ports, int stopDescriptor)
    : State(std::make_unique<TState>(unit, person, stopDescriptor)) {
  std::vector<std::string> paths;
  for (const std::string& name : ports) {
    State->Ports.push_back(
        {name, unit.Link.Resolver(name), TPortPhase::Absent, nullptr, kClosedPort, {}});
    paths.push_back(State->Ports.back().Path);
  }
  State->Watch = std::make_unique<TDeviceWatch>(paths);
  for (std::size_t i = 0; i < ports.size(); ++i)
    if (State->Watch->Present(i)) State->Ports[i].Phase = TPortPhase::ToProbe;
}

TArrivals::~TArrivals() = default;

void TArrivals::EndWhen(std::function<bool()> enough, std::chrono::milliseconds every) {
  State->Enough = std::move(enough);
  State->EnoughEvery = every;
}

// The link's exclusive open names no holder on Windows.
void TArrivals::HoldAs(const std::string&) {}

void TArrivals::OnLeft(std::function<void(const std::string&)> told) {
  State->Left = std::move(told);
}

void TArrivals::OnPortFailed(std::function<void(const std::string&, const std::string&)> told) {
  State->PortFailed = std::move(told);
}

std::optional<TUnit> TArrivals::WaitForUnit() {
  for (;;) {
    for (auto& port : State->Ports)
      if (port.Phase == TPortPhase::ToProbe)
        if (auto unit = State->Probe(port)) return unit;
    if (!AnyPort() || !State->Wait()) return std::nullopt;
  }
}

bool TArrivals::AnyPort() const { return !State->Ports.empty(); }

void TArrivals::Follow(const TUnit& unit) {
  if (State->Unit.Link.PortHandle == kClosedPort) return;
  // The unit came back as another device: the link's new open is held from now on.
  for (auto& port : State->Ports)
    if (port.Name == unit.Port && State->Unit.Link.PortHandle != port.HeldFrom) State->Hold(port);
}

void TArrivals::Handled(const TUnit& unit) {
  State->Unit.Link.ClosePort();
  for (auto& port : State->Ports) {
    if (port.Name != unit.Port) continue;
    // What the write itself went through (a restart that dropped the unit off the bus) is no
    // news; whether the port is there now tells whether the unit is.
    State->TakeEvents(&port);
    port.Phase = TPortPhase::Held;
    if (!port.Held || !DeviceIdentityOf(port.Path)) State->Leave(port);
  }
}

void TArrivals::Release(const TUnit& unit) {
  State->Unit.Link.ClosePort();
  for (auto& port : State->Ports)
    if (port.Name == unit.Port) State->Release(port);
}
