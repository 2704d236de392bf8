// Placeholder until the window lands.
#include "form/FmMain.h"

class TQtPerson : public TPerson {};

TFmMain* FmMain = nullptr;
TFmMain::TFmMain(QWidget* parent) : QMainWindow(parent), Link(nullptr, {}), Person(nullptr) {}
TFmMain::~TFmMain() = default;
void TFmMain::showEvent(QShowEvent*) {}
void TFmMain::closeEvent(QCloseEvent*) {}
