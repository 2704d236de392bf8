// Reading the unit's answers: error codes, parameter values, writes and the version forms.
#include "link/VestraError.h"
#include "tests/link/LinkTestKit.h"

namespace {

// The text of the error that `action` raises, or "(none)".
template <typename TAction>
std::string ErrorOf(TAction action) {
  try {
    action();
  } catch (const EVestraError& e) {
    return e.what();
  }
  return "(none)";
}

const std::string kNotSupported =
    " не поддерживается (возможно следует обновить прошивку RAD). Продолжить?";

}  // namespace

TEST(AnswerErrors, EachErrorCodeHasItsTextAndTwoMeansNotSupported) {
  TLink link(nullptr, {});
  EXPECT_TRUE(link.CheckAnswerError("#OK\r"));
  EXPECT_TRUE(link.CheckAnswerError("#RG01 ERR\r"));
  // The code is read as every whole number is: leading blanks and one plus sign are fine.
  for (const char* notSupported : {"#ERR2\r", "#ERR 2\r", "#ERR+2\r", "#ERR  +02\r"})
    EXPECT_FALSE(link.CheckAnswerError(notSupported)) << notSupported;
  EXPECT_EQ(ErrorOf([&] { link.CheckAnswerError("#ERR1\r"); }), "Ошибка в формате команды");
  EXPECT_EQ(ErrorOf([&] { link.CheckAnswerError("#ERR3\r"); }), "Недопустимое значение");
  EXPECT_EQ(ErrorOf([&] { link.CheckAnswerError("#ERR4\r"); }), "Ошибка калибровки");
  for (const char* odd : {"#ERR7\r", "#ERR\r", "#ERRx\r", "#ERR2x\r", "#ERR", "#OK#ERR2\r",
                          "#ERR2 \r", "#ERR++2\r", "#ERR+-2\r"})
    EXPECT_EQ(ErrorOf([&] { link.CheckAnswerError(odd); }), "Неизвестная ошибка") << odd;
}

TEST(AnswerErrors, ErrorAnswersOfTheUnitRaiseOrAsk) {
  TLinkedUnit unit({"--error", "P=4", "--error", "G01=x", "--error", "G02=", "--error", "G03=3"});
  EXPECT_EQ(ErrorOf([&] { unit.Link.CheckAnswerError(unit.Link.ExecuteCommand("#P\r")); }),
            "Ошибка калибровки");
  EXPECT_EQ(ErrorOf([&] { unit.Link.ReadParameter("G01"); }), "Неизвестная ошибка");
  EXPECT_EQ(ErrorOf([&] { unit.Link.ReadParameter("G02"); }), "Неизвестная ошибка");
  EXPECT_EQ(ErrorOf([&] { unit.Link.WriteParameter("G03", "apn"); }), "Недопустимое значение");
  EXPECT_TRUE(unit.Person.Boxes.empty());
}

TEST(ParameterRead, ValuesComeWithoutPrefixSeparatorAndCr) {
  TLinkedUnit unit({"--set", "P03=+7 000", "--set", "B03="});
  EXPECT_EQ(unit.Link.ReadParameter("G03"), "internet.example");
  EXPECT_EQ(unit.Link.ReadParameter("P03"), "+7 000");
  EXPECT_EQ(unit.Link.ReadParameter("B03"), "");
  unit.Link.WriteParameter("B03", "*102#");
  EXPECT_EQ(unit.Link.ReadParameter("B03"), "*102#") << "the unit keeps what was written";
}

TEST(ParameterRead, ShortAnswersGiveTheEmptyValue) {
  for (auto [reply, value] :
       {std::pair{"#RG01", ""}, {"#RG01 ", ""}, {"#RG01 abc", "abc"}, {"#RG01:abc", "abc"}}) {
    TLinkedUnit unit({"--reply", std::string("G01=") + reply});
    EXPECT_EQ(unit.Link.ReadParameter("G01"), value) << reply;
  }
}

TEST(ParameterRead, AnAnswerForAnotherCodeIsRejected) {
  for (const char* reply : {"#RG02 x", "#OK", "#R"}) {
    TLinkedUnit unit({"--reply", std::string("G01=") + reply});
    EXPECT_EQ(ErrorOf([&] { unit.Link.ReadParameter("G01"); }), "Недопустимый ответ от RAD")
        << reply;
  }
}

