#include "form/Controls.h"

#include <QFocusEvent>
#include <QTimer>
#include <QValidator>
#include <algorithm>
#include <cmath>
#include <optional>

#include "link/Text.h"

namespace {

// Qt also sends a focus-out when the list of a combo box opens or another window becomes active;
// neither moves the focus to another control of the window.
bool FocusLeftForAnotherControl(const QFocusEvent* event) {
  return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

// What an edit keeps of an insertion (typed, pasted or dropped): a line break ends it, as a
// single-line edit keeps the first line of a pasted text; other control characters and
// characters without a Windows-1251 byte are left out.
QString Holdable(QStringView inserted) {
  QString kept;
  for (QChar c : inserted) {
    if (c == u'\r' || c == u'\n') break;
    if (c.unicode() >= 32 && IsCp1251Char(c.unicode())) kept += c;
  }
  return kept;
}

// Larger than any range of a spin edit, small enough to compute with.
constexpr long long kHuge = 1'000'000'000'000'000;

// A whole number as typed: an optional sign, then digits, nothing else. One too long for any
// range reads as a huge one of its sign, so that it is brought to the nearer end of the range.
std::optional<long long> TypedNumber(QStringView text) {
  const bool signed_ = !text.isEmpty() && (text[0] == u'+' || text[0] == u'-');
  if (text.size() == (signed_ ? 1 : 0)) return std::nullopt;
  long long value = 0;
  for (QChar c : text.mid(signed_ ? 1 : 0)) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = std::min(value * 10 + (c.unicode() - u'0'), kHuge);
  }
  return text[0] == u'-' ? -value : value;
}

}  // namespace

// Judges what the user typed. A QLineEdit length limit would also cut text that the program
// sets, so the limit lives here, where the program's own texts can be let through whole.
class TEditValidator : public QValidator {
 public:
  explicit TEditValidator(TEdit* edit) : QValidator(edit), Edit(edit) {}
  State validate(QString& input, int& pos) const override {
    if (Edit->SettingByProgram) return Acceptable;
    // The change replaced a piece of the text before by input[start, end): the cursor stands
    // after what came in, and what follows it was there before.
    const QString& before = Edit->Accepted;
    const qsizetype tail = std::clamp<qsizetype>(input.size() - pos, 0, before.size());
    const qsizetype end = input.size() - tail;
    qsizetype start = 0;
    while (start < end && start < before.size() - tail && input[start] == before[start]) ++start;
    QString inserted = Holdable(QStringView(input).mid(start, end - start));
    // Cut to fit, as a Windows edit does. A text longer than the limit (set by the program) may
    // still be shortened, never lengthened.
    if (Edit->Limit > 0) inserted.truncate(std::max<qsizetype>(0, Edit->Limit - start - tail));
    const QString result = input.left(start) + inserted + input.right(tail);
    if (result == input) return Acceptable;
    if (result == before) return Invalid;  // nothing of it fits: Qt undoes it, history intact
    input = result;
    pos = start + inserted.size();
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
  const auto typed = TypedNumber(cleanText());
  return typed ? Bounded(*typed) : minimum();
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
  if (input.isEmpty() || input == "+" || input == "-") return QValidator::Intermediate;
  const auto typed = TypedNumber(input);
  if (!typed) return QValidator::Invalid;
  return *typed >= minimum() && *typed <= maximum() ? QValidator::Acceptable
                                                    : QValidator::Intermediate;
}

// What Qt puts in place of an unfinished text: the number in range, or the minimum.
void TSpinEdit::fixup(QString& input) const {
  const auto typed = TypedNumber(input);
  input = QString::number(typed ? Bounded(*typed) : minimum());
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
