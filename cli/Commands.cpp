// The session every subcommand runs in, and the subcommands that each run one operation of the
// window: ports, find, version, read, write and diff.
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/Cli.h"
#include "cli/StopSignals.h"
#include "cli/UnitsTable.h"
#include "form/QtText.h"
#include "form/Settings.h"
#include "link/DeviceWatch.h"
#include "link/Integer.h"
#include "params/Judgement.h"
#include "params/ParamFile.h"

TSession::TSession(const QCommandLineParser& options) : Options(options) {
  if (options.isSet("exchange-log")) {
    const QString path = options.value("exchange-log");
    ExchangeLog = std::fopen(QFile::encodeName(path).constData(), "ab");
    if (!ExchangeLog) throw EUsage{"не удалось создать " + path.toStdString()};
  }
  Person = std::make_unique<TTerminalPerson>(options.value("unsupported") == "skip", ExchangeLog);
  Form = std::make_unique<TFmMain>(*Person, TFmMain::TSettingsUse::ReadOnly);
  // A device path is its own device; a port name maps as in the window.
  Form->Link.Resolver = [](const std::string& port) {
    return !port.empty() && port.front() == '/' ? port : StoredPortDevice(port);
  };
  // Only the options given on the command line (not every subcommand has these).
  const QStringList given = options.optionNames();
  auto flag = [&given](const char* on, TCheckBox* box) {
    if (given.contains(on)) box->SetChecked(true);
    if (given.contains(QString("no-") + on)) box->SetChecked(false);
  };
  flag("set-time", Form->CBSetTime);
  flag("manual-corr-coef", Form->CBManualCorrCoef);
  if (given.contains("settle")) {
    // Beyond 10 s the unit would have hardly any of the check's 15 s left to answer in.
    auto ms = ToInteger(options.value("settle").toStdString());
    if (!ms || *ms < 0 || *ms > 10000) throw EUsage{"--settle принимает число мс от 0 до 10000"};
    Form->SettleAfterSave = std::chrono::milliseconds(*ms);
  }
  Person->ForgetFailure();  // a start-up file's complaint is not this run's failure
}

TSession::~TSession() {
  Form.reset();
  if (ExchangeLog) std::fclose(ExchangeLog);
}

void TSession::SelectPort() {
  if (Options.isSet("port")) SelectPort(Options.value("port"));
}

void TSession::SelectPort(const QString& port) {
  TComboBox* list = Form->CBPort;
  if (port.startsWith('/')) {
    // Held in the list only by this never-shown form, which never stores it.
    int index = list->findText(port);
    if (index < 0) {
      list->addItem(port);
      index = list->count() - 1;
    }
    list->SetItemIndex(index);
    return;
  }
  const int index = list->findText(port, Qt::MatchFixedString);
  if (index < 0) throw EUsage{"неизвестный порт " + port.toStdString()};
  list->SetItemIndex(index);
}

std::string TSession::Device() const { return Form->Link.Resolver(Form->PortName()); }

std::optional<int> TSession::ApplyJudged(const QString& fileName) {
  std::vector<std::string> lines;
  try {
    lines = ReadParamFile(fileName);
  } catch (const std::exception& error) {
    Form->ShowError(error.what());
    return ExitUsage;
  }
  // A script is told what the form changed, as the window's log is.
  const TFormVerdict verdict =
      JudgeThroughForm(*Form, lines, FileValues(lines), kManualCorrCoefOption);
  for (const auto& unkept : verdict.Unkept) Person->Say("Предупреждение: " + unkept.Text());
  const auto refused = RefusedValues(lines);
  for (const auto& found : refused) Person->Say("Ошибка: " + found.Text());
  for (const auto& text : verdict.Checks) Person->Say("Ошибка: " + text);
  if (!refused.empty() || !verdict.Checks.empty()) return ExitChecksFailed;
  return std::nullopt;
}

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int RunPorts(TSession& session) {
  TComboBox* list = session.Form->CBPort;
  for (int index = 0; index < list->count(); ++index) {
    const std::string name = ToCp1251(list->itemText(index));
    const std::string device = session.Form->Link.Resolver(name);
    const bool present = !device.empty() && QFileInfo::exists(QFile::decodeName(device.c_str()));
    char line[512];
    std::snprintf(line, sizeof line, "%-6s %-40s %s%s", name.c_str(), device.c_str(),
                  present ? "есть" : "нет", index == list->ItemIndex() ? " (выбран)" : "");
    std::string text = line;
    // What a udev rule for the unit's slot is written from.
    if (auto usb = present ? DescribeUsbDevice(device) : std::nullopt)
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
