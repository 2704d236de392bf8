// The session every subcommand runs in: the never-shown form, its terminal person and the options
// given on the command line.
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <string>

#include "cli/Cli.h"
#include "form/QtText.h"
#include "form/Settings.h"
#include "link/Integer.h"
#include "params/Judgement.h"
#include "params/ParamFile.h"
#include "station/UnitsTable.h"

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
