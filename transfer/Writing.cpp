// Writing the window's configuration into the unit.
#include <QPlainTextEdit>
#include <ctime>
#include <exception>
#include <string>

#include "form/Captions.h"
#include "form/FmMain.h"
#include "link/Text.h"
#include "transfer/CodeTable.h"
#include "transfer/Comparison.h"

namespace {

// Sends exactly what a comparison compares with, noting each code as it goes.
void WriteCodes(TFmMain& form, int versionNumber) {
  for (TCodeValue& code : PlannedWrite(form, versionNumber)) {
    form.LastWrite.push_back(code);
    form.Link.WriteParameter(code.Code, code.Value);
  }
}

// Reads back what the write sent; tells the log when all of it is there.
void Verify(TFmMain& form) {
  form.Person->ShowWait("Проверка записи...");
  form.LastDifferences = VerifyWrite(form, form.LastWrite);
  if (form.LastDifferences->empty())
    form.Person->Log(Utf8ToCp1251("Проверено: " + std::to_string(form.LastWrite.size()) +
                                  " параметров совпадают")
                         .value_or(""));
}

// Sets the unit's clock to the PC's local time.
void SetClock(TFmMain& form) {
  std::time_t now = std::time(nullptr);
  // The standard's own call on both systems; the operation runs on the GUI thread alone.
  const std::tm local = *std::localtime(&now);
  std::string answer = form.Link.ExecuteForAnswer(ClockCommand(local));
  if (form.Link.CheckAnswerError(answer))
    TLink::RequireOk(answer);
  else
    form.Link.GoOnOrAbort(
        "Установка времени не поддерживается (возможно следует обновить прошивку RAD). "
        "Продолжить?");
}

}  // namespace

void TFmMain::ActWriteExecute() {
  MmLog->clear();
  LastWrite.clear();
  LastDifferences.reset();
  // Not the common frame: a write tells of a failure while the port is still open and closes it
  // only afterwards, and it closes the port in every case, the monitor's included.
  std::string failure;
  bool failed = false;
  try {
    if (GatherParameters()) {  // otherwise it has told the user already
      ReleaseMonitor();
      Person->ShowWait("Запись параметров Вестра...");
      OpenSelectedPort();
      if (!MonitorOn()) Link.FlushInput();
      int versionNumber = VersionNumber(Link.ReadVersion());
      WriteCodes(*this, versionNumber);
      // Firmware from 4.00 on keeps its own time.
      if (CBSetTime->Checked() && versionNumber < 400) SetClock(*this);
      if (BeforeSave) BeforeSave();
      // The final command is not answered; nothing is read after it.
      Link.SendCommand("#S\r");
      if (VerifyAfterWrite) Verify(*this);
    }
  } catch (const std::exception& error) {
    failed = true;
    failure = error.what();
  } catch (...) {
    failed = true;
  }
  Person->HideWait();
  if (failed) ShowError(failure);
  Link.ClosePort();
  if (!failed && LastDifferences && !LastDifferences->empty())
    ShowDifferences(*this, "Проверка записи", "Записано", *LastDifferences);
}
