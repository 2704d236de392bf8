// SerialPort's interface over the scripted line, in place of the termios implementation.
#include "fuzz/ScriptedLine.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "link/SerialPort.h"

namespace {

// One line per fuzzing process: the link under test reads from it, the target writes to it.
struct TLine {
  std::string Waiting;
  std::size_t Next = 0;
  bool FailRead = false;
  TSystemError Error = 0;
};

TLine& Line() {
  static TLine line;
  return line;
}

}  // namespace

void ScriptedLine::Arrive(std::string_view bytes) {
  TLine& line = Line();
  line.Waiting.erase(0, line.Next);
  line.Next = 0;
  line.Waiting.append(bytes);
}

void ScriptedLine::FailNextRead() { Line().FailRead = true; }

void ScriptedLine::Clear() { Line() = TLine(); }

namespace SerialPort {

std::string DevicePathOf(int number) { return "/dev/scripted" + std::to_string(number); }

TPortHandle OpenDevice(const std::string&) { return 0; }

bool MakeRaw(TPortHandle) { return true; }

bool RaiseDtr(TPortHandle) { return true; }

void CloseDevice(TPortHandle) {}

int ReadByte(TPortHandle, char& byte, int) {
  TLine& line = Line();
  if (line.FailRead) {
    line.FailRead = false;
    line.Error = EIO;
    return -1;
  }
  if (line.Next == line.Waiting.size()) return 0;
  byte = line.Waiting[line.Next++];
  return 1;
}

bool WriteAll(TPortHandle, std::string_view, int) { return true; }

TSystemError LastError() { return Line().Error; }

bool IsBusy(TSystemError error) { return error == EBUSY; }

bool IsMissing(TSystemError error) { return error == ENOENT; }

bool IsRefused(TSystemError error) { return error == EACCES; }

std::string ErrorText(TSystemError error) { return std::strerror(static_cast<int>(error)); }

}  // namespace SerialPort
