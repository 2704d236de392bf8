#include "tests/link/LinkTestKit.h"

// Slow: waits out the 5 s deadline.
TEST(FlushDeadline, AFloodOfDollarMessagesCannotHoldTheFlushOpen) {
  TLinkedUnit unit({"--flood", "--silent"});
  unit.AwaitInput();
  unit.Link.FlushInput();  // returns although the unit never pauses
  EXPECT_TRUE(unit.Person.LogLines.empty()) << "dropped messages are not logged";
  EXPECT_EQ(unit.Link.ReadAnswer().rfind("$FLOOD,", 0), 0u) << "the link still works";
}
