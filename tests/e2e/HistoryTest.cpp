// korven-cli's memory of what each terminal took, against the simulator.
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/e2e/CliRun.h"

namespace korven::e2e {
namespace {

using History = CliFixture;
using simproc::SimProcess;

QJsonObject json(const CliRun& run) {
  return QJsonDocument::fromJson(run.out.toLatin1()).object();
}

std::map<QString, QString> field(const QJsonArray& entries, const char* name) {
  std::map<QString, QString> values;
  for (const QJsonValue& e : entries) values[e["address"].toString()] = e[name].toString();
  return values;
}

// A terminal is skipped only when its latest record says it runs this very
// image: not one that was cut, not one that said nothing when a verdict is
// required, and none once the image is another.
TEST_F(History, SkipCurrentStreamsExactlyWhatIsNotCurrent) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "3", "--status-after", "127.0.0.2:NEW", "--fault",
                                       "127.0.0.4:close-after:2"})))
      << sim.output().toStdString();
  const QStringList all{"--all", "--wait", "1", "--verdict-wait", "1"};
  EXPECT_EQ(cli(folder.path(), QStringList{"update", "NEW_WG.BIN"} + all).exit, 1);
  const CliRun known = cli(folder.path(), {"history", "--json"});
  EXPECT_EQ(field(json(known)["terminals"].toArray(), "clean"),
            (std::map<QString, QString>{
                {"127.0.0.2", "yes"}, {"127.0.0.3", "unconfirmed"}, {"127.0.0.4", "no"}}))
      << known.out.toStdString();

  sim.command("fault 127.0.0.4 none", {"FAULT"});
  const CliRun skip =
      cli(folder.path(),
          QStringList{"update", "NEW_WG.BIN", "--skip-current", "--require-verdict"} + all);
  EXPECT_TRUE(skip.err.contains("1 already current")) << skip.err.toStdString();
  const CliRun again =
      cli(folder.path(), QStringList{"update", "NEW_WG.BIN", "--skip-current", "--json"} + all);
  EXPECT_EQ(again.exit, 0) << again.err.toStdString();
  EXPECT_TRUE(again.err.contains("3 terminals: 3 already current")) << again.err.toStdString();
  EXPECT_TRUE(matchesSchema(again.out, folder.path())) << again.out.toStdString();
  // Skipped, each keeps the verdict it had: silence is never made a NEW.
  EXPECT_EQ(field(json(again)["terminals"].toArray(), "clean"),
            (std::map<QString, QString>{
                {"127.0.0.2", "yes"}, {"127.0.0.3", "unconfirmed"}, {"127.0.0.4", "unconfirmed"}}));
  const QJsonArray seen = sim.report();
  EXPECT_EQ(streamsOf(seen, "127.0.0.2").size(), 1) << "clean, so skipped twice";
  EXPECT_EQ(streamsOf(seen, "127.0.0.3").size(), 2) << "silent: streamed when a verdict is due";
  EXPECT_EQ(streamsOf(seen, "127.0.0.4").size(), 2) << "cut: streamed again";

  StdFiles().replaceFile(QDir(folder.path()).filePath("NEXT_WG.BIN").toStdString(),
                         imageOf(5, 9, 3));
  const CliRun pending =
      cli(folder.path(), {"history", "--pending", "--image", "NEXT_WG.BIN", "--json"});
  EXPECT_EQ(json(pending)["pending"].toArray().size(), 3) << pending.out.toStdString();
  EXPECT_TRUE(matchesSchema(pending.out, folder.path(), KORVEN_HISTORY_SCHEMA))
      << pending.out.toStdString();
  const CliRun dry = cli(folder.path(), QStringList{"update", "NEW_WG.BIN", "--skip-current",
                                                    "--require-verdict", "--dry-run", "--json"} +
                                            all);
  EXPECT_EQ(
      field(json(dry)["terminals"].toArray(), "outcome"),
      (std::map<QString, QString>{
          {"127.0.0.2", "already current"}, {"127.0.0.3", "planned"}, {"127.0.0.4", "planned"}}));
}

// Reports written before the history existed are recorded once each.
TEST_F(History, AReportImportedTwiceIsOneRun) {
  const QString report = QDir(folder.path()).filePath("old.csv");
  StdFiles().replaceFile(
      report.toStdString(),
      "terminal,address,in_range,connected,pieces_sent,pieces_total,first_failed_piece,reply,"
      "outcome,reply_before,image,image_bytes,blocks,checksum,target,range,block_pace_ms,go_boot,"
      "started,ended,version,clean,discovery_reply\r\n"
      "0,10.0.0.7,yes,yes,11,11,,NEW,streamed,,FW_WG.BIN,233,4,55,all,0-1,100,on,"
      "2026-11-30 22:00:00,2026-11-30 22:00:12,1.1W,yes,\r\n"
      "1,10.0.0.8,yes,yes,11,11,,,streamed,,FW_WG.BIN,233,4,55,all,0-1,100,on,"
      "2026-11-30 22:00:00,2026-11-30 22:00:12,1.1W,yes,\r\n");
  const CliRun first = cli(folder.path(), {"history", "--import", "old.csv", "old.csv"});
  EXPECT_EQ(first.exit, 0) << first.err.toStdString();
  EXPECT_TRUE(first.err.contains("old.csv: in the history already")) << first.err.toStdString();
  const CliRun records = cli(folder.path(), {"history", "10.0.0.7", "10.0.0.8", "--json"});
  const QJsonArray entries = json(records)["records"].toArray();
  ASSERT_EQ(entries.size(), 2) << records.out.toStdString();
  EXPECT_TRUE(matchesSchema(records.out, folder.path(), KORVEN_HISTORY_SCHEMA));
  // Silence was "clean" to that report; it is "unconfirmed" now.
  EXPECT_EQ(field(entries, "clean"),
            (std::map<QString, QString>{{"10.0.0.7", "yes"}, {"10.0.0.8", "unconfirmed"}}));
  const CliRun lines = cli(folder.path(), {"history"});
  EXPECT_EQ(lines.out.toStdString(),
            "10.0.0.7 FW_WG.BIN - streamed yes 2026-11-30 22:00:00\n"
            "10.0.0.8 FW_WG.BIN - streamed unconfirmed 2026-11-30 22:00:00\n");
}

}  // namespace
}  // namespace korven::e2e
