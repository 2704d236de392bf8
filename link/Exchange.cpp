// The request/answer half of the link: one command, its answer within a deadline, error
// answers, parameter read and write, and the firmware version.
#include <chrono>

#include "link/Integer.h"
#include "link/Link.h"
#include "link/Person.h"
#include "link/Text.h"
#include "link/VestraError.h"

namespace {

const char* const kNoAnswer = "Нет ответа от RAD";
const char* const kBadAnswer = "Недопустимый ответ от RAD";
const char* const kUnknownVersion = "Неизвестная версия";
const char* const kAborted = "Операция прервана";
const char* const kNotSupportedTail =
    " не поддерживается (возможно следует обновить прошивку RAD). Продолжить?";

bool StartsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::string TLink::ExecuteCommand(const std::string& command) {
  SendCommand(command);
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    std::string message = ReadAnswer();
    if (!message.empty() && Person) Person->Log(message);
    if (!message.empty() && message[0] == '#') return message;
    // Also tested after a "$" message: a flow of them without a pause must not hold the wait
    // open past its deadline.
    if (std::chrono::steady_clock::now() - start > AnswerDeadline) return {};
  }
}

bool TLink::CheckAnswerError(const std::string& answer) {
  if (answer.find("#ERR") == std::string::npos) return true;
  std::string rest = answer.size() > 4 ? answer.substr(4) : std::string();
  if (!rest.empty()) rest.pop_back();
  // Read as every whole number of the program is; text that is not one counts as 0.
  switch (ToInteger(rest).value_or(0)) {
    case 1:
      throw EVestraError("Ошибка в формате команды");
    case 2:
      return false;
    case 3:
      throw EVestraError("Недопустимое значение");
    case 4:
      throw EVestraError("Ошибка калибровки");
    default:
      throw EVestraError("Неизвестная ошибка");
  }
}

std::string TLink::ReadParameter(const std::string& code) {
  std::string prefix = "#R" + code;
  std::string answer = ExecuteForAnswer(prefix + "\r");
  if (!CheckAnswerError(answer)) {
    GoOnOrAbort("Чтение параметра " + Cp1251ToUtf8(code) + kNotSupportedTail);
    return {};
  }
  if (!StartsWith(answer, prefix)) throw EVestraError(kBadAnswer);
  std::string value = answer.substr(prefix.size());
  if (!value.empty()) value.pop_back();   // the CR
  if (!value.empty()) value.erase(0, 1);  // the separator after the code
  return value;
}

void TLink::WriteParameter(const std::string& code, const std::string& value) {
  std::string answer = ExecuteForAnswer("#W" + code + " " + value + "\r");
  if (CheckAnswerError(answer))
    RequireOk(answer);
  else
    GoOnOrAbort("Запись параметра " + Cp1251ToUtf8(code) + kNotSupportedTail);
}

std::string TLink::ReadVersion(int attempts) {
  auto setCaption = [this](const std::string& text) {
    if (Person) Person->SetVersionCaption(text);
  };
  setCaption("");
  std::string answer;
  for (int attempt = 0; attempt < attempts && answer.empty(); ++attempt)
    answer = ExecuteCommand("#V\r");
  if (answer.empty()) throw EVestraError(kNoAnswer);
  CheckAnswerError(answer);  // code 2 falls through to the form test below

  std::string version;
  if (StartsWith(answer, "#Vestra")) {
    std::size_t marker = answer.find('v', 7);
    if (marker == std::string::npos) marker = answer.find('V', 7);
    if (marker == std::string::npos) throw EVestraError(kUnknownVersion);
    version = answer.substr(marker + 1);
    if (!version.empty()) version.pop_back();
  } else if (StartsWith(answer, "#V")) {
    // "#V", the separator, the version, the CR.
    version = answer.size() > 4 ? answer.substr(3, answer.size() - 4) : std::string();
  } else {
    throw EVestraError(kBadAnswer);
  }
  setCaption("Версия " + Cp1251ToUtf8(version));
  if (version.empty()) throw EVestraError(kUnknownVersion);
  return version;
}

std::string TLink::ExecuteForAnswer(const std::string& command) {
  std::string answer = ExecuteCommand(command);
  if (answer.empty()) throw EVestraError(kNoAnswer);
  return answer;
}

void TLink::RequireOk(const std::string& answer) {
  if (answer.find("#OK") == std::string::npos) throw EVestraError(kBadAnswer);
}

void TLink::GoOnOrAbort(const std::string& question) {
  if (!Person || !Person->Ask(question, "Ошибка", TPerson::TIcon::Stop))
    throw EVestraError(kAborted);
}
