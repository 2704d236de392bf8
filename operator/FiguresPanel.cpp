#include "operator/FiguresPanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "params/Judgement.h"

namespace {

constexpr int kLast = 20;

// The columns of the last attempts: heading and the attempt's field.
struct TColumn {
  const char* Heading;
  std::string (*Field)(const TAttemptRecord&);
};
const TColumn kColumns[] = {
    {"Время",
     [](const TAttemptRecord& a) { return a.Time.size() > 11 ? a.Time.substr(11, 8) : a.Time; }},
    {"Порт", [](const TAttemptRecord& a) { return a.Port; }},
    {"Метка", [](const TAttemptRecord& a) { return a.Scanned.empty() ? a.Label : a.Scanned; }},
    {"Итог",
     [](const TAttemptRecord& a) {
       return Failed(a) ? std::string("✗ ") + a.Result : "✓ " + a.Result;
     }},
    {"Причина", [](const TAttemptRecord& a) { return Failed(a) ? Reason(a) : std::string(); }},
};

QString Q(const std::string& text) { return QString::fromStdString(ShownEscaped(text)); }

}  // namespace

std::vector<std::pair<QString, QString>> FigureLines(const TFigures& figures,
                                                     std::optional<int> left) {
  return {
      {"Записано", QString::number(figures.Written)},
      {"Ошибок", QString::number(figures.Errors)},
      {"Осталось строк", left ? QString::number(*left) : QString("—")},
      {"Блоков в час", QString::number(std::lround(figures.UnitsPerHour))},
      {"С первого раза", figures.FirstPassYield < 0
                             ? QString("—")
                             : QString("%1 %").arg(std::lround(figures.FirstPassYield * 100))},
  };
}

TFiguresPanel::TFiguresPanel(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  Summary = new QLabel(this);
  QFont big = Summary->font();
  big.setPointSize(big.pointSize() + 4);
  big.setBold(true);
  Summary->setFont(big);
  Summary->setTextFormat(Qt::PlainText);
  layout->addWidget(Summary);
  Reasons = new QLabel(this);
  Reasons->setWordWrap(true);
  Reasons->setTextFormat(Qt::PlainText);
  layout->addWidget(Reasons);
  State = new QLabel(this);
  State->setTextFormat(Qt::PlainText);
  State->setStyleSheet("color: #a00000; font-weight: bold;");
  layout->addWidget(State);
  Table = new QTableWidget(0, static_cast<int>(std::size(kColumns)), this);
  QStringList headings;
  for (const TColumn& column : kColumns) headings << column.Heading;
  Table->setHorizontalHeaderLabels(headings);
  Table->verticalHeader()->hide();
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table->setSelectionMode(QAbstractItemView::NoSelection);
  Table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(Table, 1);
}

void TFiguresPanel::Show(const std::vector<TAttemptRecord>& attempts, const QDateTime& since,
                         std::optional<int> left, const QDateTime& now) {
  std::vector<TAttemptRecord> own;
  for (const TAttemptRecord& attempt : attempts)
    if (!Belongs || Belongs(attempt)) own.push_back(attempt);
  const TFigures figures = CountFigures(own, since, now, kLast);
  Names.clear();
  Values.clear();
  QString summary;
  for (const auto& [name, value] : FigureLines(figures, left)) {
    Names << name;
    Values << value;
    summary += (summary.isEmpty() ? "" : "\n") + name + ": " + value;
  }
  Summary->setText(summary);
  QString reasons;
  for (const auto& [reason, n] : figures.Reasons)
    reasons += (reasons.isEmpty() ? "" : "\n") + QString("%1 × %2").arg(n).arg(Q(reason));
  Reasons->setText(reasons);
  State->clear();
  Table->setRowCount(static_cast<int>(figures.Last.size()));
  for (int row = 0; row < Table->rowCount(); ++row)
    for (int column = 0; column < Table->columnCount(); ++column)
      Table->setItem(row, column,
                     new QTableWidgetItem(
                         Q(kColumns[column].Field(figures.Last[static_cast<std::size_t>(row)]))));
  Table->resizeColumnsToContents();
}

void TFiguresPanel::ShowUnavailable(const QString& why) { State->setText(why); }

QString TFiguresPanel::Figure(const QString& name) const {
  const qsizetype i = Names.indexOf(name);
  return i < 0 ? QString() : Values[i];
}
