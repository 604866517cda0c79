#include "tests/testkit/LoaderFixture.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

class UpdateStartTest : public testkit::LoaderFixture {
 protected:
  // Clicks UPDATE and expects only the message box, nothing else changed.
  void expectRefusal(const std::string& message) {
    w().LST_ALL_ERR.clear();
    w().LST_ALL_ERR.addItem("ERR ---> earlier");
    const std::size_t boxes = platform.dialogBoxes.shown.size();
    w().B_UPDATE.userClick();
    ASSERT_EQ(platform.dialogBoxes.shown.size(), boxes + 1);
    EXPECT_EQ(platform.dialogBoxes.shown.back().text, message);
    EXPECT_FALSE(platform.dialogBoxes.shown.back().exclamation);
    EXPECT_TRUE(w().PROG_PRIN.enabled());
    EXPECT_EQ(w().PROG_PRIN.backColor(), Color::systemButtonFace());
    EXPECT_EQ(w().TIM_SEND->interval(), 0);
    EXPECT_EQ(w().LST_ALL_ERR.itemCount(), 1);
    EXPECT_EQ(w().AFF_NO_ENV.text(), "");
    advanceMs(20'000);
    EXPECT_TRUE(terminal.received().empty());
  }

  RecordingTerminal terminal{platform.network, "127.0.0.2"};
};

TEST_F(UpdateStartTest, RefusedWhenTheTerminalIsNotReady) {
  addImage("A.BIN", "abc");
  terminal.refuse = true;
  w().INP_IP.userType("127.0.0.2");
  advanceMs(1000);
  expectRefusal("ERROR: Terminal not ready !");
}

TEST_F(UpdateStartTest, RefusedWhenTheImageCannotBeReadOrIsTooLarge) {
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  addImage("A.BIN", "abc");
  platform.fileSystem.remove("A.BIN");
  expectRefusal("ERROR: Cannot read the image file !");

  addImage("B.BIN", "abc");
  platform.fileSystem.find("B.BIN")->cannotOpen = true;
  expectRefusal("ERROR: Cannot read the image file !");

  addImage("C.BIN", std::string(63425, 'c'));
  expectRefusal("ERROR: Image too large !");

  // No data after the leading zeros: a boot request and no block would
  // strand the terminal in its boot loader.
  addImage("D.BIN", std::string(100, '\0'));
  expectRefusal("ERROR: Cannot read the image file !");
}

TEST_F(UpdateStartTest, RefusedWhenTheDelayIsOutsideTheTimersRange) {
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  addImage("A.BIN", "abc");
  for (const char* delay : {"-100", "-250", "65436", "1e9"}) {
    SCOPED_TRACE(delay);
    w().INP_DEL.setText(delay);
    expectRefusal("ERROR: Invalid delay !");
  }
  w().INP_DEL.setText("-99");  // a pace of 1 ms is still a pace
  w().B_UPDATE.userClick();
  EXPECT_EQ(w().TIM_SEND->interval(), 1);
}

TEST_F(UpdateStartTest, RefusedWhenTheSendTimerCannotRun) {
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  addImage("A.BIN", "abc");
  platform.scheduler.refuseTimers = true;
  w().TIM_SEND = platform.scheduler.createTimer();
  expectRefusal("ERROR: Cannot start the send timer !");
}

TEST_F(UpdateStartTest, ASecondUpdateReconnectsTheSingleTerminalItself) {
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  addImage("A.BIN", "abc");
  ASSERT_TRUE(updateAndWait());
  EXPECT_TRUE(green()) << "the mark stays although the end closed the connection";
  EXPECT_EQ(w().TCPIP.element(0)->state(), 0);
  const std::string first = terminal.received();
  ASSERT_TRUE(updateAndWait());
  EXPECT_EQ(terminal.received(), first + first);
  EXPECT_EQ(w().LST_ALL_ERR.itemCount(), 0);
}

}  // namespace
}  // namespace korven
