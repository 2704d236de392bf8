// Placeholder until the service functions land.
#include "form/FmMain.h"

void TFmMain::BtFindPortClick() {}
void TFmMain::ActVersionExecute() {}
void TFmMain::ActCorrCoefExecute() {}
void TFmMain::ActLEDInversExecute() {}
void TFmMain::TimerTimer() {}
void TFmMain::SBGPSClick() {}
