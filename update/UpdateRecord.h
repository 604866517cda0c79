#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/WallClock.h"

namespace korven {

// One terminal's part in an update. The words stay honest: "streamed" says
// every piece was handed to its connection, not that the terminal took the
// image; its reply says that.
struct TerminalRecord {
  std::optional<int> terminal;  // its line; none for one expected but never listed
  std::string address;
  bool inRange = true;
  bool connected = false;  // its connected mark when the update started
  int piecesSent = 0;
  std::optional<int> firstFailedPiece;  // counted from 1
  std::string reply;                    // the status its reply gave, or empty

  // "streamed", "cut" (some pieces not handed over), "not connected" (none
  // was) or "outside range".
  std::string outcome(int piecesTotal) const;
  // Streamed, and no reply of a checksum error or a full memory.
  bool clean(int piecesTotal) const;
};

// What one update did, from the click to the end.
struct UpdateRecord {
  std::string image;
  std::size_t imageBytes = 0;  // the data sent, from the file's first non-zero byte
  int blocks = 0;
  int checksum = 0;
  bool allTerminals = false;
  int from = 0;  // the range, in all-terminals mode
  int to = 0;
  int blockPaceMs = 0;
  bool goBoot = true;
  LocalTime started;
  LocalTime ended;
  std::string version;
  int piecesTotal = 0;
  std::vector<TerminalRecord> terminals;

  // Every terminal of the update was clean.
  bool allClean() const;
};

}  // namespace korven
