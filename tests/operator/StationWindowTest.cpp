// The operator's window end to end: the station it runs on three simulated units, driven as the
// line drives it (plug, scan, click a tile, unplug), its tiles, its refusals, a port that does
// not open, its figures, and the record that `vestra-cli report` prints afterwards.
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "operator/FiguresPanel.h"
#include "operator/StationWindow.h"
#include "operator/Tiles.h"
#include "tests/support/CliFixture.h"

namespace {

class TStationWindowTest : public TSlotsFixture {
 protected:
  std::string Config;

  void SetUp() override {
    TSlotsFixture::SetUp();
    WriteFile("units.csv", "Unit,PhoneSMS1\nR1,+79000000001\nR2,+79000000002\nR3,+79000000003\n");
    // The table and the database by relative names, as a line writes them: taken from the
    // configuration's folder.
    std::string ports;
    for (int slot = 1; slot <= 3; ++slot) ports += "--port " + SlotPort(slot) + " ";
    // A fourth slot whose port is a plain file: it never opens.
    ports += "--port " + WriteFile("not-a-port", "") + " ";
    Config = WriteFile("line1.conf", "TEMPLATE=" + Template + "\nUNITS=units.csv\nOPTIONS=\"" +
                                         ports + "--station line1 --db station.db --scan\"\n");
    // The vestra-cli of this build, as beside an installed vestra-station.
    const QByteArray cli = QFile::encodeName(QFileInfo(VESTRA_CLI_PATH).absolutePath());
    qputenv("PATH", cli + ":" + qgetenv("PATH"));
  }

  static bool Shows(TStationWindow& window, int slot, const QString& words) {
    return QTest::qWaitFor(
        [&] {
          TSlotTile* tile = window.Grid()->Find(slot);
          return tile && tile->PhaseText() == words;
        },
        60000);
  }
};

}  // namespace

using StationWindow = TStationWindowTest;

TEST_F(StationWindow, ProvisionsThreeUnitsByTheirScansAndCountsAsTheRecord) {
  TStationWindow window;
  window.show();
  ASSERT_TRUE(window.Open(QString::fromStdString(Config)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.Grid()->Tiles().size() == 4; }, 60000))
      << window.StatusText().toStdString();

  // Plugged, then scanned: written and verified.
  auto first = Plug(1);
  ASSERT_TRUE(Shows(window, 1, "блок подключён — отсканируйте метку"));
  window.Scan("R1");
  ASSERT_TRUE(Shows(window, 1, "готово — отключите блок"));
  EXPECT_EQ(window.Grid()->Find(1)->SignText(), "✓");
  EXPECT_EQ(window.Grid()->Find(1)->LabelText(), "R1");

  // A label whose unit is done is refused loudly, and nothing is sent.
  window.Scan("R1");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.RefusalText().isEmpty(); }, 60000));
  EXPECT_EQ(window.RefusalText(), "Метка «R1» отклонена: блок с этой меткой уже записан");

  // Scanned for the clicked tile before its unit comes; the unit fails, and keeps its reason.
  QTest::mouseClick(window.Grid()->Find(2), Qt::LeftButton);
  window.Scan("R2");
  ASSERT_TRUE(Shows(window, 2, "метка принята — подключите блок"));
  auto failing = Plug(2, {"--keep", "P01=70000000000"});
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return window.Grid()->Find(2)->State().Phase == TSlotPhase::Failed; }, 60000))
      << window.Grid()->Find(2)->PhaseText().toStdString();
  const QString reason = window.Grid()->Find(2)->PhaseText();
  EXPECT_TRUE(reason.startsWith("ошибка: ")) << reason.toStdString();
  EXPECT_TRUE(reason.contains("P01")) << reason.toStdString();
  EXPECT_EQ(window.Grid()->Find(2)->SignText(), "✗");
  failing->Stop();
  ASSERT_TRUE(Shows(window, 2, "ждёт блок"));

  // Scanned first, then plugged into the third slot.
  window.Scan("R3");
  auto third = Plug(3);
  ASSERT_TRUE(Shows(window, 3, "готово — отключите блок"));
  // The port that does not open says why on its tile.
  EXPECT_EQ(window.Grid()->Find(4)->PhaseText().toStdString(), "ошибка: " + PathOf("not-a-port") +
                                                                   " (" + PathOf("not-a-port") +
                                                                   "): не последовательный порт");

  ASSERT_TRUE(QTest::qWaitFor([&] { return window.Figures()->Figure("Записано") == "2"; }, 60000));
  EXPECT_EQ(window.Figures()->Figure("Ошибок"), "1");
  EXPECT_EQ(window.Figures()->Figure("Осталось строк"), "1");

  // Closed: the station ends after the units in hand.
  window.close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 60000));

  const auto record = RunCli({"report", "--db", PathOf("station.db"), "--format", "json"});
  std::vector<std::string> attempts;
  int written = 0;
  for (const std::string& line : Lines(record.Out)) {
    const QJsonObject a = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    attempts.push_back(a["unit"].toString().toStdString() + "/" +
                       a["scanned"].toString().toStdString() + "/" +
                       a["result"].toString().toStdString());
    written += a["result"] == "ok";
  }
  EXPECT_EQ(attempts, (std::vector<std::string>{"R1/R1/ok", "R2/R2/differences", "R3/R3/ok"}))
      << record.Out;
  EXPECT_EQ(QString::number(written), window.Figures()->Figure("Записано"));
}
