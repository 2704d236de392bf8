// The simulated unit that handles one command at a time, as a unit with one serial loop does:
// the program's waits are tested against it, so its pace must be that of such a unit.
#include <chrono>

#include "tests/link/LinkTestKit.h"

TEST(OneCommandAtATime, TwoCommandsSentTogetherAreAnsweredOneDelayApart) {
  using namespace std::chrono;
  constexpr milliseconds kDelay{400};
  TLinkedUnit unit({"--one-at-a-time", "--delay", "400"});
  const auto sent = steady_clock::now();
  unit.Link.SendCommand("#V\r");
  unit.Link.SendCommand("#RM20\r");
  std::vector<std::string> answers;
  std::vector<milliseconds> after;
  while (answers.size() < 2 && steady_clock::now() - sent < 5s) {
    std::string answer = unit.Link.ReadAnswer();
    if (answer.empty()) continue;
    answers.push_back(answer);
    after.push_back(duration_cast<milliseconds>(steady_clock::now() - sent));
  }
  ASSERT_EQ(answers, (std::vector<std::string>{"#V 3.00\r", "#RM20 24\r"}));
  // Lower bounds hold under any load; the first answer's upper bound keeps a whole delay spare.
  EXPECT_GE(after[0], kDelay);
  EXPECT_LT(after[0], 2 * kDelay) << "the first command waits for nothing but its own delay";
  EXPECT_GE(after[1], 2 * kDelay) << "the second command is read after the first answer";
}
