// The options panel: the port of the unit, with the device it stands for on this system, and
// the choice of a manual calibration coefficient.
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "form/FmMain.h"

void TFmMain::CreateOptionsPanel() {
  SFOptions = Named(new QDialog(this));
  SFOptions->setObjectName("SFOptions");
  SFOptions->setWindowTitle("Опции");
  SFOptions->setModal(true);
  SFOptions->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint);
  auto* grid = new QGridLayout(SFOptions);
  grid->setContentsMargins(10, 10, 10, 10);
  grid->setVerticalSpacing(6);

  CBPort = Named(new TComboBox(PortListRow(), SFOptions));
  auto* caption = new QLabel(QString::fromUtf8(PortListRow().Caption.data()), SFOptions);
  caption->setBuddy(CBPort);
  BtFindPort = Named(new QPushButton("Найти", SFOptions));
  BtFindPort->setObjectName("BtFindPort");
  BtFindPort->setAutoDefault(false);
  grid->addWidget(caption, 0, 0);
  grid->addWidget(CBPort, 0, 1);
  grid->addWidget(BtFindPort, 0, 2);

  LbPortDevice = new QLabel(SFOptions);
  LbPortDevice->setObjectName("LbPortDevice");
  LbPortDevice->setEnabled(false);  // information only, shown greyed
  grid->addWidget(LbPortDevice, 1, 1, 1, 2);

  CBManualCorrCoef = Named(new TCheckBox(ManualCorrCoefRow, SFOptions));
  grid->addWidget(CBManualCorrCoef, 2, 0, 1, 3);

  BtOK = Named(new QPushButton("OK", SFOptions));
  BtOK->setObjectName("BtOK");
  BtOK->setDefault(true);
  BtOK->setAutoDefault(true);
  grid->addWidget(BtOK, 3, 0, 1, 3, Qt::AlignHCenter);
  grid->setColumnStretch(1, 1);
  // Client area of a 329 x 153 dialog window.
  SFOptions->setFixedSize(323, 127);
}

void TFmMain::UpdatePortDevice() {
  if (CBPort->ItemIndex() < 0) {
    LbPortDevice->setText("Порт не выбран");
    return;
  }
  const std::string device = Link.Resolver ? Link.Resolver(PortName()) : std::string();
  LbPortDevice->setText("Устройство: " +
                        (device.empty() ? QString("нет") : QString::fromStdString(device)));
}
