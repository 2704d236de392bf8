#include "form/QtPerson.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QWindow>
#include <chrono>

#include "form/FmMain.h"
#include "form/QtText.h"

namespace {

QMessageBox::Icon ToQt(TPerson::TIcon icon) {
  switch (icon) {
    case TPerson::TIcon::Stop:
      return QMessageBox::Critical;
    case TPerson::TIcon::Question:
      return QMessageBox::Question;
    case TPerson::TIcon::Warning:
      return QMessageBox::Warning;
    case TPerson::TIcon::Information:
      return QMessageBox::Information;
  }
  return QMessageBox::NoIcon;
}

// Longest wait for the window system to map the panel; a panel that is never exposed (no
// window manager answer) must not hold the operation up.
constexpr auto kExposeDeadline = std::chrono::milliseconds(1000);

}  // namespace

void TQtPerson::Log(std::string_view cp1251Line) {
  if (!cp1251Line.empty() && cp1251Line.back() == '\r') cp1251Line.remove_suffix(1);
  Window.MmLog->appendPlainText(FromCp1251(cp1251Line));
  // Lines logged before the window shows (the start-up file's warnings): the pane shows its
  // cursor on showing, and a cursor left at the end of a long line would show every line by
  // its end only. Nobody can have selected anything yet.
  if (!Window.MmLog->isVisible()) Window.MmLog->moveCursor(QTextCursor::StartOfBlock);
}

bool TQtPerson::Ask(const std::string& text, const std::string& caption, TIcon icon) {
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, &Window);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void TQtPerson::Tell(const std::string& text, const std::string& caption, TIcon icon) {
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, &Window);
  box.exec();
}

void TQtPerson::ShowWait(const std::string& text) {
  QWidget* panel = Window.SFWait;
  Window.STWait->setText(QString());
  if (!panel->isVisible()) {
    const QRect owner = Window.frameGeometry();
    panel->adjustSize();
    QRect placed = panel->frameGeometry();
    placed.moveCenter(owner.center());
    panel->move(placed.topLeft());
    panel->show();
  }
  Window.STWait->setText(QString::fromStdString(text));

  // A shown widget is not yet mapped on X11: let the expose and paint events through, but no
  // input, and keep the timer's work out (see Exposing).
  ExposingWait = true;
  const auto deadline = std::chrono::steady_clock::now() + kExposeDeadline;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  while (!(panel->windowHandle() && panel->windowHandle()->isExposed()) &&
         std::chrono::steady_clock::now() < deadline) {
    // The 100 ms timer guarantees a wake-up even when the window system stays silent.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
  }
  panel->repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  ExposingWait = false;
}

void TQtPerson::HideWait() { Window.SFWait->hide(); }

void TQtPerson::SetVersionCaption(const std::string& text) {
  Window.LbVersion->setText(QString::fromStdString(text));
}
