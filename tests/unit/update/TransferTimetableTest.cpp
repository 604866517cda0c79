#include "sim/StreamCheck.h"
#include "tests/testkit/LoaderFixture.h"
#include "update/Pace.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

std::string blocksOf(int count) {
  std::string data;
  for (int i = 0; i < count; ++i) {
    data += std::string(i + 1 == count ? 10 : 64, static_cast<char>(0x80 + i % 100));
  }
  return data;
}

// What the terminal received, judged by the simulator's terminal with no
// tolerance at all: virtual time is exact, so every pause must be exactly
// the timetable's, the bytes and the checksum exactly the image's.
sim::Verdict judged(const RecordingTerminal& terminal, const std::string& data, bool goBoot,
                    bool wholeBoot, long long paceMs) {
  sim::Expectations e;
  e.pace = paceMs * 1000;
  e.pieceGap = std::min<sim::TimeUs>(40'000, e.pace / 2);
  e.goBoot = goBoot;
  e.boot = wholeBoot ? sim::BootStyle::Whole : sim::BootStyle::Bytes;
  e.earlyTolerance = 0;
  e.lateTolerance = 0;
  e.waitLateTolerance = 0;
  e.image = std::make_shared<const std::string>(data);
  std::vector<sim::Chunk> chunks;
  for (const auto& c : terminal.chunks) chunks.push_back({c.at.count(), c.bytes});
  std::optional<sim::TimeUs> closed;
  if (terminal.closedAt) closed = terminal.closedAt->count();
  return sim::checkStream(chunks, closed, e);
}

std::string problemsOf(const sim::Verdict& v) {
  std::string all;
  for (const auto& p : v.problems) all += p + "\n";
  return all;
}

class TransferTimetable : public testkit::LoaderFixture {
 protected:
  struct Case {
    int blocks;
    bool goBootChecked;
    const char* imageName;
    const char* inpDel;
    long long paceMs;
    bool wholeBoot;
  };

  void check(const Case& c) {
    SCOPED_TRACE(std::to_string(c.blocks) + " blocks, " + c.imageName + ", INP_DEL " + c.inpDel);
    RecordingTerminal terminal(platform.network, "127.0.0.2");
    ASSERT_TRUE(chooseTerminal("127.0.0.2"));
    const std::string data = blocksOf(c.blocks);
    addImage(c.imageName, std::string(7, '\0') + data);
    w().SW_GO_BOOT.setValue(c.goBootChecked ? 1 : 0);
    w().INP_DEL.setText(c.inpDel);

    const Micros click = time().now();
    // Waited for as a driver waits: as long as the timetable says, however long.
    ASSERT_EQ(op->update(), Operator::Update::Ran);
    advanceMs(1);  // the close reaches the terminal
    const sim::Verdict v = judged(terminal, data, c.goBootChecked, c.wholeBoot, c.paceMs);
    EXPECT_TRUE(v.ok()) << problemsOf(v);
    EXPECT_EQ(v.blocks, c.blocks);
    EXPECT_EQ(v.gap(sim::GapKind::Close).count, 1) << "the close is judged too";
    // The first tick comes one block pace after the click, the lead-ins
    // 1 ms apart, and the boot request; the close when the timetable says.
    ASSERT_FALSE(terminal.chunks.empty());
    EXPECT_EQ((terminal.chunks[0].at - click - platform.network.latency).count(),
              (c.paceMs + 2) * 1000);
    ASSERT_TRUE(terminal.closedAt);
    EXPECT_EQ(*terminal.closedAt - click - platform.network.latency,
              timetableLength(c.blocks, static_cast<int>(c.paceMs), c.goBootChecked, c.wholeBoot));
    EXPECT_EQ(w().TIM_SEND->interval(), 0);
    EXPECT_EQ(w().PROG_PRIN.backColor(), Color::systemButtonFace());
    EXPECT_FALSE(w().AFF_UPD_MSG.visible());
    EXPECT_FALSE(w().AFF_SEND_PROC.visible());
    EXPECT_EQ(terminal.closedByProgram, 1);
  }
};

TEST_F(TransferTimetable, ThreeBlocksWithGoBootChecked) {
  check({3, true, "A.BIN", "0", 100, false});
}
TEST_F(TransferTimetable, GoBootUncheckedMakesEveryBootPauseThreeSeconds) {
  check({3, false, "A.BIN", "0", 100, false});
}
TEST_F(TransferTimetable, ALowerCaseWgNameSendsTheBootRequestWhole) {
  check({3, true, "new_wg.bin", "0", 100, true});
}
TEST_F(TransferTimetable, WholeBootRequestWithGoBootUnchecked) {
  check({4, false, "XWG.BIN", "0", 100, true});
}
TEST_F(TransferTimetable, DelayTwoHundredGivesThreeHundredMsPace) {
  check({5, true, "A.BIN", "200", 300, false});
}
TEST_F(TransferTimetable, TextWithoutANumberGivesTheBarePace) {
  check({3, true, "A.BIN", "abc", 100, false});
}
TEST_F(TransferTimetable, OneAndTwoBlocksNeverSwitchTo600) {
  check({1, true, "A.BIN", "0", 100, false});
  time().advance(Micros(1000));
  check({2, true, "B.BIN", "0", 100, false});
}
TEST_F(TransferTimetable, MostBlocksTheTableHolds) {
  check({991, true, "A.BIN", "0", 100, false});
}
TEST_F(TransferTimetable, TheSlowestPaceRunsPastAnHour) {
  check({60, true, "A.BIN", "65435", 65535, false});
}

TEST_F(TransferTimetable, ASlowHandOverDoesNotShortenThePauseAfterIt) {
  RecordingTerminal terminal(platform.network, "127.0.0.2");
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  const std::string data = blocksOf(5);
  addImage("Q_WG.BIN", data);
  // Something keeps the thread busy inside the tick of the third block,
  // before the block is handed over: the boot request 102 ms after the
  // click, block 1 6 s after it, blocks 2 and 3 each a pace later.
  const Micros due = time().now() + Micros((102 + 6000 + 200) * 1000LL);
  time().post(due - Micros(1), [&] { time().post(due, [&] { time().freeze(Micros(30'000)); }); });
  ASSERT_TRUE(updateAndWait());
  advanceMs(1);
  const sim::Verdict v = judged(terminal, data, true, true, 100);
  EXPECT_EQ(v.gap(sim::GapKind::Block).earlyCount, 0) << problemsOf(v);
  EXPECT_EQ(v.gap(sim::GapKind::Block).worstLate, 30'000) << "only the pause before it grew";
}

TEST_F(TransferTimetable, ProgressAndTheWindowDuringTheUpdate) {
  RecordingTerminal terminal(platform.network, "127.0.0.2");
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  addImage("ONE.BIN", std::string(64, 'z'));
  std::vector<std::string> percents;
  w().AFF_TR_PERC.onChange.connect([&] { percents.push_back(w().AFF_TR_PERC.text()); });
  std::vector<std::string> steps;
  w().AFF_UPD_MSG.onChange.connect([&] { steps.push_back(w().AFF_UPD_MSG.text()); });

  w().B_UPDATE.userClick();
  EXPECT_FALSE(w().PROG_PRIN.enabled());
  EXPECT_EQ(w().PROG_PRIN.backColor(), w().ROUGE.backColor());
  EXPECT_EQ(w().CHECK.text(), std::to_string((568 + 64 * 'z') % 256));
  advanceMs(101);
  EXPECT_TRUE(w().AFF_UPD_MSG.visible());
  EXPECT_TRUE(w().AFF_UPD_TITRE.visible());
  EXPECT_FALSE(w().B_UPDATE.userClick()) << "the busy window takes no click";
  ASSERT_TRUE(until([&] { return w().PROG_PRIN.enabled(); }));
  EXPECT_EQ(percents,
            (std::vector<std::string>{"10", "20", "30", "40", "50", "60", "70", "80", "90", "100"}))
      << "0 was the caption already";
  EXPECT_EQ(steps, (std::vector<std::string>{"GO TO THE BOOT", "PROGRAM THE QVL"}));
  EXPECT_GE(platform.scheduler.frozenTotal(), Micros(15'000'000)) << "the boot waits freeze";
}

}  // namespace
}  // namespace korven
