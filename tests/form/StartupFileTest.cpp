// The parameter file "Vestra.ini" is applied while the window is created: the one beside the
// program, else the system-wide one (a folder of the test's own stands in for /etc/vestra).
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "tests/support/WindowTest.h"

namespace {

// Puts a start-up file into `folder` for as long as it lives.
class TPlacedStartupFile {
 public:
  TPlacedStartupFile(const QString& folder, const QByteArray& bytes)
      : Name(folder + "/Vestra.ini") {
    QDir().mkpath(folder);
    QFile file(Name);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  ~TPlacedStartupFile() { QFile::remove(Name); }
  const QString Name;
};

}  // namespace

TEST_F(TWindowTest, StartupFileFillsTheControlsBeforeTheWindowIsShown) {
  TPlacedStartupFile startup(
      QCoreApplication::applicationDirPath(),
      "AddrServer1=167903424\r\nAddrServer2=0\r\nPeriod=2\r\nVibroMode=178\r\n"
      "SleepMode=5\r\nEnSMS1=1\r\nPhoneSMS1=1234567\r\nCorrCoef=101\r\n");
  auto window = NewWindow();
  ASSERT_FALSE(window->isVisible());
  EXPECT_EQ(window->EdServer1->Text(), "192.0.2.10");
  EXPECT_TRUE(window->CBServer2->Checked());
  EXPECT_FALSE(window->EdServer2->isEnabled()) << "the server rule ran";
  EXPECT_EQ(window->CBPeriod->ItemIndex(), 2);
  EXPECT_EQ(window->CBVibroMode->ItemIndex(), 2);
  EXPECT_EQ(window->CBSleepMode->ItemIndex(), 1);
  EXPECT_TRUE(window->CBSleepKeyb->Checked());
  EXPECT_TRUE(window->CBSleepKeyb->isEnabled()) << "the sleep rule ran";
  EXPECT_EQ(window->CBPhone1->ItemIndex(), 1);
  EXPECT_EQ(window->EdPhone1->Text(), "1234567");
  // What the form did not keep is logged, and shown from the start of its line.
  window->show();
  QApplication::processEvents();
  EXPECT_TRUE(window->MmLog->toPlainText().startsWith("Предупреждение: CorrCoef"))
      << window->MmLog->toPlainText().toStdString();
  EXPECT_GT(window->MmLog->horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(window->MmLog->horizontalScrollBar()->value(), 0);
}

// An installed program has no file beside it and takes the system-wide one; a file beside the
// program (a build folder, a portable copy) still comes first.
TEST_F(TWindowTest, SystemStartupFileServesWhenNoneLiesBesideTheProgram) {
  TPlacedStartupFile system(TFmMain::SystemStartupFolder, "Period=3\r\n");
  {
    auto window = NewWindow();
    EXPECT_EQ(window->StartupFileName(), system.Name);
    EXPECT_EQ(window->CBPeriod->ItemIndex(), 3);
  }
  TPlacedStartupFile beside(QCoreApplication::applicationDirPath(), "Period=1\r\n");
  auto window = NewWindow();
  EXPECT_EQ(window->StartupFileName(), beside.Name);
  EXPECT_EQ(window->CBPeriod->ItemIndex(), 1);
}

// A program installed under /usr takes no file from its own folder, which is the package
// manager's: a stray /usr/bin/Vestra.ini is not applied.
TEST_F(TWindowTest, InstalledProgramLooksOnlyInTheSystemFolder) {
  TPlacedStartupFile system(TFmMain::SystemStartupFolder, "Period=3\r\n");
  TPlacedStartupFile beside(QCoreApplication::applicationDirPath(), "Period=1\r\n");
  const QString prefix = TFmMain::InstalledPrefix;
  TFmMain::InstalledPrefix = QCoreApplication::applicationDirPath() + "/";
  TFmMain::InstalledPrefix.truncate(TFmMain::InstalledPrefix.lastIndexOf('/', -2) + 1);
  auto window = NewWindow();
  EXPECT_EQ(window->StartupFileName(), system.Name);
  EXPECT_EQ(window->CBPeriod->ItemIndex(), 3);
  TFmMain::InstalledPrefix = prefix;
}