TEST(ParameterRead, AnUnsupportedCodeAsksAndYesGoesOnWithTheEmptyValue) {
  TLinkedUnit unit({"--firmware", "2.07"});
  EXPECT_EQ(unit.Link.ReadParameter("M18"), "1") << "2.07 carries M18";
  unit.Person.Answers = {true, false};
  EXPECT_EQ(unit.Link.ReadParameter("M19"), "");
  EXPECT_EQ(ErrorOf([&] { unit.Link.ReadParameter("R01"); }), "Операция прервана");
  ASSERT_EQ(unit.Person.Boxes.size(), 2u);
  const auto& box = unit.Person.Boxes[0];
  EXPECT_EQ(box.Text, "Чтение параметра M19" + kNotSupported);
  EXPECT_EQ(box.Caption, "Ошибка");
  EXPECT_EQ(box.Icon, TPerson::TIcon::Stop);
  EXPECT_TRUE(box.Question);
  EXPECT_EQ(unit.Person.Boxes[1].Text, "Чтение параметра R01" + kNotSupported);
}

TEST(ParameterWrite, OkAnywhereInTheAnswerIsAcceptedAndNothingElse) {
  {
    TLinkedUnit unit({"--reply", "G01=#saved#OK,1"});
    unit.Link.WriteParameter("G01", "gprs");
    EXPECT_EQ(unit.Sim.Commands(), std::vector<std::string>{"#WG01 gprs"});
  }
  {
    TLinkedUnit unit;
    unit.Link.WriteParameter("E01", "");
    EXPECT_EQ(unit.Sim.Commands(), std::vector<std::string>{"#WE01 "}) << "one blank, no value";
  }
  for (const char* reply : {"#DONE", "#Ok"}) {
    TLinkedUnit unit({"--reply", std::string("G01=") + reply});
    EXPECT_EQ(ErrorOf([&] { unit.Link.WriteParameter("G01", "x"); }), "Недопустимый ответ от RAD")
        << reply;
  }
}

TEST(ParameterWrite, AnUnsupportedCodeAsksAndNoAborts) {
  TLinkedUnit unit({"--firmware", "1.99"});
  unit.Person.Answers = {true, false};
  unit.Link.WriteParameter("G11", "user");
  EXPECT_EQ(ErrorOf([&] { unit.Link.WriteParameter("G05", "1"); }), "Операция прервана");
  ASSERT_EQ(unit.Person.Boxes.size(), 2u);
  EXPECT_EQ(unit.Person.Boxes[0].Text, "Запись параметра G11" + kNotSupported);
  EXPECT_EQ(unit.Person.Boxes[1].Text, "Запись параметра G05" + kNotSupported);
  EXPECT_EQ(unit.Person.Boxes[1].Caption, "Ошибка");
}

TEST(Version, BothAnswerFormsGiveTheVersionAndTheCaption) {
  {
    TLinkedUnit unit({"--firmware", "2.08"});
    EXPECT_EQ(unit.Link.ReadVersion(), "2.08");
    EXPECT_EQ(unit.Person.VersionCaption, "Версия 2.08");
  }
  {
    TLinkedUnit unit({"--firmware", "3.10", "--version-form", "named"});
    EXPECT_EQ(unit.Link.ReadVersion(), "3.10");
    EXPECT_EQ(unit.Person.VersionCaption, "Версия 3.10");
  }
  for (auto [reply, version] : {std::pair{"#Vestra-M V1.99", "1.99"},
                                {"#Vestra GSM V9 v2.07", "2.07"},
                                {"#V:4.00", "4.00"}}) {
    TLinkedUnit unit({"--reply", std::string("V=") + reply});
    EXPECT_EQ(unit.Link.ReadVersion(), version) << reply;
  }
}

TEST(Version, AnEmptyOrUnrecognisedVersionIsRefused) {
  struct TCase {
    std::vector<std::string> Args;
    std::string Error, Caption;
  };
  const TCase cases[] = {
      {{"--reply", "V=#V"}, "Неизвестная версия", "Версия "},
      {{"--reply", "V=#V "}, "Неизвестная версия", "Версия "},
      {{"--reply", "V=#Vestra v"}, "Неизвестная версия", "Версия "},
      {{"--reply", "V=#Vestra GSM"}, "Неизвестная версия", ""},
      {{"--error", "V=2"}, "Недопустимый ответ от RAD", ""},
      {{"--error", "V=1"}, "Ошибка в формате команды", ""},
      {{"--reply", "V=#XYZ"}, "Недопустимый ответ от RAD", ""},
  };
  for (const auto& c : cases) {
    TLinkedUnit unit(c.Args);
    unit.Person.VersionCaption = "old";
    EXPECT_EQ(ErrorOf([&] { unit.Link.ReadVersion(); }), c.Error) << c.Args[1];
    EXPECT_EQ(unit.Person.VersionCaption, c.Caption) << c.Args[1];
  }
}
