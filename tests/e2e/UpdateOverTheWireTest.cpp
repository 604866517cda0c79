// The program's logic against simulated terminals over real sockets. Each
// test runs in a private network namespace of its own.
#include <gtest/gtest.h>

#include <QCoreApplication>

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

TEST(OverTheWire, ASingleUpdateIsByteExactAndKeepsTheTimetable) {
  const std::string image = imageOf(3, 20);
  const QString expected = expectedImage(image);
  SimProcess sim;
  ASSERT_TRUE(sim.start(
      kSim, kTolerance + QStringList{"--count", "1", "--image", expected, "--status", "0:NEW"}))
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

// A thousand terminals: the reply socket, the list and its look-up, the
// descriptors of all-terminals mode are all at full size here.
constexpr int kMany = 1000;

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
  EXPECT_TRUE(program.waitFor([&] { return w.allConnected(); }, 30'000));
  EXPECT_TRUE(program.dialogs.shown.size() == 1) << "only the start-up notice";
  for (const QJsonValue& t : sim.report()) {
    EXPECT_EQ(t.toObject().value("queries").toInt(), 1);
  }
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
