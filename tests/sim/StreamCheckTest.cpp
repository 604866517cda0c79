#include "sim/StreamCheck.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korven::sim {
namespace {

constexpr TimeUs kMs = 1000;
constexpr TimeUs kS = 1'000'000;

// An update stream as a correct sender puts it on the wire, with the
// arrival times a terminal would see (each piece half a millisecond late).
// That correct streams of every length and style pass is shown by the
// program's own timetable tests, which judge its streams with no tolerance.
struct Sent {
  std::vector<Chunk> chunks;
  TimeUs closeAt = 0;
};

// Delays the chunk `from` and all after it.
void shiftFrom(Sent& s, std::size_t from, TimeUs by) {
  for (std::size_t i = from; i < s.chunks.size(); ++i) s.chunks[i].at += by;
  s.closeAt += by;
}

Sent correctStream(const std::string& data, bool whole = false, bool goBoot = true,
                   TimeUs pace = 100 * kMs) {
  Sent s;
  TimeUs t = 50 * kS;
  const auto put = [&](const std::string& bytes, TimeUs pauseAfter) {
    s.chunks.push_back({t + kMs / 2, bytes});
    t += pauseAfter;
  };
  const TimeUs bootPause = goBoot ? kS : 3 * kS;
  const TimeUs beforeFirst = (goBoot ? kS : 3 * kS) + (goBoot ? 5 * kS : 3 * kS);
  if (whole) {
    put(kBootRequest, beforeFirst);
  } else {
    for (std::size_t i = 0; i < kBootRequest.size(); ++i) {
      put(kBootRequest.substr(i, 1),
          i + 1 < kBootRequest.size() ? bootPause : bootPause + beforeFirst);
    }
  }
  const std::size_t blocks = (data.size() + 63) / 64;
  const TimeUs tail = blocks >= 3 ? 600 * kMs : pace;
  for (std::size_t k = 0; k < blocks; ++k)
    put(data.substr(k * 64, 64), k + 2 >= blocks ? tail : pace);
  for (char m : kEndMarker) put(std::string(1, m), tail);
  put(std::string(1, static_cast<char>(streamChecksum(data))), tail);
  s.closeAt = t + kMs / 2;
  return s;
}

std::string imageOf(std::size_t size) {
  std::string data;
  for (std::size_t i = 0; i < size; ++i) data += static_cast<char>(1 + (i * 7) % 250);
  return data;
}

Expectations expecting(const std::string& image, BootStyle boot = BootStyle::Bytes) {
  Expectations e;
  e.boot = boot;
  e.image = std::make_shared<const std::string>(image);
  return e;
}

std::string hex(unsigned char b) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

std::string joined(const Verdict& v) {
  std::string out;
  for (const std::string& p : v.problems) out += p + "\n";
  return out;
}

TEST(StreamCheck, PiecesAreToldByTheirTimesNotByTheirBytes) {
  // Block 2 arrives in two reads 80 µs apart: still one piece.
  const std::string image = imageOf(300);
  Sent s = correctStream(image);
  Chunk& block2 = s.chunks[10];
  s.chunks.insert(s.chunks.begin() + 11, Chunk{block2.at + 80, block2.bytes.substr(20)});
  block2.bytes.resize(20);
  Verdict v = checkStream(s.chunks, s.closeAt, expecting(image));
  EXPECT_TRUE(v.ok()) << joined(v);
  EXPECT_EQ(v.blocks, 5);
  // A last block of FB, or FB 08 C9, would pass for the start of the end
  // marker if read from the front.
  for (const std::string& tail : {std::string("\xFB"), std::string("\xFB\x08\xC9", 3)}) {
    const std::string lookalike = imageOf(128) + tail;
    s = correctStream(lookalike);
    v = checkStream(s.chunks, s.closeAt, expecting(lookalike));
    EXPECT_TRUE(v.ok()) << joined(v);
    EXPECT_EQ(v.blocks, 3);
  }
}

TEST(StreamCheck, EachFaultOfTheSenderIsNamed) {
  const std::string image = imageOf(5 * 64 + 10);  // six blocks
  struct Case {
    const char* what;
    std::function<void(Sent&)> spoil;
    std::string problem;
    BootStyle expected = BootStyle::Bytes;
  };
  // Chunks: 0-8 boot bytes, 9-14 blocks 1-6, 15-19 marker, 20 checksum.
  const std::vector<Case> cases = {
      {"wrong checksum", [](Sent& s) { s.chunks[20].bytes = "\x12"; },
       "checksum wrong: got 0x12, expected " + hex(streamChecksum(image))},
      {"changed byte", [](Sent& s) { s.chunks[11].bytes[16] ^= 0x40; },
       "block 3 differs from the image at byte 17"},
      {"missing block",
       [&](Sent& s) {
         s.chunks.erase(s.chunks.begin() + 10);
         // The checksum the sender computed covers what it sent.
         std::string sent = image.substr(0, 64) + image.substr(128);
         s.chunks.back().bytes = std::string(1, static_cast<char>(streamChecksum(sent)));
       },
       "1 block missing (image block 2)"},
      {"extra block",
       [&](Sent& s) {
         s.chunks.insert(s.chunks.begin() + 12,
                         Chunk{s.chunks[11].at + 100 * kMs, std::string(64, '\x55')});
         shiftFrom(s, 13, 100 * kMs);
         s.chunks.back().bytes =
             std::string(1, static_cast<char>(streamChecksum(image + std::string(64, '\x55'))));
       },
       "1 extra block (received block 4)"},
      {"whole boot request",
       [](Sent& s) {
         std::string boot;
         for (int i = 0; i < 9; ++i) boot += s.chunks[i].bytes;
         s.chunks.erase(s.chunks.begin() + 1, s.chunks.begin() + 9);
         s.chunks[0].bytes = boot;
       },
       "boot request sent whole, expected byte by byte"},
      {"boot request byte by byte", [](Sent&) {}, "boot request sent byte by byte, expected whole",
       BootStyle::Whole},
      {"early block", [&](Sent& s) { shiftFrom(s, 12, -37 * kMs); },
       "gap block 3->4 early by 37 ms"},
      {"late boot byte", [&](Sent& s) { shiftFrom(s, 4, 250 * kMs); },
       "gap boot byte 4->5 late by 250 ms"},
      {"blocks in one piece",
       [](Sent& s) {
         s.chunks[10].bytes += s.chunks[11].bytes;
         s.chunks.erase(s.chunks.begin() + 11);
       },
       "gap block 2->3 early by 100 ms"},
      {"marker sent in one piece",
       [](Sent& s) {
         s.chunks[15].bytes = kEndMarker;
         s.chunks.erase(s.chunks.begin() + 16, s.chunks.begin() + 20);
       },
       "gap marker 1->2 early by 600 ms"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sent s = correctStream(image);
    c.spoil(s);
    Expectations e = expecting(image, c.expected);
    const Verdict v = checkStream(s.chunks, s.closeAt, e);
    EXPECT_FALSE(v.ok());
    EXPECT_NE(joined(v).find(c.problem + "\n"), std::string::npos) << joined(v);
  }
}

TEST(StreamCheck, StreamCutShortMissesItsTail) {
  const std::string image = imageOf(384);
  Sent s = correctStream(image);
  s.chunks.resize(12);  // boot request and three of six blocks: the terminal hung up
  const Verdict v = checkStream(s.chunks, std::nullopt, expecting(image));
  EXPECT_EQ(v.blocks, 3);
  EXPECT_EQ(v.checksum, "missing");
  EXPECT_EQ(v.image, "differs");
  const std::string problems = joined(v);
  EXPECT_NE(problems.find("end marker missing\n"), std::string::npos) << problems;
  EXPECT_NE(problems.find("checksum missing\n"), std::string::npos) << problems;
  EXPECT_EQ(v.gap(GapKind::Close).count, 0);
  // Block 3 was not the sender's last: its pause is the block pace.
  EXPECT_EQ(problems.find("gap"), std::string::npos) << problems;
  const Verdict blind = checkStream(s.chunks, std::nullopt, Expectations{});
  EXPECT_EQ(joined(blind).find("gap"), std::string::npos) << joined(blind);
}

TEST(StreamCheck, GapStatisticsMeasureEveryPause) {
  const std::string image = imageOf(640);
  Sent s = correctStream(image);
  s.chunks[12].at -= 30 * kMs;  // block 4: 30 ms early, so block 4->5 is 30 ms late
  Expectations e = expecting(image);
  e.lateTolerance = 50 * kMs;
  const Verdict v = checkStream(s.chunks, s.closeAt, e);
  const GapStats& g = v.gap(GapKind::Block);
  EXPECT_EQ(g.count, 8);  // blocks 1->2 to 8->9; 9->10 belongs to the tail
  EXPECT_EQ(g.min, 70 * kMs);
  EXPECT_EQ(g.max, 130 * kMs);
  EXPECT_EQ(g.worstEarly, 30 * kMs);
  EXPECT_EQ(g.worstLate, 30 * kMs);
  EXPECT_EQ(g.earlyCount, 1);
  // Six pauses on time, the early one counted as not late, one 30 ms late.
  EXPECT_EQ(g.lateMs, (std::map<int, int>{{0, 7}, {30, 1}}));
  EXPECT_EQ(v.problems, std::vector<std::string>{"gap block 3->4 early by 30 ms"});
}

}  // namespace
}  // namespace korven::sim
