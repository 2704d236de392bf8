#include <QApplication>

#include "form/FmMain.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TFmMain window;
  window.show();
  return app.exec();
}
