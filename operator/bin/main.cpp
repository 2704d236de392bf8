// vestra-station: the operator's window of a batch station, or, with --set-password, the
// supervisor's password put into a station's configuration.
#include <QApplication>
#include <QCommandLineParser>
#include <QFileDialog>
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
  // Setting the password needs no display: a line's PC may have none at hand.
  bool password = false;
  for (int i = 1; i < argc; ++i) password |= std::strcmp(argv[i], "--set-password") == 0;
  if (password) {
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
  QCoreApplication::setOrganizationName("Mirotan");
  QCoreApplication::setApplicationName("vestra-station");
  InstallRussianTranslations(app);
  QCommandLineParser parser;
  Describe(parser);
  parser.process(app);
  TStationWindow window;
  window.resize(1280, 720);
  window.show();
  QString file = parser.positionalArguments().value(0);
  if (file.isEmpty())
    file = QFileDialog::getOpenFileName(&window, "Конфигурация станции", {},
                                        "Конфигурация станции (*.conf)");
  if (!file.isEmpty()) window.Open(file);
  return app.exec();
}
