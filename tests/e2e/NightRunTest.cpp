// korven-cli update --window, --retries and the plan, against the simulator,
// on windows cut from the wall clock as each test runs.
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTime>

#include "app/cli/ReportReader.h"
#include "tests/e2e/CliRun.h"

namespace korven::e2e {
namespace {

using NightRun = CliFixture;
using simproc::SimProcess;

constexpr std::size_t kOutcome = 8;
constexpr std::size_t kClean = 21;
constexpr std::size_t kHeldReason = 30;
constexpr std::size_t kAttempts = 31;

// The wall clock `seconds` from now, as --window takes it.
QString clockIn(int seconds) {
  return QTime::currentTime().addSecs(seconds).toString("HH:mm:ss");
}

// Seconds from `a` to `b`, two clock times of one night.
int secondsBetween(const QString& a, const QString& b) {
  const int d = QTime::fromString(a, "HH:mm:ss").secsTo(QTime::fromString(b, "HH:mm:ss"));
  return d < -43200 ? d + 86400 : d;
}

// The clock time after `lead` in `text`.
QString clockAfter(const QString& text, const QString& lead) {
  return QRegularExpression(QRegularExpression::escape(lead) + "([0-9:]{8})")
      .match(text)
      .captured(1);
}

std::vector<std::vector<std::string>> reportRows(const QString& folder, const char* name) {
  return cli::csvRecords(readAll(QDir(folder).filePath(name)));
}

TEST_F(NightRun, AWindowLetsTheFirstWaveRunAfterWaitingAndHoldsBackTheSecond) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(
      kSim, simWith({"--count", "4", "--status-after", "0:NEW", "--status-after", "1:NEW"})))
      << sim.output().toStdString();
  // A wave of this image takes 11.1 s and its verdict wait 1 s more: the
  // first fits in the 14 s of window, the second, after it, cannot.
  const QString start = clockIn(7);
  const QString end = QTime::fromString(start, "HH:mm:ss").addSecs(14).toString("HH:mm:ss");
  const QStringList night{"update",         "NEW_WG.BIN", "--all",          "--wait", "1",
                          "--waves",        "2",          "--verdict-wait", "1",      "--window",
                          start + "-" + end};
  const CliRun plan = cli(folder.path(), night + QStringList{"--dry-run", "--json"});
  EXPECT_EQ(plan.exit, 1) << plan.err.toStdString();
  EXPECT_TRUE(matchesSchema(plan.out, folder.path())) << plan.out.toStdString();
  const QJsonArray planned = QJsonDocument::fromJson(plan.out.toLatin1())["terminals"].toArray();
  ASSERT_EQ(planned.size(), 4);
  EXPECT_EQ(planned[1]["outcome"].toString() + planned[2]["outcome"].toString() + "/" +
                planned[2]["held_reason"].toString(),
            "plannedheld back/window");
  EXPECT_TRUE(
      plan.err.contains("plan: wave 2 of 2, 2 terminals: held back, it would end after "
                        "the window closes at " +
                        end))
      << plan.err.toStdString();
  const QString plannedEnd =
      clockAfter(plan.err, "plan: wave 1 of 2, 2 terminals: " + start + " to ");

  const CliRun run = cli(folder.path(), night + QStringList{"--report", "night.csv"});
  EXPECT_EQ(run.exit, 1) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("korven-cli: waiting for the window at " + start + " (in "))
      << run.err.toStdString();
  EXPECT_TRUE(
      run.err.contains("4 terminals in 2 waves: 2 streamed clean, 2 held back: the "
                       "window closes at " +
                       end))
      << run.err.toStdString();
  // The dry run's plan beside the run's own: both wait for the same start.
  const QString endsAt = clockAfter(run.err, "wave 1 of 2: 2 terminals, ends at ");
  ASSERT_FALSE(plannedEnd.isEmpty() || endsAt.isEmpty()) << run.err.toStdString();
  EXPECT_LE(std::abs(secondsBetween(plannedEnd, endsAt)), 1) << plannedEnd.toStdString();

  const auto rows = reportRows(folder.path(), "night.csv");
  ASSERT_EQ(rows.size(), 5U);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][kOutcome] + "/" + rows[i][kHeldReason] + "/" + rows[i][kAttempts],
              i <= 2 ? "streamed//1" : "held back/window/0")
        << i;
  }
  EXPECT_EQ(simproc::terminalAt(sim.report(), "127.0.0.4")["bytes"], 0);
}

