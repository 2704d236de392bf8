// The line's dashboard in a real browser (headless chromium) against live stations with
// simulated units, on SQLite and on a PostgreSQL server of the test's own: the tiles follow each
// unit, the figures equal `report`'s, a label with markup stays text, a station killed goes
// silent, one stopped says so; beyond this PC the page asks for its token once.
#include <signal.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Browser.h"
#include "tests/support/CliFixture.h"
#include "tests/support/PgServer.h"

namespace {

// A label a table may hold: shown as these very characters, never run.
const std::string kMarkup = "<img src=x onerror=window.pwned=1>";

class TDashboardTest : public TCliTest {
 protected:
  std::string Template;
  std::unique_ptr<TPgServer> Pg;

  void SetUp() override {
    TCliTest::SetUp();
    StartUnit();
    Template = SaveUnit("template.ini");
    Unit.reset();
  }

  std::string Database(bool postgres) {
    if (!postgres) return PathOf("line.db");
    Pg = std::make_unique<TPgServer>();
    return Pg->NewDatabase("line");
  }

  std::string Port(const std::string& name) const { return PathOf(name + ".tty"); }

  std::unique_ptr<TSimUnit> Plug(const std::string& port, std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"--link", Port(port)});
    return std::make_unique<TSimUnit>(more);
  }

  // The station `name` on the line's table, a slot for each of `ports`.
  std::unique_ptr<TCliProcess> Station(const std::string& db, const std::string& name,
                                       const std::vector<std::string>& ports) {
    const std::string table = "Unit,PhoneSMS1\nr1,+79000000001\n" + kMarkup +
                              ",+79000000002\nr3,+79000000003\nr4,+79000000004\n";
    std::vector<std::string> args = {
        "provision", Template, "--units",   WriteFile("units.csv", table),
        "--db",      db,       "--station", name};
    for (const std::string& port : ports) args.insert(args.end(), {"--port", Port(port)});
    return std::make_unique<TCliProcess>(args);
  }

  // The dashboard once it serves; its address from what it printed.
  std::unique_ptr<TCliProcess> Serve(const std::string& db, const std::string& listen,
                                     std::string& address) {
    auto dashboard = std::make_unique<TCliProcess>(
        std::vector<std::string>{"dashboard", "--db", db, "--listen", listen});
    const QRegularExpression served("Панель линии: http://[^:]+:(\\d+)/");
    EXPECT_TRUE(WaitUntil([&] {
      // Stations just started may not have made the schema yet: the dashboard refuses then.
      if (dashboard->Wait(std::chrono::milliseconds(0)) >= 0)
        dashboard = std::make_unique<TCliProcess>(
            std::vector<std::string>{"dashboard", "--db", db, "--listen", listen});
      return served.match(QString::fromStdString(dashboard->Out())).hasMatch();
    })) << dashboard->Err();
    address = "http://127.0.0.1:" +
              served.match(QString::fromStdString(dashboard->Out())).captured(1).toStdString() +
              "/";
    return dashboard;
  }

  // What the tile of `station`'s `slot` shows by `what` (of the tile `t`); empty when none.
  static std::string Tile(const std::string& station, int slot, const std::string& what) {
    return "(() => { const t = document.querySelector('.tile[data-station=\"" + station +
           "\"][data-slot=\"" + std::to_string(slot) + "\"]'); return t ? String(" + what +
           ") : ''; })()";
  }
  static std::string Phase(const std::string& station, int slot) {
    return Tile(station, slot, "t.dataset.phase");
  }
  static std::string StationState(const std::string& station) {
    return "(() => { const s = document.querySelector('section.station[data-station=\"" + station +
           "\"]'); return s ? s.dataset.state : ''; })()";
  }
  // A figure of the line (`scope` "#line") or of a station's section.
  static std::string Figure(const std::string& scope, const std::string& key) {
    return "(() => { const f = document.querySelector('" + scope + " [data-figure=" + key +
           "] .value'); return f ? f.textContent : ''; })()";
  }
};

using Dashboard = TDashboardTest;

class DashboardLine : public TDashboardTest, public testing::WithParamInterface<bool> {};

}  // namespace

