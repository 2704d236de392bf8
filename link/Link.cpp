// The link state and the byte half of the link: opening the port, sending commands and cutting
// received bytes into messages.
#include "link/Link.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "link/Person.h"
#include "link/PortFailure.h"
#include "link/PortHolder.h"
#include "link/SerialPort.h"
#include "link/VestraError.h"

namespace {

// A one-byte read gives up after this long; a quiet line thus ends a burst, unless a whole
// message has come first.
constexpr int kReadTimeoutMs = 20;
// The longest message handed out without a CR; the buffer holds one byte more.
constexpr int kMaxMessage = 1999;

bool IsMessageStart(char c) { return c == '$' || c == '#'; }

}  // namespace

TLink::TLink(TPerson* person, TPortResolver resolver)
    : Person(person), Resolver(std::move(resolver)) {}

TLink::~TLink() { ClosePort(); }

std::string TLink::OpenPort(const std::string& name) {
  if (PortHandle != kClosedPort) return {};
  std::string path = Resolver ? Resolver(name) : DefaultDevicePath(name);
  PortHandle = SerialPort::OpenDevice(path);
  if (PortHandle == kClosedPort) {
    LastErrno = SerialPort::LastError();
    return OpenFailureText(name, path, LastErrno);
  }
  // From here on a failure leaves the port held: the link counts as open until ClosePort.
  if (!SerialPort::MakeRaw(PortHandle) || !SerialPort::RaiseDtr(PortHandle)) {
    LastErrno = SerialPort::LastError();
    return name + ": " + LastErrorText();
  }
  RxCount = 0;
  OpenedDevice = DeviceIdentityOf(path);
  return {};
}

void TLink::ClosePort() {
  SerialPort::CloseDevice(PortHandle);
  PortHandle = kClosedPort;
}

void TLink::SendCommand(const std::string& command) {
  if (Person) Person->Log(command);
  // A write of n bytes is allowed 10 n + 10 ms.
  int timeoutMs = static_cast<int>(std::min<std::size_t>(command.size(), 100000) * 10 + 10);
  if (!SerialPort::WriteAll(PortHandle, command, timeoutMs)) {
    LastErrno = SerialPort::LastError();
    RaiseLastError();
  }
}

std::string TLink::ReadAnswer() {
  auto dropJunk = [this] {
    int skip = 0;
    while (skip < RxCount && !IsMessageStart(RxBuffer[skip])) ++skip;
    if (skip == 0) return;
    std::memmove(RxBuffer, RxBuffer + skip, static_cast<std::size_t>(RxCount - skip));
    RxCount -= skip;
  };

  // Once a whole message is held, waiting out the quiet time would change nothing but the
  // time: from then on only bytes already received are taken, so that the buffer holds what the
  // burst brought, and the first read that finds none ends the loop.
  auto holdsMessage = [this] {
    return RxCount > 0 && IsMessageStart(RxBuffer[0]) &&
           std::memchr(RxBuffer, '\r', static_cast<std::size_t>(RxCount)) != nullptr;
  };
  int waitMs = holdsMessage() ? 0 : kReadTimeoutMs;
  for (;;) {
    char byte = 0;
    int n = SerialPort::ReadByte(PortHandle, byte, waitMs);
    if (n < 0) {
      LastErrno = SerialPort::LastError();
      RaiseLastError();
    }
    if (n == 1) RxBuffer[RxCount++] = byte;
    dropJunk();
    if (n == 0 || RxCount >= kMaxMessage) break;
    if (byte == '\r' && RxCount > 0 && IsMessageStart(RxBuffer[0])) waitMs = 0;
  }

  std::string message;
  if (RxCount >= 2 && IsMessageStart(RxBuffer[0])) {
    const char* end = std::find(RxBuffer, RxBuffer + RxCount, '\r');
    int length = 0;
    if (end != RxBuffer + RxCount)
      length = static_cast<int>(end - RxBuffer) + 1;
    else if (RxCount >= kMaxMessage)
      length = RxCount;
    if (length > 0) {
      message.assign(RxBuffer, static_cast<std::size_t>(length));
      std::memmove(RxBuffer, RxBuffer + length, static_cast<std::size_t>(RxCount - length));
      RxCount -= length;
    }
  }
  dropJunk();
  return message;
}

void TLink::FlushInput() {
  // A unit that sends without a pause would otherwise keep the operation here for good.
  const auto start = std::chrono::steady_clock::now();
  while (!ReadAnswer().empty() && std::chrono::steady_clock::now() - start <= AnswerDeadline) {
  }
}

std::string TLink::LastErrorText() const { return SerialPort::ErrorText(LastErrno); }

void TLink::RaiseLastError() { throw EVestraError(LastErrorText()); }

std::string DefaultDevicePath(const std::string& portName) {
  if (portName.size() < 4 || portName.compare(0, 3, "COM") != 0 || portName[3] == '0') return {};
  int number = 0;
  const char* first = portName.data() + 3;
  const char* last = portName.data() + portName.size();
  auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last || number < 1 || number > 24) return {};
  return SerialPort::DevicePathOf(number);
}
