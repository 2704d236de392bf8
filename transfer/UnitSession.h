// A session on one unit: the link, the person, and the configuration's values, with the
// operations on a unit under their own names. It knows no window.
//
// Each operation runs in one frame: the wait text shown to the person, the port opened, the
// exchange, the port closed again unless `KeepPortOpen` (the receive monitor holds it), the wait
// text hidden; any failure closes the port and ends up in the result, never shown here. What a
// face shows of a result is its own concern. A read puts each value into `Values` as it arrives,
// so a face bound to `Values.Changed` shows it at once, and a failure half-way leaves what was
// read. The observer is told every step (phase, step, steps). What an operation needs from a
// person (the log, the questions, the wait text, the version caption) goes to `Person()`, and
// every question asked is kept in the result with its answer.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/Link.h"
#include "link/Person.h"
#include "params/FormValues.h"
#include "params/ParamList.h"
#include "transfer/Comparison.h"

// The phases of an operation on a unit, in the order a write goes through them.
enum class TPhase { Open, Read, Write, Save, Back, Verify, Done };

// One step an operation tells its observer: the step of its phase, of so many (0 of 0 when a
// phase begins that counts nothing).
struct TStep {
  TPhase Phase;
  int Step = 0, Steps = 0;
};

struct TOperationResult {
  std::string Version;                 // the firmware version text the unit gave; empty: none
  std::optional<std::string> Failure;  // the failure's text; empty text: none of its own
  bool Done() const { return !Failure; }
};

struct TReadResult : TOperationResult {
  TFormValues Values;  // as the read left them
};

struct TQuestion {
  std::string Text;  // UTF-8
  bool Answer;
  bool operator==(const TQuestion&) const = default;
};

struct TWriteReport : TOperationResult {
  using TClock = std::chrono::steady_clock;
  struct TSpan {
    TPhase Phase;
    TClock::time_point Began, Ended;
  };
  std::vector<TCodeValue> Sent;      // every code sent with "#W", in order
  std::vector<std::string> LeftOut;  // codes of the table this unit's write did not send
  std::vector<TQuestion> Questions;  // asked while writing and verifying
  // The verification's differences: empty when every code read back as sent; none when it did
  // not run to its end (not asked for, or a failure).
  std::optional<std::vector<TCodeDifference>> Differences;
  std::vector<TSpan> Phases;  // open, write, "#S", unit back, verified: those it reached
  // When `phase` began; none when the write did not reach it.
  std::optional<TClock::time_point> Began(TPhase phase) const;
};

struct TCompareResult : TOperationResult {
  std::vector<TCodeDifference> Differences;
};

class TUnitSession {
 public:
  // `person` may be null: nobody sees anything and every question is answered No.
  TUnitSession(TPerson* person, TLink::TPortResolver resolver);
  TUnitSession(const TUnitSession&) = delete;
  TUnitSession& operator=(const TUnitSession&) = delete;

  TLink Link;
  TFormValues Values;

  // The calibration value is applied and written only while this is set ("CBManualCorrCoef").
  bool ManualCorrCoef = false;
  // The receive monitor holds the port: operations leave it open and flush nothing it has not
  // shown.
  bool KeepPortOpen = false;
  // Whether a write reads everything it sent back and compares.
  bool VerifyAfterWrite = false;
  // How long that check lets the unit store its settings after "#S" before it asks whether the
  // unit is back: a unit may answer "#S" and restart a moment later.
  std::chrono::milliseconds SettleAfterSave{500};
  // Asked right before a write's "#S", once every value is in the unit; a raise ends the write
  // as a failure with its text, and "#S" is never sent.
  std::function<void()> BeforeSave;
  std::function<void(const TStep&)> Observer;

  TPerson* Person() const { return Asked.Person; }
  void SetPerson(TPerson* person) { Asked.Person = person; }

  // The operations of the link under their own names, over the port the session holds.
  std::string OpenPort(const std::string& port) { return Link.OpenPort(port); }
  std::string ReadVersion(int attempts = 2) { return Link.ReadVersion(attempts); }
  std::string ReadParameter(const std::string& code) { return Link.ReadParameter(code); }
  void WriteParameter(const std::string& code, const std::string& value) {
    Link.WriteParameter(code, value);
  }

  // The whole configuration into `Values`, code by code in read order; then the sensor rule.
  TReadResult ReadConfiguration(const std::string& port);
  // `params` (gathered) into the unit in write order, the clock when "CBSetTime" is checked and
  // the firmware keeps none of its own, "#S", then the verification when asked for. The
  // receive monitor is the caller's to switch off; the port is closed at the end in any case,
  // after `beforeClose` has seen the report (a window tells of a failure while the port is
  // still open).
  TWriteReport WriteConfiguration(const std::string& port, const TParamList& params,
                                  const std::function<void(const TWriteReport&)>& beforeClose = {});
  // Reads back every code a write of `params` would send now; nothing is written.
  TCompareResult CompareWithUnit(const std::string& port, const TParamList& params);

  // The codes that a write of `params` sends to a unit of that version number, in write order,
  // with their value texts.
  std::vector<TCodeValue> PlannedWrite(const TParamList& params, int versionNumber) const;

  // The frame of every device operation: `waitText` shown, `port` opened, `body`, the port
  // closed unless kept for the monitor, the wait hidden; a failure closes the port, hides the
  // wait and is returned.
  TOperationResult Run(const std::string& waitText, const std::string& port,
                       const std::function<void(TOperationResult&)>& body);

  // After "#S": lets the unit settle for `SettleAfterSave`, then asks "#V" until an answer
  // beginning with "#V" comes, dropping every other message (an "#OK" to "#S" is not the unit
  // being back), and hears out the answers a slow unit still owes to the questions asked
  // before, so that each read-back takes its own. When the device goes away meanwhile (a USB
  // unit restarting drops off the bus) the port is closed and opened again once a device is
  // back under the same name. All of it within `RestartDeadline`; then every code of
  // `report.Sent` is read back and those whose text differs are returned. Raises EVestraError
  // "Нет ответа от RAD" when the unit stays away. Notes the phases in `report`.
  std::vector<TCodeDifference> VerifyWrite(const std::string& port, TWriteReport& report);

  void Tell(TPhase phase, int step = 0, int steps = 0) const {
    if (Observer) Observer({phase, step, steps});
  }

 private:
  // Forwards to the person and notes every question with its answer.
  class TAsked : public TPerson {
   public:
    TPerson* Person = nullptr;
    std::vector<TQuestion>* Noted = nullptr;
    void Log(std::string_view line) override;
    bool Ask(const std::string& text, const std::string& caption, TIcon icon) override;
    void Tell(const std::string& text, const std::string& caption, TIcon icon) override;
    void ShowWait(const std::string& text) override;
    void HideWait() override;
    void SetVersionCaption(const std::string& text) override;
    void ShowDifferences(const std::string& caption, const std::string& ownColumn,
                         const std::vector<TDifferenceRow>& rows) override;
  };
  TAsked Asked;

  void ReadCodes(int versionNumber);
  void SendCodes(TWriteReport& report, const TParamList& params, int versionNumber);
  void SetClock();
  std::vector<TCodeDifference> ReadBack(std::span<const TCodeValue> expected, TPhase phase);
};
