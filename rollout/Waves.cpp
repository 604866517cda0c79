#include "rollout/Waves.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace korven {
namespace {

// No site has more terminals than a list can number: a larger count means
// all of them, and kept as it was it would overflow the arithmetic.
constexpr double kMostTerminals = 32767;

std::optional<Share> parseShare(std::string text) {
  Share share;
  share.percent = !text.empty() && text.back() == '%';
  if (share.percent) text.pop_back();
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
    return std::nullopt;
  }
  char* end = nullptr;
  share.value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || (share.percent && share.value > 100)) return std::nullopt;
  if (!share.percent) {
    if (share.value != std::floor(share.value)) return std::nullopt;
    share.value = std::min(share.value, kMostTerminals);
  }
  return share;
}

}  // namespace

std::optional<std::vector<Share>> parseWaveSizes(const std::string& text) {
  std::vector<Share> sizes;
  std::size_t at = 0;
  for (;;) {
    const std::size_t comma = text.find(',', at);
    const auto share = parseShare(text.substr(at, comma - at));
    // A wave of no terminal would never end the rollout.
    if (!share || share->value <= 0) return std::nullopt;
    sizes.push_back(*share);
    if (comma == std::string::npos) return sizes;
    at = comma + 1;
  }
}

std::optional<Share> parseFailureLimit(const std::string& text) {
  return parseShare(text);
}

std::string shareText(const std::vector<Share>& shares) {
  std::string text;
  for (const Share& share : shares) {
    char number[32];
    std::snprintf(number, sizeof number, "%g", share.value);
    text += (text.empty() ? "" : ",") + std::string(number) + (share.percent ? "%" : "");
  }
  return text;
}

std::vector<int> waveCounts(int terminals, const std::vector<Share>& sizes) {
  std::vector<int> counts;
  for (int left = terminals; left > 0;) {
    const Share& size = sizes[std::min(counts.size(), sizes.size() - 1)];
    const int n = size.percent ? static_cast<int>(size.value * terminals / 100)
                               : static_cast<int>(size.value);
    counts.push_back(std::min(std::max(n, 1), left));
    left -= counts.back();
  }
  return counts;
}

}  // namespace korven
