#include "tests/params/FormFixture.h"

namespace {

const char* const kAllKeys[46] = {
    "AddrServer1",   "AddrServer2",  "AddrServer3", "GPRSUser",   "GPRSPwd",      "GPRSSite",
    "GPRSUserInt",   "GPRSPwdInt",   "GPRSSiteInt", "BalanceRq",  "BalanceLimit", "BalancePeriod",
    "DelayAlarm",    "CloseDelay",   "PIRMode",     "BothAlarm",  "VibroMode",    "ChangeCoord",
    "LoadEfemerids", "UseAGPS",      "SelSIMMode",  "TimeZone",   "UseGPS",       "UseCellInfo",
    "SendLinkFault", "OpenCloseSMS", "SleepMode",   "SleepTime",  "LowBatMsg",    "RingMode",
    "RingDuration",  "RingLevel",    "Period",      "EnSMS1",     "PhoneSMS1",    "EnSMS2",
    "PhoneSMS2",     "EnSMS3",       "PhoneSMS3",   "Brightness", "CorrCoef",     "PINCodeInt",
    "PINCode",       "SMSPwd",       "OpenPwd",     "ControlSMS"};

using TGathering = TFormTest;

}  // namespace

TEST_F(TGathering, TheWindowAsItOpensFailsAtServerOneThenAtPhoneOne) {
  EXPECT_FALSE(Window->GatherParameters());
  EXPECT_EQ(TakeError(), "Ошибка|Недопустимый адрес сервера 1");
  EXPECT_EQ(Window->ParamList.Count(), 0u);

  for (auto* box : {Window->CBServer1, Window->CBServer2, Window->CBServer3}) box->SetChecked(true);
  EXPECT_FALSE(Window->GatherParameters());
  EXPECT_EQ(TakeError(), "Ошибка|Не выбран тип SMS для телефона 1");
}

TEST_F(TGathering, ASuccessfulGatheringHoldsTheFortySixKeysInOrder) {
  MakeValid();
  Window->EdAPNE->SetText("  internet.example \t");
  Window->EdPhone2->SetText("+7 (912) 345-67-89");
  Window->CBPhone2->SetItemIndex(1);
  Window->SELimitBal->SetValue(2500);
  Window->CBGPS->SetItemIndex(-1);
  Window->SETimeZone->SetValue(-3);
  ASSERT_TRUE(Window->GatherParameters());
  EXPECT_TRUE(Person.Boxes.empty());
  const auto& lines = Window->ParamList.Lines();
  ASSERT_EQ(lines.size(), 46u);
  for (std::size_t i = 0; i < 46; ++i)
    EXPECT_EQ(lines[i].substr(0, lines[i].find('=')), kAllKeys[i]) << i;
  const auto& list = Window->ParamList;
  EXPECT_EQ(list.Value("AddrServer1"), "167903424");
  EXPECT_EQ(list.Value("AddrServer2"), "-939524086");
  EXPECT_EQ(list.Value("AddrServer3"), "0");
  EXPECT_EQ(list.Value("GPRSSite"), "internet.example");
  EXPECT_EQ(list.Value("PhoneSMS2"), "79123456789");
  EXPECT_EQ(list.Value("EnSMS2"), "1");
  EXPECT_EQ(list.Value("BalanceLimit"), "250");
  EXPECT_EQ(list.Value("UseGPS"), "-1");
  EXPECT_EQ(list.Value("TimeZone"), "-3");
  EXPECT_EQ(list.Value("VibroMode"), "50");  // single hit at 50, as the window opens
  EXPECT_EQ(list.Value("LoadEfemerids"), "1");
  EXPECT_EQ(list.Value("SendLinkFault"), "0");
  EXPECT_EQ(list.Value("Period"), "4");
  EXPECT_EQ(list.Value("ControlSMS"), "0");
}

