// Comparing the window with a simulated unit, and verifying a write by reading it back.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QTableWidget>
#include <QTimer>

#include "link/Text.h"
#include "tests/transfer/TransferFixture.h"
#include "transfer/Comparison.h"
#include "transfer/Differences.h"

namespace {

using TRow = TPerson::TDifferenceRow;

class TComparisonTest : public TTransferTest {
 protected:
  // A unit that holds exactly what the window would write (phone numbers lose their "+" on the
  // way, so a unit fresh from its factory values would not).
  void StartEqualUnit(std::vector<std::string> args = {}) {
    StartUnit(std::move(args));
    ReadAll();
    Window->CBSetTime->SetChecked(false);
    Window->ActWriteExecute();
    ASSERT_EQ(Errors(), std::vector<std::string>{});
    Person.LogLines.clear();
    // The final command is not answered: wait until the unit has it.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (Commands().back() != "#S" && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Mark = Commands().size();
  }

  std::size_t Mark = 0;  // commands the unit had when it became equal

  std::vector<std::string> CommandsAfter(std::size_t mark) {
    auto all = Commands();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(mark, all.size())), all.end()};
  }
};

struct TViewCase {
  std::string Code, Expected, Actual;
  TRow View;
};

// How a unit comes back after storing its settings.
struct TRestartCase {
  const char* Name;
  std::vector<std::string> Args;
};
void PrintTo(const TRestartCase& c, std::ostream* out) { *out << c.Name; }

class VerifiedAfterRestart : public TTransferTest,
                             public ::testing::WithParamInterface<TRestartCase> {};

class DescribedDifference : public TTransferTest,
                            public ::testing::WithParamInterface<TViewCase> {};

}  // namespace

using Comparison = TComparisonTest;

TEST_P(DescribedDifference, ReadsAsTheWindowShowsIt) {
  const auto& c = GetParam();
  EXPECT_EQ(DescribeDifference({c.Code, c.Expected, c.Actual}), c.View);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DescribedDifference,
    ::testing::Values(
        TViewCase{"G01",
                  "gprs",
                  "\xe2\xe5\xf1\xf2\xe0",
                  {"SIM2 (внешняя): Логин", "G01", "GPRSUser", "gprs", "веста"}},
        TViewCase{
            "M09", "1", "0", {"Передавать отказы связи", "M09", "SendLinkFault", "да", "нет"}},
        TViewCase{"B01", "12", "25", {"Баланс: Предел (р)", "B01", "BalanceLimit", "120", "250"}},
        TViewCase{
            "S02", "10,0,0,1", "0,0,0,0", {"Сервер2", "S02", "AddrServer2", "10.0.0.1", "0.0.0.0"}},
        // Both would show the last item: the texts themselves say what differs.
        TViewCase{"M04", "255", "3", {"Координаты по спутникам", "M04", "UseGPS", "255", "3"}},
        TViewCase{"M05", "95", "x", {"Калибровка", "M05", "CorrCoef", "95", "x"}},
        TViewCase{"E01",
                  "1,0,2",
                  "1,1,1",
                  {"Телефон1: SMS, Телефон2: SMS, Телефон3: SMS", "E01", "EnSMS1,EnSMS2,EnSMS3",
                   "1,0,2", "1,1,1"}},
        TViewCase{"M19",
                  "3",
                  "1",
                  {"Режим закладки: Передавать сообщения в пассивном режиме, Просыпаться по "
                   "нажатию кнопок",
                   "M19", "SleepMode", "3", "1"}}));

TEST_F(Comparison, AnEqualUnitHasNoDifferencesAndTheWindowStaysAsItWas) {
  StartEqualUnit();
  Window->ActCompareExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  ASSERT_EQ(Person.Differences.size(), 1u);
  EXPECT_EQ(Person.Differences[0].Caption, "Сравнение с Вестрой");
  EXPECT_EQ(Person.Differences[0].OwnColumn, "В окне");
  EXPECT_EQ(Person.Differences[0].Rows, std::vector<TRow>{});
  EXPECT_EQ(Person.WaitTexts.back(), "Сравнение с Вестрой...");
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_FALSE(PortOpen());
}

TEST_F(Comparison, ShowsExactlyTheCodesThatDifferAsTheWindowShowsThem) {
  StartEqualUnit();
  Window->CBPeriod->SetItemIndex(6);
  Window->EdServer1->SetText("10.0.0.1");

  Window->ActCompareExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  ASSERT_EQ(Person.Differences.size(), 1u);
  EXPECT_EQ(
      Person.Differences[0].Rows,
      (std::vector<TRow>{{"Оповещать сервер", "M02", "Period", "Каждый 4часа", "Каждые 10мин"},
                         {"Сервер1", "S01", "AddrServer1", "10.0.0.1", "192.0.2.10"}}));
  EXPECT_EQ(Window->CBPeriod->ItemIndex(), 6);
  EXPECT_EQ(Window->LastDifferences->size(), 2u);
  // Reads only: the version, then every code a write would send.
  for (const auto& command : CommandsAfter(Mark))
    EXPECT_TRUE(command == "#V" || command.rfind("#R", 0) == 0) << command;
}

TEST_F(Comparison, AFailedCheckReadsNothing) {
  StartUnit();
  Window->ActCompareExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{"Недопустимый адрес сервера 1"});
  EXPECT_TRUE(Person.Differences.empty());
  EXPECT_FALSE(Window->LastDifferences);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(Commands(), std::vector<std::string>{});
}

