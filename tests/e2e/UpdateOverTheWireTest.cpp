// The program's logic against simulated terminals over real sockets. Each
// test runs in a private network namespace of its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "app/SimProcess.h"
#include "platform/system/OpenFileLimit.h"
#include "tests/e2e/ProgramUnderTest.h"
#include "update/UpdateStart.h"

namespace korven::e2e {
namespace {

using simproc::SimProcess;
using simproc::terminalAt;

TEST(OverTheWire, TheStartupQueryFindsEveryTerminalByBroadcast) {
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, kTolerance + QStringList{"--count", "3"}))
      << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ASSERT_TRUE(program.waitFor([&] { return program.w().LST_ALL.count() == 3; }, 5000));
  EXPECT_EQ(program.w().AFF_ALL_NB.text(), "3");
  EXPECT_EQ(program.w().INP_IP.text(), program.w().LST_ALL.line(2));
  EXPECT_TRUE(program.waitFor([&] { return program.green(); }, 3000));

  const QJsonArray terminals = sim.report();
  ASSERT_EQ(terminals.size(), 3);
  for (const QJsonValue& t : terminals) {
    EXPECT_EQ(t.toObject().value("queries").toInt(), 1) << "one query, by itself, after start-up";
  }
}

TEST(OverTheWire, ASingleUpdateIsByteExactAndKeepsTheTimetable) {
  const std::string image = imageOf(3, 20);
  const QString expected = expectedImagePath();
  ASSERT_TRUE(writeFile(expected, image));
  SimProcess sim;
  ASSERT_TRUE(sim.start(
      kSim, kTolerance + QStringList{"--count", "1", "--image", expected, "--status", "1:NEW"}))
      << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ASSERT_TRUE(program.waitFor([&] { return program.green(); }, 5000));
  // The terminal's status comes with the connection; read during an update
  // it would be left unread.
  ASSERT_TRUE(program.waitFor([&] { return program.w().AFF_STATUS0.text() == "NEW"; }, 2000));
  program.chooseImage("A.BIN", image);

  ASSERT_TRUE(program.updateAndWait(30'000));
  EXPECT_TRUE(program.dialogs.shown.size() == 1) << "only the start-up notice";
  EXPECT_EQ(program.w().CHECK.text(), std::to_string((568 +
                                                      [&] {
                                                        unsigned sum = 0;
                                                        for (unsigned char c : image) sum += c;
                                                        return sum;
                                                      }()) %
                                                     256));
  EXPECT_EQ(program.w().AFF_STATUS0.text(), "NEW");

  const QJsonObject terminal = terminalAt(sim.report(), "127.0.0.2");
  EXPECT_EQ(verdictOf(terminal).toStdString(), "ok ");
  const QJsonObject stream = terminal.value("streams").toArray()[0].toObject();
  EXPECT_EQ(stream.value("blocks").toInt(), 3);
  EXPECT_EQ(stream.value("boot").toString(), "bytes");
  EXPECT_EQ(stream.value("checksum").toString(), "ok");
  EXPECT_EQ(stream.value("image").toString(), "match");
}

TEST(OverTheWire, ABatchGoesOnPastARefusingTerminal) {
  const std::string image = imageOf(4, 64);
  const QString expected = expectedImagePath();
  ASSERT_TRUE(writeFile(expected, image));
  SimProcess sim;
  ASSERT_TRUE(sim.start(
      kSim, kTolerance + QStringList{"--count", "4", "--image", expected, "--boot", "whole",
                                     "--fault", "2:refuse", "--status", "3:FULL"}))
      << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ProgPrin& w = program.w();
  ASSERT_TRUE(program.waitFor([&] { return w.LST_ALL.count() == 4; }, 5000));
  // Alone, the refusing terminal keeps its box red and the update is refused.
  w.INP_IP.userEdit("127.0.0.3");
  program.runFor(1000);
  EXPECT_FALSE(program.green());
  w.B_UPDATE.userClick();
  EXPECT_EQ(program.dialogs.texts().back(), kNotReady);
  EXPECT_TRUE(w.PROG_PRIN.enabled());
  w.SW_ALL.userClick();
  ASSERT_TRUE(program.waitFor(
      [&] { return w.LST_ALL.selected(0) && w.LST_ALL.selected(2) && w.LST_ALL.selected(3); },
      3000));
  EXPECT_FALSE(w.LST_ALL.selected(1));
  EXPECT_EQ(w.AFF_ALL_NB.backColor(), w.ROUGE.backColor());
  program.chooseImage("NEW_WG.BIN", image);

  ASSERT_TRUE(program.updateAndWait(30'000));
  ASSERT_EQ(w.LST_ALL_ERR.itemCount(), 1);
  EXPECT_EQ(w.LST_ALL_ERR.item(0), "ERR ---> 127.0.0.3");
  program.runFor(300);
  const int full = w.LST_ALL.count() > 2 && w.LST_ALL.line(2) == "127.0.0.4" ? 2 : -1;
  ASSERT_GE(full, 0);
  EXPECT_EQ(w.LST_STATUS.line(full), "FULL");

  const QJsonArray terminals = sim.report();
  for (const char* address : {"127.0.0.2", "127.0.0.4", "127.0.0.5"}) {
    EXPECT_EQ(verdictOf(terminalAt(terminals, address)).toStdString(), "ok ") << address;
  }
  const QJsonObject refusing = terminalAt(terminals, "127.0.0.3");
  EXPECT_GT(refusing.value("refused").toInt(), 0);
  EXPECT_EQ(refusing.value("bytes").toInt(), 0);
}

// A thousand terminals: the descriptors, the hash index of the list and the
// fan-out of every piece are all at full size here.
constexpr int kMany = 1000;

// The simulator's terminal n (from 1) sits at 127.0.0.2 + n - 1.
int terminalNumber(const std::string& address) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  std::sscanf(address.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
  return static_cast<int>(c * 256 + d) - 1;
}

TEST(OverTheWire, AThousandTerminalsAreListedOnceAndAllConnect) {
  SimProcess sim;
  // Replies back to back, as from terminals on one switch.
  ASSERT_TRUE(sim.start(
      kSim, kTolerance + QStringList{"--count", QString::number(kMany), "--reply-spacing", "0"}))
      << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ProgPrin& w = program.w();
  ASSERT_TRUE(program.waitFor([&] { return w.LST_ALL.count() == kMany; }, 10'000))
      << w.LST_ALL.count() << " listed";
  std::set<std::string> distinct;
  for (int i = 0; i < kMany; ++i) distinct.insert(w.LST_ALL.line(i));
  EXPECT_EQ(distinct.size(), static_cast<std::size_t>(kMany));
  EXPECT_EQ(w.AFF_ALL_NB.text(), std::to_string(kMany));

  w.SW_ALL.userClick();
  EXPECT_TRUE(
      program.waitFor([&] { return w.AFF_ALL_NB.backColor() == w.VERT.backColor(); }, 30'000));
  EXPECT_TRUE(program.dialogs.shown.size() == 1) << "only the start-up notice";
  for (const QJsonValue& t : sim.report()) {
    EXPECT_EQ(t.toObject().value("queries").toInt(), 1);
  }
}

TEST(OverTheWire, ARangeOfAThousandTerminalsGetsTheLargestImage) {
  const std::string image = imageOf(991, 64);
  const QString expected = expectedImagePath();
  ASSERT_TRUE(writeFile(expected, image));
  // The waits after the boot request start once it has gone to all 800
  // terminals of the range, so the first ones wait longer by that fan-out:
  // 45 ms on a quiet machine, over 110 ms on a slow one.
  QStringList args =
      kTolerance +
      QStringList{"--count", QString::number(kMany), "--image", expected, "--boot", "whole"};
  args += QStringList{"--wait-late-tolerance", "500"};
  // Every tenth terminal refuses connections.
  for (int n = 10; n <= kMany; n += 10) args << "--fault" << QStringLiteral("%1:refuse").arg(n);
  SimProcess sim;
  ASSERT_TRUE(sim.start(kSim, args)) << sim.output().toStdString();
  ProgramUnderTest program;
  ASSERT_TRUE(program.start());
  ProgPrin& w = program.w();
  ASSERT_TRUE(program.waitFor([&] { return w.LST_ALL.count() == kMany; }, 10'000));
  w.SW_ALL.userClick();
  const auto refusing = [&](int line) { return terminalNumber(w.LST_ALL.line(line)) % 10 == 0; };
  ASSERT_TRUE(program.waitFor(
      [&] {
        for (int i = 0; i < kMany; ++i) {
          if (!refusing(i) && !w.LST_ALL.selected(i)) return false;
        }
        return true;
      },
      30'000));
  constexpr int kFrom = 100;
  constexpr int kTo = 899;
  w.SCROLL_XTOY_0.userSetValue(kFrom);
  w.SCROLL_XTOY_1.userSetValue(kTo);
  program.chooseImage("BIG_WG.BIN", image);

  ASSERT_TRUE(program.updateAndWait(200'000));
  std::multiset<std::string> failed;
  for (int i = 0; i < w.LST_ALL_ERR.itemCount(); ++i) failed.insert(w.LST_ALL_ERR.item(i));
  std::multiset<std::string> expectedFailed;
  const QJsonArray terminals = sim.report();
  int verified = 0;
  for (int i = 0; i < kMany; ++i) {
    const std::string address = w.LST_ALL.line(i);
    const QJsonObject terminal = terminalAt(terminals, QString::fromStdString(address));
    if (i < kFrom || i > kTo) {
      EXPECT_EQ(terminal.value("bytes").toInt(), 0) << address << " is outside the range";
    } else if (refusing(i)) {
      expectedFailed.insert("ERR ---> " + address);
    } else {
      const bool ok = verdictOf(terminal) == "ok ";
      EXPECT_TRUE(ok) << address << ": " << verdictOf(terminal).toStdString();
      verified += ok ? 1 : 0;
    }
  }
  EXPECT_EQ(verified, 720);
  EXPECT_EQ(failed, expectedFailed);
}

}  // namespace
}  // namespace korven::e2e

int main(int argc, char** argv) {
  // A batch of a thousand terminals needs a descriptor per connection.
  korven::raiseOpenFileLimit();
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
