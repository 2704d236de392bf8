// vestra-cli: the subcommands as a table, the command line parsed by QCommandLineParser, and the
// program's start, on Qt's core alone: no display, no GUI library.
#ifdef _WIN32
#include <windows.h>
#endif

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "cli/Cli.h"
#include "service/Translations.h"
#include "station/Station.h"
#include "station/StopSignals.h"

namespace {

// What the help says of the system it runs on: the ports a person names there, the station's
// default record, and what stops a run (station/StopSignals*.cpp: on Windows the console's Ctrl+C
// and Ctrl+Break; its closing leaves the process about 5 s).
#ifdef _WIN32
const char* const kPortHelp =
    "Порт: имя, как в окне (COM3); без него — порт, выбранный в опциях окна.";
const char* const kPortsSummary =
    "Имена COM1–COM24 и их устройства; у USB — коды и серийный номер.";
const char* const kStoreHelp =
    "База данных станции: очередь строк и запись каждой попытки. Файл SQLite или PostgreSQL, "
    "общий для линии станций: postgresql://пользователь@хост/база или строка подключения libpq "
    "(host=... dbname=...). При повторном запуске строки, записанные успешно, пропускаются. "
    "По умолчанию %LOCALAPPDATA%\\Vestra\\station.db; PostgreSQL в Windows пока недоступен.";
const char* const kStopCodes =
    "  130  остановлено по Ctrl+C или Ctrl+Break после записи текущего блока\n"
    "  143  остановлено закрытием окна консоли после записи текущего блока\n"
    "Закрытие окна консоли Windows даёт программе лишь около 5 с: останавливайте её по "
    "Ctrl+C.\n";
#else
const char* const kPortHelp =
    "Порт: имя, как в окне (COM3), или путь к устройству (/dev/ttyACM0); без него — порт, "
    "выбранный в опциях окна. Для provision можно несколько: по слоту на порт, все блоки "
    "сразу; auto — слот на каждый порт, где есть устройство.";
const char* const kPortsSummary =
    "Имена COM1–COM24 и их устройства; у USB — коды, серийный номер, by-path.";
const char* const kStoreHelp =
    "База данных станции: очередь строк и запись каждой попытки. Файл SQLite (по умолчанию "
    "~/.local/state/vestra/station.db, у службы — в её папке состояния) или PostgreSQL, общий "
    "для линии станций: "
    "postgresql://пользователь@хост/база или строка подключения libpq (host=... dbname=...). "
    "При повторном запуске строки, записанные успешно, пропускаются.";
const char* const kStopCodes =
    "  130  остановлено по SIGINT (Ctrl-C) после записи текущего блока\n"
    "  143  остановлено по SIGTERM, так же\n"
    "  129  остановлено по SIGHUP (закрыт терминал), так же\n"
    "  131  остановлено по SIGQUIT, так же\n";
#endif

// The options beyond those every subcommand has.
enum TOptionSet : unsigned {
  OptPort = 1,
  OptOutput = 2,
  OptVerify = 4,
  OptOptions = 8,  // the two stored options of the window, for one run
  OptStation = 16,
  OptStore = 32,  // the station's database
  OptReport = 64,
  OptSettle = 128,  // the check after a write
  OptDashboard = 256,
};

struct TOptionRow {
  unsigned Set;  // 0: every subcommand
  std::vector<const char*> Names;
  const char* Description;
  const char* ValueName;  // nullptr: a flag
  bool Hidden = false;    // between the station and its workers only
};

const TOptionRow kOptions[] = {
    {OptPort, {"port"}, kPortHelp, "NAME"},
    {OptOutput,
     {"o", "output"},
     "Записать файл параметров в FILE, а не в стандартный вывод.",
     "FILE"},
    {OptVerify, {"no-verify"}, "Не проверять запись чтением.", nullptr},
    {OptSettle,
     {"settle"},
     "Перед проверкой записи дать Вестре MS мс сохранить параметры после «#S» (по умолчанию "
     "500): блок может ответить и перезапуститься чуть позже.",
     "MS"},
    {OptOptions, {"set-time"}, "Установить часы Вестры (как «Синхронизировать время»).", nullptr},
    {OptOptions, {"no-set-time"}, "Не устанавливать часы Вестры.", nullptr},
    {OptOptions,
     {"manual-corr-coef"},
     "Записывать коэф. калибровки из файла (как «Устанавливать коэф. калибровки вручную»).",
     nullptr},
    {OptOptions, {"no-manual-corr-coef"}, "Не записывать коэф. калибровки.", nullptr},
    {OptStation,
     {"units"},
     "Таблица CSV: строка заголовка с ключами параметров и необязательным столбцом Unit, по "
     "строке на блок (разделитель «,» или «;», UTF-8 или Windows-1251).",
     "CSV"},
    {OptStore, {"db"}, kStoreHelp, "DB"},
    {OptStation,
     {"station"},
     "Имя станции в базе данных (по умолчанию имя компьютера и порт, например pc1:COM3).",
     "ID"},
    {OptStation,
     {"log"},
     "Журнал станции (CSV, дописывается): по строке на попытку, выгрузка из базы данных.",
     "FILE"},
    {OptReport, {"format"}, "Формат: csv (по умолчанию) или json (JSON Lines).", "csv|json"},
    {OptStation, {"count"}, "Остановиться после N блоков.", "N"},
    {OptDashboard,
     {"listen"},
     "Адрес и порт страницы (по умолчанию 127.0.0.1:8470, только этот компьютер); на другом "
     "адресе страница открывается только с ключом доступа.",
     "ADDRESS:PORT"},
    {OptDashboard,
     {"token-file"},
     "Файл с ключом доступа (первая строка, от 16 знаков); без него ключ выбирается случайно и "
     "выводится при запуске.",
     "FILE"},
    {OptStation,
     {"lease"},
     "Срок захвата строки, с (по умолчанию 300): захват продлевается, пока блок пишется, и "
     "подтверждается перед «#S»; строку станции, которая молчит дольше, берёт другая.",
     "SECONDS"},
    {OptStation,
     {"json"},
     "События станции в стандартный вывод, по объекту JSON в строке (JSON Lines).",
     nullptr},
    {OptStation,
     {"scan"},
     "Метки со сканера на стандартном входе, по строке на блок: блок пишется только после "
     "метки и получает строку таблицы с этой меткой (столбец Unit); «N<Tab>метка» — для слота N.",
     nullptr},
    {OptStation, {"slot"}, "Рабочий процесс слота N станции.", "N", true},
    {0, {"exchange-log"}, "Записать обмен с Вестрой в FILE, как его показывает окно.", "FILE"},
    {0,
     {"unsupported"},
     "Ответ на вопрос о неподдерживаемом параметре или установке времени: skip — продолжить, "
     "stop — прервать (по умолчанию).",
     "skip|stop"},
};

struct TSubcommand {
  const char* Name;
  const char* Summary;
  const char* Argument;  // the one positional argument, or nullptr
  const char* ArgumentHelp;
  unsigned Options;
  int (*Run)(TSession&);
};

// Whether `command` takes the option of `row`.
bool Offers(const TSubcommand& command, const TOptionRow& row) {
  return row.Set == 0 || (row.Set & command.Options) != 0;
}

const TSubcommand kSubcommands[] = {
    {"ports", kPortsSummary, nullptr, nullptr, 0, RunPorts},
    {"find", "Найти порт, к которому подключена Вестра, как кнопка «Найти».", nullptr, nullptr, 0,
     RunFind},
    {"version", "Считать версию прошивки Вестры.", nullptr, nullptr, OptPort, RunVersion},
    {"read", "Прочитать параметры Вестры в файл параметров, как «Прочитать» и «Сохранить».",
     nullptr, nullptr, OptPort | OptOutput, RunRead},
    {"write", "Записать файл параметров в Вестру, как «Загрузить» и «Записать», и проверить.",
     "FILE", "Файл параметров.", OptPort | OptVerify | OptOptions | OptSettle, RunWrite},
    {"diff", "Сравнить то, что записал бы файл параметров, с тем, что хранит Вестра.", "FILE",
     "Файл параметров.", OptPort, RunDiff},
    {"provision", "Станция: записать и проверить блок за блоком по шаблону и таблице CSV.",
     "TEMPLATE", "Файл параметров — шаблон для всех блоков.",
     OptPort | OptOptions | OptStation | OptStore | OptSettle, RunProvision},
    {"report",
     "Все попытки станции из базы данных (CSV или JSON Lines); итог — в стандартный поток ошибок.",
     nullptr, nullptr, OptStore | OptReport, RunReport},
    {"dashboard",
     "Панель линии в браузере: каждая станция и слот вживую, итоги смены, выгрузка записи.",
     nullptr, nullptr, OptStore | OptDashboard, RunDashboard},
};

// The exit codes every system shares, then this system's way of stopping.
QString ExitCodes() {
  return QString(
             "Коды завершения:\n"
             "  0    выполнено\n"
             "  1    операция не удалась (текст ошибки, как в окне)\n"
             "  2    ошибка в командной строке; входной файл не читается или не разбирается\n"
             "  3    не пройдена проверка формы или отвергнуто значение (ячейка таблицы)\n"
             "  4    найдены расхождения с Вестрой\n") +
         kStopCodes;
}

void Print(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.data(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QString GeneralHelp() {
  QString text =
      "Использование: vestra-cli КОМАНДА [параметры]\n"
      "Конфигуратор Вестра из командной строки. Справка по команде: vestra-cli "
      "КОМАНДА --help; версия: vestra-cli --version\n\nКоманды:\n";
  for (const auto& command : kSubcommands)
    text += QString("  %1 %2\n").arg(QString(command.Name), -10).arg(command.Summary);
  return text + "\n" + ExitCodes();
}

int Usage(const QString& text) {
  Print(stderr, "vestra-cli: " + text + "\n");
  return ExitUsage;
}

int RunSubcommand(const TSubcommand& command, const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QString(command.Summary) + "\n\n" + ExitCodes());
  parser.addHelpOption();
  for (const auto& row : kOptions) {
    if (!Offers(command, row)) continue;
    QStringList names;
    for (const char* name : row.Names) names << name;
    QCommandLineOption option = row.ValueName
                                    ? QCommandLineOption(names, row.Description, row.ValueName)
                                    : QCommandLineOption(names, row.Description);
    if (row.Hidden) option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  if (command.Argument) parser.addPositionalArgument(command.Argument, command.ArgumentHelp);

  // The program's name and the subcommand stand where the parser expects the program alone.
  QStringList own = arguments.mid(2);
  own.prepend(arguments.value(0));
  if (!parser.parse(own)) return Usage(parser.errorText());
  if (parser.isSet("help")) {
    QString help = parser.helpText();
    const QString program = QFileInfo(arguments.value(0)).fileName();
    help.replace(help.indexOf(program), program.size(), program + " " + command.Name);
    Print(stdout, help);
    return ExitDone;
  }
  const auto expected = command.Argument ? 1 : 0;
  if (parser.positionalArguments().size() != expected)
    return Usage(command.Argument
                     ? QString("нужен один аргумент %1").arg(command.Argument)
                     : QString("лишние аргументы: ") + parser.positionalArguments().join(' '));
  // An empty file name would fail only after the unit had been read or written.
  for (const auto& row : kOptions) {
    const QString name = row.Names.back();
    if (Offers(command, row) && row.ValueName && std::string_view(row.ValueName) == "FILE" &&
        parser.isSet(name) && parser.value(name).isEmpty())
      return Usage("--" + name + ": пустое имя файла");
  }
  if (command.Argument && parser.positionalArguments().value(0).isEmpty())
    return Usage(QString(command.Argument) + ": пустое имя файла");
  const QString unsupported = parser.value("unsupported");
  if (parser.isSet("unsupported") && unsupported != "skip" && unsupported != "stop")
    return Usage("--unsupported принимает skip или stop, а не " + unsupported);
  for (const char* option : {"set-time", "manual-corr-coef"})
    if (command.Options & OptOptions && parser.isSet(option) &&
        parser.isSet(QString("no-") + option))
      return Usage(QString("--%1 и --no-%1 исключают друг друга").arg(option));

  try {
    TSession session(parser);
    return command.Run(session);
  } catch (const EUsage& usage) {
    return Usage(QString::fromStdString(usage.Text));
  }
}

int RunCli(const QStringList& arguments) {
  const QString name = arguments.value(1);
  if (name.isEmpty() || name == "--help" || name == "-h" || name == "help") {
    Print(name.isEmpty() ? stderr : stdout, GeneralHelp());
    return name.isEmpty() ? ExitUsage : ExitDone;
  }
  if (name == "--version") {
    Print(stdout, "vestra-cli " VESTRA_VERSION "\n");
    return ExitDone;
  }
  for (const auto& command : kSubcommands)
    if (name == command.Name) return RunSubcommand(command, arguments);
  return Usage("неизвестная команда " + name + " (vestra-cli --help)");
}

// Qt's own notes are not for the person at the terminal.
void QuietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) Print(stderr, message + "\n");
}

}  // namespace

int main(int argc, char** argv) {
  // A write must never stop half-way: the stop signals wait, blocked in every thread from the
  // start, until `write` has sent its final command or the station is between units.
  if (argc > 1 &&
      (std::string_view(argv[1]) == "provision" || std::string_view(argv[1]) == "write"))
    BlockStopSignals();
  // The station learns that a slot's worker ended through a descriptor as well, which only a
  // signal blocked in every thread reaches.
  if (argc > 1 && std::string_view(argv[1]) == "provision") {
    BlockChildEndSignal();
    // An output whose reader went away (`| head`, a supervisor killed) is no reason to cut a
    // unit's write: the failed write is seen, and the station stops after the unit.
    IgnoreClosedOutput();
  }
  qInstallMessageHandler(QuietQt);
#ifdef _WIN32
  // What is printed is UTF-8; a Windows console shows it so only when told.
  SetConsoleOutputCP(CP_UTF8);
#endif
  QCoreApplication app(argc, argv);
  // Qt's own texts ("--help", "--version") in Russian, as the window's are.
  InstallRussianTranslations(app);
  try {
    return RunCli(QCoreApplication::arguments());
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "Ошибка: %s\n", failure.what());
    return ExitFailed;
  }
}
