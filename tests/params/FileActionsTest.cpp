#include <signal.h>
#include <sys/resource.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QTest>

#include "link/Text.h"
#include "tests/params/FormFixture.h"

namespace {

using TFileActions = TFormTest;

// Files may grow to `bytes` at most while it lives; root is bound by this as well.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    OldHandler = signal(SIGXFSZ, SIG_IGN);  // a failed write instead of a killed process
    getrlimit(RLIMIT_FSIZE, &Old);
    rlimit limit = Old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &Old);
    signal(SIGXFSZ, OldHandler);
  }

 private:
  rlimit Old{};
  sighandler_t OldHandler;
};

}  // namespace

TEST_F(TFileActions, SaveAddsTheDefaultExtensionAndWritesTheGatheredLines) {
  MakeValid();
  TDialogHand hand(Window->SaveDialog, TDialogHand::Accept(Path("Unit7")));
  Window->ActSaveExecute();
  EXPECT_EQ(hand.Shown, 1);
  EXPECT_TRUE(Person.Boxes.empty());
  auto bytes = FileBytes(Path("Unit7.ini"));
  EXPECT_EQ(bytes.rfind("AddrServer1=167903424\r\nAddrServer2=-939524086\r\n", 0), 0u) << bytes;
  EXPECT_EQ(bytes.substr(bytes.size() - 14), "ControlSMS=0\r\n");
}

TEST_F(TFileActions, TheChosenFilterLeavesTheTypedNameAsItIs) {
  struct TCase {
    const char *Typed, *Saved;
    std::vector<Qt::Key> Keys;  // on the list of filters, as the person picks one
  };
  const TCase cases[] = {
      {"Vestra.ini", "Vestra.ini", {Qt::Key_Down}},
      {"unit7.cfg", "unit7.cfg", {Qt::Key_Down}},
      {"unit7", "unit7.ini", {Qt::Key_Down}},
      {"unit8.cfg", "unit8.cfg", {Qt::Key_Down, Qt::Key_Up}},
  };
  MakeValid();
  for (const auto& c : cases) {
    TDialogHand hand(Window->SaveDialog, [&](QFileDialog* dialog) {
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(Path(c.Typed));
      auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
      for (Qt::Key key : c.Keys) QTest::keyClick(types, key);
      dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    });
    Window->ActSaveExecute();
    EXPECT_EQ(hand.Shown, 1) << c.Typed;
    EXPECT_TRUE(Person.Boxes.empty()) << c.Typed;
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).join(" ").toStdString(), c.Saved) << c.Typed;
    QFile::remove(Path(c.Saved));
  }
}

TEST_F(TFileActions, AFailedGatheringOpensNoDialogAndWritesNothing) {
  TDialogHand hand(Window->SaveDialog, TDialogHand::Accept(Path("never.ini")));
  Window->ActSaveExecute();
  EXPECT_EQ(TakeError(), "Ошибка|Недопустимый адрес сервера 1");
  EXPECT_EQ(hand.Shown, 0);
  EXPECT_TRUE(QDir(Dir.path()).isEmpty());
}

TEST_F(TFileActions, CancellingEitherDialogChangesNothing) {
  MakeValid();
  auto name = Path("Vestra.ini");
  PutFile(name, "Period=1\r\n");
  {
    TDialogHand hand(Window->SaveDialog, TDialogHand::Cancel);
    Window->ActSaveExecute();
    EXPECT_EQ(hand.Shown, 1);
  }
  EXPECT_EQ(FileBytes(name), "Period=1\r\n");
  auto before = Snapshot();
  {
    TDialogHand hand(Window->OpenDialog, TDialogHand::Cancel);
    Window->ActLoadExecute();
    EXPECT_EQ(hand.Shown, 1);
  }
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(Person.Boxes.empty());
}

