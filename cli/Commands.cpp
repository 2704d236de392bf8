// The subcommands that each run one operation of the window: ports, find, version, read, write
// and diff.
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/Cli.h"
#include "link/DeviceWatch.h"
#include "link/Text.h"
#include "params/Gathering.h"
#include "params/ParamFile.h"
#include "service/Service.h"
#include "station/StopSignals.h"
#include "transfer/Differences.h"

int RunPorts(TSession& session) {
  for (const std::string& name : session.PortNames) {
    const std::string device = session.Unit->Link.Resolver(name);
    const auto facts = DescribePort(device);
    const bool present = facts.has_value();
    char line[512];
    std::snprintf(line, sizeof line, "%-6s %-40s %s%s", name.c_str(), device.c_str(),
                  present ? "есть" : "нет", name == session.Port ? " (выбран)" : "");
    std::string text = line;
    if (present && !facts->Name.empty()) text += " " + facts->Name;
    // What a udev rule for the unit's slot is written from.
    if (auto usb = present ? facts->Usb : std::nullopt)
      text += " USB " + usb->VendorId + ":" + usb->ProductId +
              (usb->Serial.empty() ? "" : " серийный " + usb->Serial) +
              (usb->ByPath.empty() ? "" : " " + usb->ByPath);
    PrintLine(text);
  }
  return ExitDone;
}

int RunFind(TSession& session) {
  const TFoundPort found = FindPort(*session.Unit, session.PortNames);
  if (!found.Index) {
    session.Person->Say("Предупреждение: Вестра не найдена");
    return ExitFailed;
  }
  session.Port = session.PortNames[*found.Index];
  session.Person->Say("Вестра: Найдена Вестра версии " + Cp1251ToUtf8(found.Version) + " на " +
                      session.Port);
  PrintLine(session.Port + " " + session.Device() + " " + Cp1251ToUtf8(found.Version));
  return ExitDone;
}

int RunVersion(TSession& session) {
  session.SelectPort();
  const TOperationResult read = ReadFirmwareVersion(*session.Unit, session.Port);
  if (!read.Done()) {
    session.ShowError(*read.Failure);
    return ExitFailed;
  }
  session.Person->Say("Вестра: Версия " + Cp1251ToUtf8(read.Version));
  PrintLine(Cp1251ToUtf8(read.Version));
  return ExitDone;
}

int RunRead(TSession& session) {
  session.SelectPort();
  const TReadResult read = session.Unit->ReadConfiguration(session.Port);
  if (!read.Done()) {
    session.ShowError(*read.Failure);
    return ExitFailed;
  }
  // The file is written whatever the checks say: it is what the unit holds.
  TParamList gathered;
  const auto failures = GatherAllValues(read.Values, gathered);
  const auto& lines = gathered.Lines();
  try {
    if (session.Options.isSet("output")) {
      WriteParamFile(session.Options.value("output"), lines);
    } else {
      QFile out;
      if (!out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw std::runtime_error(out.errorString().toStdString());
      WriteParamLines(out, lines);
    }
  } catch (const std::exception& error) {
    session.ShowError(error.what());
    return ExitFailed;
  }
  for (const auto& text : failures) session.Person->Say("Предупреждение: " + text);
  return failures.empty() ? ExitDone : ExitChecksFailed;
}

namespace {

// What became of a write and its verification.
int WriteOutcome(TSession& session, const TWriteReport& report) {
  if (!report.Done()) {
    session.ShowError(*report.Failure);
    return ExitFailed;
  }
  if (!session.Unit->VerifyAfterWrite) return ExitDone;
  if (!report.Differences) return ExitFailed;
  if (!report.Differences->empty()) {
    ShowDifferences(*session.Person, "Проверка записи", "Записано", *report.Differences);
    return ExitDifferences;
  }
  session.Person->Say("Проверено: " + std::to_string(report.Sent.size()) + " параметров совпадают");
  return ExitDone;
}

// The file as the form gathers it; nothing when a check fails, which the judgement has said.
std::optional<TParamList> Gathered(TSession& session) {
  TParamList params;
  if (!GatherAllValues(session.Unit->Values, params).empty()) return std::nullopt;
  return params;
}

}  // namespace

int RunWrite(TSession& session) {
  session.SelectPort();
  if (auto refused = session.ApplyJudged(session.Options.positionalArguments().value(0)))
    return *refused;
  const auto params = Gathered(session);
  if (!params) return ExitChecksFailed;
  TUnitSession& unit = *session.Unit;
  unit.VerifyAfterWrite = !session.Options.isSet("no-verify");
  // The stop signals are blocked since main: one that came before the write keeps it from
  // starting, one that comes during it is taken once the unit has its "#S".
  TStopSignals stop;
  auto stopped = [&] {
    if (!stop.Wait(std::chrono::milliseconds(0))) return false;
    session.Person->Say("Остановлено: " + stop.Name());
    return true;
  };
  if (stopped()) return stop.ExitCode();
  const TWriteReport report = unit.WriteConfiguration(session.Port, *params);
  const int outcome = WriteOutcome(session, report);
  return stopped() ? stop.ExitCode() : outcome;
}

int RunDiff(TSession& session) {
  session.SelectPort();
  if (auto refused = session.ApplyJudged(session.Options.positionalArguments().value(0)))
    return *refused;
  const auto params = Gathered(session);
  if (!params) return ExitChecksFailed;
  const TCompareResult compared = session.Unit->CompareWithUnit(session.Port, *params);
  if (!compared.Done()) {
    session.ShowError(*compared.Failure);
    return ExitFailed;
  }
  ShowDifferences(*session.Person, "Сравнение с Вестрой", "В окне", compared.Differences);
  return compared.Differences.empty() ? ExitDone : ExitDifferences;
}
