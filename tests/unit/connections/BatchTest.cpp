#include "tests/testkit/LoaderFixture.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

class BatchTest : public testkit::LoaderFixture {
 protected:
  std::vector<std::string> hosts() {
    std::vector<std::string> result;
    for (int i = 0; i < w().TCPIP.count(); ++i) {
      EXPECT_EQ(w().TCPIP.element(i)->remotePort(), 1024);
      result.push_back(w().TCPIP.element(i)->remoteHost());
    }
    return result;
  }
  bool allMarked() { return w().AFF_ALL_NB.backColor() == w().VERT.backColor(); }
};

TEST_F(BatchTest, SwitchingOnGivesOneElementPerTerminalAndTheWholeRange) {
  RecordingTerminal a(platform.network, "127.0.0.2");
  RecordingTerminal b(platform.network, "127.0.0.3");
  RecordingTerminal c(platform.network, "127.0.0.4");
  allTerminals({"127.0.0.2", "127.0.0.3", "127.0.0.4"});
  EXPECT_EQ(hosts(), (std::vector<std::string>{"127.0.0.2", "127.0.0.3", "127.0.0.4"}));
  for (ScrollBar* bar : w().SCROLL_XTOY) {
    EXPECT_EQ(bar->min(), 0);
    EXPECT_EQ(bar->max(), 3);
    EXPECT_TRUE(bar->enabled());
  }
  EXPECT_EQ(w().AFF_DE.text(), "0");
  EXPECT_EQ(w().AFF_A.text(), "3");
  EXPECT_FALSE(w().INP_IP.enabled());
  EXPECT_EQ(w().INP_IP.backColor(), w().BLANC.backColor());
  EXPECT_TRUE(w().LST_ALL.enabled());
  EXPECT_TRUE(w().AFF_ALL_NB.enabled());
  EXPECT_EQ(w().UDP_TX->remoteHost(), "255.255.255.255");
  EXPECT_EQ(w().AFF_ALL_NB.backColor(), w().ROUGE.backColor()) << "red until every line connects";
  ASSERT_TRUE(until([&] { return allMarked(); }, 2000));

  addImage("A.BIN", "abc");
  ASSERT_TRUE(updateAndWait());
  for (RecordingTerminal* t : {&a, &b, &c}) EXPECT_EQ(t->received().size(), 9U + 3 + 5 + 1);
  EXPECT_EQ(w().LST_ALL_ERR.itemCount(), 0);
}

TEST_F(BatchTest, ASecondBatchNeedsTheModeSwitchedAgain) {
  RecordingTerminal a(platform.network, "127.0.0.2");
  RecordingTerminal b(platform.network, "127.0.0.3");
  allTerminals({"127.0.0.2", "127.0.0.3"});
  ASSERT_TRUE(until([&] { return allMarked(); }, 2000));
  addImage("A.BIN", "abc");
  ASSERT_TRUE(updateAndWait());
  EXPECT_TRUE(allMarked()) << "the end closed every element but left the marks";
  ASSERT_TRUE(updateAndWait());
  EXPECT_EQ(w().LST_ALL_ERR.itemCount(), 2) << "so a second batch finds them closed";

  // A mode switch takes the terminals in again.
  w().SW_ALL.userClick();
  w().SW_ALL.userClick();
  ASSERT_TRUE(until([&] { return allMarked(); }, 2000));
  w().SCROLL_XTOY_0.userSetValue(1);
  w().SCROLL_XTOY_1.userSetValue(1);
  EXPECT_EQ(w().AFF_DE.text(), "1");
  const std::size_t before = a.received().size();
  ASSERT_TRUE(updateAndWait());
  EXPECT_EQ(a.received().size(), before) << "outside the range";
  EXPECT_EQ(b.received().size(), 2 * (9U + 3 + 5 + 1));
}

TEST_F(BatchTest, EachSwitchRebuildsTheConnectionsFromTheList) {
  RecordingTerminal a(platform.network, "127.0.0.2");
  RecordingTerminal b(platform.network, "127.0.0.3");
  allTerminals({"127.0.0.2", "127.0.0.3"});
  ASSERT_TRUE(until([&] { return allMarked(); }, 2000));
  w().LST_STATUS.setLine(1, "NEW");

  // A terminal found after switching on gets no element and keeps the count red.
  replyFrom("127.0.0.4");
  advanceMs(1000);
  EXPECT_EQ(w().TCPIP.count(), 2);
  EXPECT_FALSE(allMarked());

  w().SW_ALL.userClick();  // off
  EXPECT_EQ(w().TCPIP.count(), 1);
  EXPECT_FALSE(w().LST_ALL.selected(0) || w().LST_ALL.selected(1));
  EXPECT_EQ(w().LST_STATUS.line(1), "-----");
  EXPECT_FALSE(w().LST_ALL.enabled());
  EXPECT_FALSE(w().SCROLL_XTOY_0.enabled());
  EXPECT_TRUE(w().INP_IP.enabled());
  // Element 0 follows the address box again, trimmed; frames too, as typed.
  EXPECT_EQ(w().INP_IP.text(), "127.0.0.4");
  EXPECT_EQ(hosts(), std::vector<std::string>{"127.0.0.4"});
  EXPECT_EQ(w().UDP_TX->remoteHost(), "127.0.0.4");
  EXPECT_EQ(w().INP_IP.backColor(), w().ROUGE.backColor());
  RecordingTerminal late(platform.network, "127.0.0.4");
  EXPECT_TRUE(until([&] { return green(); }, 2000));

  w().SW_ALL.userClick();  // on again: the late terminal is in
  EXPECT_EQ(hosts(), (std::vector<std::string>{"127.0.0.2", "127.0.0.3", "127.0.0.4"}));
  EXPECT_FALSE(w().LST_ALL.selected(0) || w().LST_ALL.selected(1) || w().LST_ALL.selected(2));
  EXPECT_TRUE(until([&] { return allMarked(); }, 2000));

  // Emptied lists: only element 0, aimed nowhere; the range keeps the old count.
  w().AFF_ALL_NB.userDblClick();
  w().SW_ALL.userClick();
  w().SW_ALL.userClick();
  EXPECT_EQ(hosts(), std::vector<std::string>{""});
  EXPECT_EQ(w().SCROLL_XTOY_1.max(), 3);
  EXPECT_EQ(w().AFF_ALL_NB.backColor(), w().VERT.backColor());
}

TEST_F(BatchTest, MoreTerminalsThanTheFileLimitAllowsIsSaid) {
  platform.openFiles = 66;
  allTerminals({"10.0.0.1", "10.0.0.2", "10.0.0.3"});
  ASSERT_EQ(platform.dialogBoxes.shown.size(), 1U);
  EXPECT_EQ(platform.dialogBoxes.shown[0].text,
            "ERROR: Only 2 of the 3 terminals can be connected (open-file limit) !");
  EXPECT_EQ(w().TCPIP.count(), 3) << "the others are still worked with";
  platform.openFiles = 67;
  w().SW_ALL.userClick();
  w().SW_ALL.userClick();
  EXPECT_EQ(platform.dialogBoxes.shown.size(), 1U);
}

}  // namespace
}  // namespace korven
