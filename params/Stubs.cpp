// Placeholder until the parameter set lands.
#include "form/FmMain.h"

void TFmMain::DecodeVibroMode(int) {}
int TFmMain::EncodeVibroMode() const { return 0; }
void TFmMain::DecodeSleepMode(int) {}
int TFmMain::EncodeSleepMode() const { return 0; }
bool TFmMain::GatherParameters() { return false; }
void TFmMain::ApplyParameters(const QString&) {}
void TFmMain::ActSaveExecute() {}
void TFmMain::ActLoadExecute() {}
