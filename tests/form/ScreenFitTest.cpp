// The window on screens of different heights: where it fits it keeps its size and layout; where
// the free area is lower it lies inside that area, and the lowest controls of both pages can be
// scrolled into view.
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "tests/support/WindowTest.h"

namespace {

// The offscreen platform of this program gets two screens instead of its one 800 x 600: a large
// one, the primary, where every other test of the window runs, and the area above the taskbar of a
// 1366 x 768 laptop at the 125 % that Windows suggests for it (1093 x 614 less 32 rows). Set before
// the application starts, which is after this.
const bool kScreensConfigured = [] {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && platform != "offscreen") return false;
  std::filesystem::create_directories(VESTRA_TEST_TEMP);
  const QString config = VESTRA_TEST_TEMP "/form-screens.json";
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  file.write(R"({"screens": [
    {"name": "Desktop", "x": 0, "y": 0, "width": 1920, "height": 1080, "logicalDpi": 96},
    {"name": "Laptop", "x": 1920, "y": 0, "width": 1093, "height": 582, "logicalDpi": 96}]})");
  file.close();
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
  return true;
}();

QScreen* ScreenNamed(const QString& name) {
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->name() == name) return screen;
  return nullptr;
}

// Whether `control` shows from its top to its bottom inside `area` once its page is shown and
// scrolled as far as it takes to bring the control's lower edge into view.
bool Reachable(TFmMain& window, QWidget* page, QWidget* control, const QRect& area) {
  window.PGRight->setCurrentWidget(page);
  QApplication::processEvents();
  const QWidget* view = page;
  if (auto* scroll = page->findChild<QScrollArea*>()) {
    view = scroll->viewport();
    const int bottom = control->mapTo(scroll->widget(), QPoint(0, control->height())).y();
    scroll->verticalScrollBar()->setValue(bottom - view->height());
  }
  const int top = control->mapToGlobal(QPoint(0, 0)).y();
  const int shownTop = view->mapToGlobal(QPoint(0, 0)).y();
  return top >= std::max(shownTop, area.top()) &&
         top + control->height() <= std::min(shownTop + view->height(), area.bottom() + 1);
}

struct TScreenCase {
  const char* Name;
  const char* Screen;                   // empty: the primary screen, as the system at hand has it
  enum { Keeps, Lowers, Either } Size;  // the client area's 778 x 703
};

class TScreenFitTest : public TWindowTest, public ::testing::WithParamInterface<TScreenCase> {};

}  // namespace

TEST_P(TScreenFitTest, EveryControlStaysWithinTheScreensFreeArea) {
  const TScreenCase& c = GetParam();
  QScreen* screen = *c.Screen ? ScreenNamed(c.Screen) : QGuiApplication::primaryScreen();
  if (!screen) GTEST_SKIP() << "the offscreen platform's screens only";
  const QRect area = screen->availableGeometry();
  // Says where the test ran: tools/wine-test.sh checks that it was Windows' own platform.
  RecordProperty("screen", QString("%1 %2x%3")
                               .arg(QGuiApplication::platformName())
                               .arg(area.width())
                               .arg(area.height())
                               .toStdString());
  QSettings("Mirotan", "TindraSetup").setValue("WindowPosition", area.topLeft() + QPoint(8, 8));
  auto window = NewWindow();
  window->show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->screen() == screen; }));
  QApplication::processEvents();

  EXPECT_TRUE(area.contains(window->frameGeometry()));
  if (c.Size == TScreenCase::Keeps) {
    EXPECT_EQ(window->centralWidget()->size(), QSize(778, 703));
    EXPECT_EQ(window->PGRight->width(), 464);
  } else if (c.Size == TScreenCase::Lowers) {
    EXPECT_LT(window->centralWidget()->height(), 703);
  }
  EXPECT_EQ(window->PnLeft->width(), 314);
  const QRect log(window->MmLog->mapToGlobal(QPoint(0, 0)), window->MmLog->size());
  EXPECT_TRUE(area.contains(log));
  for (auto [page, control] : {std::pair<QWidget*, QWidget*>{window->TSUser, window->SERingLevel},
                               {window->TSUser, window->SERingDuration},
                               {window->TSUser, window->CBGPS},
                               {window->TSSystem, window->SEPeriodBal},
                               {window->TSSystem, window->SECorrCoef}})
    EXPECT_TRUE(Reachable(*window, page, control, area)) << control->objectName().toStdString();
}

// The primary screen is the offscreen platform's "Desktop" here, and a laptop's free area on
// Windows' own platform in tools/wine-test.sh.
INSTANTIATE_TEST_SUITE_P(Screens, TScreenFitTest,
                         ::testing::Values(TScreenCase{"Desktop", "Desktop", TScreenCase::Keeps},
                                           TScreenCase{"Laptop", "Laptop", TScreenCase::Lowers},
                                           TScreenCase{"Primary", "", TScreenCase::Either}),
                         [](const auto& info) { return std::string(info.param.Name); });
