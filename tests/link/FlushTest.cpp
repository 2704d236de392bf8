// Flushing the input: complete messages go unlogged, a message still arriving stays.
#include <string>

#include "tests/link/LinkTestKit.h"

TEST(Flush, DropsCompleteMessagesUnloggedAndKeepsOneWhoseCrHasNotArrived) {
  TLinkedUnit unit;
  unit.Burst("#A\r$B\r\n#C\r#D");
  unit.Link.FlushInput();
  EXPECT_EQ(unit.Held(), "#D");
  EXPECT_TRUE(unit.Person.LogLines.empty());
  unit.Burst("E\r");
  EXPECT_EQ(unit.Link.ReadAnswer(), "#DE\r") << "the kept start is completed, not lost";
}

// Slow: waits out the 5 s deadline.
TEST(FlushDeadline, AFloodOfDollarMessagesCannotHoldTheFlushOpen) {
  TLinkedUnit unit({"--flood", "--silent"});
  unit.AwaitInput();
  unit.Link.FlushInput();  // returns although the unit never pauses
  EXPECT_TRUE(unit.Person.LogLines.empty()) << "dropped messages are not logged";
  const std::string next = unit.Link.ReadAnswer();
  ASSERT_EQ(next.rfind("$FLOOD,", 0), 0u) << "the link still works";
  EXPECT_GT(std::stoi(next.substr(7)), 100) << "what came during the flush was dropped";
}
