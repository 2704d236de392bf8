// Measures what the receive monitor and port discovery cost: CPU time as a share of one core
// with the monitor off and with it on against a simulated unit that sends a "$" message every
// 50 ms, the rate of messages that reach the log, and the wall time of a discovery over 24 port
// names none of which exists. Prints its figures; never fails.
//
//   bench_MonitorBench [seconds per CPU phase, default 30]
#include <time.h>

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "form/FmMain.h"
#include "tests/support/SimUnit.h"

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double WallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct TLoopFigures {
  double CpuShare;  // of one core, in percent
  double Seconds;
};

// Runs the message loop for `seconds` and measures this process's CPU time meanwhile.
TLoopFigures RunLoop(QApplication& app, int seconds) {
  const double cpu = CpuSeconds(), wall = WallSeconds();
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  app.exec();
  const double elapsed = WallSeconds() - wall;
  return {100.0 * (CpuSeconds() - cpu) / elapsed, elapsed};
}

// Lines of the log that hold a "$" message.
int CountMessages(const QPlainTextEdit& log) {
  int count = 0;
  for (auto block = log.document()->begin(); block.isValid(); block = block.next())
    if (block.text().startsWith('$')) ++count;
  return count;
}

void MapAllPortsToNothing() {
  QSettings store("Mirotan", "TindraSetup");
  for (int i = 1; i <= 24; ++i)
    store.setValue(QString("Ports/COM%1").arg(i), QString("/nonexistent/vestra-com%1").arg(i));
  store.sync();
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

  // A settings store of its own, so that the person's port choices stay untouched.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  MapAllPortsToNothing();

  TSimUnit unit({"--periodic", "50"});
  {
    QSettings store("Mirotan", "TindraSetup");
    store.setValue("Ports/COM3", QString::fromStdString(unit.PtyPath()));
  }

  auto window = std::make_unique<TFmMain>();
  window->show();
  window->CBPort->SetItemIndex(2);  // COM3

  std::printf("Receive monitor and port discovery (%d s per phase)\n", seconds);
  std::fflush(stdout);

  RunLoop(app, 1);  // the first showing and painting are not idling
  const TLoopFigures idle = RunLoop(app, seconds);
  std::printf("  idle, monitor off:   CPU %.3f %% of one core (expected < 0.2 %%)\n",
              idle.CpuShare);
  std::fflush(stdout);

  window->SBGPS->click();
  const TLoopFigures monitoring = RunLoop(app, seconds);
  const int lines = CountMessages(*window->MmLog);
  std::printf("  monitoring, $ every 50 ms: CPU %.3f %% of one core (expected < 2 %%)\n",
              monitoring.CpuShare);
  std::printf("  messages logged:     %.2f per second (expected about 10)\n",
              lines / monitoring.Seconds);
  window->SBGPS->click();
  std::fflush(stdout);

  // Discovery with the window's own wait panel; the final box is closed as soon as it shows,
  // and the time is taken up to that moment.
  MapAllPortsToNothing();
  double shown = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QWidget* box = QApplication::activeModalWidget()) {
      if (shown == 0) shown = WallSeconds();
      box->close();
    }
  });
  closer.start(5);
  const double start = WallSeconds();
  window->BtFindPortClick();
  closer.stop();
  if (shown == 0) shown = WallSeconds();
  std::printf(
      "  discovery over 24 missing port names: %.1f ms wall time (expected well under 1 s)\n",
      (shown - start) * 1000.0);
  return 0;
}
