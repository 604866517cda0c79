// korven-cli against the simulator over real sockets, as a script runs it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "app/SimProcess.h"
#include "app/cli/ReportReader.h"
#include "platform/system/StdFiles.h"
#include "tests/e2e/CliRun.h"
#include "tests/e2e/ProgramUnderTest.h"

namespace korven::e2e {
namespace {

using simproc::SimProcess;
using simproc::terminalAt;

using Cli = CliFixture;

TEST_F(Cli, ABatchReportsEveryTerminalAndARetryTakesOnlyTheFailedOnes) {
  SimProcess sim;
  // Ten terminals: the third refuses, the fifth hangs up after block 2, the
  // seventh answers FULL.
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "10", "--fault", "2:refuse", "--fault",
                                       "4:close-after:2", "--status", "6:FULL"})))
      << sim.output().toStdString();
  const CliRun discover = cli(folder.path(), {"discover", "--wait", "1"});
  EXPECT_EQ(discover.exit, 0) << discover.err.toStdString();
  EXPECT_EQ(discover.out.count('\n'), 10) << discover.out.toStdString();

  const CliRun batch = cli(folder.path(), {"update", "NEW_WG.BIN", "--all", "--report", "first.csv",
                                           "--verdict-wait", "2", "--json"});
  EXPECT_EQ(batch.exit, 1) << batch.err.toStdString();
  // What a log shows: the steps, the cut and the refusing terminal failed, the tally.
  for (const char* line :
       {"^GO TO THE BOOT \\d%, 0:\\d\\d left: 9 connected, 0 streamed, 0 failed$",
        "^PROGRAM THE QVL 100%, 0:00 left: 9 connected, 8 streamed, 2 failed$",
        "^10 terminals: 7 streamed, no verdict, 1 streamed but replied FULL, 1 cut at piece \\d+, "
        "1 not connected; report: first.csv$"}) {
    const QRegularExpression pattern(line, QRegularExpression::MultilineOption);
    EXPECT_TRUE(batch.err.contains(pattern)) << line << " in\n" << batch.err.toStdString();
  }
  EXPECT_FALSE(batch.err.contains("Green = OK")) << "the window's notice only with --verbose";
  EXPECT_TRUE(matchesSchema(batch.out, folder.path())) << batch.out.toStdString();
  const std::string report = readAll(QDir(folder.path()).filePath("first.csv"));
  for (const char* line : {"127.0.0.4,yes,no,0,", "127.0.0.6,yes,yes,3,", ",FULL,streamed,FULL,"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line << " in\n" << report;
  }
  EXPECT_EQ(cli::terminalsToRetry(report),
            std::optional(std::vector<std::string>{"127.0.0.4", "127.0.0.6", "127.0.0.8"}));
  for (const QJsonValue& t : sim.report()) {
    const QString address = t["address"].toString();
    if (address == "127.0.0.4" || address == "127.0.0.6") continue;
    EXPECT_EQ(verdictOf(t.toObject()).toStdString(), "ok ") << address.toStdString();
  }

  sim.command("forget", {"FORGOTTEN"});
  const CliRun retry = cli(folder.path(), {"update", "NEW_WG.BIN", "--retry", "first.csv",
                                           "--verdict-wait", "0", "--quiet"});
  EXPECT_EQ(retry.exit, 1) << retry.err.toStdString();
  EXPECT_TRUE(retry.err.startsWith("3 terminals: ") && retry.err.count('\n') == 1 &&
              retry.err.contains("; report: reports/"))
      << "only the tally:\n"
      << retry.err.toStdString();
  int streams = 0;
  for (const QJsonValue& t : sim.report()) streams += t["streams"].toArray().size();
  EXPECT_EQ(streams, 2) << "the hanging-up and the full one; the refusing one took none";
  EXPECT_EQ(streamsOf(sim.report(), "127.0.0.2").size(), 0);
}

