// The rules of the four kinds of control, with typed input where the user is concerned.
#include <QAbstractItemView>
#include <QClipboard>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <numeric>
#include <string>

#include "form/QtText.h"
#include "tests/form/ActiveWindowTest.h"

namespace {

class TKindsTest : public TActiveWindowTest {
 protected:
  // Puts the focus into `widget` as the user would; its text is selected.
  void Focus(QWidget* widget) {
    widget->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(widget->hasFocus());
  }
};

}  // namespace

TEST_F(TKindsTest, ListIndexOutsideItsItemsMeansNoSelection) {
  TComboBox* period = Window->CBPeriod;
  period->SetItemIndex(9);
  EXPECT_EQ(period->ItemIndex(), -1);
  EXPECT_EQ(period->SelectedText(), "");
  period->SetItemIndex(7);
  EXPECT_EQ(period->SelectedText(), "Каждые 24часа");
  period->SetItemIndex(-2);
  EXPECT_EQ(period->ItemIndex(), -1);
  period->SetItemIndex(8);
  EXPECT_EQ(period->ItemIndex(), -1);
}

TEST_F(TKindsTest, ListRaisesChangeForTheUsersSelectionOnly) {
  TComboBox* vibro = Window->CBVibroMode;
  QSignalSpy changes(vibro, &TComboBox::Change);
  vibro->SetItemIndex(2);
  vibro->SetItemIndex(0);
  EXPECT_EQ(changes.count(), 0);
  Focus(vibro);
  QTest::keyClick(vibro, Qt::Key_Down);
  EXPECT_EQ(vibro->ItemIndex(), 1);
  EXPECT_EQ(changes.count(), 1);
}

TEST_F(TKindsTest, ListReportsItsCloseAfterTheChosenItemIsSet) {
  TComboBox* sleep = Window->CBSleepMode;
  int seenAtClose = -2;
  QObject::connect(sleep, &TComboBox::CloseUp, [&] { seenAtClose = sleep->ItemIndex(); });
  sleep->showPopup();
  QTest::keyClick(sleep->view(), Qt::Key_Down);
  QTest::keyClick(sleep->view(), Qt::Key_Return);
  QTRY_COMPARE(seenAtClose, 1);
  // Hiding the window closes no open list.
  seenAtClose = -2;
  Window->hide();
  QApplication::processEvents();
  EXPECT_EQ(seenAtClose, -2);
}

TEST_F(TKindsTest, ListReportsTheFocusLeavingForAnotherControl) {
  QSignalSpy exits(Window->CBRingMode, &TComboBox::Exit);
  Focus(Window->CBRingMode);
  Focus(Window->CBGPS);
  EXPECT_EQ(exits.count(), 1);
}

TEST_F(TKindsTest, SpinValuesFromTheProgramAreRoundedAndKeptInRange) {
  Window->SECloseDelay->SetValue(300);
  EXPECT_EQ(Window->SECloseDelay->Value(), 250);
  Window->SECloseDelay->SetValue(5);
  EXPECT_EQ(Window->SECloseDelay->Value(), 15);
  Window->SETimeZone->SetValue(-20);
  EXPECT_EQ(Window->SETimeZone->Value(), -12);
  Window->SETimeZone->SetValue(2.6);
  EXPECT_EQ(Window->SETimeZone->Value(), 3);
  Window->SETimeZone->SetValue(-2.6);
  EXPECT_EQ(Window->SETimeZone->Value(), -3);
  Window->SELimitBal->SetValue(1e300);
  EXPECT_EQ(Window->SELimitBal->Value(), 2500);
  Window->SECorrCoef->SetValue(0);
  EXPECT_EQ(Window->SECorrCoef->Value(), 90);
}

TEST_F(TKindsTest, TypedSpinValueStaysAsTypedAndTheButtonsStepFromIt) {
  TSpinEdit* limit = Window->SELimitBal;
  Focus(limit);
  limit->selectAll();
  QTest::keyClicks(limit, "15");
  EXPECT_EQ(limit->Value(), 15);
  QTest::keyClick(limit, Qt::Key_Up);
  EXPECT_EQ(limit->Value(), 25);
  QTest::keyClick(limit, Qt::Key_Down);
  QTest::keyClick(limit, Qt::Key_Down);
  EXPECT_EQ(limit->Value(), 5);
  Focus(Window->EdRqBalance);
  EXPECT_EQ(limit->Value(), 5);
}

TEST_F(TKindsTest, EmptiedSpinReadsAsItsMinimumAndShowsItWhenLeft) {
  TSpinEdit* delay = Window->SEDelay;
  Focus(delay);
  delay->selectAll();
  QTest::keyClick(delay, Qt::Key_Backspace);
  EXPECT_EQ(delay->text(), "");
  EXPECT_EQ(delay->Value(), 1);
  Focus(Window->CBPIRMode);
  EXPECT_EQ(delay->text(), "1");
  EXPECT_EQ(delay->value(), 1);
}

TEST_F(TKindsTest, TypedSpinValueOutOfRangeIsBroughtIntoRangeWhenLeft) {
  TSpinEdit* close = Window->SECloseDelay;
  Focus(close);
  close->selectAll();
  QTest::keyClicks(close, "300");
  EXPECT_EQ(close->text(), "300");
  Focus(Window->EdOpenPwd);
  EXPECT_EQ(close->text(), "250");
  EXPECT_EQ(close->value(), 250);

  Focus(close);
  close->selectAll();
  QTest::keyClicks(close, "7");
  Focus(Window->EdOpenPwd);
  EXPECT_EQ(close->value(), 15);
}

