#include "tests/testkit/LoaderFixture.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

struct Piece {
  std::string bytes;
  long long at;  // µs after the click
};

// The stream one update must put on the wire, written from the timetable:
// the first tick one pace after the click, lead-ins 1 ms apart, the boot
// request (nine bytes `bootPause` apart, or whole), `afterBoot` more, then
// `beforeFirst` before the first data piece, then the pace, and 600 ms from
// the second-to-last block on when there are three blocks or more.
std::vector<Piece> expectedStream(const std::vector<std::string>& blocks, char checksum,
                                  bool goBootChecked, bool wholeBoot, long long paceMs) {
  const long long ms = 1000;
  const long long bootPause = (goBootChecked ? 1000 : 3000) * ms;
  const long long afterBoot = bootPause;
  const long long beforeFirst = (goBootChecked ? 5000 : 3000) * ms;
  const long long pace = paceMs * ms;
  const int b = static_cast<int>(blocks.size());
  const int end = 9 + b;

  std::vector<Piece> pieces;
  long long t = pace + 1 * ms;         // tick 1
  t += (end - 8 == 1 ? 600 : 1) * ms;  // tick 2: 600 ms set at tick 1 when no block
  const std::string boot("\x01\x30\x30\x54\xFB\x08\xC9\x08\x64", 9);
  if (wholeBoot) {
    pieces.push_back({boot, t});
  } else {
    for (char c : boot) {
      pieces.push_back({std::string(1, c), t});
      t += bootPause;
    }
    t -= bootPause;
  }
  t += (wholeBoot ? 0 : bootPause) + afterBoot + beforeFirst;

  std::vector<std::string> rest = blocks;
  for (char c : std::string("\xFB\x08\xC9\x08\x64", 5)) rest.emplace_back(1, c);
  rest.emplace_back(1, checksum);
  for (int k = 0; k < static_cast<int>(rest.size()); ++k) {
    const int entry = 3 + k;
    if (k > 0) t += (end - 8 >= 4 && entry > end - 8 ? 600 : paceMs) * ms;
    pieces.push_back({rest[static_cast<std::size_t>(k)], t});
  }
  return pieces;
}

std::vector<std::string> makeBlocks(int count) {
  std::vector<std::string> blocks;
  for (int i = 0; i < count; ++i) {
    blocks.emplace_back(i + 1 == count ? 10 : 64, static_cast<char>(0x80 + i % 100));
  }
  return blocks;
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
    const auto blocks = makeBlocks(c.blocks);
    std::string image = std::string(7, '\0');
    unsigned sum = 568;
    for (const auto& block : blocks) {
      image += block;
      for (unsigned char byte : block) sum += byte;
    }
    addImage(c.imageName, image);
    w().SW_GO_BOOT.setValue(c.goBootChecked ? 1 : 0);
    w().INP_DEL.setText(c.inpDel);

    const Micros click = time().now();
    ASSERT_TRUE(updateAndWait());
    const auto expected = expectedStream(blocks, static_cast<char>(sum % 256), c.goBootChecked,
                                         c.wholeBoot, c.paceMs);
    ASSERT_EQ(terminal.chunks.size(), expected.size());
    const long long latency = platform.network.latency.count();
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(terminal.chunks[i].bytes, expected[i].bytes) << "piece " << i;
      EXPECT_EQ((terminal.chunks[i].at - click).count() - latency, expected[i].at) << "piece " << i;
    }

    // The end tick follows the checksum by the last interval.
    const long long lastGap = (c.blocks >= 3 ? 600 : c.paceMs) * 1000;
    EXPECT_EQ((time().now() - click).count(), expected.back().at + lastGap);
    EXPECT_EQ(w().AFF_NO_ENV.text(), std::to_string(9 + c.blocks));
    EXPECT_EQ(w().TIM_SEND->interval(), 0);
    EXPECT_EQ(w().PROG_PRIN.backColor(), Color::systemButtonFace());
    EXPECT_EQ(w().TCPIP.element(0)->state(), 0);
    EXPECT_FALSE(w().AFF_UPD_MSG.visible());
    EXPECT_FALSE(w().AFF_SEND_PROC.visible());
    advanceMs(1);
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
TEST_F(TransferTimetable, NoBlockSwitchesTo600AtTheLeadIn) {
  check({0, true, "A.BIN", "0", 100, false});
}
TEST_F(TransferTimetable, OneAndTwoBlocksNeverSwitchTo600) {
  check({1, true, "A.BIN", "0", 100, false});
  time().advance(Micros(1000));
  check({2, true, "B.BIN", "0", 100, false});
}
TEST_F(TransferTimetable, MostBlocksTheTableHolds) {
  check({991, true, "A.BIN", "0", 100, false});
}

TEST_F(TransferTimetable, ASlowHandOverDoesNotShortenThePauseAfterIt) {
  RecordingTerminal terminal(platform.network, "127.0.0.2");
  ASSERT_TRUE(chooseTerminal("127.0.0.2"));
  const auto blocks = makeBlocks(5);
  std::string image;
  for (const auto& block : blocks) image += block;
  addImage("Q_WG.BIN", image);
  const auto expected = expectedStream(blocks, 0, true, true, 100);
  // Something keeps the thread busy inside the tick of the third block,
  // before the block is handed over.
  const Micros due = time().now() + Micros(expected[3].at);
  time().post(due - Micros(1), [&] { time().post(due, [&] { time().freeze(Micros(30'000)); }); });
  ASSERT_TRUE(updateAndWait());
  ASSERT_EQ(terminal.chunks.size(), expected.size());
  for (std::size_t k = 4; k < expected.size(); ++k) {
    EXPECT_GE((terminal.chunks[k].at - terminal.chunks[k - 1].at).count(),
              expected[k].at - expected[k - 1].at)
        << "pause before piece " << k;
  }
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
  EXPECT_EQ(w().AFF_NO_ENV.text(), "0");
  EXPECT_EQ(w().TIM_SEND->interval(), 100);
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
