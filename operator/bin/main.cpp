// vestra-station: the operator's window of a batch station, or, with --set-password, the
// supervisor's password put into a station's configuration.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileDialog>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "operator/StationWindow.h"
#include "operator/SupervisorLock.h"
#include "service/Translations.h"

namespace {

void Describe(QCommandLineParser& parser) {
  parser.setApplicationDescription("Станция Вестра: окно оператора станции записи блоков.");
  parser.addHelpOption();
  parser.addOption(
      {"set-password", "Задать пароль старшего смены в файле конфигурации (вводится дважды)."});
  parser.addPositionalArgument("config", "Файл конфигурации станции (TEMPLATE=, UNITS=, OPTIONS=).",
                               "[FILE.conf]");
}

}  // namespace

int main(int argc, char** argv) {
  // Setting the password and the help need no display: a line's PC may have none at hand.
  bool headless = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("vestra-station " VESTRA_VERSION);
      return 0;
    }
    headless |= std::strcmp(argv[i], "--set-password") == 0 ||
                std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "--help-all") == 0 ||
                std::strcmp(argv[i], "-h") == 0;
  }
  if (headless) {
    QCoreApplication app(argc, argv);
    InstallRussianTranslations(app);
    QCommandLineParser parser;
    Describe(parser);
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
      std::fputs("Ошибка: укажите файл конфигурации станции\n", stderr);
      return 2;
    }
    return SetPassword(parser.positionalArguments()[0]);
  }
  QApplication app(argc, argv);
  // The menu entry's name: Wayland's app id and the desktop's window matching follow it.
  QGuiApplication::setDesktopFileName("ru.mirotan.vestra.station");
  QCoreApplication::setOrganizationName("Mirotan");
  QCoreApplication::setApplicationName("vestra-station");
  InstallRussianTranslations(app);
  QCommandLineParser parser;
  Describe(parser);
  parser.process(app);
  TStationWindow window;
  // Never larger than the screen's free area (a line PC's small screen, Wine's virtual one).
  const QSize room = window.screen()->availableGeometry().size();
  window.resize(std::min(1280, room.width()), std::min(720, room.height()));
  window.show();
  QString file = parser.positionalArguments().value(0);
  if (file.isEmpty())
    file = QFileDialog::getOpenFileName(&window, "Конфигурация станции", {},
                                        "Конфигурация станции (*.conf)");
  if (!file.isEmpty()) window.Open(file);
  return app.exec();
}
