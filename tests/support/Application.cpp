#include "tests/support/Application.h"

#include <QFile>
#include <filesystem>

#include "form/FmMain.h"
#include "service/Translations.h"

TApplicationEnvironment::TApplicationEnvironment(const char* programName) : Name(programName) {
  Argv[0] = Name.data();
}

void TApplicationEnvironment::SetUp() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  std::filesystem::create_directories(VESTRA_TEST_TEMP);
  Home = std::make_unique<QTemporaryDir>(QStringLiteral(VESTRA_TEST_TEMP "/home-XXXXXX"));
  ASSERT_TRUE(Home->isValid()) << Home->errorString().toStdString();
  HadHome = qEnvironmentVariableIsSet("HOME");
  RealHome = qgetenv("HOME");
  qputenv("HOME", QFile::encodeName(Home->path()));
  // The station's default record goes to the test's home too, never to a folder of the caller's.
  qunsetenv("XDG_STATE_HOME");
  qunsetenv("STATE_DIRECTORY");
  // A start-up file in the machine's /etc must not reach the tests; they put theirs here.
  TFmMain::SystemStartupFolder = Home->path() + "/etc/vestra";
  App = std::make_unique<QApplication>(Argc, Argv);
  // The dialogs that tests click speak Russian, as they do in the program.
  InstallRussianTranslations(*App);
}

void TApplicationEnvironment::TearDown() {
  App.reset();
  if (HadHome)
    qputenv("HOME", RealHome);
  else
    qunsetenv("HOME");
  Home.reset();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Google Test owns the environment from here.
  ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment(argv[0]));
  return RUN_ALL_TESTS();
}
