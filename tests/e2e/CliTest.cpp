// korven-cli against the simulator over real sockets, as a script runs it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include "app/SimProcess.h"
#include "platform/system/StdFiles.h"
#include "tests/e2e/ProgramUnderTest.h"
#include "update/ReportFormat.h"

namespace korven::e2e {
namespace {

using simproc::SimProcess;
using simproc::terminalAt;

struct CliRun {
  int exit = -1;
  QString out;
  QString err;
};

// Runs korven-cli in `folder` and waits for it to end.
CliRun cli(const QString& folder, const QStringList& arguments) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.start(QStringLiteral(KORVEN_CLI_PATH), arguments);
  CliRun run;
  if (!process.waitForFinished(120'000)) return run;
  run.exit = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = QString::fromLatin1(process.readAllStandardOutput());
  run.err = QString::fromLatin1(process.readAllStandardError());
  return run;
}

std::string readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

TEST(Cli, ABatchReportsEveryTerminalAndARetryTakesOnlyTheFailedOnes) {
  const std::string image = imageOf(4, 30);
  SimProcess sim;
  // Ten terminals: the third refuses, the fifth hangs up after block 2, the
  // seventh answers FULL.
  ASSERT_TRUE(
      sim.start(kSim, kTolerance + QStringList{"--count", "10", "--image", expectedImage(image),
                                               "--boot", "whole", "--fault", "3:refuse", "--fault",
                                               "5:close-after:2", "--status", "7:FULL"}))
      << sim.output().toStdString();
  QTemporaryDir folder;
  StdFiles().replaceFile(QDir(folder.path()).filePath("NEW_WG.BIN").toStdString(), image);

  const CliRun discover = cli(folder.path(), {"discover", "--wait", "1"});
  EXPECT_EQ(discover.exit, 0) << discover.err.toStdString();
  EXPECT_EQ(discover.out.count('\n'), 10) << discover.out.toStdString();

  const CliRun batch =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--all", "--report", "first.csv"});
  EXPECT_EQ(batch.exit, 1) << batch.err.toStdString();
  const std::string report = readAll(QDir(folder.path()).filePath("first.csv"));
  for (const char* line : {"127.0.0.4,yes,no,0,", "127.0.0.6,yes,yes,3,", ",FULL,streamed\r\n"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line << " in\n" << report;
  }
  EXPECT_EQ(terminalsToRetry(report),
            (std::vector<std::string>{"127.0.0.4", "127.0.0.6", "127.0.0.8"}));
  const QJsonArray terminals = sim.report();
  for (const QJsonValue& t : terminals) {
    const QString address = t["address"].toString();
    if (address == "127.0.0.4" || address == "127.0.0.6") continue;
    EXPECT_EQ(verdictOf(t.toObject()).toStdString(), "ok ") << address.toStdString();
  }

  sim.command("forget", {"FORGOTTEN"});
  const CliRun retry =
      cli(folder.path(), {"update", "NEW_WG.BIN", "--retry", "first.csv", "--json"});
  EXPECT_EQ(retry.exit, 1) << retry.err.toStdString();
  EXPECT_TRUE(retry.out.startsWith("{\"image\":\"NEW_WG.BIN\"")) << retry.out.toStdString();
  int streams = 0;
  for (const QJsonValue& t : sim.report()) streams += t["streams"].toArray().size();
  EXPECT_EQ(streams, 2) << "the hanging-up and the full one; the refusing one took none";
  EXPECT_EQ(terminalAt(sim.report(), "127.0.0.2")["streams"].toArray().size(), 0);
}

TEST(Cli, ARefusedUpdateSaysWhyAndSendsNothing) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, kTolerance + QStringList{"--count", "1"}))
      << sim.output().toStdString();
  QTemporaryDir folder;
  StdFiles().replaceFile(QDir(folder.path()).filePath("BIG.BIN").toStdString(),
                         std::string(64 * 991 + 1, 'x'));
  const CliRun tooLarge = cli(folder.path(), {"update", "BIG.BIN", "--terminal", "127.0.0.2"});
  EXPECT_EQ(tooLarge.exit, 2);
  EXPECT_TRUE(tooLarge.err.endsWith("ERROR: Image too large !\n")) << tooLarge.err.toStdString();
  const CliRun missing = cli(folder.path(), {"update", "GONE.BIN", "--terminal", "127.0.0.2"});
  EXPECT_EQ(missing.exit, 2);
  EXPECT_TRUE(missing.err.endsWith("ERROR: Cannot read the image file !\n"));
  EXPECT_EQ(terminalAt(sim.report(), "127.0.0.2")["bytes"].toInt(), 0);
  EXPECT_FALSE(QFile::exists(QDir(folder.path()).filePath("TCP_BRD.CFG")));
}

}  // namespace
}  // namespace korven::e2e
