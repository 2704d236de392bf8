// The parameter file "Vestra.ini" beside the program is applied while the window is created.
#include <QCoreApplication>
#include <QFile>

#include "tests/support/WindowTest.h"

namespace {

// Puts a start-up file beside the test program for as long as it lives.
class TStartupFile {
 public:
  explicit TStartupFile(const QByteArray& bytes)
      : Name(QCoreApplication::applicationDirPath() + "/Vestra.ini") {
    QFile file(Name);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  ~TStartupFile() { QFile::remove(Name); }

 private:
  QString Name;
};

}  // namespace

TEST_F(TWindowTest, StartupFileFillsTheControlsBeforeTheWindowIsShown) {
  TStartupFile startup(
      "AddrServer1=167903424\r\nAddrServer2=0\r\nPeriod=2\r\nVibroMode=178\r\n"
      "SleepMode=5\r\nEnSMS1=1\r\nPhoneSMS1=1234567\r\n");
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
}
