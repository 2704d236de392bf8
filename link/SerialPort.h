// The serial device under the link: one interface, two implementations chosen by the build (POSIX
// termios in SerialPort.cpp, the Windows communications API in SerialPortWindows.cpp).
//
// These few calls are all the link asks of the operating system: an exclusive raw open, DTR, a
// one-byte read that gives up after a short wait, and a write with a deadline. Each failing call
// leaves its failure for `LastError`, so that the caller can show the system's own text. The
// handle is owned by the caller (`TLink::PortHandle`); `CloseDevice` gives it back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A file descriptor, or a Windows HANDLE; both systems spell "none" as -1.
using TPortHandle = std::intptr_t;
constexpr TPortHandle kClosedPort = -1;
// An errno value, or a Windows error code.
using TSystemError = std::uint32_t;

namespace SerialPort {

// The device of the port COM<number> (1..24). Linux: COM1..COM8 -> /dev/ttyACM0..7 (USB CDC
// units), COM9..COM16 -> /dev/ttyUSB0..7 (USB serial adapters), COM17..COM24 -> /dev/ttyS0..7.
// Windows: \\.\COM<number>.
std::string DevicePathOf(int number);

// Opens an existing device for reading and writing, for this program alone: a second opener
// fails (`IsBusy`). Stale input that the driver held from before is dropped. Returns the handle,
// or kClosedPort; nothing stays open on failure.
TPortHandle OpenDevice(const std::string& path);

// Raw bytes in both directions: no echo, no line editing, no CR/LF translation. This sets 8 data
// bits, no parity and XON/XOFF off (software flow control would take the bytes 17 and 19 out of
// the stream); the speed, the stop bits and hardware flow control (RTS/CTS) stay as the system
// holds them. Also sets the time-outs a one-byte read of `ReadByte` relies on.
bool MakeRaw(TPortHandle port);

// Raises DTR. A device without modem-control lines (a pseudo-terminal, also behind Wine's COM
// port) counts as success.
bool RaiseDtr(TPortHandle port);

// Gives up exclusive use and closes; harmless on kClosedPort. Keeps `LastError`.
void CloseDevice(TPortHandle port);

// Waits up to `timeoutMs` for one byte; 0 takes only a byte that has already arrived. Returns 1
// with `byte` set, 0 when none came in time, -1 on failure. A hang-up (the device unplugged, the
// other end of a pseudo-terminal closed) is a failure, never silence.
int ReadByte(TPortHandle port, char& byte, int timeoutMs);

// Writes all bytes within `timeoutMs`; false on failure, also when the device would not take
// them in time.
bool WriteAll(TPortHandle port, std::string_view bytes, int timeoutMs);

// The failure of the last call above that failed on this thread.
TSystemError LastError();
// Whether `error` means that another program holds the device.
bool IsBusy(TSystemError error);
// Whether `error` means that there is no such device.
bool IsMissing(TSystemError error);
// Whether `error` means that this user may not open the device (on Windows that is a busy port).
bool IsRefused(TSystemError error);
// The system's text for `error`, in the system's language, without a line end.
std::string ErrorText(TSystemError error);

}  // namespace SerialPort
