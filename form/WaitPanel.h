// The wait panel: a small tool window over the main window that shows what the running
// operation does. The user cannot close it; the operation hides it.
#pragma once

#include <QWidget>

class TWaitPanel : public QWidget {
 public:
  explicit TWaitPanel(QWidget* owner);

 protected:
  void closeEvent(QCloseEvent* event) override;
};
