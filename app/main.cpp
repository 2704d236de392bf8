#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <exception>

#include "form/FmMain.h"
#include "service/Translations.h"

int main(int argc, char** argv) {
  // Answered before Qt starts, so that it needs no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("vestra " VESTRA_VERSION);
      return 0;
    }
  }
  QApplication app(argc, argv);
  // The menu entry's name: Wayland's app id and the desktop's window matching follow it.
  QGuiApplication::setDesktopFileName("ru.mirotan.vestra");
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
