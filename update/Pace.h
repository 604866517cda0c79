#pragma once

#include <optional>
#include <string>

namespace korven {

// The leading number of a text, as the classic toolkit reads numbers from
// text boxes: leading blanks skipped, an optional sign, digits with an
// optional fraction and exponent; 0 when there is none.
double leadingNumber(const std::string& text);

// The block pace in milliseconds: the number in INP_DEL plus 100, rounded.
// Nothing when it lies outside what the send timer can run (1 to 65,535 ms):
// 0 or less would stop the timer, and the update would never end.
std::optional<int> blockPace(const std::string& inpDel);

}  // namespace korven