TEST_F(TKindsTest, SpinTakesDigitsAndALeadingSignAndOverlongNumbersGoToTheNearerEnd) {
  struct TCase {
    TSpinEdit* Spin;
    const char *Typed, *Shown;
    int Value;
  };
  const std::string nines(20, '9');
  const std::string minusNines = "-" + nines;
  const TCase cases[] = {
      {Window->SETimeZone, "-1x2.", "-12", -12},
      {Window->SETimeZone, " 5 ", "5", 5},
      {Window->SETimeZone, "1-2+", "12", 12},
      {Window->SETimeZone, "+7", "+7", 7},
      {Window->SECloseDelay, nines.c_str(), nines.c_str(), 250},
      {Window->SECloseDelay, minusNines.c_str(), minusNines.c_str(), 15},
      {Window->SETimeZone, minusNines.c_str(), minusNines.c_str(), -12},
  };
  for (const auto& c : cases) {
    Focus(c.Spin);
    c.Spin->selectAll();
    QTest::keyClicks(c.Spin, c.Typed);
    EXPECT_EQ(c.Spin->text(), c.Shown) << c.Typed;
    EXPECT_EQ(c.Spin->Value(), c.Value) << c.Typed;
    Focus(Window->EdRqBalance);
    EXPECT_EQ(c.Spin->value(), c.Value) << c.Typed;
  }
}

TEST_F(TKindsTest, EditLimitAppliesToTypingOnly) {
  TEdit* password = Window->EdOpenPwd;
  Focus(password);
  QTest::keyClicks(password, "12345");
  EXPECT_EQ(password->Text(), "1234");

  password->SetText("123456");
  EXPECT_EQ(password->Text(), "123456");
  password->end(false);
  QTest::keyClicks(password, "7");
  EXPECT_EQ(password->Text(), "123456");
  QTest::keyClick(password, Qt::Key_Backspace);
  EXPECT_EQ(password->Text(), "12345");
  QTest::keyClicks(password, "7");
  EXPECT_EQ(password->Text(), "12345");
  QTest::keyClick(password, Qt::Key_Backspace);
  QTest::keyClicks(password, "9");
  EXPECT_EQ(password->Text(), "1234");
  QTest::keyClick(password, Qt::Key_Backspace);
  QTest::keyClicks(password, "9");
  EXPECT_EQ(password->Text(), "1239");
}

TEST_F(TKindsTest, EditRefusesCharactersWithoutAWindows1251Byte) {
  TEdit* phone = Window->EdPhone1;
  Focus(phone);
  // Typed one character at a time, as a keyboard layout delivers them.
  for (QChar c : QString::fromUtf8("Ав€ā漢1")) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(phone, &press);
  }
  EXPECT_EQ(phone->Text(), QString::fromUtf8("Ав€1"));
}

TEST_F(TKindsTest, PastedTextKeepsItsFirstLineLosesControlCharactersAndIsCutToFit) {
  struct TCase {
    TEdit* Edit;
    QString Before;
    int Cursor;
    QString Pasted, After;
  };
  const TCase cases[] = {
      {Window->EdLoginE, "", 0, "ab\r\n#S", "ab"},
      {Window->EdSMSPwd, "xy", 1, "one\ntwo", "xoney"},
      {Window->EdPhone1, "+7", 2, QString("1\t2") + QChar(0) + "3\x1b", "+7123"},
      {Window->EdAPNE, "apn", 3, QString::fromUtf8(".€ā漢ru"), QString::fromUtf8("apn.€ru")},
      {Window->EdOpenPwd, "12", 2, "3456", "1234"},
      {Window->EdOpenPwd, "12", 1, "\r\n3", "12"},
  };
  for (const auto& c : cases) {
    c.Edit->SetText(c.Before);
    Focus(c.Edit);
    c.Edit->setCursorPosition(c.Cursor);
    QApplication::clipboard()->setText(c.Pasted);
    QTest::keyClick(c.Edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(c.Edit->Text(), c.After) << c.Pasted.toStdString();
  }
}

TEST_F(TKindsTest, EveryByteSurvivesAnEditWhichStaysEditable) {
  std::string bytes(256, '\0');
  std::iota(bytes.begin(), bytes.end(), '\0');
  TEdit* apn = Window->EdAPNE;
  apn->SetText(FromCp1251(bytes));
  EXPECT_EQ(ToCp1251(apn->Text()), bytes);
  Focus(apn);
  apn->end(false);
  QTest::keyClicks(apn, "x");
  EXPECT_EQ(ToCp1251(apn->Text()), bytes + "x");
  QTest::keyClick(apn, Qt::Key_Backspace);
  QTest::keyClick(apn, Qt::Key_Backspace);
  EXPECT_EQ(ToCp1251(apn->Text()), bytes.substr(0, 255));
}

TEST_F(TKindsTest, CheckBoxClickFollowsEveryChangeOfState) {
  TCheckBox* server = Window->CBServer2;
  QSignalSpy clicks(server, &TCheckBox::Click);
  server->SetChecked(true);
  EXPECT_EQ(clicks.count(), 1);
  server->SetChecked(true);
  EXPECT_EQ(clicks.count(), 1);
  Window->PGRight->setCurrentWidget(Window->TSSystem);
  Window->PCServers->setCurrentWidget(Window->TSServer2);
  QApplication::processEvents();
  QTest::mouseClick(server, Qt::LeftButton, {}, QPoint(5, server->height() / 2));
  EXPECT_FALSE(server->Checked());
  EXPECT_EQ(clicks.count(), 2);
}
