#pragma once

#include <optional>
#include <string>

#include "platform/Time.h"

namespace korven {

// The leading number of a text, as the classic toolkit reads numbers from
// text boxes: leading blanks skipped, an optional sign, digits with an
// optional fraction and exponent; 0 when there is none.
double leadingNumber(const std::string& text);

// The block pace in milliseconds: the number in INP_DEL plus 100, rounded.
// Nothing when it lies outside what the send timer can run (1 to 65,535 ms):
// 0 or less would stop the timer, and the update would never end.
std::optional<int> blockPace(const std::string& inpDel);

// Whether the boot request goes in one send: the file name holds "WG", in
// any letter case.
bool bootRequestGoesWhole(std::string imageName);

// How long an update of `blocks` blocks takes by its timetable, from the
// click to the end tick: the first tick a block pace after the click, the
// boot request (its nine bytes 1 s apart, or 3 s without GO BOOT, unless it
// goes whole), 1 s, 5 s (3 s and 3 s without GO BOOT) before the first
// block, the blocks at the pace, 600 ms before each of the last eight pieces.
Micros timetableLength(int blocks, int blockPaceMs, bool goBoot, bool bootRequestWhole);

}  // namespace korven
