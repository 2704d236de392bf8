// Placeholder until the transfer lands.
#include "form/FmMain.h"

void TFmMain::ActReadExecute() {}
void TFmMain::ActWriteExecute() {}
