// The shift's figures from the record's attempts.
#include <gtest/gtest.h>

#include "station/Figures.h"

namespace {

TAttemptRecord At(const QDateTime& time, int row, const std::string& result,
                  const std::string& detail = {}) {
  TAttemptRecord attempt;
  attempt.Time = time.toString(Qt::ISODateWithMs).toStdString();
  attempt.Position = row;
  attempt.Label = "Блок " + std::to_string(row);
  attempt.Result = result;
  attempt.Detail = detail;
  return attempt;
}

}  // namespace

TEST(Figures, CountTheShiftOnlyAndJudgeEachRowByItsFirstAttempt) {
  const QDateTime now = QDateTime::currentDateTime();
  const QDateTime shift = now.addSecs(-2 * 3600 - 60);
  const std::vector<TAttemptRecord> attempts = {
      At(shift.addSecs(-60), 1, "error", "до смены"),  // before the shift: not counted
      At(shift.addSecs(60), 1, "error", "Нет ответа"),
      At(shift.addSecs(120), 1, "ok"),             // row 1 passes at its second attempt
      At(now.addSecs(-20 * 60), 2, "ok"),          // first pass, an hour ago and more
      At(now.addSecs(-5 * 60), 3, "ok"),           // first pass, within 15 minutes
      At(now.addSecs(-4 * 60), 4, "differences"),  // first attempt failed
      At(now.addSecs(-3 * 60), 5, "already"),      // neither written nor an error
      At(now.addSecs(-2 * 60), 6, "started"),      // still under way
      At(now.addSecs(-60), 7, "error", "Нет ответа"),
  };
  const TFigures figures = CountFigures(attempts, shift, now, 3, true);
  EXPECT_EQ(figures.Written, 3);
  EXPECT_EQ(figures.Errors, 3);
  EXPECT_EQ(figures.Reasons, (std::map<std::string, int>{{"Нет ответа", 2}, {"расхождения", 1}}));
  EXPECT_DOUBLE_EQ(figures.UnitsPerHour, 4);  // one unit in the last 15 minutes
  EXPECT_EQ(figures.Hours, (std::vector<int>{1, 2, 0}));
  EXPECT_DOUBLE_EQ(figures.FirstPassYield, 2.0 / 5);  // rows 2 and 3 of rows 1, 2, 3, 4, 7
  ASSERT_EQ(figures.Last.size(), 3u);                 // the failed ones, newest first
  EXPECT_EQ(figures.Last[0].Position, 7);
  EXPECT_EQ(figures.Last[2].Position, 1);
  EXPECT_EQ(CountFigures({}, shift, now).FirstPassYield, -1);
}
