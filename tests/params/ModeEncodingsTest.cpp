#include "tests/params/FormFixture.h"

using TModeEncodings = TFormTest;

TEST_F(TModeEncodings, VibrationPacksModeAndSensitivityIntoOneByte) {
  struct {
    int Mode, Sensitivity, Packed;
  } const cases[] = {{0, 50, 0}, {0, 100, 0}, {1, 50, 50}, {2, 50, 178}, {1, 1, 1}, {2, 100, 228}};
  for (const auto& c : cases) {
    Form->CBVibroMode->SetItemIndex(c.Mode);
    Form->SEVibroSens->SetValue(c.Sensitivity);
    EXPECT_EQ(Form->EncodeVibroMode(), c.Packed) << c.Mode << " " << c.Sensitivity;
  }
}

TEST_F(TModeEncodings, VibrationDecodesWithinTheSpinEditsRange) {
  struct {
    int Packed, Mode, Sensitivity;
  } const cases[] = {{0, 0, 50},    {178, 2, 50}, {50, 1, 50},  {128, 2, 1}, {127, 1, 100},
                     {255, 2, 100}, {300, 1, 44}, {-1, 2, 100}, {1, 1, 1}};
  for (const auto& c : cases) {
    Form->SEVibroSens->SetValue(77);
    Form->DecodeVibroMode(c.Packed);
    EXPECT_EQ(Form->CBVibroMode->ItemIndex(), c.Mode) << c.Packed;
    EXPECT_EQ(Form->SEVibroSens->Value(), c.Sensitivity) << c.Packed;
  }
}

TEST_F(TModeEncodings, SleepBitsSurviveDecodingOnlyWithSleepingModeOn) {
  struct {
    int Packed, Mode;
    bool Msg, Keyb, Enabled;
    int Again;
  } const cases[] = {{0, 0, false, false, false, 0}, {1, 1, false, false, true, 1},
                     {5, 1, false, true, true, 5},   {7, 1, true, true, true, 7},
                     {6, 0, false, false, false, 0}, {2, 0, false, false, false, 0},
                     {15, 1, true, true, true, 7},   {8, 0, false, false, false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Packed);
    Form->CBSleepMsg->SetChecked(true);
    Form->CBSleepKeyb->SetChecked(true);
    Form->DecodeSleepMode(c.Packed);
    EXPECT_EQ(Form->CBSleepMode->ItemIndex(), c.Mode);
    EXPECT_EQ(Form->CBSleepMsg->Checked(), c.Msg);
    EXPECT_EQ(Form->CBSleepKeyb->Checked(), c.Keyb);
    EXPECT_EQ(Form->CBSleepMsg->isEnabled(), c.Enabled);
    EXPECT_EQ(Form->CBSleepKeyb->isEnabled(), c.Enabled);
    EXPECT_EQ(Form->SESleep->isEnabled(), c.Enabled);
    EXPECT_EQ(Form->EncodeSleepMode(), c.Again);
  }
}

TEST_F(TModeEncodings, SleepEncodingCountsEachBitThatHolds) {
  // The boxes may be checked while the mode is off, before the sleep rule has first run.
  Form->CBSleepMode->SetItemIndex(0);
  Form->CBSleepMsg->SetChecked(true);
  Form->CBSleepKeyb->SetChecked(false);
  EXPECT_EQ(Form->EncodeSleepMode(), 2);
  Form->CBSleepKeyb->SetChecked(true);
  EXPECT_EQ(Form->EncodeSleepMode(), 6);
  Form->CBSleepMode->SetItemIndex(1);
  EXPECT_EQ(Form->EncodeSleepMode(), 7);
}
