// The serial device under the link, on POSIX termios.
//
// These few calls are all the link asks of the operating system: an exclusive raw open, DTR, a
// one-byte read that gives up after a short wait, and a write with a deadline. Each failing call
// returns its failure with `errno` set, so that the caller can show the system's own text. The
// descriptor is owned by the caller (`TLink::PortHandle`); `CloseDevice` gives it back.
#pragma once

#include <string>
#include <string_view>

namespace SerialPort {

// Opens an existing device for reading and writing, for this program alone: a second opener
// gets EBUSY. Stale input that the driver held from before is dropped. Returns the descriptor,
// or -1 with errno set; nothing stays open on failure.
int OpenDevice(const std::string& path);

// Raw bytes in both directions: no echo, no line editing, no CR/LF translation, and reads never
// block in the driver. This sets 8 data bits, no parity and XON/XOFF off (software flow control
// would take the bytes 17 and 19 out of the stream); the speed, the stop bits and hardware flow
// control (RTS/CTS) stay as the system holds them.
bool MakeRaw(int fd);

// Raises DTR. A device without modem-control lines (a pseudo-terminal) counts as success.
bool RaiseDtr(int fd);

// Gives up exclusive use and closes; harmless on -1. Keeps errno.
void CloseDevice(int fd);

// Waits up to `timeoutMs` for one byte. Returns 1 with `byte` set, 0 when none came in time, -1
// on failure with errno set. A hang-up (the device unplugged, the other end of a
// pseudo-terminal closed) is a failure (EIO), never silence.
int ReadByte(int fd, char& byte, int timeoutMs);

// Writes all bytes within `timeoutMs`; false with errno set on failure, ETIMEDOUT when the
// device would not take them in time.
bool WriteAll(int fd, std::string_view bytes, int timeoutMs);

// The system's text for an errno value, in the user's language.
std::string ErrorText(int errorNumber);

}  // namespace SerialPort
