// Another program that tries to take a serial device again and again, as a terminal program
// started in a loop or ModemManager might.
//
// `TPortTaker` forks a child that, every millisecond, opens the device as the link does (for
// itself alone); each time it gets it, it puts "TAKEN" and a CR on the line, which a simulated
// unit logs without answering, and lets the device go at once. It stops when the object goes.
#pragma once

#include <sys/types.h>

#include <string>

class TPortTaker {
 public:
  explicit TPortTaker(const std::string& path);
  ~TPortTaker();  // the child ends, and is waited for
  TPortTaker(const TPortTaker&) = delete;
  TPortTaker& operator=(const TPortTaker&) = delete;

  // What a unit logs each time the child got its device.
  static constexpr const char* Mark = "TAKEN";

 private:
  pid_t Child = -1;
  int Running = -1;  // the child goes on until this closes
};
