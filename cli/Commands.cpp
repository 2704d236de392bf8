// The subcommands that each run one operation of the window: ports, find, version, read, write
// and diff.
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/Cli.h"
#include "cli/StopSignals.h"
#include "form/QtText.h"
#include "form/Settings.h"
#include "link/DeviceWatch.h"
#include "link/Integer.h"
#include "params/ParamFile.h"
#include "station/UnitsTable.h"

int RunPorts(TSession& session) {
  TComboBox* list = session.Form->CBPort;
  for (int index = 0; index < list->count(); ++index) {
    const std::string name = ToCp1251(list->itemText(index));
    const std::string device = session.Form->Link.Resolver(name);
    const auto facts = DescribePort(device);
    const bool present = facts.has_value();
    char line[512];
    std::snprintf(line, sizeof line, "%-6s %-40s %s%s", name.c_str(), device.c_str(),
                  present ? "есть" : "нет", index == list->ItemIndex() ? " (выбран)" : "");
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
  session.Form->BtFindPortClick();
  if (session.Person->LastIcon() != TPerson::TIcon::Information) return ExitFailed;
  PrintLine(session.Form->PortName() + " " + session.Device() + " " + session.Person->Version());
  return ExitDone;
}

int RunVersion(TSession& session) {
  session.SelectPort();
  session.Form->ActVersionExecute();
  if (session.Person->Failure()) return ExitFailed;
  PrintLine(session.Person->Version());
  return ExitDone;
}

int RunRead(TSession& session) {
  session.SelectPort();
  session.Form->ActReadExecute();
  if (session.Person->Failure()) return ExitFailed;
  // The file is written whatever the checks say: it is what the unit holds.
  const auto failures = session.Form->GatherAllParameters();
  const auto& lines = session.Form->ParamList.Lines();
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
    session.Form->ShowError(error.what());
    return ExitFailed;
  }
  for (const auto& text : failures) session.Person->Say("Предупреждение: " + text);
  return failures.empty() ? ExitDone : ExitChecksFailed;
}

namespace {

// What became of a write and its verification.
int WriteOutcome(TSession& session) {
  TFmMain& form = *session.Form;
  if (session.Person->Failure()) return ExitFailed;
  if (!form.VerifyAfterWrite) return ExitDone;
  if (!form.LastDifferences) return ExitFailed;
  if (!form.LastDifferences->empty()) return ExitDifferences;
  session.Person->Say("Проверено: " + std::to_string(form.LastWrite.size()) +
                      " параметров совпадают");
  return ExitDone;
}

}  // namespace

int RunWrite(TSession& session) {
  session.SelectPort();
  if (auto refused = session.ApplyJudged(session.Options.positionalArguments().value(0)))
    return *refused;
  TFmMain& form = *session.Form;
  form.VerifyAfterWrite = !session.Options.isSet("no-verify");
  // The stop signals are blocked since main: one that came before the write keeps it from
  // starting, one that comes during it is taken once the unit has its "#S".
  TStopSignals stop;
  auto stopped = [&] {
    if (!stop.Wait(std::chrono::milliseconds(0))) return false;
    session.Person->Say("Остановлено: " + stop.Name());
    return true;
  };
  if (stopped()) return stop.ExitCode();
  form.ActWriteExecute();
  const int outcome = WriteOutcome(session);
  return stopped() ? stop.ExitCode() : outcome;
}

int RunDiff(TSession& session) {
  session.SelectPort();
  if (auto refused = session.ApplyJudged(session.Options.positionalArguments().value(0)))
    return *refused;
  TFmMain& form = *session.Form;
  form.ActCompareExecute();
  if (session.Person->Failure() || !form.LastDifferences) return ExitFailed;
  return form.LastDifferences->empty() ? ExitDone : ExitDifferences;
}
