// The tiles as the operator reads them, driven by the station's events: the words, the sign and
// the colour of each phase, a failure's reason kept until its unit is unplugged, the database's
// outage on every tile, and 1 to 24 tiles that fit the screens of a line.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

#include "operator/Tiles.h"

namespace {

TStationEvent Event(TEventKind kind, std::function<void(TStationEvent&)> fill = {}) {
  TStationEvent event;
  event.Kind = kind;
  event.Slot = 1;
  event.Port = "COM3";
  if (fill) fill(event);
  return event;
}

}  // namespace

TEST(Tiles, EachEventShowsItsPhaseWordsSignAndColour) {
  TSlotTile tile(1, "COM3", true);
  tile.resize(400, 250);
  struct TStep {
    TStationEvent Event;
    const char *Words, *Label, *Sign;
    const char* Background;
  };
  const TStep steps[] = {
      {Event(TEventKind::Started), "ждёт блок", "", "", "#d9d9d9"},
      {Event(TEventKind::Arrived), "блок подключён — отсканируйте метку", "", "", "#d9d9d9"},
      {Event(TEventKind::Scanned, [](auto& e) { e.Label = "R7"; }),
       "блок подключён — отсканируйте метку", "R7", "", "#d9d9d9"},
      {Event(TEventKind::Claimed, [](auto& e) { e.Label = "R7", e.Row = 7; }), "запись", "R7", "",
       "#9cc3f0"},
      {Event(TEventKind::Progress, [](auto& e) { e.Phase = "write", e.Step = 17, e.Steps = 44; }),
       "запись 17/44", "R7", "", "#9cc3f0"},
      {Event(TEventKind::Written), "проверка", "R7", "", "#9cc3f0"},
      {Event(TEventKind::Finished, [](auto& e) { e.Result = "ok"; }), "готово — отключите блок",
       "R7", "✓", "#8fd694"},
      {Event(TEventKind::Left), "ждёт блок", "", "", "#d9d9d9"},
      {Event(TEventKind::Arrived), "блок подключён — отсканируйте метку", "", "", "#d9d9d9"},
      {Event(TEventKind::Claimed, [](auto& e) { e.Label = "R8", e.Row = 8; }), "запись", "R8", "",
       "#9cc3f0"},
      {Event(TEventKind::Finished,
             [](auto& e) { e.Result = "error", e.Detail = "Вестра не отвечает на команду #WP01"; }),
       "ошибка: Вестра не отвечает на команду #WP01", "R8", "✗", "#f08c8c"},
      {Event(TEventKind::Left), "ждёт блок", "", "", "#d9d9d9"},
  };
  for (const TStep& step : steps) {
    tile.Apply(step.Event);
    const std::string at = EventName(step.Event.Kind);
    EXPECT_EQ(tile.PhaseText().toStdString(), step.Words) << at;
    EXPECT_EQ(tile.LabelText().toStdString(), step.Label) << at;
    EXPECT_EQ(tile.SignText().toStdString(), step.Sign) << at;
    EXPECT_TRUE(tile.styleSheet().contains(step.Background)) << at;
    // What the tile shows is what the person reads.
    bool shown = false;
    for (const QLabel* label : tile.findChildren<QLabel*>())
      shown |= label->text() == tile.PhaseText();
    EXPECT_TRUE(shown) << at;
  }
}

TEST(Tiles, TheDatabasesOutageShowsOnEveryTileButAFailureKeepsItsReason) {
  TSlotTile waiting(1, "COM3", false), failed(2, "COM4", false);
  failed.Apply(Event(TEventKind::Claimed, [](auto& e) { e.Row = 1; }));
  failed.Apply(
      Event(TEventKind::Finished, [](auto& e) { e.Result = "error", e.Detail = "нет ответа"; }));
  for (TSlotTile* tile : {&waiting, &failed}) tile->SetNotice("база недоступна, повтор через 4 с");
  EXPECT_EQ(waiting.PhaseText().toStdString(), "база недоступна, повтор через 4 с");
  EXPECT_EQ(failed.PhaseText().toStdString(), "ошибка: нет ответа");
  waiting.SetNotice({});
  EXPECT_EQ(waiting.PhaseText().toStdString(), "ждёт блок");
}

TEST(Tiles, TheProgressBarShowsWhileWritingAndVerifying) {
  TSlotTile tile(1, "COM3", false);
  tile.show();
  auto* bar = tile.findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisible());
  tile.Apply(Event(TEventKind::Claimed, [](auto& e) { e.Row = 1; }));
  tile.Apply(
      Event(TEventKind::Progress, [](auto& e) { e.Phase = "verify", e.Step = 30, e.Steps = 44; }));
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->value(), 30);
  EXPECT_EQ(bar->maximum(), 44);
  EXPECT_EQ(tile.PhaseText().toStdString(), "проверка 30/44");
  tile.Apply(Event(TEventKind::Finished, [](auto& e) { e.Result = "ok"; }));
  EXPECT_FALSE(bar->isVisible());
}

TEST(Tiles, OneToTwentyFourTilesFitTheScreensOfALine) {
  for (const QSize screen : {QSize(1366, 768), QSize(1920, 1080)}) {
    // The tiles get about three quarters of the window, below its menu and scan field.
    const QSize area(screen.width() * 3 / 4, screen.height() - 160);
    for (int count = 1; count <= 24; ++count) {
      TTileGrid grid;
      grid.resize(area);
      for (int slot = 1; slot <= count; ++slot)
        grid.Tile(slot, "COM" + std::to_string(slot), false);
      QRegion taken;
      for (const TSlotTile* tile : grid.Tiles()) {
        const QRect r = tile->geometry();
        const std::string at = std::to_string(count) + " on " + std::to_string(screen.width());
        EXPECT_TRUE(QRect(QPoint(), area).contains(r)) << at;
        EXPECT_FALSE(taken.intersects(r)) << at;
        // Big enough for the words of a phase read from two metres.
        EXPECT_GE(r.width(), 150) << at;
        EXPECT_GE(r.height(), 85) << at;
        taken += r;
      }
    }
  }
}
