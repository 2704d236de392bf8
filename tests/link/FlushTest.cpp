// Flushing the input: complete messages go unlogged, a message still arriving stays.
#include <chrono>
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
  // On a loaded machine the flood may pause, and the flush end early: the next message is
  // waited for, not taken to be there at once.
  std::string next;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (next.empty() && std::chrono::steady_clock::now() < deadline) next = unit.Link.ReadAnswer();
  ASSERT_EQ(next.rfind("$FLOOD,", 0), 0u) << "the link still works";
  EXPECT_GT(std::stoi(next.substr(7)), 1) << "what came during the flush was dropped";
}
