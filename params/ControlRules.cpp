#include "params/ControlRules.h"

#include <algorithm>
#include <cmath>

#include "link/Text.h"

namespace {

// Larger than any range of a spin edit, small enough to compute with.
constexpr long long kHuge = 1'000'000'000'000'000;

int Bounded(const TControlRow& row, long long value) {
  return static_cast<int>(std::clamp<long long>(value, row.Min, row.Max));
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

}  // namespace

int ListIndex(const TControlRow& row, int index) {
  return index >= 0 && index < static_cast<int>(row.Items.size()) ? index : -1;
}

int SpinValue(const TControlRow& row, double value) {
  if (std::isnan(value)) return row.Min;
  return Bounded(row, std::llround(std::clamp(value, -1e15, 1e15)));
}

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

int SpinTextValue(const TControlRow& row, QStringView text) {
  const auto typed = TypedNumber(text);
  return typed ? Bounded(row, *typed) : row.Min;
}

QString TypedEditText(const TControlRow& row, const QString& before, const QString& input,
                      int& pos) {
  // The change replaced a piece of the text before by input[start, end): the cursor stands
  // after what came in, and what follows it was there before.
  const qsizetype tail = std::clamp<qsizetype>(input.size() - pos, 0, before.size());
  const qsizetype end = input.size() - tail;
  qsizetype start = 0;
  while (start < end && start < before.size() - tail && input[start] == before[start]) ++start;
  QString inserted = Holdable(QStringView(input).mid(start, end - start));
  // Cut to fit, as a Windows edit does. A text longer than the limit (set by the program) may
  // still be shortened, never lengthened.
  if (row.MaxLength > 0) inserted.truncate(std::max<qsizetype>(0, row.MaxLength - start - tail));
  pos = static_cast<int>(start + inserted.size());
  return input.left(start) + inserted + input.right(tail);
}
