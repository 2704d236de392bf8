// The session's frame, its person, and the comparison with the unit.
#include "transfer/UnitSession.h"

#include <algorithm>
#include <exception>

#include "link/VestraError.h"
#include "params/ParamTable.h"
#include "transfer/CodeTable.h"

std::optional<TWriteReport::TClock::time_point> TWriteReport::Began(TPhase phase) const {
  for (const TSpan& span : Phases)
    if (span.Phase == phase) return span.Began;
  return std::nullopt;
}

TUnitSession::TUnitSession(TPerson* person, TLink::TPortResolver resolver)
    : Link(&Asked, std::move(resolver)) {
  Asked.Person = person;
}

void TUnitSession::TAsked::Log(std::string_view line) {
  if (Person) Person->Log(line);
}
bool TUnitSession::TAsked::Ask(const std::string& text, const std::string& caption, TIcon icon) {
  const bool answer = Person && Person->Ask(text, caption, icon);
  if (Noted) Noted->push_back({text, answer});
  return answer;
}
void TUnitSession::TAsked::Tell(const std::string& text, const std::string& caption, TIcon icon) {
  if (Person) Person->Tell(text, caption, icon);
}
void TUnitSession::TAsked::ShowWait(const std::string& text) {
  if (Person) Person->ShowWait(text);
}
void TUnitSession::TAsked::HideWait() {
  if (Person) Person->HideWait();
}
void TUnitSession::TAsked::SetVersionCaption(const std::string& text) {
  if (Person) Person->SetVersionCaption(text);
}
void TUnitSession::TAsked::ShowDifferences(const std::string& caption, const std::string& ownColumn,
                                           const std::vector<TDifferenceRow>& rows) {
  if (Person) Person->ShowDifferences(caption, ownColumn, rows);
}

TOperationResult TUnitSession::Run(const std::string& waitText, const std::string& port,
                                   const std::function<void(TOperationResult&)>& body) {
  TOperationResult result;
  try {
    Asked.ShowWait(waitText);
    Tell(TPhase::Open);
    if (const std::string failure = Link.OpenPort(port); !failure.empty())
      throw EVestraError(failure);
    body(result);
    if (!KeepPortOpen) Link.ClosePort();
    Asked.HideWait();
    Tell(TPhase::Done);
  } catch (const std::exception& error) {
    result.Failure = error.what();
  } catch (...) {
    result.Failure = std::string();
  }
  if (result.Failure) {
    Link.ClosePort();
    Asked.HideWait();
  }
  return result;
}

std::vector<TCodeValue> TUnitSession::PlannedWrite(const TParamList& params,
                                                   int versionNumber) const {
  std::vector<TCodeValue> planned;
  for (const TCodeRow* row : WriteOrder()) {
    if (!Carries(*row, versionNumber)) continue;
    if (row->Write.Condition == TCondition::ManualCorrCoefSet && !ManualCorrCoef) continue;
    planned.push_back({std::string(row->Code), FormWriteValue(*row, params, versionNumber)});
  }
  return planned;
}

std::vector<TCodeDifference> TUnitSession::ReadBack(std::span<const TCodeValue> expected,
                                                    TPhase phase) {
  std::vector<TCodeDifference> differences;
  int step = 0;
  for (const TCodeValue& code : expected) {
    std::string actual = Link.ReadParameter(code.Code);
    Tell(phase, ++step, static_cast<int>(expected.size()));
    if (actual != code.Value) differences.push_back({code.Code, code.Value, std::move(actual)});
  }
  return differences;
}

TCompareResult TUnitSession::CompareWithUnit(const std::string& port, const TParamList& params) {
  TCompareResult compared;
  static_cast<TOperationResult&>(compared) =
      Run("Сравнение с Вестрой...", port, [&](TOperationResult& result) {
        // A running monitor owns the line; what it has not shown yet is not ours to drop.
        if (!KeepPortOpen) Link.FlushInput();
        result.Version = Link.ReadVersion();
        compared.Differences =
            ReadBack(PlannedWrite(params, VersionNumber(result.Version)), TPhase::Verify);
      });
  return compared;
}

TKeyCodes CodesOfKeys(std::span<const std::string> keys, int versionNumber) {
  const auto given = [&](std::string_view key) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const std::string& k) { return ParamTableRows::SameKey(k, key); });
  };
  TKeyCodes codes;
  for (const TCodeRow* row : WriteOrder()) {
    for (std::string_view key : row->Write.Keys) {
      if (key.empty() || !given(key)) continue;
      if (Carries(*row, versionNumber)) {
        codes.Carried.emplace_back(row->Code);
        break;
      }
      codes.Lacking.push_back({std::string(key), std::string(row->Code)});
    }
  }
  return codes;
}
