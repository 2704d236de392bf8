#include <gtest/gtest.h>

#include "params/Encodings.h"

TEST(AddressPacking, FirstOctetGoesToTheLowestByteAndTheResultIsSigned) {
  EXPECT_EQ(ParseIPAddress("192.0.2.10"), 167903424);
  EXPECT_EQ(ParseIPAddress("10.0.0.200"), -939524086);
  EXPECT_EQ(ParseIPAddress("255.255.255.255"), -1);
  EXPECT_EQ(ParseIPAddress("1.0.0.0"), 1);
  EXPECT_EQ(ParseIPAddress("0.0.0.128"), INT32_MIN);
}

TEST(AddressPacking, UnpacksFromTheLowestByteUp) {
  EXPECT_EQ(UnpackIPAddress(-939524086), "10.0.0.200");
  EXPECT_EQ(UnpackIPAddress(167903424), "192.0.2.10");
  EXPECT_EQ(UnpackIPAddress(-1), "255.255.255.255");
  EXPECT_EQ(UnpackIPAddress(INT32_MIN, ','), "0,0,0,128");
  EXPECT_EQ(UnpackIPAddress(0), "0.0.0.0");
}

TEST(AddressPacking, ControlCharactersAndBlanksAroundAreTrimmed) {
  EXPECT_EQ(ParseIPAddress("  192.0.2.10 \t"), 167903424);
  EXPECT_EQ(ParseIPAddress(std::string_view("\x01 192.0.2.10\x1f\0", 15)), 167903424);
}

TEST(AddressPacking, InvalidAddressesPackToZero) {
  EXPECT_EQ(ParseIPAddress(""), 0);
  EXPECT_EQ(ParseIPAddress("192.0.2"), 0);
  EXPECT_EQ(ParseIPAddress("0.0.0.0"), 0);
  EXPECT_EQ(ParseIPAddress("192.0.2.256"), 0);
  EXPECT_EQ(ParseIPAddress("256.0.2.1"), 0);
  EXPECT_EQ(ParseIPAddress("1.-1.2.3"), 0);
}

TEST(AddressPacking, OctetsThatAreNotNumbersCountAsZero) {
  EXPECT_EQ(ParseIPAddress("192.0.2.x"), ParseIPAddress("192.0.2.0"));
  // The fourth octet is all after the third dot: "4.5" is not a number.
  EXPECT_EQ(ParseIPAddress("1.2.3.4.5"), ParseIPAddress("1.2.3.0"));
  EXPECT_EQ(ParseIPAddress("..1.2"), ParseIPAddress("0.0.1.2"));
  EXPECT_EQ(ParseIPAddress("\xc0\xc1.0.2.10"), ParseIPAddress("0.0.2.10"));  // Cyrillic bytes
  EXPECT_EQ(ParseIPAddress("1.2.3.99999999999"), ParseIPAddress("1.2.3.0"));
}

TEST(AddressPacking, EveryNonZeroValueSurvivesUnpackingAndPacking) {
  for (std::int64_t v = INT32_MIN; v <= INT32_MAX; v += 7919 * 104729LL) {
    auto packed = static_cast<std::int32_t>(v);
    if (packed == 0) continue;
    EXPECT_EQ(ParseIPAddress(UnpackIPAddress(packed)), packed) << packed;
  }
}
