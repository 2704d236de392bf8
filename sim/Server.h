// The simulated unit's behaviour on the line: commands in, answers out, with the timing and the
// misbehaviour its options choose (delays, one command at a time, split answers, garbage, floods,
// periodic messages, hang-ups, restarts after "#S", dropping off the bus and coming back, a paced
// line).
//
// `TSimDevice` (Device.h) decides what an answer says; `TServer` decides when and how its bytes
// travel, and whether the unit is on the bus at all (`TAttachment`, Attachment.h).
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "sim/Attachment.h"
#include "sim/Options.h"

class TSimDevice;

class TServer {
 public:
  using TClock = std::chrono::steady_clock;

  // `logFd` receives every command (-1: none); a readable `signalFd` ends `Run`.
  TServer(TOptions options, TSimDevice& device, int logFd, int signalFd);

  // Serves until a stop signal arrives.
  void Run();

 private:
  struct TPendingAnswer {
    TClock::time_point Due;
    std::string Text;
    bool SecondHalf = false;  // the rest of a split answer, sent as it stands
  };

  TOptions Options;
  TSimDevice& Device;
  std::unique_ptr<TAttachment> Attached;  // none while the unit is off the bus
  int LogFd;
  int SignalFd;
  std::string Line;                    // a command still waiting for its CR
  std::deque<TPendingAnswer> Pending;  // answers waiting for their delay, in order
  std::string Out;                     // bytes ready to go, in order
  // --one-at-a-time: whole commands the unit has not read yet, with when they arrived.
  std::deque<std::pair<std::string, TClock::time_point>> Unread;
  TClock::time_point NextPeriodic, NextByte, NextByteIn;
  int AnswerCount = 0, PeriodicCount = 0, FloodCount = 0;
  bool HangupArmed = false, LineIdle = true;
  std::optional<TClock::time_point> HangupAt;

  // --restart, --restart-after-save: silent from the first time until the second.
  std::optional<std::pair<TClock::time_point, TClock::time_point>> Restart;
  // --reconnect: off the bus once the answers are out, back on at `ReattachAt`.
  bool DetachArmed = false;
  std::optional<TClock::time_point> DetachAt, ReattachAt;

  int Master() const { return Attached ? Attached->Pty.Master.Get() : -1; }
  bool LineUp() const { return Master() >= 0 && !HangupArmed; }
  bool Restarting() const;
  // Whether the second half of an answer is still to go; nothing may come between the halves.
  bool Splitting() const { return !Pending.empty() && Pending.front().SecondHalf; }

  // What falls due at `now`: answers, periodic messages, bytes, hang-up, leaving and coming
  // back, the flood.
  void ServeDue(TClock::time_point now);
  // Waits for the line, the input or the next due time and reads what came; false on a stop
  // signal.
  bool WaitAndRead(TClock::time_point now);
  void Emit(const std::string& message, bool isAnswer);
  void WriteSome(TClock::time_point now);
  std::chrono::nanoseconds ByteTime() const;
  void HangUp();
  void ReadCommands();
  void Saved();
  void ReadInjected();
  void Handle(const std::string& line, TClock::time_point arrived);
};