TEST_P(DashboardLine, TheTilesFollowEachUnitAndTheFiguresEqualTheReport) {
  const std::string db = Database(GetParam());
  auto a = Station(db, "line-a", {"a1", "a2"});
  auto b = Station(db, "line-b", {"b1"});
  std::string address;
  auto dashboard = Serve(db, "127.0.0.1:0", address);
  TBrowser browser;
  browser.Open(address);
  ASSERT_TRUE(WaitUntil([&] {
    return browser.Text(Phase("line-a", 2)) == "waiting" &&
           browser.Text(Phase("line-b", 1)) == "waiting";
  })) << dashboard->Err()
      << a->Err() << b->Err();

  // A slow unit is seen being written, then done; the next one gets the row with markup.
  auto slow = Plug("a1", {"--delay", "40"});
  ASSERT_TRUE(WaitUntil([&] { return browser.Text(Phase("line-a", 1)) == "writing"; })) << a->Err();
  auto quick = Plug("b1");
  ASSERT_TRUE(WaitUntil([&] { return browser.Text(Phase("line-b", 1)) == "done"; })) << b->Err();
  EXPECT_EQ(browser.Text(Tile("line-b", 1, "t.querySelector('.label').textContent")), kMarkup);
  EXPECT_EQ(browser.Text(Tile("line-b", 1, "t.querySelector('.sign').textContent")), "✓");
  EXPECT_EQ(browser.Evaluate("document.querySelectorAll('img').length").toInt(), 0);
  EXPECT_EQ(browser.Text("String(window.pwned)"), "undefined");
  ASSERT_TRUE(WaitUntil([&] { return browser.Text(Phase("line-a", 1)) == "done"; })) << a->Err();
  slow.reset();
  ASSERT_TRUE(WaitUntil([&] { return browser.Text(Phase("line-a", 1)) == "waiting"; }));
  // A unit that keeps its own phone fails its verification: red, with its reason.
  auto stubborn = Plug("a2", {"--keep", "P01=+79999999999"});
  ASSERT_TRUE(WaitUntil([&] { return browser.Text(Phase("line-a", 2)) == "failed"; })) << a->Err();
  EXPECT_EQ(browser.Text(Tile("line-a", 2, "t.className")), "tile tone-red");
  EXPECT_EQ(browser.Text(Tile("line-a", 2, "t.querySelector('.sign').textContent")), "✗");

  // The record is still now: the page's figures are the report's.
  const auto lines = Lines(RunCli({"report", "--db", db, "--format", "json"}).Out);
  int written = 0, errors = 0, writtenByB = 0;
  for (const std::string& line : lines) {
    const QJsonObject attempt = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    const QString result = attempt["result"].toString();
    written += result == "ok";
    errors += result != "ok" && result != "started" && result != "already";
    writtenByB += result == "ok" && attempt["station"].toString() == "line-b";
  }
  EXPECT_EQ(written, 2);
  EXPECT_EQ(errors, 1);
  ASSERT_TRUE(WaitUntil([&] {
    return browser.Text(Figure("#line", "written")) == std::to_string(written) &&
           browser.Text(Figure("#line", "errors")) == std::to_string(errors) &&
           browser.Text(Figure("section[data-station=\"line-b\"]", "written")) ==
               std::to_string(writtenByB) &&
           browser.Text(Figure("#line", "rowsLeft")) == "2";
  })) << browser.Text("document.body.innerText");
  EXPECT_EQ(browser.Evaluate("document.querySelectorAll('#failed tbody tr').length").toInt(), 1);
  EXPECT_NE(browser.Text("document.querySelector('#failed tbody').textContent").find("расхождения"),
            std::string::npos);
  if (const QByteArray shot = qgetenv("VESTRA_DASHBOARD_SCREENSHOT"); !shot.isEmpty()) {
    QFile file(QString::fromLocal8Bit(shot));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(browser.Screenshot());
  }

  // A station killed falls silent; one stopped says so.
  b->Signal(SIGKILL);
  EXPECT_TRUE(WaitUntil([&] { return browser.Text(StationState("line-b")) == "нет связи"; }))
      << browser.Text("document.body.innerText");
  stubborn.reset();
  a->Signal(SIGTERM);
  EXPECT_EQ(a->Wait(), 143) << a->Err();
  EXPECT_TRUE(WaitUntil([&] { return browser.Text(StationState("line-a")) == "остановлена"; }))
      << browser.Text("document.body.innerText");
}

INSTANTIATE_TEST_SUITE_P(, DashboardLine, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "PostgreSql" : "Sqlite";
                         });

TEST_F(Dashboard, BeyondThisPcThePageAsksForItsTokenOnce) {
  const std::string db = Database(false);
  auto station = Station(db, "line-a", {"a1", "a2"});
  std::string address;
  auto dashboard = Serve(db, "0.0.0.0:0", address);
  const QRegularExpression given("\\?token=([0-9a-f]+)");
  const std::string token =
      given.match(QString::fromStdString(dashboard->Out())).captured(1).toStdString();
  ASSERT_EQ(token.size(), 32u) << dashboard->Out();

  TBrowser browser;
  for (const std::string& wrong : {std::string(), "?token=" + std::string(32, '0')}) {
    browser.Open(address + wrong);
    EXPECT_TRUE(WaitUntil([&] {
      return browser.Text("document.body ? document.body.innerText : ''")
                 .find("Нужен ключ доступа") != std::string::npos;
    })) << wrong;
    EXPECT_EQ(browser.Text(Phase("line-a", 1)), "") << wrong;
  }
  // Once with the token: kept where no script reads it, and gone from the address.
  browser.Open(address + "?token=" + token);
  ASSERT_TRUE(WaitUntil([&] { return browser.Text(Phase("line-a", 1)) == "waiting"; }))
      << browser.Text("document.body.innerText") << browser.Text("location.href");
  EXPECT_EQ(browser.Text("location.search"), "");
  EXPECT_EQ(browser.Text("document.cookie"), "");
  browser.Open(address);
  ASSERT_TRUE(WaitUntil([&] { return browser.Text(Phase("line-a", 1)) == "waiting"; }));
  // Every response forbids inline script.
  EXPECT_TRUE(WaitUntil([&] {
    browser.Evaluate(
        "fetch('/state.json').then(r => { window.policy = r.headers.get("
        "'content-security-policy'); })");
    return browser.Text("String(window.policy)").find("script-src 'self'") != std::string::npos;
  }));
}
