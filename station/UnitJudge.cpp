#include "station/UnitJudge.h"

#include <algorithm>
#include <optional>

#include "link/VestraError.h"
#include "station/Arrivals.h"
#include "station/UnitsTable.h"
#include "transfer/CodeTable.h"
#include "transfer/UnitSession.h"

namespace {

// The keys of a plan's lines from `first` on, up to `end`.
std::vector<std::string> KeysOf(const TPlan& plan, std::size_t first, std::size_t end) {
  std::vector<std::string> keys;
  for (std::size_t i = first; i < std::min(end, plan.Lines.size()); ++i)
    keys.push_back(plan.Lines[i].substr(0, plan.Lines[i].find('=')));
  return keys;
}

std::vector<std::string> OwnKeys(const TPlan& plan) { return KeysOf(plan, 0, plan.OwnLines); }

std::optional<int> VersionOf(const std::string& version) {
  try {
    return VersionNumber(version);
  } catch (const EVestraError&) {
    return std::nullopt;
  }
}

std::string Listed(const std::vector<TFirmwareGap>& gaps) {
  std::string text;
  for (const TFirmwareGap& gap : gaps)
    text += (text.empty() ? "" : ", ") + gap.Key + " (" + gap.Code + ")";
  return text;
}

}  // namespace

TDoneRows::TDoneRows(TUnitSession& unit, const std::vector<TPlan>& plans)
    : Unit(unit), Plans(plans) {
  for (const TPlan& plan : plans)
    for (const std::string& key : OwnKeys(plan))
      if (std::find(ColumnKeys.begin(), ColumnKeys.end(), key) == ColumnKeys.end())
        ColumnKeys.push_back(key);
}

const TPlan* TDoneRows::HeldBy(const TUnit& unit, const std::vector<int>& done) {
  const auto version = VersionOf(unit.Version);
  if (done.empty() || ColumnKeys.empty() || !version) return nullptr;
  const auto held = Read(unit, CodesOfKeys(ColumnKeys, *version).Carried);
  for (const int position : done) {
    auto plan =
        std::find_if(Plans.begin(), Plans.end(), [&](const TPlan& p) { return p.Row == position; });
    if (plan == Plans.end()) continue;
    const auto& expected = ExpectedOf(*plan, *version);
    const bool holds = !expected.empty() &&
                       std::all_of(expected.begin(), expected.end(), [&](const TCodeValue& c) {
                         auto value = held.find(c.Code);
                         return value != held.end() && value->second == c.Value;
                       });
    if (holds) return &*plan;
  }
  return nullptr;
}

std::map<std::string, std::string> TDoneRows::Read(const TUnit& unit,
                                                   const std::vector<std::string>& codes) {
  std::map<std::string, std::string> held;
  const TOperationResult read = Unit.Run(ReadingUnitWait, unit.Port, [&](TOperationResult&) {
    Unit.Link.FlushInput();
    for (const std::string& code : codes) held[code] = Unit.ReadParameter(code);
  });
  if (read.Failure) throw EVestraError(*read.Failure);
  return held;
}

const std::vector<TCodeValue>& TDoneRows::ExpectedOf(const TPlan& plan, int version) {
  auto [expected, fresh] = Expected.try_emplace({plan.Row, version});
  if (!fresh) return expected->second;
  const TKeyCodes own = CodesOfKeys(OwnKeys(plan), version);
  // The row as the form gathered it when it was judged: what a write of it would send.
  for (TCodeValue& code : Unit.PlannedWrite(plan.Held, version))
    if (std::find(own.Carried.begin(), own.Carried.end(), code.Code) != own.Carried.end())
      expected->second.push_back(std::move(code));
  return expected->second;
}

TFirmwareVerdict JudgeFirmware(const TPlan& plan, const std::string& version) {
  const auto number = VersionOf(version);
  if (!number) return {};
  const std::vector<std::string> own = OwnKeys(plan);
  std::vector<std::string> others;
  for (const std::string& key : KeysOf(plan, plan.OwnLines, plan.Lines.size()))
    if (std::find(own.begin(), own.end(), key) == own.end()) others.push_back(key);
  TFirmwareVerdict verdict;
  if (const auto gaps = CodesOfKeys(own, *number).Lacking; !gaps.empty())
    verdict.Refused = "прошивка " + version + ": нет " + Listed(gaps);
  else if (const auto skipped = CodesOfKeys(others, *number).Lacking; !skipped.empty())
    verdict.Skipped = "шаблон: прошивка " + version + " без " + Listed(skipped);
  return verdict;
}
