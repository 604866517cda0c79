#include "tests/testkit/LoaderFixture.h"
#include "update/ReplyHandling.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

TEST(ReplyRanking, TheHighestRankedByteAnywhereWins) {
  EXPECT_EQ(statusOfReply("\xFB\xFC"), "CHKERR");
  EXPECT_EQ(statusOfReply("\xFE\xFD"), "FULL");
  EXPECT_EQ(statusOfReply("\xFC xx \xFD"), "FULL");
  EXPECT_EQ(statusOfReply("ab\xFE"), "NEW");
  EXPECT_EQ(statusOfReply("\xFB"), "TERM");
  EXPECT_FALSE(statusOfReply("\x15"));
  EXPECT_FALSE(statusOfReply(""));
  EXPECT_FALSE(statusOfReply("no status"));
}

class ReplyHandlingTest : public testkit::LoaderFixture {};

TEST_F(ReplyHandlingTest, StatusShowsWhenNoUpdateRuns) {
  RecordingTerminal terminal(platform.network, "127.0.0.2");
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  terminal.reply("\xFE");
  advanceMs(1);
  EXPECT_EQ(w().AFF_STATUS0.text(), "NEW");
  terminal.reply("\x15");
  advanceMs(1);
  EXPECT_EQ(w().AFF_STATUS0.text(), "NEW") << "no known byte changes nothing";

  // During an update the reply stays unread; the end shows it before closing.
  addImage("A.BIN", "abc");
  w().B_UPDATE.userClick();
  advanceMs(5000);
  terminal.reply("\xFD");
  advanceMs(1);
  EXPECT_EQ(w().AFF_STATUS0.text(), "NEW");
  ASSERT_TRUE(until([&] { return w().PROG_PRIN.enabled(); }));
  EXPECT_EQ(w().AFF_STATUS0.text(), "FULL");
}

TEST_F(ReplyHandlingTest, AllTerminalsModeWritesTheElementsStatusLine) {
  RecordingTerminal terminal(platform.network, "127.0.0.3");
  for (const char* a : {"127.0.0.2", "127.0.0.3"}) {
    w().LST_ALL.addItem(a);
    w().LST_STATUS.addItem("-----");
  }
  w().TCPIP.create(1);
  w().TCPIP.element(1)->setRemoteHost("127.0.0.3");
  w().TCPIP.element(1)->setRemotePort(1024);
  w().SW_ALL.setValue(1);
  ASSERT_TRUE(until([&] { return w().LST_ALL.selected(1); }, 2000));
  int rewrites = 0;
  w().LST_STATUS.setObserver(
      [&](const ModelChange& change) { rewrites += change.aspect == Aspect::LineChanged ? 1 : 0; });
  terminal.reply("\xFB");
  advanceMs(1);
  EXPECT_EQ(w().LST_STATUS.line(1), "TERM");
  EXPECT_EQ(w().LST_STATUS.line(0), "-----");
  EXPECT_EQ(w().AFF_STATUS0.text(), "");
  terminal.reply("\xFB");
  advanceMs(1);
  EXPECT_EQ(rewrites, 1) << "a line already showing the status is not written again";
}

}  // namespace
}  // namespace korven
