// The simulated unit's options: the usage text and the parsing of the arguments.
#include "sim/Options.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "link/Text.h"
#include "sim/Device.h"

void Fail(const std::string& what) { throw std::runtime_error(what); }
void FailErrno(const std::string& what) { Fail(what + ": " + std::strerror(errno)); }

const char* const kUsage = R"(Использование: vestra-sim [параметры]
Имитатор блока Вестра на псевдотерминале. Выводит путь терминала первой строкой, затем отвечает
на команды, оканчивающиеся CR (или LF, чтобы печатать вручную), до сигнала SIGTERM, SIGINT,
SIGHUP или SIGQUIT.
Попробовать вручную: socat - /dev/pts/N,raw,echo=0   затем наберите #V и Enter.

  --link PATH           также создать символическую ссылку PATH на терминал (удаляется при выходе)
  --com NAME            записать терминал в настройки конфигуратора как порт NAME (например
                        COM3, ключ Ports/NAME); при выходе запись удаляется. Без него настройки
                        не трогаются
  --log FILE            дописывать в FILE каждую принятую команду, по строке, без CR
  --firmware TEXT       версия прошивки (по умолчанию 3.00); на коды новее неё ответ #ERR2
  --version-form short|named
                        ответ на запрос версии "#V 3.00" (short, по умолчанию) или
                        "#Vestra GSM/GPS v3.00"
  --set CODE=VALUE      начальное значение кода (например --set E01=1,0 --set M10=1)
  --error KEY=N         отвечать #ERR и N на KEY: код параметров (чтение и запись) или команду
                        V, T, P, WL00, S (например --error M18=2 --error P=4); N — любой текст
  --reply KEY=TEXT      отвечать на KEY ровно TEXT и CR (например --reply T=#XYZ --reply V=#V)
  --keep CODE=VALUE     держать VALUE кода, что бы ни записала в него "#W" (отвечая #OK)
  --restart MS          после "#S" молчать MS миллисекунд, отбрасывая принятое, как блок,
                        который перезапускается, чтобы сохранить настройки
  --ack-save            отвечать "#OK" на "#S"
  --restart-after-save MS
                        после "#S" отвечать ещё 200 мс, затем MS миллисекунд отбрасывать всё,
                        как блок, который перезапускается чуть позже сохранения
  --reconnect MS        после "#S" повесить трубку терминала, убрать его ссылку и имя порта и
                        через MS миллисекунд вернуться на новом терминале под той же ссылкой и
                        именем, сохранив значения: блок USB, который пропадает с шины
  --delay MS            отвечать на каждую команду через MS миллисекунд после её прихода
  --one-at-a-time       обрабатывать по одной команде, как блок с одним циклом: следующая
                        команда читается только после ответа на предыдущую, а --delay
                        отсчитывается от чтения команды, а не от её прихода
  --split MS            посылать каждый ответ двумя частями, вторую через MS миллисекунд
  --silent              никогда не отвечать
  --garbage             посылать мусор до и после каждого сообщения
  --flood               непрерывно посылать сообщения "$"
  --hangup-after N      закрыть терминал посреди N-го ответа
  --periodic MS         посылать сообщение "$" каждые MS миллисекунд
  --baud N              вести линию со скоростью N бод (10 бит на байт): ответы уходят с этой
                        скоростью, команда считается пришедшей, когда её байты могли пройти
  --inject              также посылать в терминал без изменений всё, что приходит на
                        стандартный ввод (так тесты кладут на линию выбранные байты)
  --help                эта справка
  --version             название и версия программы
Тексты в командной строке — в UTF-8; блок говорит в Windows-1251.
)";

namespace {

std::string ToUnitText(const std::string& utf8) {
  auto text = Utf8ToCp1251(utf8);
  return text ? *text : utf8;
}

long ToNumber(const std::string& option, const std::string& text) {
  long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0)
    Fail(option + ": нужно целое число, а не «" + text + "»");
  return value;
}

std::pair<std::string, std::string> SplitPair(const std::string& option, const std::string& text) {
  auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0)
    Fail(option + ": нужно КЛЮЧ=ЗНАЧЕНИЕ, а не «" + text + "»");
  return {text.substr(0, eq), ToUnitText(text.substr(eq + 1))};
}

}  // namespace

TStart ParseArguments(int argc, char** argv, TOptions& options, TSimDevice& device) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) Fail(name + ": нужно значение");
      return args[++i];
    };
    if (name == "--help" || name == "-h") return TStart::Help;
    if (name == "--version") return TStart::Version;
    if (name == "--link") {
      options.LinkPath = value();
    } else if (name == "--com") {
      options.ComName = value();
    } else if (name == "--log") {
      options.LogPath = value();
    } else if (name == "--firmware") {
      device.Firmware = ToUnitText(value());
    } else if (name == "--version-form") {
      std::string form = value();
      if (form == "short")
        device.VersionForm = TSimDevice::TVersionForm::Short;
      else if (form == "named")
        device.VersionForm = TSimDevice::TVersionForm::Named;
      else
        Fail("--version-form: short или named, а не «" + form + "»");
    } else if (name == "--set") {
      auto [code, text] = SplitPair(name, value());
      device.Values[code] = text;
    } else if (name == "--error") {
      auto [key, text] = SplitPair(name, value());
      device.Errors[key] = text;
    } else if (name == "--reply") {
      auto [key, text] = SplitPair(name, value());
      device.Replies[key] = text;
    } else if (name == "--keep") {
      auto [code, text] = SplitPair(name, value());
      device.Values[code] = text;
      device.Kept.insert(code);
    } else if (name == "--restart") {
      options.RestartMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--ack-save") {
      options.AckSave = true;
    } else if (name == "--restart-after-save") {
      options.RestartAfterSaveMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--reconnect") {
      options.ReconnectMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--delay") {
      options.DelayMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--one-at-a-time") {
      options.OneAtATime = true;
    } else if (name == "--split") {
      options.SplitMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--silent") {
      options.Silent = true;
    } else if (name == "--garbage") {
      options.Garbage = true;
    } else if (name == "--inject") {
      options.Inject = true;
    } else if (name == "--flood") {
      options.Flood = true;
    } else if (name == "--hangup-after") {
      options.HangupAfter = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--periodic") {
      options.PeriodicMs = static_cast<int>(ToNumber(name, value()));
    } else if (name == "--baud") {
      options.Baud = ToNumber(name, value());
    } else {
      Fail("неизвестный параметр «" + name + "» (см. --help)");
    }
  }
  return TStart::Serve;
}
