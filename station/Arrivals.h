// Where the station's units come from: the ports it serves, watched for devices coming and
// going. A unit is a device on one of them that answers "#V".
//
// `TArrivals` probes a port with one "#V" when a device appears there, and once at the start for
// the devices already present; never on a timer. A device that opens but does not answer is left
// alone until it goes away and comes back; a busy one is named with its holder and tried again
// once a program lets it go; one not yet accessible (udev sets its group a moment after it
// appears) or not yet ready is tried for up to a second. From the probe that finds a unit until
// the unit leaves, its port is held locked in the station's name (link/PortLock.h: another station
// or the window is told who holds it and writes nothing there), whatever the link's own opens and
// closes do meanwhile. Once the station has handled the unit, the port is held silent until the
// unit hangs up or its device goes: that, and nothing else, is the unit leaving ("блок
// отключён"). A failed probe, a busy port or a slow answer never is.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TTerminalPerson;
class TUnitSession;

struct TUnit {
  std::string Port, Device, Version;  // the version in UTF-8
};

class TArrivals {
 public:
  // Watches the devices of `ports` (names, as the form resolves them) from now on. The wait for
  // a unit also ends once `stopDescriptor` is readable (it is not read here).
  TArrivals(TUnitSession& unit, TTerminalPerson& person, const std::vector<std::string>& ports,
            int stopDescriptor);
  ~TArrivals();
  TArrivals(const TArrivals&) = delete;
  TArrivals& operator=(const TArrivals&) = delete;

  // The next unit to handle, on any port but those still holding a unit handled before; none
  // once a stop was asked for, once `EndWhen`'s question says so, or once no port is left to
  // wait on. The unit's port is left open on the link and locked until `Handled` or `Release`:
  // another program that took it between two of the link's opens would get the unit.
  std::optional<TUnit> WaitForUnit();
  // False once every port was found to be no serial port ("не последовательный порт", said at
  // once): a regular file, a folder, a device that is no terminal.
  bool AnyPort() const;
  // Called while the link still has `unit`'s port open, before it closes it: when the unit came
  // back as another device (it dropped off the bus after "#S"), that device is held from now on.
  void Follow(const TUnit& unit);
  // The station is done with `unit`: the link is closed, and the port held until the unit
  // leaves. What happened on that port while the unit was handled (a restart that dropped it
  // off the bus) is forgotten.
  void Handled(const TUnit& unit);
  // The station takes no unit after all (it stops): the link is closed and the port let go.
  void Release(const TUnit& unit);
  // While no unit comes, `enough` is asked every `every` (the record, which other stations write:
  // not the devices, which tell of themselves) whether waiting is over.
  void EndWhen(std::function<bool()> enough, std::chrono::milliseconds every);
  // The name a held port's lock gives its holder: the station's.
  void HoldAs(const std::string& owner);
  // Who is told that a handled unit left its port (given the port's name); by default the
  // person, in words. A slot's worker tells its station instead.
  void OnLeft(std::function<void(const std::string&)> told);
  // Who is also told why a port does not open (given the port's name and the reason), beside
  // the person's words: a slot's worker tells its station, whose tile shows it.
  void OnPortFailed(std::function<void(const std::string&, const std::string&)> told);

 private:
  struct TState;
  std::unique_ptr<TState> State;
};
