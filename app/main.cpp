#include <QApplication>
#include <QMessageBox>
#include <exception>

#include "form/FmMain.h"
#include "form/Translations.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallRussianTranslations(app);
  try {
    TFmMain window;
    window.show();
    return app.exec();
  } catch (const std::exception& failure) {
    // A failure while the window is created or the loop starts ends the program, shown first.
    QMessageBox::critical(nullptr, "Ошибка", QString::fromStdString(failure.what()));
    return 1;
  }
}
