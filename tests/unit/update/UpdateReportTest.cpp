#include "tests/testkit/LoaderFixture.h"
#include "update/ReportFormat.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

class UpdateReportTest : public testkit::LoaderFixture {
 protected:
  // The report the last update left in the working folder.
  std::string written() {
    const std::string& path = loader->report().lastWritten();
    const std::string prefix = platform.fileSystem.folder + "/";
    const auto* entry = platform.fileSystem.find(path.substr(prefix.size()));
    return entry != nullptr ? entry->content : "<none at '" + path + "'>";
  }
  static std::string tableOf(const std::string& csv) {
    return csv.substr(csv.find("terminal,address"));
  }
};

TEST_F(UpdateReportTest, EveryTerminalOfABatchIsReportedWithWhatBecameOfIt) {
  RecordingTerminal ok(platform.network, "127.0.0.2");
  RecordingTerminal refusing(platform.network, "127.0.0.3");
  refusing.refuse = true;
  RecordingTerminal closing(platform.network, "127.0.0.4");
  closing.closeAfterChunks = 10;  // the boot request and block 1
  RecordingTerminal full(platform.network, "127.0.0.5");
  RecordingTerminal outside(platform.network, "127.0.0.6");
  allTerminals({"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6"});
  ASSERT_TRUE(until([&] { return w().LST_ALL.selected(4); }, 2000));
  op->setRange(0, 3);
  addImage("A.BIN", std::string(3, '\0') + std::string(100, 'x'));  // two blocks
  loader->report().expected = {"127.0.0.9"};                        // never answered
  time().post(time().now() + Micros(5'000'000), [&] { full.reply("\xFD"); });

  ASSERT_TRUE(updateAndWait());
  const std::string csv = written();
  EXPECT_EQ(csv.substr(0, csv.find("started,")),
            "image,A.BIN\r\nimage_bytes,100\r\nblocks,2\r\nchecksum," +
                std::to_string((568 + 100 * 'x') % 256) +
                "\r\nmode,all terminals\r\nrange,0-3\r\nblock_pace_ms,100\r\ngo_boot,on\r\n");
  EXPECT_NE(csv.find("\r\nversion,1.1W\r\n\r\n"), std::string::npos) << csv;
  // Nine boot bytes, two blocks, five marker bytes and the checksum.
  EXPECT_EQ(tableOf(csv),
            "terminal,address,in_range,connected,pieces_sent,pieces_total,first_failed_piece,"
            "reply,outcome\r\n"
            "0,127.0.0.2,yes,yes,17,17,,,streamed\r\n"
            "1,127.0.0.3,yes,no,0,17,1,,not connected\r\n"
            "2,127.0.0.4,yes,yes,10,17,11,,cut\r\n"
            "3,127.0.0.5,yes,yes,17,17,,FULL,streamed\r\n"
            "4,127.0.0.6,no,yes,0,17,,,outside range\r\n"
            ",127.0.0.9,yes,no,0,17,,,not connected\r\n");
  EXPECT_EQ(terminalsToRetry(csv),
            (std::vector<std::string>{"127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.9"}));
  EXPECT_FALSE(loader->report().last()->allClean());
}

TEST_F(UpdateReportTest, AStreamIsCutFromTheFirstPieceThatNeverGotThrough) {
  // Both stop reading after block 1 (piece 10) with room for 30 bytes more,
  // so block 2 (36 bytes) gets through in part; the second then hangs up
  // once piece 12 waits in its connection, which fails piece 13's send.
  RecordingTerminal stalled(platform.network, "127.0.0.2");
  RecordingTerminal hangingUp(platform.network, "127.0.0.3");
  for (RecordingTerminal* t : {&stalled, &hangingUp}) {
    t->stopReadingAfterChunks = 10;
    t->room = 30;
  }
  allTerminals({"127.0.0.2", "127.0.0.3"});
  ASSERT_TRUE(until([&] { return w().LST_ALL.selected(1); }, 2000));
  addImage("A.BIN", std::string(100, 'x'));
  w().B_UPDATE.userClick();
  ASSERT_TRUE(until([&] { return w().AFF_NO_ENV.text() == "6"; }));
  hangingUp.hangUp();
  ASSERT_TRUE(until([&] { return w().PROG_PRIN.enabled(); }));

  const UpdateRecord& update = *loader->report().last();
  for (const TerminalRecord& t : update.terminals) {
    EXPECT_EQ(t.piecesSent, 10) << t.address;
    EXPECT_EQ(t.firstFailedPiece, 11) << t.address;
    EXPECT_EQ(t.outcome(update.piecesTotal), "cut") << t.address;
  }
  EXPECT_EQ(w().LST_ALL_ERR.itemCount(), 2);
}

TEST_F(UpdateReportTest, TheSingleTerminalIsReportedAndNoEarlierReportIsLost) {
  RecordingTerminal terminal(platform.network, "127.0.0.2");
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  addImage("B_WG.BIN", "abc");
  // A report of the same image started in the same second is there already.
  platform.fileSystem.add("reports/2026-12-07_10-00-00_B_WG.BIN.csv", "earlier");
  ASSERT_TRUE(updateAndWait());
  const std::string& path = loader->report().lastWritten();
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "2026-12-07_10-00-00_B_WG.BIN_2.csv");
  EXPECT_EQ(platform.fileSystem.find("reports/2026-12-07_10-00-00_B_WG.BIN.csv")->content,
            "earlier");
  const std::string csv = written();
  EXPECT_NE(csv.find("mode,single terminal\r\nrange,\r\n"), std::string::npos) << csv;
  EXPECT_EQ(tableOf(csv).substr(tableOf(csv).find("\r\n") + 2),
            "0,127.0.0.2,yes,yes,8,8,,,streamed\r\n");
  EXPECT_TRUE(loader->report().last()->allClean());
}

}  // namespace
}  // namespace korven
