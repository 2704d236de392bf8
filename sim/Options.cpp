// The simulated unit's options: the usage text and the parsing of the arguments.
#include "sim/Options.h"

#include <charconv>
#include <cstring>
#include <vector>

#include "link/Text.h"
#include "sim/Device.h"

void Fail(const std::string& what) { throw std::runtime_error(what); }
void FailErrno(const std::string& what) { Fail(what + ": " + std::strerror(errno)); }

const char* const kUsage = R"(Usage: vestra-sim [options]
A simulated Vestra unit on a pseudo-terminal. Prints the terminal's path on the first line, then
answers commands ending in CR (or LF, for typing by hand) until SIGTERM or SIGINT.
Try it by hand: socat - /dev/pts/N,raw,echo=0   then type #V and Enter.

  --link PATH           also make a symbolic link PATH to the terminal (removed on exit)
  --com NAME            register the terminal as port NAME (e.g. COM3) in the configurator's
                        settings (Ports/NAME), removed on exit
  --log FILE            append every command received to FILE, one per line, without its CR
  --firmware TEXT       firmware version (default 3.00); codes newer than it answer #ERR2
  --version-form short|named
                        version answer "#V 3.00" (short, default) or "#Vestra GSM/GPS v3.00"
  --set CODE=VALUE      start value of a device code (e.g. --set E01=1,0 --set M10=1)
  --error KEY=N         answer #ERR + N to KEY: a device code (read and write) or a command
                        V, T, P, WL00, S (e.g. --error M18=2 --error P=4); N may be any text
  --reply KEY=TEXT      answer exactly TEXT + CR to KEY (e.g. --reply T=#XYZ --reply V=#V)
  --keep CODE=VALUE     hold VALUE for CODE whatever "#W" writes to it (still answering #OK)
  --restart MS          after "#S" stay silent for MS milliseconds, dropping what arrives, as a
                        unit that restarts to store its settings
  --ack-save            answer "#OK" to "#S"
  --restart-after-save MS
                        after "#S" go on answering for 200 ms, then drop everything for MS
                        milliseconds, as a unit that restarts a moment after storing
  --reconnect MS        after "#S" hang up the terminal and remove its link and port name, then
                        after MS milliseconds come back on a new terminal under the same link and
                        name, keeping the stored values: a USB unit that drops off the bus
  --delay MS            answer each command MS milliseconds after it arrived
  --split MS            send each answer in two bursts, its second half MS milliseconds after
                        the first
  --silent              never answer
  --garbage             send junk bytes before and after each message
  --flood               send "$" messages without a pause, all the time
  --hangup-after N      close the terminal in the middle of the Nth answer
  --periodic MS         send a "$" message every MS milliseconds
  --baud N              pace the line at N baud (10 bits per byte): answers go out at that pace,
                        and a command counts as arrived once its bytes could have crossed
  --inject              also send whatever arrives on standard input to the terminal, unchanged
                        (tests use it to put chosen bytes on the line)
  --help                show this text
Texts given on the command line are UTF-8; the unit speaks Windows-1251.
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
    Fail(option + " needs a whole number, not '" + text + "'");
  return value;
}

std::pair<std::string, std::string> SplitPair(const std::string& option, const std::string& text) {
  auto eq = text.find('=');
  if (eq == std::string::npos || eq == 0) Fail(option + " needs KEY=VALUE, not '" + text + "'");
  return {text.substr(0, eq), ToUnitText(text.substr(eq + 1))};
}

}  // namespace

// Returns false when the program should only print its usage.
bool ParseArguments(int argc, char** argv, TOptions& options, TSimDevice& device) {
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) Fail(name + " needs a value");
      return args[++i];
    };
    if (name == "--help" || name == "-h") return false;
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
        Fail("--version-form is short or named, not '" + form + "'");
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
      Fail("unknown option '" + name + "' (see --help)");
    }
  }
  return true;
}
