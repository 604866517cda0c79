#include "platform/History.h"
#include "tests/testkit/LoaderFixture.h"
#include "update/ReportFormat.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

// What the window's updates leave in the history, record by record.
struct KeptHistory : History {
  std::vector<std::pair<HistoryRun, std::vector<HistoryRow>>> records;
  bool record(const HistoryRun& run, const std::vector<HistoryRow>& rows) override {
    records.emplace_back(run, rows);
    return true;
  }
  bool knows(const std::string&, const std::string&) override { return false; }
  std::vector<HistoryEntry> latest() override { return {}; }
  std::vector<HistoryEntry> latestClean(bool) override { return {}; }
  std::vector<HistoryEntry> recordsOf(const std::vector<std::string>&) override { return {}; }
  std::string digestOf(const std::string&) override { return {}; }
  const std::string& lastError() const override { return error; }
  std::string error;

  // The last record's rows: address outcome clean, one per line.
  std::string lastRows() const {
    std::string text;
    for (const HistoryRow& row : records.back().second) {
      text += row.address + ' ' + row.outcome + ' ' + row.clean + '\n';
    }
    return text;
  }
};

class UpdateReportTest : public testkit::LoaderFixture {
 protected:
  // The report on disk now.
  std::string written() {
    const std::string& path = loader->report().lastWritten();
    const std::string prefix = platform.fileSystem.folder + "/";
    const auto* entry = platform.fileSystem.find(path.substr(prefix.size()));
    return entry != nullptr ? entry->content : "<none at '" + path + "'>";
  }
  // Each row's own columns, the update's facts cut off.
  static std::string ownColumns(const std::string& csv) {
    std::string rows;
    for (std::size_t at = csv.find("\r\n") + 2; at < csv.size(); at = csv.find("\r\n", at) + 2) {
      std::string row = csv.substr(at, csv.find("\r\n", at) - at);
      std::size_t comma = 0;
      for (int i = 0; i < 10; ++i) comma = row.find(',', comma) + 1;
      rows += row.substr(0, comma - 1) + "\n";
    }
    return rows;
  }
};

