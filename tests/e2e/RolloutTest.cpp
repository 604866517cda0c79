// korven-cli update in waves and as a dry run, against the simulator.
#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/cli/ReportReader.h"
#include "tests/e2e/CliRun.h"

namespace korven::e2e {
namespace {

using Rollout = CliFixture;
using simproc::SimProcess;

QString address(int terminal) {
  return QStringLiteral("127.0.0.%1").arg(terminal + 1);  // terminal 1 is 127.0.0.2
}

TEST_F(Rollout, ADryRunSendsNothingAndPlansEveryTerminal) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "10"}))) << sim.output().toStdString();
  const CliRun plan = cli(folder.path(), {"update", "NEW_WG.BIN", "--all", "--wait", "1",
                                          "--dry-run", "--waves", "1,50%", "--json"});
  EXPECT_EQ(plan.exit, 0) << plan.err.toStdString();
  EXPECT_TRUE(matchesSchema(plan.out, folder.path())) << plan.out.toStdString();
  const QJsonObject report = QJsonDocument::fromJson(plan.out.toLatin1()).object();
  EXPECT_EQ(report["dry_run"], true);
  EXPECT_EQ(report["waves"], 3);
  const QJsonArray terminals = report["terminals"].toArray();
  ASSERT_EQ(terminals.size(), 10);
  for (const QJsonValue& t : terminals) {
    EXPECT_EQ(t["outcome"], "planned");
    EXPECT_EQ(t["pieces_total"], 11) << "the boot request, 4 blocks, the end marker, the checksum";
  }
  EXPECT_EQ(terminals[0]["wave"], 1);
  EXPECT_EQ(terminals[5]["wave"], 2);
  EXPECT_EQ(terminals[6]["wave"], 3);
  EXPECT_FALSE(QDir(folder.path()).exists("reports")) << "a plan is written only where asked";
  // A fleet checks before its copy: the plan is made without the image.
  const CliRun before =
      cli(folder.path(), {"update", "later/NEXT_WG.BIN", "--terminals", "127.0.0.2,127.0.0.99",
                          "--wait", "1", "--dry-run", "--json"});
  EXPECT_EQ(before.exit, 1) << before.err.toStdString();
  EXPECT_TRUE(before.err.contains("later/NEXT_WG.BIN is not there")) << before.err.toStdString();
  const QJsonObject plan2 = QJsonDocument::fromJson(before.out.toLatin1()).object();
  EXPECT_TRUE(matchesSchema(before.out, folder.path())) << before.out.toStdString();
  EXPECT_EQ(plan2["image_sha256"], QJsonValue());
  EXPECT_EQ(plan2["terminals"][0]["outcome"], "planned");
  EXPECT_EQ(plan2["terminals"][1]["outcome"], "not connected");
  for (const QJsonValue& t : sim.report()) {
    EXPECT_EQ(t["bytes"].toInt(), 0);
    EXPECT_TRUE(t["commands"].toArray().isEmpty()) << "no mode frame";
  }
}

TEST_F(Rollout, AFailureStopsTheWavesAndARetryTakesWhatWasHeldBackOrFailed) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "10", "--fault", "3:refuse"})))
      << sim.output().toStdString();
  const CliRun rollout =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--all", "--wait", "1", "--waves", "2,3",
                          "--max-failed", "0", "--verdict-wait", "0", "--report", "waves.csv"});
  EXPECT_EQ(rollout.exit, 1) << rollout.err.toStdString();
  const auto rows = cli::csvRecords(readAll(QDir(folder.path()).filePath("waves.csv")));
  ASSERT_EQ(rows.size(), 11U);
  const char* outcomes[] = {"streamed",  "streamed",  "streamed",  "not connected", "streamed",
                            "held back", "held back", "held back", "held back",     "held back"};
  const char* waves[] = {"1", "1", "2", "2", "2", "3", "3", "3", "4", "4"};
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][8], outcomes[i - 1]) << i;
    EXPECT_EQ(rows[i][23], waves[i - 1]) << i;
    EXPECT_EQ(rows[i][24] + "/" + rows[i][25], "4/2") << "waves, stopped after";
  }
  const QJsonArray seen = sim.report();
  long long firstWaveClosed = 0;
  for (int t = 1; t <= 2; ++t) {
    firstWaveClosed = std::max(firstWaveClosed,
                               streamsOf(seen, address(t))[0].toObject()["closed_us"].toInteger());
  }
  for (int t = 3; t <= 5; ++t) {
    if (t == 4) continue;
    EXPECT_GT(streamsOf(seen, address(t))[0].toObject()["opened_us"].toInteger(), firstWaveClosed)
        << t;
  }
  for (int t = 6; t <= 10; ++t) EXPECT_EQ(simproc::terminalAt(seen, address(t))["bytes"], 0) << t;

  // The retry goes in the rollout's waves, 2 then 3, with the limit given again.
  const CliRun retry =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--retry", "waves.csv", "--max-failed", "1",
                          "--verdict-wait", "0", "--report", "retry.csv"});
  EXPECT_EQ(retry.exit, 1) << "the refusing one still refuses";
  const auto again = cli::csvRecords(readAll(QDir(folder.path()).filePath("retry.csv")));
  ASSERT_EQ(again.size(), 7U);
  for (std::size_t i = 1; i < again.size(); ++i) {
    EXPECT_EQ(again[i][23] + "/" + again[i][24] + " " + again[i][27] + " " + again[i][28],
              std::string(i <= 2   ? "1"
                          : i <= 5 ? "2"
                                   : "3") +
                  "/3 2,3 1")
        << i;
  }
  const QJsonArray after = sim.report();
  for (int t = 1; t <= 10; ++t) {
    EXPECT_EQ(streamsOf(after, address(t)).size(), t == 4 ? 0 : 1) << t;
  }
}