TEST_F(Comparison, VerificationAfterARestartShowsTheCodeTheUnitKept) {
  StartUnit({"--keep", "M02=1", "--restart", "1500"});
  ReadAll();
  Window->CBSetTime->SetChecked(false);
  Window->CBPeriod->SetItemIndex(6);
  Window->VerifyAfterWrite = true;

  Window->ActWriteExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_EQ(Person.WaitTexts.back(), "Проверка записи...");
  ASSERT_EQ(Person.Differences.size(), 1u);
  EXPECT_EQ(Person.Differences[0].Caption, "Проверка записи");
  EXPECT_EQ(Person.Differences[0].OwnColumn, "Записано");
  EXPECT_EQ(
      Person.Differences[0].Rows,
      (std::vector<TRow>{{"Оповещать сервер", "M02", "Period", "Каждый 4часа", "Каждые 20с"}}));
  EXPECT_FALSE(PortOpen());
}

TEST_F(Comparison, AUnitAnsweringLateButInTimeIsVerified) {
  // Every answer 1.5 s late: the questions whether it is back overtake their answers, whether
  // the unit takes them all at once or reads each only once it has answered the one before.
  for (const char* pace : {"--delay", "--one-at-a-time"}) {
    std::vector<std::string> args = {"--delay", "1500", "--set", "M02=6", "--set", "M09=1"};
    if (std::string(pace) != "--delay") args.push_back(pace);
    StartUnit(args);
    ASSERT_EQ(Window->Link.OpenPort("COM3"), "");
    Window->Link.SendCommand("#S\r");
    TWriteReport report;
    report.Sent = {{"M02", "6"}, {"M09", "1"}};

    EXPECT_EQ(Window->Session.VerifyWrite("COM3", report), std::vector<TCodeDifference>{}) << pace;
    Window->Link.ClosePort();
  }
}

TEST_F(Comparison, AVerifiedWriteOnlyTellsTheLog) {
  StartEqualUnit();
  Window->VerifyAfterWrite = true;
  Window->ActWriteExecute();
  EXPECT_EQ(Errors(), std::vector<std::string>{});
  EXPECT_TRUE(Person.Differences.empty());
  ASSERT_FALSE(Person.LogLines.empty());
  EXPECT_EQ(Person.LogLines.back(),
            *Utf8ToCp1251("Проверено: " + std::to_string(Window->LastWrite.size()) +
                          " параметров совпадают"));
  EXPECT_EQ(Window->LastWrite.size(), 43u);
}

TEST_F(Comparison, WithoutVerificationNothingFollowsTheFinalCommand) {
  StartEqualUnit();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(CommandsAfter(Mark - 1), std::vector<std::string>{"#S"});
  EXPECT_FALSE(Window->LastDifferences);
}

TEST_F(Comparison, TheMenuItemShowsTheWindowsOwnDialog) {
  StartEqualUnit();
  Window->CBSendLinkFault->SetChecked(!Window->CBSendLinkFault->Checked());
  Window->SetPerson(nullptr);  // the window's own dialogs
  QString title, boxes;
  QStringList headers, cells;
  QTimer guard;  // plays the person: notes what the dialog shows and closes it
  QObject::connect(&guard, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes += box->text();
      box->done(QMessageBox::Ok);
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      title = dialog->windowTitle();
      if (auto* table = dialog->findChild<QTableWidget*>("TbDifferences")) {
        for (int c = 0; c < table->columnCount(); ++c)
          headers << table->horizontalHeaderItem(c)->text();
        for (int r = 0; r < table->rowCount(); ++r)
          for (int c = 0; c < table->columnCount(); ++c) cells << table->item(r, c)->text();
      }
      dialog->accept();
    }
  });
  guard.start(50);

  Window->FindControlAs<QAction>("ActCompare")->trigger();

  EXPECT_EQ(boxes, "");
  EXPECT_EQ(title, "Сравнение с Вестрой");
  EXPECT_EQ(headers, QStringList({"Параметр", "Код", "В окне", "В Вестре"}));
  EXPECT_EQ(cells, QStringList({"Передавать отказы связи", "M09", "нет", "да"}));
}

TEST_P(VerifiedAfterRestart, ReadsEveryCodeBackOnceTheUnitIsBack) {
  // COM3 leads to a link, as /dev/serial/by-id does: a unit back on the bus is found there.
  const std::string link = VESTRA_TEST_TEMP "/verified-unit.tty";
  auto args = GetParam().Args;
  args.insert(args.end(), {"--link", link});
  StartUnit(args);
  MapPort("COM3", link);
  ReadAll();
  Window->CBSetTime->SetChecked(false);
  Window->VerifyAfterWrite = true;

  Window->ActWriteExecute();

  EXPECT_EQ(Errors(), std::vector<std::string>{});
  ASSERT_TRUE(Window->LastDifferences);
  EXPECT_EQ(*Window->LastDifferences, std::vector<TCodeDifference>{});
  const auto commands = Commands();
  const auto stored = std::find(commands.begin(), commands.end(), "#S");
  EXPECT_EQ(std::count_if(stored, commands.end(),
                          [](const std::string& c) { return c.rfind("#R", 0) == 0; }),
            static_cast<std::ptrdiff_t>(Window->LastWrite.size()));
  EXPECT_FALSE(PortOpen());
}

INSTANTIATE_TEST_SUITE_P(Window, VerifiedAfterRestart,
                         ::testing::Values(TRestartCase{"AnswersThenRestarts",
                                                        {"--ack-save", "--restart-after-save",
                                                         "2000"}},
                                           TRestartCase{"DropsOffTheBus", {"--reconnect", "1500"}}),
                         [](const auto& info) { return std::string(info.param.Name); });