TEST_F(TFileActions, LoadAppliesTheChosenFile) {
  auto name = Path("chosen.ini");
  PutFile(name, "Period=7\r\nGPRSSite=apn.example\r\n");
  TDialogHand hand(Window->OpenDialog, TDialogHand::Accept(name));
  Window->ActLoadExecute();
  EXPECT_EQ(hand.Shown, 1);
  EXPECT_TRUE(Person.Boxes.empty());
  EXPECT_EQ(Window->CBPeriod->ItemIndex(), 7);
  EXPECT_EQ(Window->EdAPNE->Text(), "apn.example");
}

TEST_F(TFileActions, AFailedSaveLeavesTheOldFileAsItWasAndShowsTheError) {
  MakeValid();
  Window->EdRqBalance->SetText(QString(3000, QChar('#')));  // more than the size limit below
  auto name = Path("Vestra.ini");
  const std::string old = "AddrServer1=167903424\r\nPeriod=4\r\n";
  PutFile(name, old);
  {
    TFileSizeLimit limit(2048);
    TDialogHand hand(Window->SaveDialog, TDialogHand::AcceptQuietly(name));
    Window->ActSaveExecute();
    EXPECT_EQ(hand.Shown, 1);
  }
  auto error = TakeError();
  EXPECT_EQ(error.rfind("Ошибка|Не удалось записать файл " + name.toStdString(), 0), 0u) << error;
  EXPECT_EQ(FileBytes(name), old);
  EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Vestra.ini"});
}

TEST_F(TFileActions, SavingIntoAMissingFolderIsReported) {
  MakeValid();
  auto name = Path("no-such-folder/Vestra.ini");
  TDialogHand hand(Window->SaveDialog, TDialogHand::AcceptQuietly(name));
  Window->ActSaveExecute();
  auto error = TakeError();
  EXPECT_EQ(error.rfind("Ошибка|Не удалось создать файл " + name.toStdString(), 0), 0u) << error;
}

TEST_F(TFileActions, ALineBreakInsideAValueIsRefusedRatherThanSavedAsTwoLines) {
  MakeValid();
  Window->EdAPNE->SetText("apn\nAddrServer1=1");
  auto name = Path("Vestra.ini");
  PutFile(name, "Period=4\r\n");
  TDialogHand hand(Window->SaveDialog, TDialogHand::AcceptQuietly(name));
  Window->ActSaveExecute();
  auto error = TakeError();
  EXPECT_NE(error.find("GPRSSite"), std::string::npos) << error;
  EXPECT_EQ(FileBytes(name), "Period=4\r\n");
}

// A value that would carry a control character to the unit refuses the whole file; values the
// form holds otherwise are applied as always and listed in the log, in the command line's words.
TEST_F(TFileActions, LoadRefusesAControlCharacterAndListsWhatTheFormChanged) {
  auto refused = Path("refused.ini");
  PutFile(refused, "Period=7\r\nSMSPwd=12\x1b#WL00\r\n");
  const auto before = Snapshot();
  {
    TDialogHand hand(Window->OpenDialog, TDialogHand::Accept(refused));
    Window->ActLoadExecute();
  }
  const auto error = TakeError();
  EXPECT_NE(error.find("SMSPwd: «12\\x1B#WL00» — управляющий символ (код 27)"), std::string::npos)
      << error;
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(Person.LogLines.empty());

  auto changed = Path("changed.ini");
  PutFile(changed, "Period=7\r\nRingLevel=99\r\nUseGPS=x\r\n");
  {
    TDialogHand hand(Window->OpenDialog, TDialogHand::Accept(changed));
    Window->ActLoadExecute();
  }
  EXPECT_TRUE(Person.Boxes.empty());
  EXPECT_EQ(Window->CBPeriod->ItemIndex(), 7);
  EXPECT_EQ(Window->SERingLevel->Value(), 15);
  std::vector<std::string> logged;
  for (const auto& line : Person.LogLines) logged.push_back(Cp1251ToUtf8(line));
  EXPECT_EQ(logged, (std::vector<std::string>{
                        "Предупреждение: UseGPS: «x» — не целое число",
                        "Предупреждение: RingLevel: «99» — вне диапазона от 0 до 15",
                    }));
}
