// Waiting for an answer: what is logged, what is skipped, when the wait ends.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/VestraError.h"
#include "tests/link/LinkTestKit.h"

namespace {

long CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

}  // namespace

TEST(Exchange, TheCommandAndTheAnswerAreLoggedAndTheAnswerReturned) {
  TLinkedUnit unit;
  EXPECT_EQ(unit.Link.ExecuteCommand("#RB03\r"), "#RB03 *100#\r");
  EXPECT_EQ(unit.Person.LogLines, (std::vector<std::string>{"#RB03\r", "#RB03 *100#\r"}));
  EXPECT_EQ(unit.Sim.Commands(), std::vector<std::string>{"#RB03"});
}

TEST(Exchange, DollarMessagesAreLoggedAndSkippedUntilTheAnswer) {
  TLinkedUnit unit;
  unit.Burst("$GPS,1\r\n$GPS,2\r");
  EXPECT_EQ(unit.Link.ExecuteCommand("#V\r"), "#V 3.00\r");
  EXPECT_EQ(unit.Person.LogLines,
            (std::vector<std::string>{"#V\r", "$GPS,1\r", "$GPS,2\r", "#V 3.00\r"}));
}

TEST(Exchange, PeriodicMessagesDuringASlowAnswerAreLoggedAndTheAnswerStillComes) {
  TLinkedUnit unit({"--periodic", "15", "--delay", "200", "--garbage"});
  EXPECT_EQ(unit.Link.ExecuteCommand("#RM20\r"), "#RM20 24\r");
  EXPECT_GE(CountStartingWith(unit.Person.LogLines, "$ALIVE,"), 2);
  EXPECT_EQ(unit.Person.LogLines.back(), "#RM20 24\r");
}

TEST(Exchange, AnAnswerAlreadyHeldIsTakenAsTheAnswer) {
  TLinkedUnit unit;
  unit.Burst("#STALE\r");
  EXPECT_EQ(unit.Link.ReadAnswer(), "#STALE\r");  // the monitor would log it; here it is gone
  unit.Burst("#OLD\r");
  EXPECT_EQ(unit.Link.ExecuteCommand("#V\r"), "#OLD\r");
  if (unit.Link.RxCount == 0) unit.AwaitInput();
  EXPECT_EQ(unit.Link.ReadAnswer(), "#V 3.00\r") << "the real answer follows";
}

TEST(Exchange, AHangUpInTheMiddleOfAnAnswerEndsTheWaitWithTheSystemText) {
  TLinkedUnit unit({"--hangup-after", "2"});
  EXPECT_EQ(unit.Link.ReadVersion(), "3.00");
  try {
    unit.Link.ReadParameter("G03");
    ADD_FAILURE() << "no error";
  } catch (const EVestraError& e) {
    EXPECT_STREQ(e.what(), std::strerror(EIO));
  }
  // What arrived of the answer was logged nowhere: it never became a message.
  EXPECT_EQ(unit.Person.LogLines.back(), "#RG03\r");
}

// The slow ones: each waits out the 5 s deadline.
TEST(ExchangeDeadline, AFloodOfDollarMessagesCannotHoldTheWaitOpen) {
  TLinkedUnit unit({"--flood", "--silent"});
  try {
    unit.Link.ReadParameter("G01");
    ADD_FAILURE() << "no error";
  } catch (const EVestraError& e) {
    EXPECT_STREQ(e.what(), "Нет ответа от RAD");
  }
  EXPECT_GT(CountStartingWith(unit.Person.LogLines, "$FLOOD,"), 10) << "still logged";
}

// Loose bounds, far from the deadline's own 5000 ms: they tell a wait of the right order from
// one cut short or run on, not a slow machine from a fast one.
TEST(ExchangeDeadline, AnAnswerAfterFourSecondsIsTakenAndNoneEndsTheWaitAfterFive) {
  using std::chrono::seconds;
  using TClock = std::chrono::steady_clock;
  {
    TLinkedUnit unit({"--delay", "4000"});
    const auto start = TClock::now();
    EXPECT_EQ(unit.Link.ReadParameter("G01"), "gprs");
    EXPECT_GE(TClock::now() - start, seconds(4));
  }
  TLinkedUnit unit({"--silent"});
  const auto start = TClock::now();
  try {
    unit.Link.ReadParameter("G01");
    ADD_FAILURE() << "no error";
  } catch (const EVestraError& e) {
    EXPECT_STREQ(e.what(), "Нет ответа от RAD");
  }
  const auto waited = TClock::now() - start;
  EXPECT_GE(waited, seconds(5));
  EXPECT_LT(waited, seconds(9));
}

TEST(ExchangeDeadline, ASilentUnitIsAskedForItsVersionTwiceThenNoAnswer) {
  TLinkedUnit unit({"--silent"});
  try {
    unit.Link.ReadVersion();
    ADD_FAILURE() << "no error";
  } catch (const EVestraError& e) {
    EXPECT_STREQ(e.what(), "Нет ответа от RAD");
  }
  EXPECT_EQ(unit.Sim.Commands(), (std::vector<std::string>{"#V", "#V"}));
  EXPECT_EQ(unit.Person.LogLines, (std::vector<std::string>{"#V\r", "#V\r"}));
}
