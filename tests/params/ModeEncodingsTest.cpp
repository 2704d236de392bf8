#include "tests/params/FormFixture.h"

using TModeEncodings = TFormTest;

TEST_F(TModeEncodings, VibrationPacksModeAndSensitivityIntoOneByte) {
  struct {
    int Mode, Sensitivity, Packed;
  } const cases[] = {{0, 50, 0}, {0, 100, 0}, {1, 50, 50}, {2, 50, 178}, {1, 1, 1}, {2, 100, 228}};
  for (const auto& c : cases) {
    Window->CBVibroMode->SetItemIndex(c.Mode);
    Window->SEVibroSens->SetValue(c.Sensitivity);
    EXPECT_EQ(Window->EncodeVibroMode(), c.Packed) << c.Mode << " " << c.Sensitivity;
  }
}

TEST_F(TModeEncodings, VibrationDecodesWithinTheSpinEditsRange) {
  struct {
    int Packed, Mode, Sensitivity;
  } const cases[] = {{0, 0, 50},    {178, 2, 50}, {50, 1, 50},  {128, 2, 1}, {127, 1, 100},
                     {255, 2, 100}, {300, 1, 44}, {-1, 2, 100}, {1, 1, 1}};
  for (const auto& c : cases) {
    Window->SEVibroSens->SetValue(77);
    Window->DecodeVibroMode(c.Packed);
    EXPECT_EQ(Window->CBVibroMode->ItemIndex(), c.Mode) << c.Packed;
    EXPECT_EQ(Window->SEVibroSens->Value(), c.Sensitivity) << c.Packed;
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
    Window->CBSleepMsg->SetChecked(true);
    Window->CBSleepKeyb->SetChecked(true);
    Window->DecodeSleepMode(c.Packed);
    EXPECT_EQ(Window->CBSleepMode->ItemIndex(), c.Mode);
    EXPECT_EQ(Window->CBSleepMsg->Checked(), c.Msg);
    EXPECT_EQ(Window->CBSleepKeyb->Checked(), c.Keyb);
    EXPECT_EQ(Window->CBSleepMsg->isEnabled(), c.Enabled);
    EXPECT_EQ(Window->CBSleepKeyb->isEnabled(), c.Enabled);
    EXPECT_EQ(Window->SESleep->isEnabled(), c.Enabled);
    EXPECT_EQ(Window->EncodeSleepMode(), c.Again);
  }
}

TEST_F(TModeEncodings, SleepEncodingCountsEachBitThatHolds) {
  // The boxes may be checked while the mode is off, before the sleep rule has first run.
  Window->CBSleepMode->SetItemIndex(0);
  Window->CBSleepMsg->SetChecked(true);
  Window->CBSleepKeyb->SetChecked(false);
  EXPECT_EQ(Window->EncodeSleepMode(), 2);
  Window->CBSleepKeyb->SetChecked(true);
  EXPECT_EQ(Window->EncodeSleepMode(), 6);
  Window->CBSleepMode->SetItemIndex(1);
  EXPECT_EQ(Window->EncodeSleepMode(), 7);
}
