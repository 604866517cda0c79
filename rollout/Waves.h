#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korven {

// A count of terminals, or a percentage of those of the update.
struct Share {
  double value = 0;
  bool percent = false;
};

// "1,10%,50%": the sizes of the waves; nothing when it is no such list.
std::optional<std::vector<Share>> parseWaveSizes(const std::string& text);
// "0", "3" or "20%"; nothing when it is neither.
std::optional<Share> parseFailureLimit(const std::string& text);
// "1,10%,50%", as parsed.
std::string shareText(const std::vector<Share>& shares);

// The number of terminals in each wave, as Ansible's serial cuts hosts: a
// percentage is rounded down but never below one, and the last size repeats
// until every terminal had its wave.
std::vector<int> waveCounts(int terminals, const std::vector<Share>& sizes);

}  // namespace korven
