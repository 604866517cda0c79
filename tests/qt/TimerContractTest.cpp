// What the logic relies on of timers and waits, held to by every platform:
// virtual time, where every instant is exact, and both platforms under Qt's
// loop on the real clock, where a tick or a wait may come late but never
// early.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/qt/Backend.h"
#include "platform/system/SteadyClock.h"
#include "tests/testkit/VirtualScheduler.h"

namespace korven {
namespace {

using std::chrono::milliseconds;

struct VirtualTime {
  static constexpr bool kExact = true;
  testkit::VirtualScheduler scheduler;
  EventLoop& loop() { return scheduler; }
  const Clock& clock() const { return scheduler; }
  std::unique_ptr<Timer> timer() { return scheduler.createTimer(); }
};

template <std::unique_ptr<qt::Backend> (*Make)(const Clock&)>
struct RealTime {
  static constexpr bool kExact = false;
  SteadyClock steady;
  std::unique_ptr<qt::Backend> backend = Make(steady);
  EventLoop& loop() { return backend->eventLoop(); }
  const Clock& clock() const { return steady; }
  std::unique_ptr<Timer> timer() { return backend->createTimer(); }
};

template <typename Time>
class TimerContract : public ::testing::Test {
 protected:
  TimerContract() : start(time.clock().now()) {}
  long long msSinceStart() const { return (time.clock().now() - start).count() / 1000; }
  // Lets `ms` pass, handling events as they come.
  void run(long long ms) {
    time.loop().waitUntil([] { return false; }, milliseconds(ms));
  }
  // A moment seen is the one asked for: exactly so on virtual time, never
  // before it on the real clock.
  void expectAt(long long seen, long long expected, const std::string& what) {
    if (Time::kExact) {
      EXPECT_EQ(seen, expected) << what;
    } else {
      EXPECT_GE(seen, expected) << what;
    }
  }

  Time time;
  Micros start;
};

using Platforms =
    ::testing::Types<VirtualTime, RealTime<&qt::makeEpollBackend>, RealTime<&qt::makeQtBackend>>;
TYPED_TEST_SUITE(TimerContract, Platforms);

TYPED_TEST(TimerContract, EachTickCountsFromTheLastAndZeroStops) {
  auto timer = this->time.timer();
  std::vector<long long> ticks;
  timer->onTimer.connect([&] {
    ticks.push_back(this->msSinceStart());
    if (ticks.size() == 3) timer->setInterval(0);
  });
  timer->setInterval(20);
  this->run(5);
  timer->setInterval(20);  // re-armed: the count starts again
  this->run(150);
  ASSERT_EQ(ticks.size(), 3U) << "stopped at the third tick";
  this->expectAt(ticks[0], 25, "first tick, counted from the re-arming");
  for (std::size_t i = 1; i < ticks.size(); ++i) {
    this->expectAt(ticks[i] - ticks[i - 1], 20, "interval " + std::to_string(i));
  }
}

TYPED_TEST(TimerContract, ATimerNeverTicksInsideItsOwnTickWhileOthersDo) {
  auto timer = this->time.timer();
  auto other = this->time.timer();
  int depth = 0;
  int deepest = 0;
  std::vector<long long> ticks;
  int otherTicksInside = 0;
  timer->onTimer.connect([&] {
    ticks.push_back(this->msSinceStart());
    ++depth;
    deepest = std::max(deepest, depth);
    if (ticks.size() == 1) {
      // Its own ticks fall due meanwhile; the other timer's are delivered.
      this->time.loop().processEventsFor(milliseconds(60));
    }
    --depth;
    if (ticks.size() == 3) timer->setInterval(0);
  });
  other->onTimer.connect([&] { otherTicksInside += depth; });
  timer->setInterval(10);
  other->setInterval(25);
  this->run(150);
  EXPECT_EQ(deepest, 1);
  EXPECT_GE(otherTicksInside, 2);
  ASSERT_EQ(ticks.size(), 3U);
  // The missed tick comes at once when the long tick returns, then the pace resumes.
  this->expectAt(ticks[1], 70, "the tick missed during the long one");
  this->expectAt(ticks[2] - ticks[1], 10, "the pace after it");
}

}  // namespace
}  // namespace korven

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
