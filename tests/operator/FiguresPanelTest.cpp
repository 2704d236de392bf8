// The shift's figures as the window shows them: this station's attempts since the shift began,
// counted as the record's figures are, with the last attempts listed.
#include <gtest/gtest.h>

#include <QTableWidget>

#include "operator/FiguresPanel.h"

TEST(FiguresPanel, ShowsThisStationsShiftAsTheRecordCountsIt) {
  auto attempt = [](const char* time, const char* station, const char* label, const char* result,
                    const char* detail = "") {
    TAttemptRecord a;
    a.Time = time;
    a.Station = station;
    a.Label = label;
    a.Scanned = label;
    a.Result = result;
    a.Detail = detail;
    a.Port = "COM3";
    a.Position = label[1] - '0';
    return a;
  };
  const std::vector<TAttemptRecord> record = {
      attempt("2026-03-02T07:50:00.000+03:00", "line1/1:COM3", "R1", "ok"),  // the shift before
      attempt("2026-03-02T08:10:00.000+03:00", "line1/1:COM3", "R2", "error", "нет ответа"),
      attempt("2026-03-02T08:11:00.000+03:00", "line1/2:COM4", "R2", "ok"),
      attempt("2026-03-02T08:12:00.000+03:00", "line2/1:COM3", "R3", "ok"),  // another station
      attempt("2026-03-02T08:13:00.000+03:00", "line1/1:COM3", "R4", "ok"),
  };
  const QDateTime since = QDateTime::fromString("2026-03-02T08:00:00.000+03:00", Qt::ISODateWithMs);
  const QDateTime now = QDateTime::fromString("2026-03-02T08:14:00.000+03:00", Qt::ISODateWithMs);
  TFiguresPanel panel;
  panel.Belongs = [](const TAttemptRecord& a) { return a.Station.starts_with("line1/"); };
  panel.Show(record, since, 5, now);

  const std::pair<const char*, const char*> expected[] = {
      {"Записано", "2"},          {"Ошибок", "1"}, {"Осталось строк", "5"}, {"Блоков в час", "8"},
      {"С первого раза", "50 %"},
  };
  for (const auto& [name, value] : expected)
    EXPECT_EQ(panel.Figure(name).toStdString(), value) << name;
  QTableWidget* last = panel.Last();
  ASSERT_EQ(last->rowCount(), 3);
  EXPECT_EQ(last->item(0, 2)->text(), "R4");
  EXPECT_EQ(last->item(2, 4)->text(), "нет ответа");
  EXPECT_TRUE(last->item(2, 3)->text().startsWith("✗"));
}