TEST_F(UpdateReportTest, EveryTerminalOfABatchIsReportedFromTheStartWithWhatBecameOfIt) {
  RecordingTerminal ok(platform.network, "127.0.0.2");
  RecordingTerminal refusing(platform.network, "127.0.0.3");
  refusing.refuse = true;
  RecordingTerminal closing(platform.network, "127.0.0.4");
  closing.closeAfterChunks = 10;  // the boot request and block 1
  RecordingTerminal verdict(platform.network, "127.0.0.5");
  verdict.sendOnConnect = "\xFC";  // a checksum error, said of an earlier update
  RecordingTerminal outside(platform.network, "127.0.0.6");
  allTerminals({"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5", "127.0.0.6"});
  ASSERT_TRUE(until([&] { return w().LST_ALL.selected(4); }, 2000));
  op->setRange(0, 3);
  addImage("A.BIN", std::string(3, '\0') + std::string(100, 'x'));  // two blocks
  loader->report().expected = {"127.0.0.9"};                        // never answered
  KeptHistory history;
  loader->report().setHistory(&history);
  // A status said during the stream is no verdict on it, whatever it says.
  time().post(time().now() + Micros(5'000'000), [&] { verdict.reply("\xFD"); });

  // Half-way, a crash would leave every stream of the range "interrupted".
  w().B_UPDATE.userClick();
  advanceMs(4000);
  EXPECT_EQ(ownColumns(written()),
            "0,127.0.0.2,yes,yes,9,17,,,interrupted,\n"
            "1,127.0.0.3,yes,no,0,17,1,,interrupted,\n"
            "2,127.0.0.4,yes,yes,9,17,,,interrupted,\n"
            "3,127.0.0.5,yes,yes,9,17,,,interrupted,CHKERR\n"
            "4,127.0.0.6,no,yes,0,17,,,outside range,\n"
            ",127.0.0.9,yes,no,0,17,,,interrupted,\n");
  // The history holds the run from its start as the report does, the
  // terminal outside the range aside.
  ASSERT_FALSE(history.records.empty());
  EXPECT_EQ(history.lastRows(),
            "127.0.0.2 interrupted no\n127.0.0.3 interrupted no\n"
            "127.0.0.4 interrupted no\n127.0.0.5 interrupted no\n"
            "127.0.0.9 interrupted no\n");

  // Its verdict comes once the checksum is in, before the connection closes.
  ASSERT_TRUE(until([&] { return verdict.received().size() == 9 + 100 + 5 + 1; }));
  verdict.reply("\xFE");
  ASSERT_TRUE(until([&] { return w().PROG_PRIN.enabled(); }));
  const std::string csv = written();
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")), kReportColumns);
  // Nine boot bytes, two blocks, five marker bytes and the checksum.
  EXPECT_EQ(ownColumns(csv),
            "0,127.0.0.2,yes,yes,17,17,,,streamed,\n"
            "1,127.0.0.3,yes,no,0,17,1,,not connected,\n"
            "2,127.0.0.4,yes,yes,10,17,11,,cut,\n"
            "3,127.0.0.5,yes,yes,17,17,,NEW,streamed,CHKERR\n"
            "4,127.0.0.6,no,yes,0,17,,,outside range,\n"
            ",127.0.0.9,yes,no,0,17,,,not connected,\n");
  const std::string facts = "A.BIN,100,2," + std::to_string((568 + 100 * 'x') % 256) +
                            ",all,0-3,100,on,2026-12-07 10:00:00,2026-12-07 10:00:";
  EXPECT_NE(csv.find("streamed,CHKERR," + facts), std::string::npos) << csv;
  // Then the clean column, the terminal's whole answer to the query, the
  // digest of the whole file and its one attempt; silence is no verdict.
  const std::string sha = ",88445b0ed45708186fa2969e3aa8bedbf241c2c4013de2ed41e079b97e037069,";
  EXPECT_NE(csv.find(",1.1W,yes,\"KORVEN,127.0.0.5,00-16-AB,IPT\",,," + sha + ",,no,,1\r\n"),
            std::string::npos)
      << csv;
  EXPECT_NE(csv.find(",1.1W,unconfirmed,\"KORVEN,127.0.0.2,"), std::string::npos) << csv;
  EXPECT_FALSE(loader->report().last()->allPass());
  // Its last record says what the report says; a piece sent is no change
  // worth a transaction, a verdict or an end is.
  EXPECT_EQ(history.lastRows(),
            "127.0.0.2 streamed unconfirmed\n127.0.0.3 not connected no\n"
            "127.0.0.4 cut no\n127.0.0.5 streamed yes\n127.0.0.9 not connected no\n");
  const HistoryRun& run = history.records.back().first;
  EXPECT_EQ(run.reportFile, loader->report().lastWritten());
  EXPECT_EQ(run.imageSha256, sha.substr(1, 64));
  EXPECT_FALSE(run.ended.empty());
  EXPECT_LE(history.records.size(), 6u);
}

TEST_F(UpdateReportTest, LinesComeFromTheConnectionsStreamedToNotFromTheList) {
  RecordingTerminal a(platform.network, "127.0.0.2");
  RecordingTerminal b(platform.network, "127.0.0.3");
  allTerminals({"127.0.0.2", "127.0.0.3"});
  ASSERT_TRUE(until([&] { return op->allConnected(); }, 2000));
  // The count's double click empties the list; the connections stay.
  w().AFF_ALL_NB.userDblClick();
  replyFrom("127.0.0.7");
  advanceMs(1);
  addImage("B_WG.BIN", "abc");
  ASSERT_TRUE(updateAndWait());
  EXPECT_EQ(ownColumns(written()),
            "0,127.0.0.2,yes,yes,8,8,,,streamed,\n"
            "1,127.0.0.3,yes,yes,8,8,,,streamed,\n");
  EXPECT_EQ(a.received(), b.received());
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
    EXPECT_EQ(update.outcome(t), "cut") << t.address;
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
  EXPECT_EQ(ownColumns(written()), "0,127.0.0.2,yes,yes,8,8,,,streamed,\n");
  EXPECT_NE(written().find(",single,,100,on,"), std::string::npos) << written();
  EXPECT_TRUE(loader->report().last()->allPass());
}

}  // namespace
}  // namespace korven
