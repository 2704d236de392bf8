// Port discovery: tries every entry of the port list in order and selects the first port whose
// unit gives a usable version answer. No failure on a single port reaches the person; only the
// final "found" or "not found" box does.
#include <exception>
#include <string>

#include "form/FmMain.h"
#include "form/QtText.h"
#include "link/Text.h"
#include "link/VestraError.h"

void TFmMain::BtFindPortClick() {
  // Also ends a monitor connection; the monitor reopens the selected port on its next tick.
  Link.ClosePort();
  std::string version;
  for (int index = 0; index < CBPort->count() && version.empty(); ++index) {
    const std::string port = ToCp1251(CBPort->itemText(index));
    Person->ShowWait("Проверяю порт " + Cp1251ToUtf8(port) + "...");
    try {
      const std::string error = Link.OpenPort(port);
      if (!error.empty()) throw EVestraError(error);
      version = Link.ReadVersion();
      if (!version.empty()) {
        Link.ClosePort();
        CBPort->SetItemIndex(index);
      }
    } catch (const std::exception&) {
      // Anything wrong on this port only means there is no unit here.
    }
    Link.ClosePort();
  }
  Person->HideWait();
  if (version.empty()) {
    Person->Tell("Вестра не найдена", "Предупреждение", TPerson::TIcon::Warning);
  } else {
    Person->Tell("Найдена Вестра версии " + Cp1251ToUtf8(version) + " на " +
                     CBPort->SelectedText().toStdString(),
                 "Вестра", TPerson::TIcon::Information);
  }
}
