// The session a terminal face runs in: the options given on its command line, the terminal's
// person, and a session on the unit (transfer/UnitSession.h) with the configuration's values as a
// never-shown form would hold them after start-up (the start-up file applied, the stored options
// read; the settings store is never written). `vestra-cli`'s subcommands and the station's run
// in it; each is a function from the session to an exit code (station/ExitCodes.h).
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/ExitCodes.h"
#include "station/TerminalPerson.h"
#include "transfer/UnitSession.h"

// The option that lets "CorrCoef" be written, as the judgement's words name it.
inline constexpr const char* kManualCorrCoefOption = "--manual-corr-coef";

class TSession {
 public:
  // Opens the exchange log when asked for (raises EUsage when it cannot be created).
  explicit TSession(const QCommandLineParser& options);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  const QCommandLineParser& Options;
  std::unique_ptr<TTerminalPerson> Person;
  std::unique_ptr<TUnitSession> Unit;
  // The port list as the window offers it, and the port chosen: one of them, a device path,
  // or empty for none.
  std::vector<std::string> PortNames;
  std::string Port;

  // Selects the port of --port: a name of the list (letter case ignored) or a device path.
  // Without --port the stored selection stays. Raises EUsage for any other name.
  void SelectPort();
  void SelectPort(const QString& port);
  // The device that the selected port name opens.
  std::string Device() const;
  // Applies a parameter file as "Загрузить параметры..." does and gathers it, printing a warning
  // for every value the form did not keep and every failed check. The exit code when it cannot
  // go on: 2 when the file cannot be read, 3 for a failed check or a control character inside
  // a value.
  std::optional<int> ApplyJudged(const QString& fileName);
  // A failure as the window's box shows it: "Ошибка: <text>", "Неизвестная ошибка" without one.
  void ShowError(const std::string& text);

 private:
  std::FILE* ExchangeLog = nullptr;
  void ApplyStartupFile();
};

// The station's database: --db, or `TStationStore::DefaultFile()`.
QString StationDb(const TSession& session);

// Standard output, one line, UTF-8.
void PrintLine(const std::string& line);
