#include <gtest/gtest.h>

#include "params/ParamList.h"

TEST(ParamListLookup, KeysCompareWithoutLetterCaseAndTheFirstMatchWins) {
  TParamList list;
  list.Append("addrserver1=167903424");
  list.Append("Period=1");
  list.Append("PERIOD=5");
  EXPECT_EQ(list.Value("AddrServer1"), "167903424");
  EXPECT_EQ(list.Value("Period"), "1");
  EXPECT_EQ(list.Integer("period", 0), 1);
}

TEST(ParamListLookup, LinesWithoutEqualsSignOrWithBlanksBeforeItNeverMatch) {
  TParamList list;
  list.Append("Period");
  list.Append("");
  list.Append("Period =3");
  EXPECT_EQ(list.Value("Period"), "");
  EXPECT_EQ(list.Integer("Period", 7), 7);
  EXPECT_EQ(list.Value("Period "), "3");
}

TEST(ParamListLookup, ValueIsEverythingAfterTheFirstEqualsSignExactly) {
  TParamList list;
  list.Append("GPRSPwd", "a=b= ");
  list.Append("Empty", "");
  EXPECT_EQ(list.Lines()[0], "GPRSPwd=a=b= ");
  EXPECT_EQ(list.Value("GPRSPwd"), "a=b= ");
  EXPECT_EQ(list.Value("Empty"), "");
  EXPECT_EQ(list.Integer("Empty", -4), -4);
  EXPECT_EQ(list.Value("Missing"), "");
}

TEST(ParamListLookup, WholeNumbersAreSigned32BitDecimalsElseTheDefault) {
  EXPECT_EQ(ToInteger("4"), 4);
  EXPECT_EQ(ToInteger("-939524086"), -939524086);
  EXPECT_EQ(ToInteger("2147483647"), 2147483647);
  EXPECT_EQ(ToInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(ToInteger(" +12"), 12);  // leading blanks and a plus sign are accepted on reading
  for (const char* bad : {"", " ", "+", "-", "+-5", "--5", "12 ", "1.5", "1e3", "x1", "0x10",
                          "2147483648", "-2147483649", "12a"})
    EXPECT_FALSE(ToInteger(bad).has_value()) << '"' << bad << '"';
}
