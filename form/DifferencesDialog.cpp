// The window's dialog for a comparison's result: one table row per code that differs, or a
// short text when nothing does.
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "form/FmMain.h"
#include "form/QtPerson.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

QTableWidget* DifferenceTable(const std::string& ownColumn,
                              const std::vector<TPerson::TDifferenceRow>& rows, QWidget* parent) {
  auto* table = new QTableWidget(static_cast<int>(rows.size()), 4, parent);
  table->setObjectName("TbDifferences");
  table->setHorizontalHeaderLabels({"Параметр", "Код", Text(ownColumn), "В Вестре"});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setWordWrap(false);
  for (int r = 0; r < table->rowCount(); ++r) {
    const auto& row = rows[static_cast<std::size_t>(r)];
    const std::string* cells[] = {&row.Caption, &row.Code, &row.Own, &row.Unit};
    for (int c = 0; c < 4; ++c) {
      auto* item = new QTableWidgetItem(Text(*cells[c]));
      // The parameter key names the value in parameter files.
      item->setToolTip(Text(row.Key));
      table->setItem(r, c, item);
    }
  }
  table->resizeColumnsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

}  // namespace

void TQtPerson::ShowDifferences(const std::string& caption, const std::string& ownColumn,
                                const std::vector<TDifferenceRow>& rows) {
  QDialog dialog(&Window);
  dialog.setObjectName("FmDifferences");
  dialog.setWindowTitle(Text(caption));
  auto* column = new QVBoxLayout(&dialog);
  if (rows.empty()) {
    auto* none = new QLabel("Расхождений нет", &dialog);
    none->setObjectName("LbNoDifferences");
    none->setAlignment(Qt::AlignCenter);
    none->setMinimumSize(240, 48);
    column->addWidget(none);
  } else {
    QTableWidget* table = DifferenceTable(ownColumn, rows, &dialog);
    column->addWidget(table);
    const int wanted = table->horizontalHeader()->length() + 2 * table->frameWidth() + 24;
    dialog.resize(std::clamp(wanted, 480, 900), std::min(140 + 30 * table->rowCount(), 560));
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  column->addWidget(buttons);
  dialog.exec();
}
