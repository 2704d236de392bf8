// The station with a scanner (`provision --scan`): a unit waits for its label and gets the row
// with it, the record keeps the label with the attempt, and a label no unit may have is refused
// at once with its reason while nothing is sent.
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "tests/support/CliFixture.h"

namespace {

class TScanTest : public TSlotsFixture {
 protected:
  // A station of `ports` slots, scanning, over the rows R1 .. R3.
  std::unique_ptr<TCliProcess> Station(int ports) {
    std::vector<std::string> args = {"provision",
                                     Template,
                                     "--units",
                                     WriteFile("units.csv",
                                               "Unit,PhoneSMS1\nR1,+79000000001\nR2,+79000000002\n"
                                               "R3,+79000000003\n"),
                                     "--db",
                                     PathOf("station.db"),
                                     "--scan",
                                     "--json"};
    for (int slot = 1; slot <= ports; ++slot) args.insert(args.end(), {"--port", SlotPort(slot)});
    return std::make_unique<TCliProcess>(args, TCliStart{.InFromPipe = true});
  }

  // The station's events of `kind`, in order.
  static std::vector<QJsonObject> Events(const TCliProcess& station, const std::string& kind) {
    std::vector<QJsonObject> found;
    for (const std::string& line : Lines(station.Out())) {
      const QJsonObject event = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
      if (event["event"].toString().toStdString() == kind) found.push_back(event);
    }
    return found;
  }

  static bool Sees(const TCliProcess& station, const std::string& kind, std::size_t times = 1) {
    return WaitUntil([&] { return Events(station, kind).size() >= times; });
  }

  // The phone the unit was given: the row's, "+7900000000N".
  static std::string Phone(const TSimUnit& unit) {
    for (const std::string& command : unit.Commands())
      if (command.rfind("#WP01 ", 0) == 0) return command.substr(6);
    return {};
  }
};

}  // namespace

using Scan = TScanTest;

TEST_F(Scan, AUnitWaitsForItsLabelUntilUnpluggedAndGetsItsRowWhichTheRecordKeepsWithTheLabel) {
  auto station = Station(2);
  auto unit = Plug(1);
  ASSERT_TRUE(Sees(*station, "arrived")) << station->Err();
  // Without its label the unit hears nothing but the version's question.
  const auto before = unit->Commands();
  EXPECT_TRUE(std::all_of(before.begin(), before.end(),
                          [](const std::string& c) { return c.rfind("#V", 0) == 0; }));
  // Unplugged before its label came: the slot waits for a unit again.
  unit->Stop();
  ASSERT_TRUE(Sees(*station, "left")) << station->Err();
  unit = Plug(1);
  ASSERT_TRUE(Sees(*station, "arrived", 2)) << station->Err();
  // Scanned for the tile of slot 2, whose unit comes later; then one for the waiting unit.
  station->WriteIn("2\tR1\nR3\n");
  ASSERT_TRUE(Sees(*station, "finished")) << station->Err();
  EXPECT_EQ(Phone(*unit), "79000000003");
  auto second = Plug(2);
  ASSERT_TRUE(Sees(*station, "finished", 2)) << station->Err();
  EXPECT_EQ(Phone(*second), "79000000001");

  const auto record = RunCli({"report", "--db", PathOf("station.db"), "--format", "json"});
  std::vector<std::string> rows;
  for (const std::string& line : Lines(record.Out)) {
    const QJsonObject a = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    rows.push_back(a["unit"].toString().toStdString() + "/" +
                   a["scanned"].toString().toStdString() + "/" +
                   a["result"].toString().toStdString());
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"R3/R3/ok", "R1/R1/ok"})) << record.Out;
}

TEST_F(Scan, ALabelNoUnitMayHaveIsRefusedWithItsReasonAndNothingIsSent) {
  auto station = Station(1);
  // R1 done first, R2 waiting for a unit: the labels below meet a row of every kind.
  station->WriteIn("R1\n");
  auto unit = Plug(1);
  ASSERT_TRUE(Sees(*station, "finished")) << station->Err();
  unit->Stop();
  ASSERT_TRUE(Sees(*station, "left")) << station->Err();
  station->WriteIn("R2\n");
  ASSERT_TRUE(Sees(*station, "scanned", 3)) << station->Err();

  struct TCase {
    std::string Line, Label, Reason;
  };
  const TCase cases[] = {
      {"R9", "R9", "в таблице нет строки с такой меткой"},
      {"R1", "R1", "блок с этой меткой уже записан"},
      {"R2", "R2", "метка уже отсканирована и ждёт блока"},
      {"R\x1b"
       "3",
       "R\\x1B3", "в метке управляющий символ (код 27)"},
      {"7\tR3", "R3", "нет слота 7"},
      {"1\tR2", "R2", "метка уже отсканирована и ждёт блока"},
  };
  std::size_t n = 0;
  for (const TCase& c : cases) {
    station->WriteIn(c.Line + "\n");
    ASSERT_TRUE(Sees(*station, "refused", ++n)) << c.Line << station->Err();
    const QJsonObject refused = Events(*station, "refused").back();
    EXPECT_EQ(refused["label"].toString().toStdString(), c.Label) << c.Line;
    EXPECT_EQ(refused["detail"].toString().toStdString(), c.Reason) << c.Line;
  }
  // The unit that comes now gets the one label accepted meanwhile.
  auto next = Plug(1);
  ASSERT_TRUE(Sees(*station, "finished", 2)) << station->Err();
  EXPECT_EQ(Phone(*next), "79000000002");
  EXPECT_EQ(Events(*station, "scanned").size(), 4u) << station->Out();
}
