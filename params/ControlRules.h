// The rules of the four kinds of control, as functions on values. The window's widgets apply
// exactly these (form/Controls.h), and every face that holds values applies them too, so a value
// means the same whether a widget or the engine holds it.
//   list   an index out of range means no selection (-1)
//   spin   a number from the program is rounded, then brought into range; a typed text that is
//          empty or no whole number reads as the minimum
//   edit   the program's text is kept whole; what is typed or pasted loses control characters,
//          characters without a Windows-1251 byte and what follows a line break, and is cut to
//          the length limit
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

#include "params/ControlTable.h"

// The index a list of `row` holds when the program sets `index`.
int ListIndex(const TControlRow& row, int index);
// The value a spin edit of `row` holds when the program sets `value` (NaN: the minimum).
int SpinValue(const TControlRow& row, double value);
// A whole number as typed: an optional sign, then digits, nothing else. One too long for any
// range reads as a huge one of its sign, so that it is brought to the nearer end of the range.
std::optional<long long> TypedNumber(QStringView text);
// The value a spin edit of `row` holds while it shows `text`.
int SpinTextValue(const TControlRow& row, QStringView text);

// What an edit of `row` holds after an insertion: `before` was its text; the change turned it
// into `input`, with the cursor at `pos` after what came in. Returns the text kept and moves
// `pos` after what of the insertion stayed.
QString TypedEditText(const TControlRow& row, const QString& before, const QString& input,
                      int& pos);
