// The code table, the version number and the write conversions, without a unit.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <vector>

#include "link/VestraError.h"
#include "params/ParamList.h"
#include "tests/support/Orders.h"
#include "transfer/CodeTable.h"

namespace {

std::string VersionError(const std::string& text) {
  try {
    VersionNumber(text);
  } catch (const EVestraError& e) {
    return e.what();
  }
  return "no error";
}

// The codes each operation sends, in its order, for a version number and the two switches.
std::vector<std::string> ReadCodes(int version, bool vibroBit) {
  std::vector<std::string> codes;
  for (const auto& row : CodeTable())
    if (Carries(row, version) && (row.Read.Condition != TCondition::VibroBitSet || vibroBit))
      codes.emplace_back(row.Code);
  return codes;
}

std::vector<std::string> WriteCodes(int version, bool manualCorrCoef) {
  std::vector<std::string> codes;
  for (const auto* row : WriteOrder())
    if (Carries(*row, version) &&
        (row->Write.Condition != TCondition::ManualCorrCoefSet || manualCorrCoef))
      codes.emplace_back(row->Code);
  return codes;
}

}  // namespace

TEST(VersionNumber, HundredthsOfTheVersionText) {
  EXPECT_EQ(VersionNumber("2.07"), 207);
  EXPECT_EQ(VersionNumber("2.01"), 201);
  EXPECT_EQ(VersionNumber("1.99"), 199);
  EXPECT_EQ(VersionNumber("2"), 200);
  EXPECT_EQ(VersionNumber("3.1"), 310);
  EXPECT_EQ(VersionNumber("2.065"), 206);
  EXPECT_EQ(VersionNumber("2.08"), 208);
  EXPECT_EQ(VersionNumber("3.99"), 399);
  EXPECT_EQ(VersionNumber("4.00"), 400);
  EXPECT_EQ(VersionNumber("0.29"), 29);
}

TEST(VersionNumber, AcceptsWhatADecimalReaderAccepts) {
  EXPECT_EQ(VersionNumber(" 3"), 300);
  EXPECT_EQ(VersionNumber("3.00 "), 300);
  EXPECT_EQ(VersionNumber("+2.5"), 250);
  EXPECT_EQ(VersionNumber("3."), 300);
  EXPECT_EQ(VersionNumber(".5"), 50);
  EXPECT_EQ(VersionNumber("2.07e0"), 207);
  EXPECT_EQ(VersionNumber("-1"), -99);  // truncated toward zero
}

TEST(VersionNumber, HugeVersionsSaturateInsteadOfOverflowing) {
  EXPECT_EQ(VersionNumber("1e300"), INT_MAX);
  EXPECT_EQ(VersionNumber("-1e300"), INT_MIN);
}

TEST(VersionNumber, TextThatIsNotANumberIsRejectedWithItsText) {
  EXPECT_EQ(VersionError("abc"), "'abc' is not a valid floating point value");
  EXPECT_EQ(VersionError("3.00abc"), "'3.00abc' is not a valid floating point value");
  EXPECT_EQ(VersionError("2,07"), "'2,07' is not a valid floating point value");
  EXPECT_EQ(VersionError(""), "'' is not a valid floating point value");
  EXPECT_EQ(VersionError("."), "'.' is not a valid floating point value");
  EXPECT_EQ(VersionError("1e"), "'1e' is not a valid floating point value");
  EXPECT_EQ(VersionError("inf"), "'inf' is not a valid floating point value");
  EXPECT_EQ(VersionError("nan"), "'nan' is not a valid floating point value");
  EXPECT_EQ(VersionError("1e400"), "'1e400' is not a valid floating point value");
  EXPECT_EQ(VersionError("2.0.7"), "'2.0.7' is not a valid floating point value");
  // The text is Windows-1251 on the line; the message shows it as letters.
  EXPECT_EQ(VersionError("\xE2\xE5\xF0"), "'вер' is not a valid floating point value");
}

TEST(CodeTable, BothOrdersHoldEveryCodeOnce) {
  std::vector<std::string> read, write;
  for (const auto& row : CodeTable()) read.emplace_back(row.Code);
  for (const auto* row : WriteOrder()) write.emplace_back(row->Code);
  EXPECT_EQ(read, FullReadOrder);
  EXPECT_EQ(write, FullWriteOrder);
  for (std::size_t i = 0; i < CodeCount; ++i) {
    EXPECT_EQ(CodeTable()[i].ReadPosition, static_cast<int>(i) + 1);
    EXPECT_EQ(WriteOrder()[i]->WritePosition, static_cast<int>(i) + 1);
  }
}

