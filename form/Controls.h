// The four kinds of value control of the form, each a real Qt widget built from its row of the
// control table (params/ControlTable.h) and obeying the rules of its kind as the engine applies
// them (params/ControlRules.h), where the plain Qt widget does not:
//   TEdit      one line of Windows-1251 text: what the person types or pastes loses control
//              characters and what follows a line break, and is cut to the length limit; text
//              set by the program is kept whole
//   TComboBox  drop-down list, -1 for any index out of range; `Change` only for the user's
//              selections, `CloseUp` when the list closes, `Exit` when the focus leaves
//   TSpinEdit  whole numbers rounded and brought into range; only digits and a leading sign can
//              be typed; empty text reads as the minimum and becomes it when the focus leaves
//   TCheckBox  `Click` on every change of state, the program's included, never on a no-change
// Program code sets values through `SetText`, `SetItemIndex`, `SetValue` and `SetChecked`. The
// options panel's two controls are no part of the configuration and have rows of their own.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QStringList>

#include "params/ControlTable.h"

class TEditValidator;

class TEdit : public QLineEdit {
  Q_OBJECT
 public:
  TEdit(const TControlRow& row, QWidget* parent);
  QString Text() const;
  void SetText(const QString& text);  // kept whole, whatever the limit
  int MaxLength() const;
  const TControlRow& Row;

 private:
  friend class TEditValidator;
  bool SettingByProgram = false;
  QString Accepted;  // the text before the change being validated
};

class TComboBox : public QComboBox {
  Q_OBJECT
 public:
  TComboBox(const TControlRow& row, QWidget* parent);
  int ItemIndex() const;
  void SetItemIndex(int index);  // out of range: no selection; raises no notification
  QString SelectedText() const;  // empty text with no selection
  void showPopup() override;
  // `CloseUp` follows once the list's own handling is done, so that it sees the item chosen.
  void hidePopup() override;
  const TControlRow& Row;
 signals:
  void Change();   // the user's selection
  void CloseUp();  // the drop-down list closed
  void Exit();     // the focus left for another control of the window
 protected:
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool PopupOpen = false;
};

class TSpinEdit : public QSpinBox {
  Q_OBJECT
 public:
  TSpinEdit(const TControlRow& row, QWidget* parent);
  int Value() const;            // what the text says, in range; empty or invalid: the minimum
  void SetValue(double value);  // rounded, then brought into range
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  const TControlRow& Row;
 signals:
  void Exit();

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

class TCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  TCheckBox(const TControlRow& row, QWidget* parent);
  bool Checked() const;
  void SetChecked(bool checked);
  const TControlRow& Row;
 signals:
  void Click();  // every change of state, the user's or the program's
};

// The row of the options panel's port list, the catalogue's names.
const TControlRow& PortListRow();
