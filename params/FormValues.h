// The configuration as values: one per control of the control table, with whether the control
// is enabled, as the window would hold them.
//
// Every change goes through the setters, which apply the rules of the kinds
// (params/ControlRules.h), and is told to `Changed` with the control's place in the table: the
// window puts it into its widget there, so that a read shows each value as it arrives. A copy
// tells nobody. Edit texts are Windows-1251 bytes, as on the line and in files. Asking for a name
// the table does not have, or for a kind the control is not, is a fault of the program and
// raises EVestraError.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "params/ControlTable.h"

struct TControlValue {
  std::string Text;  // an edit's text
  int Number = 0;    // a list's index, a spin edit's value, a check box's 0 or 1
  bool Enabled = true;
  bool operator==(const TControlValue&) const = default;
};

class TFormValues {
 public:
  // Every control at its start value, enabled.
  TFormValues();
  TFormValues(const TFormValues& other) : Held(other.Held) {}
  TFormValues& operator=(const TFormValues& other) {
    Held = other.Held;
    return *this;
  }

  // Told of every change, with the control's place in the table; not copied.
  std::function<void(std::size_t index)> Changed;

  const TControlValue& operator[](std::size_t index) const { return Held[index]; }
  // The place of `name`, checked to be of `kind`.
  static std::size_t IndexOf(std::string_view name, TControlKind kind);

  std::string Text(std::string_view edit) const;
  int ItemIndex(std::string_view list) const;
  int Value(std::string_view spin) const;
  bool Checked(std::string_view box) const;
  bool Enabled(std::string_view name) const;

  void SetText(std::string_view edit, std::string cp1251);  // kept whole
  void SetItemIndex(std::string_view list, int index);
  void SetValue(std::string_view spin, double value);
  void SetChecked(std::string_view box, bool checked);
  void SetEnabled(std::string_view name, bool enabled);
  // The control at `index` takes `value`, brought under its kind's rules.
  void Set(std::size_t index, TControlValue value);

  bool operator==(const TFormValues& other) const { return Held == other.Held; }

 private:
  std::array<TControlValue, ControlCount> Held;
};
