#include "form/Controls.h"

#include <QFocusEvent>
#include <QTimer>
#include <QValidator>
#include <algorithm>
#include <cmath>

#include "link/Text.h"

namespace {

// Qt also sends a focus-out when the list of a combo box opens or another window becomes active;
// neither moves the focus to another control of the window.
bool FocusLeftForAnotherControl(const QFocusEvent* event) {
  return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

bool AllCp1251(const QString& text) {
  return std::all_of(text.begin(), text.end(), [](QChar c) { return IsCp1251Char(c.unicode()); });
}

}  // namespace

// Judges what the user typed. A QLineEdit length limit would also cut text that the program
// sets, so the limit lives here, where the program's own texts can be let through whole.
class TEditValidator : public QValidator {
 public:
  explicit TEditValidator(TEdit* edit) : QValidator(edit), Edit(edit) {}
  State validate(QString& input, int&) const override {
    if (Edit->SettingByProgram) return Acceptable;
    if (!AllCp1251(input)) return Invalid;
    // A text longer than the limit (set by the program) may still be shortened.
    if (Edit->Limit > 0 && input.size() > Edit->Limit && input.size() > Edit->Accepted.size())
      return Invalid;
    return Acceptable;
  }

 private:
  TEdit* Edit;
};

TEdit::TEdit(const QString& name, QWidget* parent, int maxLength)
    : QLineEdit(parent), Limit(maxLength) {
  setObjectName(name);
  setValidator(new TEditValidator(this));
  // The validator sees the new text only; keep the one it replaces.
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { Accepted = text; });
}

QString TEdit::Text() const { return text(); }

void TEdit::SetText(const QString& text) {
  SettingByProgram = true;
  setText(text);
  SettingByProgram = false;
}

int TEdit::MaxLength() const { return Limit; }

TComboBox::TComboBox(const QString& name, QWidget* parent, const QStringList& items, int itemIndex)
    : QComboBox(parent) {
  setObjectName(name);
  setEditable(false);
  // Sized by the layout rather than by the longest item, so that captions beside stay whole.
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(4);
  addItems(items);
  SetItemIndex(itemIndex);
  // `activated` comes from the user only (mouse, keys, wheel), never from setCurrentIndex.
  connect(this, &QComboBox::activated, this, [this](int) { emit Change(); });
}

int TComboBox::ItemIndex() const { return currentIndex(); }

void TComboBox::SetItemIndex(int index) {
  setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

QString TComboBox::SelectedText() const {
  return currentIndex() >= 0 ? itemText(currentIndex()) : QString();
}

void TComboBox::showPopup() {
  PopupOpen = true;
  QComboBox::showPopup();
}

void TComboBox::hidePopup() {
  const bool wasOpen = PopupOpen;
  PopupOpen = false;
  QComboBox::hidePopup();
  // Qt closes the list before it sets the chosen item; report the close afterwards. Hiding the
  // widget also calls hidePopup, which is no close of an open list.
  if (wasOpen) QTimer::singleShot(0, this, [this] { emit CloseUp(); });
}

void TComboBox::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  if (FocusLeftForAnotherControl(event)) emit Exit();
}

TSpinEdit::TSpinEdit(const QString& name, QWidget* parent, int minimum, int maximum, int step,
                     int value)
    : QSpinBox(parent) {
  setObjectName(name);
  setRange(minimum, maximum);
  setSingleStep(step);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  setValue(value);
}

int TSpinEdit::Bounded(long long value) const {
  return static_cast<int>(std::clamp<long long>(value, minimum(), maximum()));
}

int TSpinEdit::Value() const {
  bool ok = false;
  const long long typed = cleanText().toLongLong(&ok);
  return ok ? Bounded(typed) : minimum();
}

void TSpinEdit::SetValue(double value) {
  if (std::isnan(value)) {
    setValue(minimum());
    return;
  }
  const double limited = std::clamp(value, -1e15, 1e15);
  setValue(Bounded(std::llround(limited)));
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
  const QString text = input.trimmed();
  if (text.isEmpty() || text == "+" || text == "-") return QValidator::Intermediate;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    const bool sign = (c == '+' || c == '-') && i == 0;
    if (!sign && !(c >= '0' && c <= '9')) return QValidator::Invalid;
  }
  bool ok = false;
  const long long typed = text.toLongLong(&ok);
  return ok && typed >= minimum() && typed <= maximum() ? QValidator::Acceptable
                                                        : QValidator::Intermediate;
}

// What Qt puts in place of an unfinished text: the number in range, or the minimum.
void TSpinEdit::fixup(QString& input) const {
  bool ok = false;
  const long long typed = input.trimmed().toLongLong(&ok);
  input = QString::number(ok ? Bounded(typed) : minimum());
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  if (FocusLeftForAnotherControl(event)) setValue(Value());
  QSpinBox::focusOutEvent(event);
  if (FocusLeftForAnotherControl(event)) emit Exit();
}

TCheckBox::TCheckBox(const QString& name, const QString& caption, QWidget* parent, bool checked)
    : QCheckBox(caption, parent) {
  setObjectName(name);
  setTristate(false);
  setChecked(checked);
  connect(this, &QCheckBox::toggled, this, [this](bool) { emit Click(); });
}

bool TCheckBox::Checked() const { return isChecked(); }

void TCheckBox::SetChecked(bool checked) { setChecked(checked); }
