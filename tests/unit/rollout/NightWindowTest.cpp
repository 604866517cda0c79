#include <gtest/gtest.h>

#include <optional>

#include "rollout/NightWindow.h"

namespace korven {
namespace {

Micros at(int hour, int minute, int second = 0, int micro = 0) {
  return Micros((hour * 3600LL + minute * 60LL + second) * 1'000'000 + micro);
}

Micros seconds(long long s) {
  return Micros(s * 1'000'000);
}

// The calendar stands where the test puts it; from `skipsAt` on, summer
// time reads an hour more.
class SetCalendar : public WallClock {
 public:
  LocalTime now() const override { return in(Micros(0)); }
  LocalTime in(Micros fromNow) const override {
    Micros t = time + fromNow;
    if (skipsAt && time < *skipsAt && t >= *skipsAt) t += seconds(3600);
    const long long s = t.count() / 1'000'000;
    return LocalTime{2026,
                     12,
                     9,
                     static_cast<int>(s / 3600 % 24),
                     static_cast<int>(s / 60 % 60),
                     static_cast<int>(s % 60),
                     static_cast<int>(t.count() % 1'000'000)};
  }
  void set(Micros t) { time = t; }
  Micros time{0};
  std::optional<Micros> skipsAt;
};

TEST(NightWindow, ReadsStartAndEndAndRefusesWhatIsNoWindow) {
  const auto night = parseNightWindow("22:00-05:00:30");
  ASSERT_TRUE(night);
  EXPECT_EQ(night->start, at(22, 0));
  EXPECT_EQ(night->end, at(5, 0, 30));
  for (const char* bad : {"", "22:00", "2200-0500", "24:00-01:00", "22:60-01:00",
                          "22:00-05:00-06:00", "22:00-22:00", "22:00:5-05:00"}) {
    EXPECT_FALSE(parseNightWindow(bad)) << bad;
  }
}

TEST(NightWindow, OpensAndClosesAcrossMidnight) {
  const NightWindow night = *parseNightWindow("22:00-05:00");
  EXPECT_EQ(untilOpen(night, at(21, 0)), seconds(3600));
  EXPECT_EQ(untilClose(night, at(21, 0)), Micros(0));
  EXPECT_EQ(untilClose(night, at(23, 0)), seconds(6 * 3600));
  EXPECT_EQ(untilClose(night, at(4, 59, 59, 500'000)), Micros(500'000));
  // Its end is closed: a run started then waits for the next night.
  EXPECT_EQ(untilOpen(night, at(5, 0)), seconds(17 * 3600));
  const NightWindow early = *parseNightWindow("01:00-03:00");
  EXPECT_EQ(untilOpen(early, at(3, 0)), seconds(22 * 3600));
  // Times counted on past midnight are the next day's.
  EXPECT_EQ(untilClose(early, at(26, 0)), seconds(3600));
  EXPECT_EQ(clockText(at(25, 14, 5, 999'999)), "01:14:05");
}

TEST(NightWindow, ThePlanHoldsBackWhatWouldOverrunAndCountsAPauseOnlyBeforeAnotherWave) {
  SetCalendar calendar;
  const WindowClock clock(calendar, parseNightWindow("23:59:00-00:00:40"));
  calendar.set(at(23, 59, 0));
  WaveTimes times{seconds(30), seconds(10), seconds(20), Micros(0)};
  // 100 s of window: wave 1 needs 60 s with the pause after it, wave 2
  // 40 s, as no pause follows the last wave, and ends right at the close.
  const Schedule two = planSchedule({3, 2}, times, clock, true);
  ASSERT_EQ(two.waves.size(), 2U);
  EXPECT_EQ(two.waves[1].start, at(24, 0));
  EXPECT_EQ(two.waves[1].streamsEnd, at(24, 0, 30));
  EXPECT_EQ(two.waves[1].verdictsBy, at(24, 0, 40));
  EXPECT_EQ(two.heldBackTerminals(), 0);
  // A third wave: the second needs its pause now, and overruns; the third
  // is held back with it.
  const Schedule three = planSchedule({2, 2, 1}, times, clock, true);
  EXPECT_FALSE(three.waves[0].heldBack);
  EXPECT_EQ(three.heldBackTerminals(), 3);
  // A window shorter than one wave holds everything back.
  times.stream = seconds(95);
  EXPECT_EQ(planSchedule({4}, times, clock, true).heldBackTerminals(), 4);
  // Before the window, the run waits for it, then connects anew; or it
  // holds everything back.
  calendar.set(at(23, 30));
  times = {seconds(60), Micros(0), Micros(0), Micros(300'000)};
  const Schedule waiting = planSchedule({5}, times, clock, true);
  EXPECT_EQ(waiting.opensIn, seconds(29 * 60));
  EXPECT_EQ(waiting.waves[0].start, at(23, 59) + Micros(300'000));
  EXPECT_EQ(waiting.heldBackTerminals(), 0);
  EXPECT_EQ(planSchedule({5}, times, clock, false).heldBackTerminals(), 5);
}

TEST(NightWindow, ANightThatSkipsAnHourForSummerTimeIsNotOverrun) {
  SetCalendar calendar;
  const WindowClock clock(calendar, parseNightWindow("22:00-05:00"));
  calendar.set(at(1, 0));
  calendar.skipsAt = at(2, 0);
  // 4 h to 05:00 on the clock face, but 3 h pass before it reads 05:00.
  EXPECT_TRUE(clock.fits(seconds(3 * 3600)));
  EXPECT_FALSE(clock.fits(seconds(3 * 3600 + 1)));
  const WaveTimes times{seconds(5400), Micros(0), seconds(600), Micros(0)};
  EXPECT_EQ(planSchedule({2, 3}, times, clock, true).heldBackTerminals(), 3);
}

}  // namespace
}  // namespace korven