TEST_F(Cli, OnlyTheTerminalsGivenAreStreamedAndTheirReplyIsThisUpdates) {
  SimProcess sim;
  // Answers to the start-up query come 150 ms apart, past the moment the
  // address is typed; the first terminal accepts only after a second; the
  // third never answers the query but announces itself, unasked, whenever
  // another terminal accepts; the second says CHKERR of an earlier update
  // until it has taken a sound stream, NEW after it.
  ASSERT_TRUE(sim.start(
      kSim, simWith({"--count", "5", "--reply-spacing", "150000", "--fault", "0:slow-accept:1000",
                     "--fault", "2:silent", "--fault", "2:announce-on-connect", "--status",
                     "1:CHKERR", "--status-after", "1:NEW", "--status-after", "3:NEW"})))
      << sim.output().toStdString();
  // Silence after the stream is no verdict; asked for one, it is a failure.
  const CliRun single =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--terminal", "127.0.0.2", "--verdict-wait", "0",
                          "--verbose", "--require-verdict"});
  EXPECT_EQ(single.exit, 1) << single.err.toStdString();
  EXPECT_TRUE(single.err.contains("\n1 terminal: 1 streamed, no verdict; report: reports/"))
      << single.err.toStdString();
  EXPECT_TRUE(
      single.err.contains("\n  3. IP adress back color description: Green = OK and RED = "
                          "ERROR\n"))
      << single.err.toStdString();
  const CliRun given =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--terminals", "127.0.0.3,127.0.0.5", "--json"});
  EXPECT_EQ(given.exit, 0) << given.err.toStdString();
  const QJsonArray terminals = QJsonDocument::fromJson(given.out.toLatin1())["terminals"].toArray();
  ASSERT_EQ(terminals.size(), 2) << given.out.toStdString();
  const QJsonObject second =
      terminals[0]["address"] == "127.0.0.3" ? terminals[0].toObject() : terminals[1].toObject();
  EXPECT_EQ(second["reply_before"], "CHKERR");
  EXPECT_EQ(second["reply"], "NEW");

  const CliRun broadcast = cli(folder.path(), {"update", "NEW_WG.BIN", "--terminals",
                                               "127.0.0.2,255.255.255.255", "--json"});
  EXPECT_EQ(broadcast.exit, 2);
  EXPECT_TRUE(
      broadcast.out.startsWith("{\"error\":\"--terminals: '255.255.255.255': the "
                               "broadcast address"))
      << broadcast.out.toStdString();
  const QJsonArray seen = sim.report();
  for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.5"}) {
    EXPECT_EQ(streamsOf(seen, address).size(), 1) << address;
    EXPECT_EQ(verdictOf(terminalAt(seen, address)).toStdString(), "ok ") << address;
  }
  EXPECT_EQ(terminalAt(seen, "127.0.0.4")["bytes"].toInt(), 0);
  EXPECT_EQ(terminalAt(seen, "127.0.0.6")["bytes"].toInt(), 0);
  EXPECT_EQ(terminalAt(seen, "127.0.0.2")["queries"].toInt(), 1) << "only its own ask";
}

