#include "tests/testkit/LoaderFixture.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

// The frames as the terminals know them.
const std::string kGoBoot("\x01\xFF\xFF\x41\x02\xFB\x46\x44\x03", 9);
const std::string kGoTerm("\x01\xFF\xFF\x41\xFA", 5);
const std::string kPassive("\xFE\xFF\x04", 3);
const std::string kActive("\xFE\xFF\x05", 3);
const std::string kShowMac("\xFE\xFF\x02", 3);

class ModeCommandsTest : public testkit::LoaderFixture {
 protected:
  void SetUp() override {
    LoaderFixture::SetUp();
    advanceMs(1000);  // past the start-up query
    platform.network.sent.clear();
  }
  std::vector<long long> sendTimes(const std::string& frame, const std::string& to) {
    std::vector<long long> times;
    for (const auto& d : platform.network.sent) {
      EXPECT_EQ(d.bytes, frame);
      EXPECT_EQ(d.toHost, to);
      EXPECT_EQ(d.toPort, 1024);
      times.push_back(d.at.count());
    }
    return times;
  }
};

TEST_F(ModeCommandsTest, EachButtonSendsItsFrameTenTimesATenthOfASecondApart) {
  struct Case {
    Button& button;
    std::string frame;
    long long frozenAfterMs;
  };
  w().INP_IP.userType("127.0.0.7");
  const Case cases[] = {{w().B_GO_BOOT, kGoBoot, 1000},
                        {w().B_GO_TERM, kGoTerm, 1000},
                        {w().B_MODE_ACTIVE, kActive, 0},
                        {w().B_MODE_PASSIVE, kPassive, 0},
                        {w().B_SHOW_MAC, kShowMac, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button.name());
    platform.network.sent.clear();
    const Micros start = time().now();
    const Micros frozenBefore = time().frozenTotal();
    bool hiddenDuringBurst = false;
    time().post(start + Micros(50'000), [&] { hiddenDuringBurst = !c.button.visible(); });
    c.button.userClick();
    EXPECT_TRUE(hiddenDuringBurst);
    EXPECT_TRUE(c.button.visible());
    const auto times = sendTimes(c.frame, "127.0.0.7");
    ASSERT_EQ(times.size(), 10U);
    for (std::size_t i = 0; i < times.size(); ++i) {
      EXPECT_EQ(times[i] - start.count(), static_cast<long long>(i) * 100'000) << "frame " << i;
    }
    EXPECT_EQ((time().now() - start).count(), 1'000'000 + c.frozenAfterMs * 1000);
    EXPECT_EQ((time().frozenTotal() - frozenBefore).count(), c.frozenAfterMs * 1000);
    EXPECT_EQ(w().AFF_STATUS0.text(), "-----");
  }
}

TEST_F(ModeCommandsTest, GoBootDropsEveryConnectionAndMark) {
  RecordingTerminal a(platform.network, "127.0.0.2");
  RecordingTerminal b(platform.network, "127.0.0.3");
  allTerminals({"127.0.0.2", "127.0.0.3"});
  ASSERT_TRUE(until([&] { return w().LST_ALL.selected(0) && w().LST_ALL.selected(1); }, 2000));
  const int closedA = a.closedByProgram;
  const int closedB = b.closedByProgram;
  w().B_GO_BOOT.userClick();
  EXPECT_EQ(sendTimes(kGoBoot, "255.255.255.255").size(), 10U);
  EXPECT_FALSE(w().LST_ALL.selected(0));
  EXPECT_FALSE(w().LST_ALL.selected(1));
  EXPECT_EQ(w().INP_IP.backColor(), w().ROUGE.backColor());
  advanceMs(1);
  EXPECT_EQ(a.closedByProgram, closedA + 1);
  EXPECT_EQ(b.closedByProgram, closedB + 1);
  // The connection manager takes the terminals in again.
  EXPECT_TRUE(until([&] { return w().LST_ALL.selected(0) && w().LST_ALL.selected(1); }, 2000));
}

TEST_F(ModeCommandsTest, AFrameThatCannotBeSentIsShownAndTheBurstGoesOn) {
  w().INP_IP.userType("no terminal");
  w().B_GO_TERM.userClick();
  EXPECT_EQ(w().AFF_STATUS0.text(), "SEND ERROR") << "not covered by the neutral status";
  EXPECT_TRUE(w().B_GO_TERM.visible());

  // The box is mended during the burst: the remaining frames go out.
  time().post(time().now() + Micros(450'000), [&] { w().INP_IP.setText("127.0.0.7"); });
  w().B_MODE_PASSIVE.userClick();
  EXPECT_EQ(platform.network.sent.size(), 5U);
}

TEST_F(ModeCommandsTest, AnotherButtonDuringABurstRunsWholeInside) {
  w().INP_IP.userType("127.0.0.7");
  time().post(time().now() + Micros(250'000), [&] { w().B_MODE_ACTIVE.userClick(); });
  w().B_SHOW_MAC.userClick();
  std::string order;
  for (const auto& d : platform.network.sent) order += d.bytes == kShowMac ? 'm' : 'a';
  EXPECT_EQ(order, "mmm" + std::string(10, 'a') + "mmmmmmm");
}

}  // namespace
}  // namespace korven
