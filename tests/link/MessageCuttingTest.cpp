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