TEST(CodeTable, VersionGatesAndSwitchesDecideTheCounts) {
  EXPECT_EQ(ReadCodes(199, false).size(), 29u);
  EXPECT_EQ(ReadCodes(199, true).size(), 30u);
  EXPECT_EQ(ReadCodes(300, true).size(), 44u);
  EXPECT_EQ(WriteCodes(199, false).size(), 29u);
  EXPECT_EQ(WriteCodes(199, true).size(), 30u);
  EXPECT_EQ(WriteCodes(300, false).size(), 43u);
  EXPECT_EQ(WriteCodes(300, true).size(), 44u);

  auto gated199 = Union({From200, From207, From208, From300});
  EXPECT_EQ(ReadCodes(199, true), Without(FullReadOrder, gated199));
  EXPECT_EQ(WriteCodes(199, true), Without(FullWriteOrder, gated199));
  // Codes of every version travel at versions below zero too.
  for (int below : {-1, -99, INT_MIN}) {
    EXPECT_EQ(ReadCodes(below, true), Without(FullReadOrder, gated199)) << below;
    EXPECT_EQ(WriteCodes(below, true), Without(FullWriteOrder, gated199)) << below;
  }
  // 2.065 is 206: below the gate of "M18".
  auto gated206 = Union({From207, From208, From300});
  EXPECT_EQ(ReadCodes(VersionNumber("2.065"), true), Without(FullReadOrder, gated206));
  auto gated207 = Union({From208, From300});
  EXPECT_EQ(ReadCodes(207, true), Without(FullReadOrder, gated207));
  EXPECT_EQ(WriteCodes(207, true), Without(FullWriteOrder, gated207));
  EXPECT_EQ(ReadCodes(208, true), Without(FullReadOrder, From300));
  EXPECT_EQ(WriteCodes(299, true), Without(FullWriteOrder, From300));
  EXPECT_EQ(ReadCodes(300, false), Without(FullReadOrder, {"M11"}));
  EXPECT_EQ(WriteCodes(300, false), Without(FullWriteOrder, {"M05"}));
}

TEST(WriteConversion, PhoneTypesAreJoinedWithCommas) {
  const auto& e01 = *WriteOrder()[0];
  TParamList params;
  EXPECT_EQ(FormWriteValue(e01, params, 300), ",,");
  params.Append("EnSMS1", "1");
  params.Append("EnSMS2", "0");
  params.Append("ensms3", "2");
  EXPECT_EQ(FormWriteValue(e01, params, 300), "1,0,2");
}

TEST(WriteConversion, SensorBitsFromPirAndVibration) {
  const TCodeRow* m10 = nullptr;
  const TCodeRow* m11 = nullptr;
  for (const auto& row : CodeTable()) {
    if (row.Code == "M10") m10 = &row;
    if (row.Code == "M11") m11 = &row;
  }
  ASSERT_TRUE(m10 && m11);
  auto bits = [&](const char* pir, const char* vibro) {
    TParamList params;
    if (pir) params.Append("PIRMode", pir);
    if (vibro) params.Append("VibroMode", vibro);
    return FormWriteValue(*m10, params, 300);
  };
  EXPECT_EQ(bits(nullptr, nullptr), "0");
  EXPECT_EQ(bits("0", "0"), "0");
  EXPECT_EQ(bits("1", "0"), "1");
  EXPECT_EQ(bits("0", "178"), "2");
  EXPECT_EQ(bits("1", "50"), "3");
  EXPECT_EQ(bits("x", "-3"), "2");
  TParamList params;
  params.Append("VibroMode", "0");
  EXPECT_EQ(FormWriteValue(*m11, params, 300), "0");
}

TEST(WriteConversion, SatelliteUseBefore200IsOffOr255) {
  const TCodeRow* m04 = nullptr;
  for (const auto& row : CodeTable())
    if (row.Code == "M04") m04 = &row;
  ASSERT_TRUE(m04);
  TParamList two, zero, none, minus;
  two.Append("UseGPS", "2");
  zero.Append("UseGPS", "0");
  minus.Append("UseGPS", "-1");
  EXPECT_EQ(FormWriteValue(*m04, two, 199), "255");
  EXPECT_EQ(FormWriteValue(*m04, minus, 199), "255");
  EXPECT_EQ(FormWriteValue(*m04, zero, 199), "0");
  EXPECT_EQ(FormWriteValue(*m04, none, 199), "");
  EXPECT_EQ(FormWriteValue(*m04, two, 200), "2");
}

TEST(WriteConversion, ServerAddressesLowestByteFirst) {
  auto server = [](int n, const char* value) {
    TParamList params;
    if (value) params.Append("AddrServer" + std::to_string(n), value);
    return FormWriteValue(*WriteOrder()[38 + static_cast<std::size_t>(n)], params, 300);
  };
  EXPECT_EQ(server(1, "0"), "0,0,0,0");
  EXPECT_EQ(server(1, nullptr), "0,0,0,0");
  EXPECT_EQ(server(2, "not a number"), "0,0,0,0");
  EXPECT_EQ(server(2, "167903424"), "192,0,2,10");
  EXPECT_EQ(server(3, "-939524086"), "10,0,0,200");
  EXPECT_EQ(server(3, "-1"), "255,255,255,255");
}

TEST(ClockCommand, TwoDigitFieldsSeparatedByCommas) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_hour = 3;
  t.tm_min = 8;
  t.tm_sec = 33;
  EXPECT_EQ(ClockCommand(t), "#T 26,12,07,03,08,33\r");
  t.tm_year = 2100 - 1900;
  t.tm_hour = 23;
  EXPECT_EQ(ClockCommand(t), "#T 00,12,07,23,08,33\r");
}