TEST_F(NightRun, OutsideItsWindowARunEndsAtOnceOrWaitsUntilStopped) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "2"}))) << sim.output().toStdString();
  // Closed a minute ago: the next window is a day away.
  const QString window = clockIn(-120) + "-" + clockIn(-60);
  const QStringList closed = QStringList{"update", "NEW_WG.BIN", "--all", "--wait", "1", "--window"}
                             << window;
  const CliRun never =
      cli(folder.path(), closed + QStringList{"--window-now-or-never", "--report", "never.csv"});
  EXPECT_EQ(never.exit, 1) << never.err.toStdString();
  EXPECT_TRUE(never.err.contains("--window-now-or-never given: nothing streamed") &&
              never.err.contains("2 terminals: 2 held back: the window closes at "))
      << never.err.toStdString();

  QProcess waiting;
  waiting.setWorkingDirectory(folder.path());
  waiting.setReadChannel(QProcess::StandardError);
  waiting.start(KORVEN_CLI_PATH, closed + QStringList{"--report", "waited.csv"});
  QString err;
  while (!err.contains("waiting for the window") && waiting.waitForReadyRead(20'000)) {
    err += QString::fromLatin1(waiting.readAllStandardError());
  }
  ASSERT_TRUE(err.contains("waiting for the window at ")) << err.toStdString();
  waiting.terminate();
  ASSERT_TRUE(waiting.waitForFinished(5'000)) << "a signal ends the wait at once";
  EXPECT_EQ(waiting.exitStatus(), QProcess::CrashExit) << "it dies of the signal";
  err += QString::fromLatin1(waiting.readAllStandardError());
  EXPECT_TRUE(err.contains("2 terminals: 2 held back: the window closes at ")) << err.toStdString();

  for (const char* report : {"never.csv", "waited.csv"}) {
    const auto rows = reportRows(folder.path(), report);
    ASSERT_EQ(rows.size(), 3U) << report;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i][kOutcome] + "/" + rows[i][kHeldReason], "held back/window") << report;
    }
  }
  for (const QJsonValue& t : sim.report()) EXPECT_EQ(t["bytes"], 0);
}

TEST_F(NightRun, RetriesHealATerminalCutOnceAndGiveUpOnOneThatAlwaysCuts) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(
      kSim, simWith({"--count", "3", "--fault", "1:close-once-after:1", "--fault",
                     "2:close-after:1", "--status-after", "0:NEW", "--status-after", "1:NEW"})))
      << sim.output().toStdString();
  const CliRun run =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--all", "--wait", "1", "--retries", "2",
                          "--retry-pause", "0", "--verdict-wait", "1", "--report", "r.csv"});
  EXPECT_EQ(run.exit, 1) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains("retry 2 of 2: 1 terminal, ends at ")) << run.err.toStdString();
  const auto rows = reportRows(folder.path(), "r.csv");
  ASSERT_EQ(rows.size(), 4U);
  const char* expected[] = {"streamed yes 1", "streamed yes 2", "cut no 3"};
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i][kOutcome] + " " + rows[i][kClean] + " " + rows[i][kAttempts], expected[i - 1])
        << i;
    EXPECT_EQ(rows[i][0], std::to_string(i - 1)) << "numbered as first listed";
  }
  const QJsonArray seen = sim.report();
  for (int t = 0; t < 3; ++t) {
    EXPECT_EQ(streamsOf(seen, QStringLiteral("127.0.0.%1").arg(t + 2)).size(), t + 1) << t;
  }
}

TEST_F(NightRun, ARunOfThreeBlocksEndsWithinASecondOfItsPrediction) {
  const std::string three = imageOf(3, 64, 5);
  StdFiles().replaceFile(QDir(folder.path()).filePath("THREE_WG.BIN").toStdString(), three);
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, kTolerance + QStringList{"--image", expectedImage(three), "--boot",
                                                       "whole", "--count", "1"}))
      << sim.output().toStdString();
  const CliRun run = cli(folder.path(), {"update", "THREE_WG.BIN", "--terminal", "127.0.0.2",
                                         "--verdict-wait", "0", "--json"});
  EXPECT_EQ(run.exit, 0) << run.err.toStdString();
  const QString planned = clockAfter(run.err, "plan: 1 terminal: ");
  const QString end = clockAfter(run.err, "plan: 1 terminal: " + planned + " to ");
  const QString ended = QJsonDocument::fromJson(run.out.toLatin1())["ended"].toString().mid(11, 8);
  ASSERT_FALSE(end.isEmpty()) << run.err.toStdString();
  // Its click and its end tick are 11.0 s apart by the timetable.
  EXPECT_LE(std::abs(secondsBetween(end, ended)), 1) << ended.toStdString();
}

}  // namespace
}  // namespace korven::e2e
