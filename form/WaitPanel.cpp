#include "form/WaitPanel.h"

#include <QCloseEvent>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

#include "form/FmMain.h"

TWaitPanel::TWaitPanel(QWidget* owner)
    : QWidget(owner,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("SFWait");
  setWindowTitle("Выполнение операции");
}

void TWaitPanel::closeEvent(QCloseEvent* event) { event->ignore(); }

void TFmMain::CreateWaitPanel() {
  SFWait = Named(new TWaitPanel(this));
  // Client area of a 257 x 89 window with a tool-window title bar.
  SFWait->setFixedSize(251, 63);
  STWait = Named(new QLabel(SFWait));
  STWait->setObjectName("STWait");
  STWait->setAlignment(Qt::AlignCenter);
  STWait->setFixedSize(233, 41);
  QFont font("Verdana");
  font.setPixelSize(14);
  STWait->setFont(font);
  auto* layout = new QVBoxLayout(SFWait);
  layout->addWidget(STWait, 0, Qt::AlignCenter);
}