TEST_F(Cli, AReportKilledMidBatchIsWholeAndItsRetryTakesExactlyTheUnfinished) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "10"}))) << sim.output().toStdString();
  QProcess killed;
  killed.setWorkingDirectory(folder.path());
  killed.start(KORVEN_CLI_PATH, {"update", "NEW_WG.BIN", "--all", "--to", "4", "--wait", "1",
                                 "--report", "night.csv"});
  // Killed in the middle of the boot step: every stream of the range begun.
  ASSERT_FALSE(sim.waitForLine({"ACCEPTED 127.0.0.6"}, 10'000).isEmpty());
  ASSERT_FALSE(killed.waitForFinished(4000));
  killed.kill();
  killed.waitForFinished(2000);
  const std::string report = readAll(QDir(folder.path()).filePath("night.csv"));
  EXPECT_EQ(QDir(folder.path()).entryList({"night.csv*"}, QDir::Files), QStringList{"night.csv"})
      << "no temporary file outlives the run";
  // The history kept the run from its start: its terminals read interrupted.
  const CliRun kept = cli(folder.path(), {"history"});
  EXPECT_EQ(kept.out.count(" interrupted no "), 5) << kept.out.toStdString();
  const auto records = cli::csvRecords(report);
  ASSERT_EQ(records.size(), 11U) << report;
  for (std::size_t i = 1; i < records.size(); ++i) {
    EXPECT_EQ(records[i][8], i <= 5 ? "interrupted" : "outside range") << report;
  }
  const CliRun retry =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--retry", "night.csv", "--verdict-wait", "0"});
  EXPECT_EQ(retry.exit, 0) << retry.err.toStdString();
  const QJsonArray seen = sim.report();
  for (int i = 2; i <= 11; ++i) {
    const std::string address = "127.0.0." + std::to_string(i);
    const QJsonArray streams = terminalAt(seen, address.c_str())["streams"].toArray();
    ASSERT_EQ(streams.size(), i <= 6 ? 2 : 0) << address;
    if (i <= 6) {
      EXPECT_EQ(streams[1]["verdict"], "ok") << address;
    }
  }
}

TEST_F(Cli, WhatCannotBeRightIsRefusedBeforeAnythingIsSent) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "3"}))) << sim.output().toStdString();
  StdFiles files;
  files.replaceFile(QDir(folder.path()).filePath("EMPTY.BIN").toStdString(), "");
  files.replaceFile(QDir(folder.path()).filePath("ZEROS.BIN").toStdString(), std::string(99, '\0'));
  const QStringList one{"--terminal", "127.0.0.2"};
  const std::pair<QStringList, const char*> cases[] = {
      {QStringList{"update", "EMPTY.BIN"} + one,
       "(the window says \"ERROR: Cannot read the image file !\")"},
      {QStringList{"update", "ZEROS.BIN"} + one, "no data after its leading zero bytes"},
      {QStringList{"update", "NEW_WG.BIN", "--delay", "-5"} + one,
       "--delay '-5': not whole milliseconds"},
      {{"update", "NEW_WG.BIN", "--all", "--from", "3", "--to", "1"},
       "the range holds no terminal"},
      {{"update", "NEW_WG.BIN", "--all", "--from", "3", "--wait", "1"}, "no terminal in the range"},
      {{"update", "NEW_WG.BIN", "--retry", "NEW_WG.BIN"}, "is no report of an update"},
      {{"update", "NEW_WG.BIN"}, "which terminals?"},
      {QStringList{"update", "gone/NEW_WG.BIN"} + one, "gone/NEW_WG.BIN: no such folder"},
      {{"update", "NEW_WG.BIN", "--terminal", "0.0.0.0"}, "an unspecified address"},
      {{"update", "NEW_WG.BIN", "--terminal", "127.0.0.010"}, "write it as 127.0.0.10: a leading"},
      {{"mode", "go-boot", "--terminals", "127.0.0.2,240.0.0.1"}, "a reserved (class E) address"},
      {{"mode", "go-boot", "--terminal", "255.255.255.255"}, "the broadcast address"},
      {{"update", "NEW_WG.BIN", "--treminal", "127.0.0.2"}, "did you mean --terminal?"},
      {{"mode", "go-bot", "--al"}, "did you mean --all?"},
      {{"mode", "go-bot", "--all"}, "did you mean go-boot?"},
      {{"mode", "go-boot", "--all", "--interface", "nosuch0"}, "nosuch0: no such interface"},
      {{"discover", "--interface", "lo"}, "lo: the interface cannot broadcast"},
      {QStringList{"update", "NEW_WG.BIN", "--sha256", QString(64, 'a')} + one,
       "NEW_WG.BIN: its SHA-256 is "},
      {QStringList{"update", "NEW_WG.BIN", "--report", "/no/such/folder/x.csv"} + one,
       "cannot write the report /no/such/folder/x.csv"},
  };
  for (const auto& [arguments, why] : cases) {
    const CliRun run = cli(folder.path(), arguments);
    EXPECT_EQ(run.exit, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(run.err.contains(why)) << run.err.toStdString();
    // One line: what is wrong, then what to do; once the run's report was
    // made, the tally names it.
    const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines[0].startsWith("korven-cli: ") && lines[0].contains("; ") &&
                (lines.size() == 1 || (lines.size() == 2 && lines[1].contains("; report: "))))
        << run.err.toStdString();
  }
  // No stream without its record: a working folder where reports/ cannot be made.
  ASSERT_TRUE(QDir(folder.path()).mkdir("blocked"));
  StdFiles().replaceFile(QDir(folder.path()).filePath("blocked/reports").toStdString(), "");
  const CliRun blocked =
      cli(folder.path() + "/blocked", QStringList{"update", "../NEW_WG.BIN", "--all", "--json"});
  EXPECT_EQ(blocked.exit, 2);
  EXPECT_TRUE(blocked.err.contains("cannot make the folder ")) << blocked.err.toStdString();
  for (const QJsonValue& t : sim.report()) {
    EXPECT_EQ(t["bytes"].toInt(), 0) << t["address"].toString().toStdString();
    EXPECT_TRUE(t["commands"].toArray().isEmpty());
  }
}

