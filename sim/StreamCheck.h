#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/Wire.h"

// Judges one update stream as a terminal received it: the bytes, when each
// arrived, and when the connection closed. Nothing here trusts the sender's
// framing; pieces are told apart by their arrival times alone, as a
// terminal must.
namespace korven::sim {

// Bytes handed over by one read, with the time they arrived.
struct Chunk {
  TimeUs at = 0;
  std::string bytes;
};

enum class BootStyle { Bytes, Whole };

// What a correct sender does; the same for every terminal of a run.
struct Expectations {
  TimeUs pieceGap = 40'000;  // reads closer than this belong to one piece
  TimeUs pace = 100'000;     // between blocks
  bool goBoot = true;        // false: every boot-step pause is 3 s
  BootStyle boot = BootStyle::Bytes;
  TimeUs earlyTolerance = 2'000;
  TimeUs lateTolerance = 100'000;
  // For the frozen waits of the boot step. A batch sender starts them once
  // the boot request has gone to every terminal, so the terminals served
  // first wait longer by the whole fan-out.
  TimeUs waitLateTolerance = 100'000;
  // Image data as it must go on the wire (leading zero bytes stripped);
  // null: the data is not compared.
  std::shared_ptr<const std::string> image;
};

// The kinds of pause the timetable sets, in the order of the stream.
enum class GapKind { BootByte, BootToData, Block, Tail, Close };
inline constexpr std::size_t kGapKinds = 5;
// "boot-byte", "boot-to-data", "block", "tail", "close".
const char* gapKindName(GapKind kind);

struct GapStats {
  TimeUs expected = 0;
  int count = 0;
  TimeUs min = 0;
  TimeUs max = 0;
  TimeUs worstEarly = 0;  // largest shortfall below the expected pause, 0 if none
  TimeUs worstLate = 0;   // largest excess over it, 0 if none
  int earlyCount = 0;     // shorter than expected by more than the tolerance
  // How late each pause was, in whole milliseconds (an early pause counts
  // as 0): lateness -> number of pauses. Sparse, so streams can be merged.
  std::map<int, int> lateMs;
};

struct Verdict {
  std::size_t bytes = 0;
  int blocks = 0;
  std::string boot = "missing";       // "bytes", "whole", "missing"
  std::string checksum = "missing";   // "ok", "wrong", "missing"
  std::string image = "unchecked";    // "match", "differs", "unchecked"
  std::vector<std::string> problems;  // empty: the stream is correct
  std::array<GapStats, kGapKinds> gaps{};

  bool ok() const { return problems.empty(); }
  const GapStats& gap(GapKind kind) const { return gaps[static_cast<std::size_t>(kind)]; }
};

// The image data a correct sender puts on the wire: the file without the
// zero bytes before its first non-zero byte.
std::string stripLeadingZeros(std::string_view file);

// (568 + sum of the data bytes) mod 256.
unsigned char streamChecksum(std::string_view data);

// closedAt: when the sender closed the connection; nullopt when it is still
// open or the terminal closed it itself (then the close is not judged).
Verdict checkStream(const std::vector<Chunk>& chunks, std::optional<TimeUs> closedAt,
                    const Expectations& expect);

}  // namespace korven::sim
