// Placeholder until the form model lands.
#include "form/Controls.h"

void TComboBox::hidePopup() { QComboBox::hidePopup(); }
void TComboBox::focusOutEvent(QFocusEvent* e) { QComboBox::focusOutEvent(e); }
void TSpinEdit::focusOutEvent(QFocusEvent* e) { QSpinBox::focusOutEvent(e); }
