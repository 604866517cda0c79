// Faults of the terminals, the network, the files and the clock, each met
// over real sockets: what the operator sees and what the terminals received.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QUdpSocket>

#include <chrono>

#include "app/SimProcess.h"
#include "tests/e2e/ProgramUnderTest.h"
#include "tests/e2e/ShiftedWallClock.h"
#include "update/UpdateStart.h"

namespace korven::e2e {
namespace {

using simproc::SimProcess;
using simproc::terminalAt;

// Simulated terminals expecting `image` with the whole boot request, as
// image names holding "WG" send it.
bool startSim(SimProcess& sim, const std::string& image, const QStringList& options) {
  return sim.start(
      kSim, kTolerance + QStringList{"--image", expectedImage(image), "--boot", "whole"} + options);
}

TEST(FaultMatrix, ASlowAcceptTurnsTheBoxGreenOnlyOnceAccepted) {
  const std::string image = imageOf(3, 10);
  SimProcess sim;
  ASSERT_TRUE(startSim(sim, image, {"--count", "1", "--fault", "0:slow-accept:2000"}))
      << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ASSERT_TRUE(program.waitFor([&] { return program.w().LST_ALL.count() == 1; }, 5000));
  QElapsedTimer sinceListed;
  sinceListed.start();
  program.chooseImage("C_WG.BIN", image);
  program.w().B_UPDATE.userClick();
  EXPECT_EQ(program.afterNotice(), std::vector<std::string>{kNotReady});

  ASSERT_TRUE(program.waitFor([&] { return program.green(); }, 6000));
  EXPECT_GE(sinceListed.elapsed(), 1800);
  const QJsonObject terminal = terminalAt(sim.report(), "127.0.0.2");
  EXPECT_EQ(terminal.value("bytes").toInt(), 0);
  EXPECT_EQ(terminal.value("connections").toInt(), 1);
}

TEST(FaultMatrix, StatusBytesDuringTheTransferDoNotDisturbIt) {
  const std::string image = imageOf(3, 64);
  SimProcess sim;
  ASSERT_TRUE(startSim(sim, image, {"--count", "1", "--fault", "0:status-during:FULL"}))
      << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ProgPrin& w = program.w();
  ASSERT_TRUE(program.waitFor([&] { return program.green(); }, 5000));
  program.chooseImage("D_WG.BIN", image);

  bool shownDuring = false;
  w.B_UPDATE.userClick();
  ASSERT_TRUE(program.waitFor(
      [&] {
        shownDuring = shownDuring || (!w.PROG_PRIN.enabled() && w.AFF_STATUS0.text() == "FULL");
        return w.PROG_PRIN.enabled();
      },
      30'000));
  EXPECT_FALSE(shownDuring);
  EXPECT_EQ(w.AFF_STATUS0.text(), "FULL") << "shown at the end, not lost with the connection";

  EXPECT_EQ(verdictOf(terminalAt(sim.report(), "127.0.0.2")).toStdString(), "ok ");
}

TEST(FaultMatrix, ATerminalThatStopsReadingIsNeverReportedStreamed) {
  // It stops a hundred blocks before the end, at a 5 ms pace: a few KiB,
  // which the systems of both ends take whole, while the terminal
  // acknowledges only what its small buffer holds. Taken by the PC's system
  // is not taken by the terminal.
  const std::string image = imageOf(400, 30);
  SimProcess sim;
  ASSERT_TRUE(
      startSim(sim, image, {"--count", "1", "--pace", "5", "--fault", "0:stop-reading:300"}))
      << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ASSERT_TRUE(program.waitFor([&] { return program.green(); }, 5000));
  program.w().INP_DEL.setText("-95");
  program.chooseImage("S_WG.BIN", image);
  ASSERT_TRUE(program.updateAndWait(60'000));

  const UpdateRecord& update = *program.loader.report().last();
  const TerminalRecord& terminal = update.terminals.at(0);
  EXPECT_EQ(update.outcome(terminal), "cut");
  // The boot request and 300 blocks were read: pieces 1 to 301.
  ASSERT_TRUE(terminal.firstFailedPiece.has_value());
  EXPECT_GT(*terminal.firstFailedPiece, 301);
  EXPECT_EQ(terminal.piecesSent, *terminal.firstFailedPiece - 1);
  EXPECT_EQ(program.w().LST_ALL_ERR.text(), "ERR ---> 127.0.0.2");
}

TEST(FaultMatrix, HostileDiscoveryRepliesAreDroppedOrListedAsTheyCame) {
  SimProcess sim;
  ASSERT_TRUE(
      sim.start(kSim, kTolerance + QStringList{"--count", "2", "--fault", "0:malformed-reply"}))
      << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ProgPrin& w = program.w();
  ASSERT_TRUE(program.waitFor([&] { return w.LST_ALL.count() == 1; }, 5000));
  EXPECT_EQ(w.LST_ALL.line(0), "127.0.0.3") << "the reply without commas is dropped";

  // The largest datagrams, and bytes no text holds.
  const std::string huge = "KORVEN," + std::string(65'000, 'Z') + ",X";
  const std::string binary("KORVEN,\0\xFF\0\xFF,X", 13);
  QUdpSocket hostile;
  for (const std::string& datagram :
       {std::string(1, '\0'), std::string(65'000, '\xFF'), huge, binary}) {
    ASSERT_EQ(hostile.writeDatagram(datagram.data(), static_cast<qint64>(datagram.size()),
                                    QHostAddress::LocalHost, 2024),
              static_cast<qint64>(datagram.size()));
  }
  ASSERT_TRUE(program.waitFor([&] { return w.LST_ALL.count() == 3; }, 3000));
  EXPECT_EQ(w.LST_ALL.line(1), std::string(65'000, 'Z'));
  EXPECT_EQ(w.LST_ALL.line(2), binary.substr(7, 4));

  // The window still answers: a real terminal typed in gets its connection.
  program.op.typeAddress("127.0.0.3");
  EXPECT_TRUE(program.waitFor([&] { return program.green(); }, 3000));
  EXPECT_TRUE(program.afterNotice().empty());
  EXPECT_GE(terminalAt(sim.report(), "127.0.0.2").value("answered").toInt(), 1);
}

TEST(FaultMatrix, AWallClockSetBackOrForwardLeavesTheTimetable) {
  const std::string image = imageOf(4, 64);
  SimProcess sim;
  ASSERT_TRUE(startSim(sim, image, {"--count", "1"})) << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ProgPrin& w = program.w();
  ASSERT_TRUE(program.waitFor([&] { return program.green(); }, 5000));
  program.chooseImage("F_WG.BIN", image);

  using std::chrono::system_clock;
  const auto wallAt = [] { return system_clock::to_time_t(system_clock::now()); };
  const time_t before = wallAt();
  long shifted = 0;
  bool wentBack = false;
  w.B_UPDATE.userClick();
  ASSERT_TRUE(program.waitFor(
      [&] {
        // An hour back after the first block, an hour forward after the second.
        const std::string sent = w.AFF_NO_ENV.text();
        const long wanted = sent == "1" ? -3600 : sent == "2" || shifted > 0 ? 3600 : shifted;
        if (wanted != shifted) shiftWallClock(shifted = wanted);
        wentBack = wentBack || wallAt() < before - 3000;
        return w.PROG_PRIN.enabled();
      },
      30'000));
  const time_t after = wallAt();
  shiftWallClock(0);
  EXPECT_TRUE(wentBack);
  EXPECT_EQ(shifted, 3600);
  EXPECT_NEAR(static_cast<double>(after - before), 3600, 30) << "the shift reached the clock";
  EXPECT_EQ(verdictOf(terminalAt(sim.report(), "127.0.0.2")).toStdString(), "ok ");
}

}  // namespace
}  // namespace korven::e2e