// A copy that lands while a rollout runs (a second playbook run, a copy
// still in progress) must not reach the later waves.
TEST_F(Rollout, ARunLeavesOneReportAndEveryWaveStreamsTheImageAsItWasRead) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "4", "--status-after", "127.0.0.2:NEW"})))
      << sim.output().toStdString();
  QProcess rollout;
  rollout.setWorkingDirectory(folder.path());
  rollout.start(KORVEN_CLI_PATH, {"update", "NEW_WG.BIN", "--all", "--wait", "1", "--waves", "2",
                                  "--verdict-wait", "1", "--json"});
  ASSERT_FALSE(sim.waitForLine({"STREAM 127.0.0.3"}, 60'000).isEmpty()) << "wave 1 ended";
  StdFiles().replaceFile(QDir(folder.path()).filePath("NEW_WG.BIN").toStdString(),
                         imageOf(9, 64, 7));
  ASSERT_TRUE(rollout.waitForFinished(120'000));
  EXPECT_EQ(rollout.exitCode(), 0) << rollout.readAllStandardError().toStdString();
  const QString out = QString::fromLatin1(rollout.readAllStandardOutput());
  EXPECT_TRUE(matchesSchema(out, folder.path())) << out.toStdString();

  const QStringList reports = QDir(folder.path() + "/reports").entryList(QDir::Files);
  ASSERT_EQ(reports.size(), 1) << reports.join(' ').toStdString() << " (no temporary file left)";
  const QJsonObject json = QJsonDocument::fromJson(out.toLatin1()).object();
  EXPECT_EQ(json["report_file"].toString(), folder.path() + "/reports/" + reports[0]);
  const auto rows = cli::csvRecords(readAll(folder.path() + "/reports/" + reports[0]));
  ASSERT_EQ(rows.size(), 5U);
  const QString sha =
      QCryptographicHash::hash(QByteArray::fromStdString(image), QCryptographicHash::Sha256)
          .toHex();
  for (std::size_t i = 1; i < rows.size(); ++i) {
    // The whole run's facts on every row; the verdict as heard.
    EXPECT_EQ(rows[i][8] + " " + rows[i][15] + " " + rows[i][23] + " " + rows[i][26],
              "streamed 0-3 " + std::to_string((i + 1) / 2) + " " + sha.toStdString())
        << i;
    EXPECT_EQ(rows[i][21], i == 1 ? "yes" : "unconfirmed") << i;
  }
  EXPECT_EQ(json["terminals"][0]["clean"], "yes");
  for (const QJsonValue& t : sim.report()) {
    EXPECT_EQ(verdictOf(t.toObject()).toStdString(), "ok ")
        << t["address"].toString().toStdString();
  }
}

TEST_F(Rollout, FailuresWithinTheLimitLetEveryWaveRun) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "4", "--fault", "0:refuse"})))
      << sim.output().toStdString();
  const CliRun rollout =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--all", "--wait", "1", "--waves", "2",
                          "--max-failed", "1", "--verdict-wait", "0"});
  EXPECT_EQ(rollout.exit, 1);
  EXPECT_TRUE(rollout.err.contains("wave 2 of 2:")) << rollout.err.toStdString();
  for (int t = 2; t <= 4; ++t) {
    EXPECT_EQ(verdictOf(simproc::terminalAt(sim.report(), address(t))).toStdString(), "ok ") << t;
  }
}

}  // namespace
}  // namespace korven::e2e
