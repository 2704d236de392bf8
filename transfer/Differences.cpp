// Captions and values as the window shows them, for the differences a comparison found.
#include "transfer/Differences.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "link/Integer.h"
#include "link/Text.h"
#include "params/ControlTable.h"
#include "transfer/CodeTable.h"

namespace {

using R = TReadConversion;

const TCodeRow* FindRow(std::string_view code) {
  for (const TCodeRow& row : CodeTable())
    if (row.Code == code) return &row;
  return nullptr;
}

// --- Captions as the window shows them ---

std::string Joined(std::string_view container, const std::vector<std::string>& own) {
  std::string tail;
  for (const std::string& part : own) tail += (tail.empty() ? "" : ", ") + part;
  if (container.empty()) return tail;
  return tail.empty() ? std::string(container) : std::string(container) + ": " + tail;
}

std::string CaptionOf(const TCodeRow& row) {
  std::vector<const TControlRow*> controls;
  for (std::string_view name : row.Read.Controls) {
    if (name.empty()) continue;
    if (const std::size_t i = ControlIndex(name); i < ControlCount)
      controls.push_back(&ControlTable()[i]);
    // A server is its address; the box beside it only says the address is not used.
    if (row.Read.Conversion == R::Server) break;
  }
  if (controls.empty()) return std::string(row.Code);
  const std::string_view container = controls.front()->Group;
  const bool shared = std::all_of(controls.begin(), controls.end(),
                                  [&](const TControlRow* c) { return c->Group == container; });
  std::vector<std::string> parts;
  for (const TControlRow* c : controls) {
    std::string part =
        shared ? std::string(c->Caption) : Joined(c->Group, {std::string(c->Caption)});
    if (!part.empty() && std::find(parts.begin(), parts.end(), part) == parts.end())
      parts.push_back(part);
  }
  if (shared) return Joined(container, parts);
  return Joined({}, parts);
}

// --- Values as the window shows them ---

// The text as the row's single control would show it; nothing where the code fills several
// controls or the text would not read.
std::optional<std::string> Shown(const TCodeRow& row, std::string_view text) {
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
      const std::size_t list = ControlIndex(name);
      if (!integer || list == ControlCount) return std::nullopt;
      const auto& items = ControlTable()[list].Items;
      int index = row.Read.Conversion == R::IndexCapped3 ? std::min(*integer, 3) : *integer;
      if (index < 0 || index >= static_cast<int>(items.size())) return std::nullopt;
      return std::string(items[static_cast<std::size_t>(index)]);
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

TDifferenceView DescribeDifference(const TCodeDifference& difference) {
  TDifferenceView view{difference.Code, difference.Code, "", Cp1251ToUtf8(difference.Expected),
                       Cp1251ToUtf8(difference.Actual)};
  const TCodeRow* row = FindRow(difference.Code);
  if (!row) return view;
  view.Caption = CaptionOf(*row);
  view.Key.clear();
  for (std::string_view key : row->Write.Keys) {
    if (key.empty()) continue;
    if (!view.Key.empty()) view.Key += ",";
    view.Key += key;
  }
  auto own = Shown(*row, difference.Expected);
  auto unit = Shown(*row, difference.Actual);
  // Two texts that the window would show alike are shown as they are, or the row would not
  // say what differs.
  if (own && unit && *own != *unit) {
    view.Own = *own;
    view.Unit = *unit;
  }
  return view;
}

void ShowDifferences(TPerson& person, const std::string& caption, const std::string& ownColumn,
                     std::span<const TCodeDifference> differences) {
  std::vector<TPerson::TDifferenceRow> rows;
  for (const TCodeDifference& difference : differences)
    rows.push_back(DescribeDifference(difference));
  person.ShowDifferences(caption, ownColumn, rows);
}
