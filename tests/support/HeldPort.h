// Another process holding a serial device open, as a terminal program or ModemManager does.
//
// `THeldPort` forks a child that opens the device as the link does (for itself alone) and holds
// it until `Release` or the end of the object's life.
#pragma once

#include <sys/types.h>

#include <string>

class THeldPort {
 public:
  // Throws std::runtime_error when the child could not open `path`.
  explicit THeldPort(const std::string& path);
  ~THeldPort();  // Release()
  THeldPort(const THeldPort&) = delete;
  THeldPort& operator=(const THeldPort&) = delete;

  pid_t Pid() const { return Child; }
  // The child closes the device and ends; returns once it has.
  void Release();

 private:
  pid_t Child = -1;
  int Hold = -1;  // the child holds on until this closes
};