// What ends a run before any stream still leaves its record, and says so.
TEST_F(Cli, ARunThatStreamsNothingStillSaysWhatHappened) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, simWith({"--count", "3"}))) << sim.output().toStdString();
  const CliRun lone = cli(folder.path(), {"update", "NEW_WG.BIN", "--terminal", "127.0.0.50",
                                          "--wait", "1", "--report", "lone.csv"});
  EXPECT_EQ(lone.exit, 3) << lone.err.toStdString();
  const auto rows = cli::csvRecords(readAll(QDir(folder.path()).filePath("lone.csv")));
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows[1][1] + " " + rows[1][8] + " " + rows[1][21], "127.0.0.50 not connected no");

  StdFiles().replaceFile(
      QDir(folder.path()).filePath("clean.csv").toStdString(),
      "terminal,address,in_range,outcome,clean\r\n0,127.0.0.2,yes,streamed,yes\r\n");
  const CliRun nothing =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--retry", "clean.csv", "--json"});
  EXPECT_EQ(nothing.exit, 0) << nothing.err.toStdString();
  EXPECT_TRUE(matchesSchema(nothing.out, folder.path())) << nothing.out.toStdString();
  EXPECT_TRUE(QJsonDocument::fromJson(nothing.out.toLatin1())["terminals"].toArray().isEmpty());
  EXPECT_EQ(nothing.err.toStdString(), "0 terminals: nothing to retry\n");
  EXPECT_FALSE(QDir(folder.path()).exists("reports")) << "nothing sent, nothing written";

  const CliRun mode =
      cli(folder.path(), {"mode", "go-term", "--terminals", "127.0.0.3,127.0.0.4", "--json"});
  EXPECT_EQ(mode.exit, 0) << mode.err.toStdString();
  EXPECT_EQ(mode.out.toStdString(),
            "{\"button\":\"GO TERM\",\"mode\":\"go-term\",\"terminals\":[{\"address\":"
            "\"127.0.0.3\",\"sent\":true},{\"address\":\"127.0.0.4\",\"sent\":true}]}\n");
  const QJsonArray seen = sim.report();
  for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
    EXPECT_EQ(terminalAt(seen, address)["commands"].toArray().size(),
              std::string(address) == "127.0.0.2" ? 0 : 10)
        << address;
  }
}

}  // namespace
}  // namespace korven::e2e
