// vestra-cli: the configurator's operations from a script.
//
// Every subcommand runs on a `TFmMain` that is built but never shown, with a `TTerminalPerson`
// instead of dialogs, and calls the very handlers the window's menu calls. The settings store is
// read (ports, the selected port, the two options) and never written. `TSession` holds that form
// and its person for one run; each subcommand is a function from the session and its parsed
// command line to an exit code.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/TerminalPerson.h"
#include "form/FmMain.h"

// The exit codes of every subcommand.
enum TExit : int {
  ExitDone = 0,
  ExitFailed = 1,        // the operation failed; its text was printed as the window's box shows it
  ExitUsage = 2,         // the command line or an input file cannot be read or parsed
  ExitChecksFailed = 3,  // the form's checks failed or a value was refused; nothing was sent
  ExitDifferences = 4,   // the unit holds other values than expected
  // A stop signal ended the run once that was safe: 128 + the signal's number.
};

// The option that lets "CorrCoef" be written, as the judgement's words name it.
inline constexpr const char* kManualCorrCoefOption = "--manual-corr-coef";

// A usage error found while running: printed, exit 2.
struct EUsage {
  std::string Text;
};

class TSession {
 public:
  // Opens the exchange log when asked for (raises EUsage when it cannot be created).
  explicit TSession(const QCommandLineParser& options);
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  const QCommandLineParser& Options;
  std::unique_ptr<TTerminalPerson> Person;
  std::unique_ptr<TFmMain> Form;

  // Selects the port of --port in the form's port list: a name of the list (letter case
  // ignored) or a device path. Without --port the stored selection stays. Raises EUsage for
  // any other name.
  void SelectPort();
  void SelectPort(const QString& port);
  // The device that the selected port name opens.
  std::string Device() const;
  // Applies a parameter file as "Загрузить параметры..." does and gathers it, printing a warning
  // for every value the form did not keep and every failed check. The exit code when it cannot
  // go on: 2 when the file cannot be read, 3 for a failed check or a control character inside
  // a value.
  std::optional<int> ApplyJudged(const QString& fileName);

 private:
  std::FILE* ExchangeLog = nullptr;
};

// The subcommands (cli/Commands.cpp; the station's in station/Provision.cpp, station/Report.cpp).
int RunPorts(TSession& session);
int RunFind(TSession& session);
int RunVersion(TSession& session);
int RunRead(TSession& session);
int RunWrite(TSession& session);
int RunDiff(TSession& session);
int RunProvision(TSession& session);
int RunReport(TSession& session);

// The station's database: --db, or station.db in the current folder.
QString StationDb(const TSession& session);

// Standard output, one line, UTF-8.
void PrintLine(const std::string& line);
