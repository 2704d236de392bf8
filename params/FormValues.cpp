#include "params/FormValues.h"

#include "link/Text.h"
#include "link/VestraError.h"
#include "params/ControlRules.h"

TFormValues::TFormValues() {
  for (std::size_t i = 0; i < ControlCount; ++i) {
    const TControlRow& row = ControlTable()[i];
    Held[i].Text = Utf8ToCp1251(std::string(row.StartText)).value_or("");
    Held[i].Number = row.Start;
  }
}

std::size_t TFormValues::IndexOf(std::string_view name, TControlKind kind) {
  const std::size_t index = ControlIndex(name);
  if (index == ControlCount || ControlTable()[index].Kind != kind)
    throw EVestraError("Не найден элемент окна " + std::string(name));
  return index;
}

std::string TFormValues::Text(std::string_view edit) const {
  return Held[IndexOf(edit, TControlKind::Edit)].Text;
}
int TFormValues::ItemIndex(std::string_view list) const {
  return Held[IndexOf(list, TControlKind::List)].Number;
}
int TFormValues::Value(std::string_view spin) const {
  return Held[IndexOf(spin, TControlKind::Spin)].Number;
}
bool TFormValues::Checked(std::string_view box) const {
  return Held[IndexOf(box, TControlKind::Check)].Number != 0;
}
bool TFormValues::Enabled(std::string_view name) const {
  const std::size_t index = ControlIndex(name);
  if (index == ControlCount) throw EVestraError("Не найден элемент окна " + std::string(name));
  return Held[index].Enabled;
}

void TFormValues::Set(std::size_t index, TControlValue value) {
  const TControlRow& row = ControlTable()[index];
  switch (row.Kind) {
    case TControlKind::Edit:
      value.Number = 0;
      break;
    case TControlKind::List:
      value.Number = ListIndex(row, value.Number);
      value.Text.clear();
      break;
    case TControlKind::Spin:
      value.Number = SpinValue(row, value.Number);
      value.Text.clear();
      break;
    case TControlKind::Check:
      value.Number = value.Number != 0 ? 1 : 0;
      value.Text.clear();
      break;
  }
  if (Held[index] == value) return;
  Held[index] = std::move(value);
  if (Changed) Changed(index);
}

void TFormValues::SetText(std::string_view edit, std::string cp1251) {
  const std::size_t index = IndexOf(edit, TControlKind::Edit);
  Set(index, {std::move(cp1251), 0, Held[index].Enabled});
}

void TFormValues::SetItemIndex(std::string_view list, int index) {
  const std::size_t at = IndexOf(list, TControlKind::List);
  Set(at, {{}, index, Held[at].Enabled});
}

void TFormValues::SetValue(std::string_view spin, double value) {
  const std::size_t at = IndexOf(spin, TControlKind::Spin);
  TControlValue held = Held[at];
  held.Number = SpinValue(ControlTable()[at], value);
  Set(at, std::move(held));
}

void TFormValues::SetChecked(std::string_view box, bool checked) {
  const std::size_t at = IndexOf(box, TControlKind::Check);
  Set(at, {{}, checked ? 1 : 0, Held[at].Enabled});
}

void TFormValues::SetEnabled(std::string_view name, bool enabled) {
  const std::size_t index = ControlIndex(name);
  if (index == ControlCount) throw EVestraError("Не найден элемент окна " + std::string(name));
  TControlValue held = Held[index];
  held.Enabled = enabled;
  Set(index, std::move(held));
}
