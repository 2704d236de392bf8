#include "form/Controls.h"

#include <QFocusEvent>
#include <QTimer>
#include <QValidator>
#include <string>
#include <vector>

#include "link/PortCatalogue.h"
#include "params/ControlRules.h"

namespace {

// Qt also sends a focus-out when the list of a combo box opens or another window becomes active;
// neither moves the focus to another control of the window.
bool FocusLeftForAnotherControl(const QFocusEvent* event) {
  return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}

QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

const TControlRow& PortListRow() {
  static const std::vector<std::string> names = PortCatalogue::PortNames();
  static const std::vector<std::string_view> items(names.begin(), names.end());
  static const TControlRow row = {
      "CBPort", TControlKind::List, TPage::System, "", "Порт", -1, {}, 0, 0, 1, 0, items};
  return row;
}

// Judges what the user typed. A QLineEdit length limit would also cut text that the program
// sets, so the limit lives here, where the program's own texts can be let through whole.
class TEditValidator : public QValidator {
 public:
  explicit TEditValidator(TEdit* edit) : QValidator(edit), Edit(edit) {}
  State validate(QString& input, int& pos) const override {
    if (Edit->SettingByProgram) return Acceptable;
    const QString& before = Edit->Accepted;
    int kept = pos;
    const QString result = TypedEditText(Edit->Row, before, input, kept);
    if (result == input) return Acceptable;
    if (result == before) return Invalid;  // nothing of it fits: Qt undoes it, history intact
    input = result;
    pos = kept;
    return Acceptable;
  }

 private:
  TEdit* Edit;
};

TEdit::TEdit(const TControlRow& row, QWidget* parent) : QLineEdit(parent), Row(row) {
  setObjectName(Utf8(row.Name));
  setValidator(new TEditValidator(this));
  // The validator sees the new text only; keep the one it replaces.
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { Accepted = text; });
  SetText(Utf8(row.StartText));
}

QString TEdit::Text() const { return text(); }

void TEdit::SetText(const QString& text) {
  SettingByProgram = true;
  setText(text);
  SettingByProgram = false;
}

int TEdit::MaxLength() const { return Row.MaxLength; }

TComboBox::TComboBox(const TControlRow& row, QWidget* parent) : QComboBox(parent), Row(row) {
  setObjectName(Utf8(row.Name));
  setEditable(false);
  // Sized by the layout rather than by the longest item, so that captions beside stay whole.
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(4);
  for (std::string_view item : row.Items) addItem(Utf8(item));
  SetItemIndex(row.Start);
  // `activated` comes from the user only (mouse, keys, wheel), never from setCurrentIndex.
  connect(this, &QComboBox::activated, this, [this](int) { emit Change(); });
}

int TComboBox::ItemIndex() const { return currentIndex(); }

void TComboBox::SetItemIndex(int index) { setCurrentIndex(ListIndex(Row, index)); }

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

TSpinEdit::TSpinEdit(const TControlRow& row, QWidget* parent) : QSpinBox(parent), Row(row) {
  setObjectName(Utf8(row.Name));
  setRange(row.Min, row.Max);
  setSingleStep(row.Step);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  setValue(row.Start);
}

int TSpinEdit::Value() const { return SpinTextValue(Row, cleanText()); }

void TSpinEdit::SetValue(double value) { setValue(SpinValue(Row, value)); }

QValidator::State TSpinEdit::validate(QString& input, int&) const {
  if (input.isEmpty() || input == "+" || input == "-") return QValidator::Intermediate;
  const auto typed = TypedNumber(input);
  if (!typed) return QValidator::Invalid;
  return *typed >= minimum() && *typed <= maximum() ? QValidator::Acceptable
                                                    : QValidator::Intermediate;
}

// What Qt puts in place of an unfinished text: the number in range, or the minimum.
void TSpinEdit::fixup(QString& input) const { input = QString::number(SpinTextValue(Row, input)); }

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  if (FocusLeftForAnotherControl(event)) setValue(Value());
  QSpinBox::focusOutEvent(event);
  if (FocusLeftForAnotherControl(event)) emit Exit();
}

TCheckBox::TCheckBox(const TControlRow& row, QWidget* parent)
    : QCheckBox(Utf8(row.Caption), parent), Row(row) {
  setObjectName(Utf8(row.Name));
  setTristate(false);
  setChecked(row.Start != 0);
  connect(this, &QCheckBox::toggled, this, [this](bool) { emit Click(); });
}

bool TCheckBox::Checked() const { return isChecked(); }

void TCheckBox::SetChecked(bool checked) { setChecked(checked); }
