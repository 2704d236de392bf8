// How long a full read of the configuration takes through one port device, for holding the
// Windows link (under Wine) against the Linux one on the same simulated unit:
// tools/bench-windows.sh runs it from both builds. Usage: bench_PortReadBench DEVICE [READS].
// It prints the time of each read after a first one that warms the line up, and their median.
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "form/FmMain.h"
#include "link/Person.h"

namespace {

// Sees nothing, answers No; remembers a failure.
class TQuietPerson : public TPerson {
 public:
  std::string Failure;
  void Log(std::string_view) override {}
  bool Ask(const std::string&, const std::string&, TIcon) override { return false; }
  void Tell(const std::string& text, const std::string&, TIcon icon) override {
    if (icon == TIcon::Stop) Failure = text;
  }
  void ShowWait(const std::string&) override {}
  void HideWait() override {}
  void SetVersionCaption(const std::string&) override {}
  void ShowDifferences(const std::string&, const std::string&,
                       const std::vector<TDifferenceRow>&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DEVICE [READS]\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string device = argv[1];
  const int reads = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  TQuietPerson person;
  TFmMain form(person, TFmMain::TSettingsUse::ReadOnly);
  form.Link.Resolver = [device](const std::string&) { return device; };
  std::vector<double> times;
  for (int i = 0; i <= reads; ++i) {
    const auto start = std::chrono::steady_clock::now();
    form.ActReadExecute();
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!person.Failure.empty()) {
      std::fprintf(stderr, "read failed: %s\n", person.Failure.c_str());
      return 1;
    }
    if (i > 0) times.push_back(ms);  // the first one opens the line for the first time
  }
  std::sort(times.begin(), times.end());
  std::printf("full read through %s: median %.1f ms of %d reads (%.1f .. %.1f)\n", device.c_str(),
              times[times.size() / 2], reads, times.front(), times.back());
  return 0;
}
