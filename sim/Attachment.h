// How the simulated unit is present on the system: its pseudo-terminal, the symbolic link of
// --link and the port name of --com.
//
// `TAttachment` holds all three for as long as the unit is on the bus; a unit that drops off
// destroys it and comes back with a new one. Every piece removes what it made when it goes.
#pragma once

#include <QString>
#include <string>

struct TOptions;

// A file descriptor that closes itself.
class TFd {
 public:
  explicit TFd(int fd = -1) : Fd(fd) {}
  ~TFd() { Reset(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return Fd; }
  void Reset(int fd = -1);

 private:
  int Fd;
};

// The pseudo-terminal. The simulated unit keeps its own descriptor of the far end open, so
// that a program closing the port is not a hang-up for the unit and the next one finds it
// ready.
struct TPty {
  TFd Master, Slave;
  std::string Path;

  TPty();
  void Close();
};

// The symbolic link of --link, removed again on exit.
class TSymlink {
 public:
  TSymlink(const std::string& link, const std::string& target);
  ~TSymlink();
  TSymlink(const TSymlink&) = delete;
  TSymlink& operator=(const TSymlink&) = delete;

 private:
  std::string Link;
};

// The Ports/NAME entry of --com in the configurator's settings store, removed again on exit.
class TPortRegistration {
 public:
  TPortRegistration(const std::string& name, const std::string& path);
  ~TPortRegistration();
  TPortRegistration(const TPortRegistration&) = delete;
  TPortRegistration& operator=(const TPortRegistration&) = delete;

 private:
  QString Key;
  bool Active = false;
};

// The unit as the system sees it: its terminal, the link to it and its port name, each printed
// path on a line of its own.
struct TAttachment {
  TPty Pty;
  TSymlink Link;
  TPortRegistration Registration;

  explicit TAttachment(const TOptions& options);
};