TEST_F(TGathering, EachCheckFailsWithItsMessageAfterEveryEarlierOnePassed) {
  struct TCase {
    const char* Message;
    std::size_t LinesBefore;  // what was appended before the failing check
    std::function<void(TFmMain&)> Break;
  };
  const std::vector<TCase> cases = {
      {"Недопустимый адрес сервера 1", 0, [](TFmMain& f) { f.EdServer1->SetText(""); }},
      {"Недопустимый адрес сервера 2", 1, [](TFmMain& f) { f.EdServer2->SetText("0.0.0.0"); }},
      {"Недопустимый адрес сервера 3", 2,
       [](TFmMain& f) {
         f.CBServer3->SetChecked(false);
         f.EdServer3->SetText("192.0.2");
       }},
      {"Пароль снятия может содержать только цифры", 3,
       [](TFmMain& f) { f.EdOpenPwd->SetText(" 12 3 "); }},
      {"Пароль снятия может содержать только цифры", 3,
       [](TFmMain& f) { f.EdOpenPwd->SetText("12a"); }},
      {"Если допускаются SMS запросы с любого телефона, то пароль SMS не может быть пустым", 32,
       [](TFmMain& f) {
         f.CBControlSMS->SetItemIndex(2);
         f.EdSMSPwd->SetText(" \t ");
       }},
      {"Не выбран период оповещения", 32, [](TFmMain& f) { f.CBPeriod->SetItemIndex(-1); }},
      {"Недопустимо: Режим закладки при выключенных запросах SMS и непробуждении от кнопок", 32,
       [](TFmMain& f) {
         f.CBSleepMode->SetItemIndex(1);
         f.CBSleepKeyb->SetChecked(false);
         f.CBLowBatMsg->SetChecked(false);
       }},
      {"В режиме закладки должна быть включена передача сообщений о низком заряде батареи", 32,
       [](TFmMain& f) {
         f.CBSleepMode->SetItemIndex(1);
         f.CBSleepKeyb->SetChecked(true);
         f.CBLowBatMsg->SetChecked(false);
       }},
      {"Не выбран тип SMS для телефона 1", 33, [](TFmMain& f) { f.CBPhone1->SetItemIndex(-1); }},
      {"Недопустимый символ в телефоне 1", 34, [](TFmMain& f) { f.EdPhone1->SetText("123.4"); }},
      {"Задана передача SMS, но не указан номер телефона 1", 34,
       [](TFmMain& f) {
         f.CBPhone1->SetItemIndex(1);
         f.EdPhone1->SetText(" ( ) ");
       }},
      {"Не выбран тип SMS для телефона 2", 35, [](TFmMain& f) { f.CBPhone2->SetItemIndex(-1); }},
      {"Недопустимый символ в телефоне 2", 36, [](TFmMain& f) { f.EdPhone2->SetText("12x"); }},
      {"Задана передача SMS, но не указан номер телефона 2", 36,
       [](TFmMain& f) {
         // Phone 1 is exempt while anyone may send requests; phone 2 never is.
         f.CBControlSMS->SetItemIndex(2);
         f.EdSMSPwd->SetText("pass");
         f.CBPhone1->SetItemIndex(1);
         f.CBPhone2->SetItemIndex(4);
       }},
      {"Не выбран тип SMS для телефона 3", 37, [](TFmMain& f) { f.CBPhone3->SetItemIndex(-1); }},
      {"Недопустимый символ в телефоне 3", 38,
       [](TFmMain& f) { f.EdPhone3->SetText("+7\xd0\x91"); }},  // a Cyrillic letter
      {"Задана передача SMS, но не указан номер телефона 3", 38,
       [](TFmMain& f) { f.CBPhone3->SetItemIndex(2); }},
      {"Не выбран режим управляющих SMS", 45, [](TFmMain& f) { f.CBControlSMS->SetItemIndex(-1); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    MakeValid();
    c.Break(*Window);
    auto before = Snapshot();
    EXPECT_FALSE(Window->GatherParameters());
    EXPECT_EQ(TakeError(), std::string("Ошибка|") + c.Message);
    EXPECT_EQ(Window->ParamList.Count(), c.LinesBefore);
    EXPECT_EQ(Snapshot(), before);  // the form keeps what the user typed
    // Undo for the next case.
    TearDown();
    SetUp();
  }
}

TEST_F(TGathering, ServersMarkedUnusedAreNotLookedAt) {
  MakeValid();
  for (auto* box : {Window->CBServer1, Window->CBServer2, Window->CBServer3}) box->SetChecked(true);
  Window->EdServer1->SetText("nonsense");
  ASSERT_TRUE(Window->GatherParameters());
  for (const char* key : {"AddrServer1", "AddrServer2", "AddrServer3"})
    EXPECT_EQ(Window->ParamList.Value(key), "0");
}

TEST_F(TGathering, PasswordsAndTextsAreStoredWithoutTheBlanksAround) {
  MakeValid();
  Window->EdOpenPwd->SetText("  0042\t");
  Window->EdSMSPwd->SetText(" a b ");
  Window->EdRqBalance->SetText("\t*100# ");
  ASSERT_TRUE(Window->GatherParameters());
  EXPECT_EQ(Window->ParamList.Value("OpenPwd"), "0042");
  EXPECT_EQ(Window->ParamList.Value("SMSPwd"), "a b");
  EXPECT_EQ(Window->ParamList.Value("BalanceRq"), "*100#");

  Window->EdOpenPwd->SetText("");
  ASSERT_TRUE(Window->GatherParameters());
  EXPECT_EQ(Window->ParamList.Value("OpenPwd"), "");
}

TEST_F(TGathering, PhoneNumbersKeepTheirDigitsWhateverTheirSmsType) {
  MakeValid();
  Window->CBControlSMS->SetItemIndex(2);
  Window->EdSMSPwd->SetText("1");
  Window->CBPhone1->SetItemIndex(1);  // exempt: may stay empty
  Window->EdPhone2->SetText(" +7(912)-345 67 89 ");
  Window->CBPhone2->SetItemIndex(0);
  ASSERT_TRUE(Window->GatherParameters());
  EXPECT_EQ(Window->ParamList.Value("PhoneSMS1"), "");
  EXPECT_EQ(Window->ParamList.Value("EnSMS1"), "1");
  EXPECT_EQ(Window->ParamList.Value("PhoneSMS2"), "79123456789");
  EXPECT_EQ(Window->ParamList.Value("EnSMS2"), "0");
}

TEST_F(TGathering, BalanceLimitIsKeptInTensWithTheRemainderDropped) {
  MakeValid();
  Window->SELimitBal->SetValue(125);
  ASSERT_TRUE(Window->GatherParameters());
  EXPECT_EQ(Window->ParamList.Value("BalanceLimit"), "12");
}
