// Device events for serial ports: which of the watched device paths appeared, went away, or were
// let go by a program that held them open.
//
// `TDeviceWatch` watches a fixed list of device paths as the settings name them (/dev/ttyACM0,
// /dev/serial/by-id/..., a simulated unit's link). It learns of changes from the system, never by
// looking on a timer: a libudev monitor of the "tty" subsystem (initialised devices only) where a
// udev daemon runs, and inotify on the folders of the paths and of the devices they lead to, so
// that symbolic links are seen the same way as device nodes. Without a udev daemon (a container,
// a CI machine) inotify alone does the work; `UsesUdev` says which.
//
// `Descriptor` becomes readable whenever something may have changed: poll() it (or give it to a
// QSocketNotifier), then call `TakeEvents`, which never blocks. A device that goes and comes back
// between two calls is reported as both events, in that order. A worker for one port watches one
// path; a station for every port name watches them all.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What tells one device at a path from the next one there: the link (when the path is one) and
// the device node are made anew each time a device comes, even under the same names.
struct TDeviceIdentity {
  dev_t LinkDevice = 0, Device = 0;
  ino_t LinkInode = 0, Inode = 0;
  bool operator==(const TDeviceIdentity&) const = default;
};
// The identity of the device at `path`; none while no character device is there.
std::optional<TDeviceIdentity> DeviceIdentityOf(const std::string& path);

class TDeviceWatch {
 public:
  enum class TChange {
    Appeared,  // a device is there now (a new one, when it was there before)
    Gone,      // the device went away
    Released,  // a program closed the device: a port busy until now may be free
  };
  struct TEvent {
    std::size_t Index;  // into the paths given
    TChange Change;
  };

  explicit TDeviceWatch(std::vector<std::string> paths);
  ~TDeviceWatch();
  TDeviceWatch(const TDeviceWatch&) = delete;
  TDeviceWatch& operator=(const TDeviceWatch&) = delete;

  const std::vector<std::string>& Paths() const;
  // Readable when events may be waiting.
  int Descriptor() const;
  // Whether a udev daemon's events are used; false: folders only.
  bool UsesUdev() const;
  // Whether the device of path `index` was there when last looked at.
  bool Present(std::size_t index) const;
  // The changes since the last call, in the order they are to be handled; empty when none.
  std::vector<TEvent> TakeEvents();
  // Waits until `Descriptor` is readable, at most until `deadline`; whether it is.
  bool Wait(std::chrono::steady_clock::time_point deadline) const;

 private:
  struct TState;
  std::unique_ptr<TState> State;
};

// What udev and sysfs tell of a USB serial device, for a person writing a udev rule.
struct TDeviceFacts {
  std::string VendorId, ProductId, Serial;  // "2341", "0043", the USB serial number
  std::string ByPath;                       // /dev/serial/by-path/... leading to it, if any
};
// Facts of the device at `path` when it is a USB device; none otherwise.
std::optional<TDeviceFacts> DescribeUsbDevice(const std::string& path);

// What the system tells of the port device at `path`, for the list of ports; none while no
// device is there. `Name` is what the system calls it (on Windows the device's friendly name).
struct TPortFacts {
  std::string Name;
  std::optional<TDeviceFacts> Usb;
};
std::optional<TPortFacts> DescribePort(const std::string& path);
