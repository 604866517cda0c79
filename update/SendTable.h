#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korven {

inline constexpr int kSendTableSize = 1001;  // entries 0 to 1000
inline constexpr int kFirstBlockEntry = 3;
// SOH, "00T" and the end marker.
inline constexpr const char kBootRequest[] =
    "\x01"
    "00T\xFB\x08\xC9\x08\x64";
inline constexpr const char kEndMarker[] = "\xFB\x08\xC9\x08\x64";

// The sends to each terminal of an update of `blocks` blocks: the boot
// request (whole, or a send per byte), the blocks, the end marker's bytes
// one by one and the checksum.
constexpr int piecesOfStream(int blocks, bool bootRequestWhole) {
  return (bootRequestWhole ? 1 : static_cast<int>(sizeof(kBootRequest) - 1)) + blocks +
         static_cast<int>(sizeof(kEndMarker) - 1) + 1;
}

// The pieces of one update, one per tick of the send timer: two lead-ins
// (never sent), the boot request, the blocks, the five end-marker bytes one
// per entry, the checksum byte, and the empty end entry.
struct SendTable {
  std::array<std::string, kSendTableSize> TAB_ENV;
  int NB_ENV = 0;  // index of the end entry

  // Lays the stream for these blocks (at most 991) and returns NB_ENV.
  // Entries after the end entry keep what an earlier update left there.
  int lay(const std::vector<std::string>& blocks, std::uint8_t checksum);
};

}  // namespace korven
