#include <gtest/gtest.h>

#include "tests/testkit/VirtualScheduler.h"

namespace korven::testkit {
namespace {

using std::chrono::milliseconds;

long long ms(Micros t) {
  return t.count() / 1000;
}

TEST(VirtualScheduler, TimersTickAtTheirTimesInOrder) {
  VirtualScheduler s;
  auto fast = s.createTimer();
  auto slow = s.createTimer();
  std::vector<std::pair<char, long long>> ticks;
  fast->onTimer.connect([&] { ticks.emplace_back('f', ms(s.now())); });
  slow->onTimer.connect([&] { ticks.emplace_back('s', ms(s.now())); });
  fast->setInterval(200);
  slow->setInterval(500);
  s.advance(milliseconds(1000));
  EXPECT_EQ(
      ticks,
      (std::vector<std::pair<char, long long>>{
          {'f', 200}, {'f', 400}, {'s', 500}, {'f', 600}, {'f', 800}, {'s', 1000}, {'f', 1000}}))
      << "at the same instant the timer armed first ticks first";
}

TEST(VirtualScheduler, RetimingCountsFromTheChangeAndZeroStops) {
  VirtualScheduler s;
  auto timer = s.createTimer();
  std::vector<long long> ticks;
  timer->onTimer.connect([&] {
    ticks.push_back(ms(s.now()));
    if (ticks.size() == 2) timer->setInterval(0);
  });
  timer->setInterval(100);
  s.advance(milliseconds(50));
  timer->setInterval(100);  // restarts: next tick at 150, not 100
  s.advance(milliseconds(1000));
  EXPECT_EQ(ticks, (std::vector<long long>{150, 250}));
}

TEST(VirtualScheduler, ATimerNeverTicksInsideItsOwnTick) {
  VirtualScheduler s;
  auto timer = s.createTimer();
  auto other = s.createTimer();
  int depth = 0;
  int deepest = 0;
  std::vector<long long> ticks;
  std::vector<long long> otherTicks;
  timer->onTimer.connect([&] {
    ticks.push_back(ms(s.now()));
    ++depth;
    deepest = std::max(deepest, depth);
    if (ticks.size() == 1)
      s.processEventsFor(milliseconds(10));  // ten 1 ms ticks fall due meanwhile
    --depth;
  });
  other->onTimer.connect([&] { otherTicks.push_back(ms(s.now())); });
  timer->setInterval(1);
  other->setInterval(3);
  s.advance(milliseconds(12));
  EXPECT_EQ(deepest, 1);
  // The missed tick comes at once when the long tick returns, then the pace resumes.
  EXPECT_EQ(ticks, (std::vector<long long>{1, 11, 12}));
  EXPECT_EQ(otherTicks, (std::vector<long long>{3, 6, 9, 12})) << "other timers run inside";
}

TEST(VirtualScheduler, FrozenWaitMovesTimeAndDeliversNothing) {
  VirtualScheduler s;
  auto timer = s.createTimer();
  int ticks = 0;
  bool posted = false;
  timer->onTimer.connect([&] { ++ticks; });
  timer->setInterval(100);
  s.post(s.now() + milliseconds(50), [&] { posted = true; });
  s.freeze(milliseconds(1000));
  EXPECT_EQ(ms(s.now()), 1000);
  EXPECT_EQ(ticks, 0);
  EXPECT_FALSE(posted);
  s.processEvents();  // what fell due during the freeze comes at the next pause
  EXPECT_TRUE(posted);
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(ms(s.now()), 1000);
}

TEST(VirtualScheduler, NestedProcessingDeliversOnlyWhatIsDue) {
  VirtualScheduler s;
  std::vector<std::string> order;
  s.post([&] {
    order.push_back("outer");
    s.post([&] { order.push_back("queued now"); });
    s.post(s.now() + milliseconds(5), [&] { order.push_back("later"); });
    s.processEvents();
    order.push_back("outer done");
  });
  s.advance(milliseconds(10));
  EXPECT_EQ(order, (std::vector<std::string>{"outer", "queued now", "outer done", "later"}));
}

}  // namespace
}  // namespace korven::testkit
