// Version, calibration and LED inversion against simulated units: confirmations, answers and
// error codes, and how each leaves the link for the receive monitor.
#include "tests/service/ServiceTest.h"

namespace {

using TIcon = TPerson::TIcon;

const char* const kCalibrationQuestion =
    "Калибровка должна выполняться только при полностью заряженном аккумуляторе (4.20В). "
    "Продолжить?";
const char* const kInversionQuestion = "Инвертировать индикацию Вестры (красный - зеленый)?";

class TOperationsTest : public TServiceTest {
 protected:
  // The one error box the operation ended with; the wait panel is gone and the link closed.
  void ExpectFailure(const std::string& text) {
    const auto boxes = Messages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, text);
    EXPECT_EQ(boxes[0].Caption, "Ошибка");
    EXPECT_EQ(boxes[0].Icon, TIcon::Stop);
    EXPECT_FALSE(Person.WaitShown);
    EXPECT_FALSE(PortOpen());
  }
};

TEST_F(TOperationsTest, NoToTheQuestionSendsNothingAndOpensNothing) {
  TSimUnit unit;
  PlugIn("COM5", unit);
  Person.Answers = {false, false};

  Window->ActCorrCoefExecute();
  Window->ActLEDInversExecute();

  ASSERT_EQ(Person.Boxes.size(), 2u);
  EXPECT_EQ(Person.Boxes[0].Text, kCalibrationQuestion);
  EXPECT_EQ(Person.Boxes[1].Text, kInversionQuestion);
  for (const auto& box : Person.Boxes) {
    EXPECT_TRUE(box.Question);
    EXPECT_EQ(box.Caption, "Предупреждение");
    EXPECT_EQ(box.Icon, TIcon::Question);
  }
  EXPECT_TRUE(Person.WaitTexts.empty());
  EXPECT_TRUE(Person.LogLines.empty());
  EXPECT_FALSE(PortOpen());
  EXPECT_TRUE(Sent(unit).empty());
}

TEST_F(TOperationsTest, WithoutSelectedPortTheOpenSaysToChooseOne) {
  Window->CBPort->SetItemIndex(-1);
  Window->ActVersionExecute();

  const auto boxes = Messages();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].Text, "Порт не выбран: выберите его в опциях или нажмите «Найти»");
  EXPECT_EQ(boxes[0].Caption, "Ошибка");
  EXPECT_EQ(Person.WaitTexts, std::vector<std::string>{"Читаю версию..."});
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_FALSE(PortOpen());
}

TEST_F(TOperationsTest, VersionIsShownInTheCaptionAndABox) {
  TSimUnit unit({"--firmware", "3.05"});
  PlugIn("COM5", unit);

  Window->ActVersionExecute();

  ASSERT_EQ(Person.Boxes.size(), 1u);
  EXPECT_EQ(Person.Boxes[0].Text, "Версия 3.05");
  EXPECT_EQ(Person.Boxes[0].Caption, "Вестра");
  EXPECT_EQ(Person.Boxes[0].Icon, TIcon::Information);
  EXPECT_EQ(Person.VersionCaption, "Версия 3.05");
  EXPECT_EQ(Sent(unit), std::vector<std::string>{"#V"});
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_FALSE(PortOpen());
}

TEST_F(TOperationsTest, CalibrationPutsTheNewCoefficientIntoTheForm) {
  TSimUnit unit({"--set", "M05=104"});
  PlugIn("COM5", unit);
  Window->SECorrCoef->setEnabled(false);

  Window->ActCorrCoefExecute();

  EXPECT_EQ(Window->SECorrCoef->Value(), 104);
  EXPECT_EQ(Sent(unit), (std::vector<std::string>{"#V", "#P", "#RM05"}));
  EXPECT_EQ(Person.WaitTexts, std::vector<std::string>{"Выполняю калибровку..."});
  EXPECT_TRUE(Messages().empty());
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_FALSE(PortOpen());
}

TEST_F(TOperationsTest, CalibrationErrorCodesAndTheirMessages) {
  struct TCase {
    const char* Code;
    const char* Text;
  };
  for (const TCase& c : {TCase{"4", "Ошибка калибровки"}, TCase{"2", "Недопустимый ответ от RAD"},
                         TCase{"1", "Ошибка в формате команды"}}) {
    SCOPED_TRACE(c.Code);
    TSimUnit unit({"--set", "M05=104", "--error", std::string("P=") + c.Code});
    PlugIn("COM5", unit);
    Window->SECorrCoef->SetValue(97);
    Person.Boxes.clear();

    Window->ActCorrCoefExecute();

    ExpectFailure(c.Text);
    EXPECT_EQ(Window->SECorrCoef->Value(), 97);
    EXPECT_EQ(Sent(unit), (std::vector<std::string>{"#V", "#P"}));
  }
}

TEST_F(TOperationsTest, UnsupportedCoefficientReadAndYesBringsTheMinimum) {
  TSimUnit unit({"--error", "M05=2"});
  PlugIn("COM5", unit);

  Window->ActCorrCoefExecute();  // Yes to both questions

  ASSERT_EQ(Person.Boxes.size(), 2u);
  EXPECT_EQ(Person.Boxes[1].Text,
            "Чтение параметра M05 не поддерживается (возможно следует обновить прошивку RAD). "
            "Продолжить?");
  EXPECT_EQ(Window->SECorrCoef->Value(), 90);
  EXPECT_FALSE(Person.WaitShown);
  EXPECT_FALSE(PortOpen());
}

TEST_F(TOperationsTest, InversionSendsItsCommandAndTakesNoErrorCodeForAnAnswer) {
  {
    TSimUnit unit;
    PlugIn("COM5", unit);
    Window->ActLEDInversExecute();
    EXPECT_EQ(Sent(unit), std::vector<std::string>{"#WL00"});
    EXPECT_EQ(Person.WaitTexts, std::vector<std::string>{"Выполнение команды..."});
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(PortOpen());
  }
  for (const char* code : {"1", "2", "3", "4", "7"}) {
    SCOPED_TRACE(code);
    TSimUnit unit({"--error", std::string("WL00=") + code});
    MapPort("COM5", unit.PtyPath());
    Person.Boxes.clear();
    Window->ActLEDInversExecute();
    ExpectFailure("Недопустимый ответ от RAD");
  }
}

TEST_F(TOperationsTest, SilentUnitGivesNoAnswerToTheInversion) {
  TSimUnit unit({"--silent"});
  PlugIn("COM5", unit);
  Window->ActLEDInversExecute();
  ExpectFailure("Нет ответа от RAD");
}

TEST_F(TOperationsTest, WithTheMonitorOnSuccessKeepsTheLinkAndFailureClosesIt) {
  TSimUnit unit({"--firmware", "3.00", "--error", "WL00=3"});
  PlugIn("COM5", unit);
  MonitorOnByClick();

  Window->ActVersionExecute();
  EXPECT_TRUE(PortOpen());
  Window->ActCorrCoefExecute();
  EXPECT_TRUE(PortOpen());
  EXPECT_TRUE(Messages().size() == 1u && Messages()[0].Caption == "Вестра");

  Window->ActLEDInversExecute();
  EXPECT_FALSE(PortOpen());
  EXPECT_TRUE(Window->MonitorOn());
  Window->TimerTimer();
  EXPECT_TRUE(PortOpen());
}

}  // namespace
