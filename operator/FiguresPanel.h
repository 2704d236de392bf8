// The shift's figures beside the tiles: written, errors (by reason), rows left, units per hour
// over the last 15 minutes, first-pass yield, and the last 20 attempts. Counted from the record
// itself (station/Figures.h), for this station and since the shift began, so that they equal
// what `vestra-cli report` lists.
#pragma once

#include <QDateTime>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "station/Figures.h"

class QLabel;
class QTableWidget;

class TFiguresPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TFiguresPanel(QWidget* parent = nullptr);

  // Shows the figures of `attempts` (the whole record) that belong to the station
  // (`Belongs`) and began at or after `since`; `left` rows of the batch, none: unknown.
  void Show(const std::vector<TAttemptRecord>& attempts, const QDateTime& since,
            std::optional<int> left, const QDateTime& now = QDateTime::currentDateTime());
  // The record cannot be read now: the figures say so and keep their last values.
  void ShowUnavailable(const QString& why);
  std::function<bool(const TAttemptRecord&)> Belongs;

  // What a person reads, for the tests and for the screen.
  QString Figure(const QString& name) const;
  QTableWidget* Last() const { return Table; }

 private:
  QLabel* Summary;
  QLabel* Reasons;
  QLabel* State;
  QTableWidget* Table;
  QStringList Names, Values;
};

// The figures' lines, name and value, in the order shown.
std::vector<std::pair<QString, QString>> FigureLines(const TFigures& figures,
                                                     std::optional<int> left);
