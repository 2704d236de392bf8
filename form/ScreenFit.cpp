// The window on a screen lower than itself. A laptop's 768 rows less its taskbar leave less than
// the 703 of the client area plus the menu bar, the title bar and the frame. There the client
// area takes only the height that fits, the pages scroll and the log pane shrinks, so that every
// control stays within reach; on a screen that holds the window nothing changes.
#include <QFrame>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "form/FmMain.h"

namespace {

// Below this the buttons, the version and a few lines of the log would no longer show.
constexpr int kLowestClientHeight = 240;

// Fits the window again whenever its system window moves (perhaps onto another screen) or is
// exposed: an X11 window manager makes its frame known only when it maps the window.
class TScreenWatch : public QObject {
 public:
  TScreenWatch(TFmMain& window, std::function<void()> fit)
      : QObject(&window), Fit(std::move(fit)) {}

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Move || event->type() == QEvent::Expose) Fit();
    return false;
  }

 private:
  std::function<void()> Fit;
};

}  // namespace

QWidget* TFmMain::ScrollingPage(QWidget* page) {
  auto* scroll = new QScrollArea(page);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // No stop of its own in the tab order; it still scrolls to the control that gets the focus.
  scroll->setFocusPolicy(Qt::NoFocus);
  auto* content = new QWidget;
  scroll->setWidget(content);
  // The page shows through, as it does where nothing scrolls.
  content->setAutoFillBackground(false);
  scroll->viewport()->setAutoFillBackground(false);
  auto* fill = new QVBoxLayout(page);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(scroll);
  ScrollingPages.push_back(scroll);
  return content;
}

void TFmMain::FitToScreen() {
  const QScreen* screen = this->screen();
  if (!screen) return;
  QWidget* client = centralWidget();
  layout()->activate();
  // The menu bar and, once the system has framed the window, its title bar and border.
  const int around = frameGeometry().height() - client->height();
  const QRect area = screen->availableGeometry();
  const int height = std::clamp(area.height() - around, kLowestClientHeight, kClientHeight);
  // Every page's view is as high as the shown one's (a hidden page is not laid out), and gets as
  // much lower as the client area.
  const int view = PGRight->currentWidget()->findChild<QScrollArea*>()->viewport()->height() +
                   height - client->height();
  const bool scrolls =
      std::any_of(ScrollingPages.begin(), ScrollingPages.end(), [view](const QScrollArea* page) {
        return page->widget()->minimumSizeHint().height() > view;
      });
  // A page that scrolls gets its bar beside what it shows, which keeps its own width.
  const int bar = scrolls ? ScrollingPages.front()->verticalScrollBar()->sizeHint().width() : 0;
  const QSize size(kClientWidth + bar, height);
  if (client->size() == size) return;
  PGRight->setFixedWidth(kPagesWidth + bar);
  client->setFixedSize(size);
  layout()->activate();
  KeepLoweredWindowInside();
}

void TFmMain::KeepLoweredWindowInside() {
  const QScreen* screen = this->screen();
  if (!screen || centralWidget()->height() == kClientHeight) return;
  // Lowered, the window is as high as the area: any lower, and its bottom is behind the taskbar.
  const QRect area = screen->availableGeometry();
  QRect placed = frameGeometry();
  placed.moveBottom(std::min(placed.bottom(), area.bottom()));
  placed.moveTop(std::max(placed.top(), area.top()));
  if (placed.topLeft() != frameGeometry().topLeft()) move(placed.topLeft());
}

void TFmMain::KeepFittingToScreen() {
  windowHandle()->installEventFilter(new TScreenWatch(*this, [this] { FitToScreen(); }));
  FitToScreen();
}
