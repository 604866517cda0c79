#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korven::cli {

// The one of `known` that `typed` most likely meant: the only one it begins,
// or the nearest by edits (a letter added, dropped, changed, or two
// swapped), one edit for a short word and two for a longer one; the first
// of the nearest in `known`'s order. Nothing when none is that near.
std::optional<std::string> nearMiss(const std::string& typed,
                                    const std::vector<std::string>& known);

}  // namespace korven::cli
