// korven-cli update in waves and as a dry run, against the simulator.
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
  for (const QJsonValue& t : terminals) EXPECT_EQ(t["outcome"], "planned");
  EXPECT_EQ(terminals[0]["wave"], 1);
  EXPECT_EQ(terminals[5]["wave"], 2);
  EXPECT_EQ(terminals[6]["wave"], 3);
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

  const CliRun retry =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--retry", "waves.csv", "--verdict-wait", "0"});
  EXPECT_EQ(retry.exit, 1) << "the refusing one still refuses";
  const QJsonArray after = sim.report();
  for (int t = 1; t <= 10; ++t) {
    EXPECT_EQ(streamsOf(after, address(t)).size(), t == 4 ? 0 : 1) << t;
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
