// How received bytes become messages: what is dropped, what is kept for later, what one call
// hands out.
#include "tests/link/LinkTestKit.h"

TEST(MessageCutting, BytesBeforeAMessageStartAndTheLineFeedOfCrLfAreDropped) {
  TLinkedUnit unit;
  unit.Burst("noise\x01\xff#A\r\n$B\r\n");
  EXPECT_EQ(unit.Link.ReadAnswer(), "#A\r");
  EXPECT_EQ(unit.Held(), "$B\r\n");
}

TEST(MessageCutting, TwoMessagesOfOneBurstTakeTwoCallsAndEachCallStillReads) {
  TLinkedUnit unit;
  unit.Burst("#A\r\n#B\r");
  EXPECT_EQ(unit.Link.ReadAnswer(), "#A\r");
  EXPECT_EQ(unit.Held(), "#B\r") << "the line feed before the next message is dropped at once";
  unit.Burst("#C\r");
  EXPECT_EQ(unit.Link.ReadAnswer(), "#B\r");
  EXPECT_EQ(unit.Held(), "#C\r") << "the second call read what had come in the meantime";
  EXPECT_EQ(unit.Link.ReadAnswer(), "#C\r");
  EXPECT_EQ(unit.Link.ReadAnswer(), "");
  EXPECT_EQ(unit.Link.RxCount, 0);
}

TEST(MessageCutting, AMessageSplitAcrossBurstsAndCallsIsAssembled) {
  TLinkedUnit unit;
  unit.Burst("xx#AB");
  EXPECT_EQ(unit.Link.ReadAnswer(), "");
  EXPECT_EQ(unit.Held(), "#AB");
  unit.Burst("C");
  EXPECT_EQ(unit.Link.ReadAnswer(), "");
  unit.Burst("D\r$E");
  EXPECT_EQ(unit.Link.ReadAnswer(), "#ABCD\r");
  EXPECT_EQ(unit.Held(), "$E");
}

TEST(MessageCutting, ALoneStartByteStaysAndHashCrIsAWholeMessage) {
  TLinkedUnit unit;
  unit.Burst("#");
  EXPECT_EQ(unit.Link.ReadAnswer(), "");
  EXPECT_EQ(unit.Held(), "#");
  unit.Burst("\r$");
  EXPECT_EQ(unit.Link.ReadAnswer(), "#\r");
  EXPECT_EQ(unit.Link.ReadAnswer(), "");
  EXPECT_EQ(unit.Held(), "$") << "a lone $ is kept as well";
}

TEST(MessageCutting, NineteenNinetyNineBytesWithoutCrAreOneMessage) {
  TLinkedUnit unit;
  std::string body = "$" + std::string(1998, 'x');
  unit.Burst(body + "tail\r");
  std::string message = unit.Link.ReadAnswer();
  EXPECT_EQ(message, body);
  EXPECT_EQ(unit.Link.RxCount, 0) << "the next call starts with an empty buffer";
  EXPECT_EQ(unit.Link.ReadAnswer(), "") << "the rest has no start byte and is dropped";
  EXPECT_EQ(unit.Link.RxCount, 0);
}

TEST(MessageCutting, AnAnswerInTwoBurstsIsWholeAfterAShortGapAndAssembledOverCallsAfterALongOne) {
  struct TCase {
    const char* GapMs;
    std::vector<std::string> Calls;  // what successive calls hand out, each once bytes wait
  };
  for (const TCase& c : {TCase{"2", {"#RB03 *100#\r"}}, TCase{"200", {"", "#RB03 *100#\r"}}}) {
    TLinkedUnit unit({"--split", c.GapMs});
    unit.Link.SendCommand("#RB03\r");
    for (const std::string& expected : c.Calls) {
      unit.AwaitInput();
      EXPECT_EQ(unit.Link.ReadAnswer(), expected) << "gap " << c.GapMs << " ms";
    }
    EXPECT_EQ(unit.Link.RxCount, 0) << "gap " << c.GapMs << " ms";
  }
}

TEST(MessageCutting, WhatFollowsTheAnswersCrInItsBurstIsDroppedOrKeptForTheNextCall) {
  TLinkedUnit unit({"--reply", "V=#V 3.00\r\n$GPS,1"});
  EXPECT_EQ(unit.Link.ExecuteCommand("#V\r"), "#V 3.00\r");
  EXPECT_EQ(unit.Held(), "$GPS,1\r") << "the line feed is dropped, the next message kept";
  EXPECT_EQ(unit.Person.LogLines, (std::vector<std::string>{"#V\r", "#V 3.00\r"}));
  EXPECT_EQ(unit.Link.ReadAnswer(), "$GPS,1\r");
  EXPECT_EQ(unit.Link.ReadAnswer(), "");
  EXPECT_EQ(unit.Link.RxCount, 0);
}

TEST(MessageCutting, CommandsAreLoggedAndSentByteForByte) {
  TLinkedUnit unit;
  std::string command = "#WG01 \xc0\xe1\xe2\r";  // Windows-1251 letters pass unchanged
  unit.Link.SendCommand(command);
  EXPECT_EQ(unit.Person.LogLines, std::vector<std::string>{command});
  unit.AwaitInput();
  EXPECT_EQ(unit.Link.ReadAnswer(), "#OK\r");
  unit.Link.SendCommand("#RG01\r");
  unit.AwaitInput();
  EXPECT_EQ(unit.Link.ReadAnswer(), "#RG01 \xc0\xe1\xe2\r");
  EXPECT_EQ(unit.Sim.Commands(), (std::vector<std::string>{"#WG01 \xc0\xe1\xe2", "#RG01"}));
}
