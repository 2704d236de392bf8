// The serial device on the Windows communications API.
//
// The handle is opened synchronous (no overlapped I/O): each call blocks only as long as the
// port's time-outs allow. The time-outs are those of a one-byte read that gives up after 20 ms
// (10 ms per byte plus 10 ms) and a write of n bytes allowed 10 n + 10 ms; a read that is to
// take only what has arrived asks the driver how much is waiting instead of reading.
#include <windows.h>

#include <string>

#include "link/SerialPort.h"
#include "link/WideText.h"

namespace SerialPort {

namespace {

// The time-outs set at open, and the wait of a one-byte read that follows from them.
constexpr DWORD kPerByteMs = 10, kConstantMs = 10;
constexpr int kOneByteWaitMs = static_cast<int>(kPerByteMs + kConstantMs);

HANDLE Native(TPortHandle port) { return reinterpret_cast<HANDLE>(port); }

std::string Utf8(const wchar_t* wide, int size) {
  if (size <= 0) return {};
  std::string utf8(static_cast<std::size_t>(
                       WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, size, utf8.data(), static_cast<int>(utf8.size()), nullptr,
                      nullptr);
  return utf8;
}

bool SetTimeouts(HANDLE handle, DWORD readPerByte, DWORD readConstant) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = readPerByte == MAXDWORD ? MAXDWORD : kPerByteMs;
  timeouts.ReadTotalTimeoutMultiplier = readPerByte == MAXDWORD ? 0 : readPerByte;
  timeouts.ReadTotalTimeoutConstant = readConstant;
  timeouts.WriteTotalTimeoutMultiplier = kPerByteMs;
  timeouts.WriteTotalTimeoutConstant = kConstantMs;
  return SetCommTimeouts(handle, &timeouts) != 0;
}

// How many received bytes wait in the driver; -1 on failure (the device has gone).
long long Waiting(HANDLE handle) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!ClearCommError(handle, &errors, &status)) return -1;
  return status.cbInQue;
}

}  // namespace

std::string DevicePathOf(int number) { return "\\\\.\\COM" + std::to_string(number); }

TPortHandle OpenDevice(const std::string& path) {
  // Share mode 0: exclusive; a second opener gets ERROR_ACCESS_DENIED.
  HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return kClosedPort;
  PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);  // fails harmlessly where not supported
  return reinterpret_cast<TPortHandle>(handle);
}

bool MakeRaw(TPortHandle port) {
  HANDLE handle = Native(port);
  DCB line{};
  line.DCBlength = sizeof line;
  if (!GetCommState(handle, &line)) return false;
  line.fBinary = TRUE;
  line.ByteSize = 8;
  line.Parity = NOPARITY;
  line.fParity = FALSE;
  line.fOutX = FALSE;
  line.fInX = FALSE;
  line.fErrorChar = FALSE;
  line.fNull = FALSE;
  line.fAbortOnError = FALSE;
  line.fDsrSensitivity = FALSE;
  line.fOutxDsrFlow = FALSE;
  if (!SetCommState(handle, &line)) return false;
  return SetTimeouts(handle, kPerByteMs, kConstantMs);
}

bool RaiseDtr(TPortHandle port) {
  if (EscapeCommFunction(Native(port), SETDTR)) return true;
  // Wine answers so for a port whose device is a pseudo-terminal, as Linux answers ENOTTY.
  return GetLastError() == ERROR_NOT_SUPPORTED;
}

void CloseDevice(TPortHandle port) {
  if (port == kClosedPort) return;
  const DWORD saved = GetLastError();
  CloseHandle(Native(port));
  SetLastError(saved);
}

int ReadByte(TPortHandle port, char& byte, int timeoutMs) {
  if (port == kClosedPort) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  HANDLE handle = Native(port);
  if (timeoutMs <= 0) {
    const long long waiting = Waiting(handle);
    if (waiting < 0) return -1;
    if (waiting == 0) return 0;
  }
  // Another wait than the one set at open: set for this read, and back afterwards.
  const bool own = timeoutMs > 0 && timeoutMs != kOneByteWaitMs;
  if (own && !SetTimeouts(handle, 0, static_cast<DWORD>(timeoutMs))) return -1;
  DWORD got = 0;
  const BOOL read = ReadFile(handle, &byte, 1, &got, nullptr);
  const DWORD error = GetLastError();
  if (own) SetTimeouts(handle, kPerByteMs, kConstantMs);
  if (!read) {
    ClearCommError(handle, nullptr, nullptr);
    SetLastError(error);
    return -1;
  }
  return got == 1 ? 1 : 0;
}

bool WriteAll(TPortHandle port, std::string_view bytes, int timeoutMs) {
  if (port == kClosedPort) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  HANDLE handle = Native(port);
  // The driver holds a write to the time-outs set at open, 10 n + 10 ms, which is what the link
  // allows; a larger allowance is not needed by any caller.
  (void)timeoutMs;
  DWORD done = 0;
  if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr)) {
    const DWORD error = GetLastError();
    ClearCommError(handle, nullptr, nullptr);
    SetLastError(error);
    return false;
  }
  if (done != bytes.size()) {
    SetLastError(ERROR_TIMEOUT);
    return false;
  }
  return true;
}

TSystemError LastError() { return GetLastError(); }

bool IsBusy(TSystemError error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}
bool IsMissing(TSystemError error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
bool IsRefused(TSystemError) { return false; }

std::string ErrorText(TSystemError error) {
  wchar_t buffer[512];
  DWORD size = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                              error, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  // The system ends its texts with a full stop and a line end; the link adds its own frame.
  while (size > 0 &&
         (buffer[size - 1] == L'\r' || buffer[size - 1] == L'\n' || buffer[size - 1] == L' '))
    --size;
  if (size == 0) return "Ошибка " + std::to_string(error);
  return Utf8(buffer, static_cast<int>(size));
}

}  // namespace SerialPort
