// The device link: one serial port, the cutting of received bytes into messages, and the
// request/answer exchange with the unit.
//
// `TLink` is the part of the main window that holds the link state (`PortHandle`, `RxBuffer`,
// `RxCount`). The low half (`OpenPort` .. `LastErrorText`) moves bytes; the high half
// (`ExecuteCommand` .. `ReadVersion`) speaks the unit's text protocol. All text here is
// Windows-1251 bytes; error texts are UTF-8. Everything runs on the GUI thread and blocks it.
//
// Every command sent and every message received while an answer is awaited goes to
// `Person->Log` exactly as on the line; questions go to `Person->Ask`. A null `Person` sees
// nothing and answers No. The port name ("COM7") stays what error texts show; `Resolver` turns it
// into the device path (`DefaultDevicePath` when empty).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "link/DeviceWatch.h"
#include "link/SerialPort.h"

class TPerson;

class TLink {
 public:
  // Maps a port name ("COM7") to the device path that is opened.
  using TPortResolver = std::function<std::string(const std::string& portName)>;

  TLink(TPerson* person, TPortResolver resolver);
  ~TLink();  // closes the port
  TLink(const TLink&) = delete;
  TLink& operator=(const TLink&) = delete;

  // Who is told about commands, messages and questions; the main window may swap it (tests).
  TPerson* Person;
  TPortResolver Resolver;

  // The longest wait for an answer, and for a flood of messages to end.
  static constexpr std::chrono::milliseconds AnswerDeadline{5000};

  // Link state. kClosedPort (-1) means closed.
  TPortHandle PortHandle = kClosedPort;
  // The device the last successful open found (a unit that dropped off the bus and came back is
  // another device under the same name).
  std::optional<TDeviceIdentity> OpenedDevice;
  char RxBuffer[2000] = {};
  int RxCount = 0;

  // Empty text on success (also at once when already open, keeping the buffer); otherwise
  // name + ": " + system text, or for a device that another program holds, who holds it
  // (`BusyPortText`). A successful open empties the buffer.
  std::string OpenPort(const std::string& name);
  // Harmless when closed; keeps the buffer.
  void ClosePort();
  // Logs the command, then writes it whole; raises EVestraError with the system text.
  void SendCommand(const std::string& command);
  // At most one message (from "$"/"#" to the first CR, or 1999 bytes), the oldest, else empty
  // text. Reads one byte at a time, always at least once, until the line has been quiet for
  // 20 ms, or until a whole message is held and no more bytes are waiting: the messages are the
  // same either way, only the wait is shorter. Raises EVestraError with the system text on a
  // read failure.
  std::string ReadAnswer();
  // Drops complete messages without logging them; gives up after `AnswerDeadline` when a
  // unit never stops sending.
  void FlushInput();
  // The system's text for the last error (saved by the failing call).
  std::string LastErrorText() const;
  // That error's number (errno, or the Windows error code).
  TSystemError LastError() const { return LastErrno; }

  // Sends and waits up to 5000 ms for a message beginning with "#"; "$" messages are logged
  // and skipped. Empty text when no answer came in time, also while "$" messages keep coming.
  // A failed read (a hang-up) ends the wait at once with the system's text.
  std::string ExecuteCommand(const std::string& command);
  // True: no error answer. False: error code 2 (not supported). Raises for every other code.
  bool CheckAnswerError(const std::string& answer);
  // Value text of "#R" + code; empty when unsupported and the person chose to go on.
  std::string ReadParameter(const std::string& code);
  // Returns after "#OK", or when unsupported and the person chose to go on.
  void WriteParameter(const std::string& code, const std::string& value);
  // Firmware version text, never empty; also sets the caption of `LbVersion` (UTF-8). Asks
  // "#V" up to `attempts` times while no answer comes.
  std::string ReadVersion(int attempts = 2);

  // The pieces every command with an answer is judged by, for the operations that send their
  // own commands ("#T", "#P", "#WL00"):
  // the answer to `command`, raising "Нет ответа от RAD" when none came in time;
  std::string ExecuteForAnswer(const std::string& command);
  // raises "Недопустимый ответ от RAD" unless "#OK" occurs anywhere in the answer;
  static void RequireOk(const std::string& answer);
  // asks the person (UTF-8 question, Yes/No) whether to go on past something the unit does not
  // support, raising "Операция прервана" on anything but Yes.
  void GoOnOrAbort(const std::string& question);

 private:
  TSystemError LastErrno = 0;

  [[noreturn]] void RaiseLastError();
};

// Default device path of a port name COM1..COM24 (`SerialPort::DevicePathOf`); any other name ->
// empty path (fails to open).
std::string DefaultDevicePath(const std::string& portName);
