// The session every subcommand runs in: the engine's session on the unit, its terminal person
// and the options given on the command line.
#include "station/Session.h"

#include <QFile>
#include <chrono>
#include <cstdio>
#include <string>

#include "link/Integer.h"
#include "link/PortCatalogue.h"
#include "link/Text.h"
#include "params/Judgement.h"
#include "params/ParamFile.h"
#include "params/StartupFile.h"
#include "service/PortStore.h"

TSession::TSession(const QCommandLineParser& options)
    : Options(options), PortNames(PortCatalogue::PortNames()) {
  if (options.isSet("exchange-log")) {
    const QString path = options.value("exchange-log");
    ExchangeLog = std::fopen(QFile::encodeName(path).constData(), "ab");
    if (!ExchangeLog) throw EUsage{"не удалось создать " + path.toStdString()};
  }
  Person = std::make_unique<TTerminalPerson>(options.value("unsupported") == "skip", ExchangeLog);
  // A device path is its own device; a port name maps as in the window.
  Unit = std::make_unique<TUnitSession>(Person.get(), [](const std::string& port) {
    return !port.empty() && port.front() == '/' ? port : StoredPortDevice(port);
  });
  // As the window starts: the stored options, then the start-up file.
  const TStoredOptions stored = ReadStoredOptions();
  if (stored.PortIndex && *stored.PortIndex >= 0 &&
      *stored.PortIndex < static_cast<int>(PortNames.size()))
    Port = PortNames[static_cast<std::size_t>(*stored.PortIndex)];
  Unit->ManualCorrCoef = stored.ManualCorrCoef.value_or(false);
  if (stored.SetTime) Unit->Values.SetChecked("CBSetTime", *stored.SetTime);
  ApplyStartupFile();
  // Only the options given on the command line (not every subcommand has these).
  const QStringList given = options.optionNames();
  if (given.contains("set-time")) Unit->Values.SetChecked("CBSetTime", true);
  if (given.contains("no-set-time")) Unit->Values.SetChecked("CBSetTime", false);
  if (given.contains("manual-corr-coef")) Unit->ManualCorrCoef = true;
  if (given.contains("no-manual-corr-coef")) Unit->ManualCorrCoef = false;
  if (given.contains("settle")) {
    // Beyond 10 s the unit would have hardly any of the check's 15 s left to answer in.
    auto ms = ToInteger(options.value("settle").toStdString());
    if (!ms || *ms < 0 || *ms > 10000) throw EUsage{"--settle принимает число мс от 0 до 10000"};
    Unit->SettleAfterSave = std::chrono::milliseconds(*ms);
  }
}

TSession::~TSession() {
  Unit.reset();
  if (ExchangeLog) std::fclose(ExchangeLog);
}

void TSession::ApplyStartupFile() {
  const QString startup = TStartupFile::Name();
  if (startup.isEmpty()) return;
  // A start-up file's complaint is said, but is not this run's failure.
  const TFileApplied applied =
      ApplyParamFile(Unit->Values, Unit->ManualCorrCoef, startup, ManualCorrCoefLabel());
  if (applied.Failure) Person->Say("Ошибка: " + *applied.Failure);
  for (const auto& unkept : applied.Unkept)
    Person->Log(Utf8ToCp1251("Предупреждение: " + unkept.Text()).value_or(""));
}

void TSession::ShowError(const std::string& text) {
  Person->Say("Ошибка: " + (text.empty() ? std::string("Неизвестная ошибка") : text));
}

void TSession::SelectPort() {
  if (Options.isSet("port")) SelectPort(Options.value("port"));
}

void TSession::SelectPort(const QString& port) {
  if (port.startsWith('/')) {
    Port = port.toStdString();
    return;
  }
  for (const std::string& name : PortNames) {
    if (QString::fromStdString(name).compare(port, Qt::CaseInsensitive) == 0) {
      Port = name;
      return;
    }
  }
  throw EUsage{"неизвестный порт " + port.toStdString()};
}

std::string TSession::Device() const { return Unit->Link.Resolver(Port); }

std::optional<int> TSession::ApplyJudged(const QString& fileName) {
  std::vector<std::string> lines;
  try {
    lines = ReadParamFile(fileName);
  } catch (const std::exception& error) {
    ShowError(error.what());
    return ExitUsage;
  }
  // A script is told what the form changed, as the window's log is.
  const TFormVerdict verdict = JudgeValues(Unit->Values, Unit->ManualCorrCoef, lines,
                                           FileValues(lines), kManualCorrCoefOption);
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
