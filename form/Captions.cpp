// Captions and values as the window shows them, for the differences a comparison found.
#include "form/Captions.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <algorithm>
#include <optional>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "link/Text.h"
#include "transfer/CodeTable.h"

namespace {

using R = TReadConversion;

const TCodeRow* FindRow(std::string_view code) {
  for (const TCodeRow& row : CodeTable())
    if (row.Code == code) return &row;
  return nullptr;
}

// --- Captions as the window shows them ---

QString Plain(QString text) {
  text.remove('&');
  if (text.endsWith("...")) text.chop(3);
  return text.trimmed();
}

// The widget laid out just before `control`, in whichever (nested) layout holds it.
QWidget* LaidOutBefore(QLayout* layout, const QWidget* control) {
  if (!layout) return nullptr;
  for (int i = 0; i < layout->count(); ++i) {
    QLayoutItem* item = layout->itemAt(i);
    if (item->widget() == control) {
      for (int j = i - 1; j >= 0; --j)
        if (QWidget* before = layout->itemAt(j)->widget()) return before;
      return nullptr;
    }
    if (QWidget* before = LaidOutBefore(item->layout(), control)) return before;
  }
  return nullptr;
}

// The control's own caption: a check box's text, the label that names it, or the button it
// stands beside (the calibration value).
QString OwnCaption(const TFmMain& form, QWidget* control) {
  if (auto* box = qobject_cast<QCheckBox*>(control)) return Plain(box->text());
  for (QLabel* label : form.findChildren<QLabel*>())
    if (label->buddy() == control) return Plain(label->text());
  if (QWidget* parent = control->parentWidget())
    if (auto* button = qobject_cast<QPushButton*>(LaidOutBefore(parent->layout(), control)))
      return Plain(button->text());
  return {};
}

// The title of the group or tab the control sits in, below the window's two pages.
QString ContainerCaption(const TFmMain& form, QWidget* control) {
  for (QWidget* w = control->parentWidget(); w && w != &form; w = w->parentWidget()) {
    if (auto* group = qobject_cast<QGroupBox*>(w)) return Plain(group->title());
    auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget());
    auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    if (tabs && tabs != form.PGRight) return Plain(tabs->tabText(tabs->indexOf(w)));
  }
  return {};
}

QString Joined(const QString& container, const QStringList& own) {
  const QString tail = own.join(", ");
  if (container.isEmpty()) return tail;
  return tail.isEmpty() ? container : container + ": " + tail;
}

std::string CaptionOf(const TFmMain& form, const TCodeRow& row) {
  std::vector<QWidget*> controls;
  for (std::string_view name : row.Read.Controls) {
    if (name.empty()) continue;
    if (auto* w = form.FindControlAs<QWidget>(QString::fromLatin1(name.data(), name.size())))
      controls.push_back(w);
    // A server is its address; the box beside it only says the address is not used.
    if (row.Read.Conversion == R::Server) break;
  }
  if (controls.empty()) return std::string(row.Code);
  const QString container = ContainerCaption(form, controls.front());
  const bool shared = std::all_of(controls.begin(), controls.end(), [&](QWidget* w) {
    return ContainerCaption(form, w) == container;
  });
  QStringList parts;
  for (QWidget* w : controls) {
    QString part =
        shared ? OwnCaption(form, w) : Joined(ContainerCaption(form, w), {OwnCaption(form, w)});
    if (!part.isEmpty() && !parts.contains(part)) parts << part;
  }
  return (shared ? Joined(container, parts) : parts.join(", ")).toStdString();
}

// --- Values as the window shows them ---

// The text as the row's single control would show it; nothing where the code fills several
// controls or the text would not read.
std::optional<std::string> Shown(const TFmMain& form, const TCodeRow& row, std::string_view text) {
  const std::string_view name = row.Read.Controls[0];
  const auto integer = ToInteger(text);
  switch (row.Read.Conversion) {
    case R::Text:
      return Cp1251ToUtf8(text);
    case R::Server: {
      std::string dotted(text);
      std::replace(dotted.begin(), dotted.end(), ',', '.');
      return Cp1251ToUtf8(dotted);
    }
    case R::Value:
      if (integer) return std::to_string(*integer);
      return std::nullopt;
    case R::ValueTimes10:
      if (integer) return std::to_string(static_cast<long long>(*integer) * 10);
      return std::nullopt;
    case R::Checked:
      if (integer) return *integer != 0 ? "да" : "нет";
      return std::nullopt;
    case R::Index:
    case R::IndexCapped3: {
      auto* list = form.FindControlAs<TComboBox>(QString::fromLatin1(name.data(), name.size()));
      if (!integer || !list) return std::nullopt;
      int index = row.Read.Conversion == R::IndexCapped3 ? std::min(*integer, 3) : *integer;
      if (index < 0 || index >= list->count()) return std::nullopt;
      return list->itemText(index).toStdString();
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

TDifferenceView DescribeDifference(const TFmMain& form, const TCodeDifference& difference) {
  TDifferenceView view{difference.Code, difference.Code, "", Cp1251ToUtf8(difference.Expected),
                       Cp1251ToUtf8(difference.Actual)};
  const TCodeRow* row = FindRow(difference.Code);
  if (!row) return view;
  view.Caption = CaptionOf(form, *row);
  view.Key.clear();
  for (std::string_view key : row->Write.Keys) {
    if (key.empty()) continue;
    if (!view.Key.empty()) view.Key += ",";
    view.Key += key;
  }
  auto own = Shown(form, *row, difference.Expected);
  auto unit = Shown(form, *row, difference.Actual);
  // Two texts that the window would show alike are shown as they are, or the row would not
  // say what differs.
  if (own && unit && *own != *unit) {
    view.Own = *own;
    view.Unit = *unit;
  }
  return view;
}

void ShowDifferences(TFmMain& form, const std::string& caption, const std::string& ownColumn,
                     std::span<const TCodeDifference> differences) {
  std::vector<TPerson::TDifferenceRow> rows;
  for (const TCodeDifference& difference : differences)
    rows.push_back(DescribeDifference(form, difference));
  form.Person->ShowDifferences(caption, ownColumn, rows);
}
