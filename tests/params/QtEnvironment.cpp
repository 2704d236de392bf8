// One QApplication for the whole test program: the window tests need real widgets, the file
// tests only QtCore, and both run without a display (offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <memory>

namespace {

class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The file dialogs start in the home folder: a test that went astray must not write there.
    qputenv("HOME", Home.path().toLocal8Bit());
    App = std::make_unique<QApplication>(Argc, Argv);
  }
  void TearDown() override { App.reset(); }

 private:
  int Argc = 1;
  char Name[12] = "test_params";
  char* Argv[2] = {Name, nullptr};
  QTemporaryDir Home;
  std::unique_ptr<QApplication> App;
};

const auto* const Environment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace
