#include "app/cli/Suggest.h"

#include <algorithm>

namespace korven::cli {
namespace {

// Edits from `a` to `b`, a swap of two neighbours counting as one.
std::size_t edits(const std::string& a, const std::string& b) {
  const std::size_t n = a.size();
  const std::size_t m = b.size();
  std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
  for (std::size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[n][m];
}

}  // namespace

std::optional<std::string> nearMiss(const std::string& typed,
                                    const std::vector<std::string>& known) {
  if (typed.empty()) return std::nullopt;
  std::optional<std::string> begun;
  int begins = 0;
  for (const std::string& k : known) {
    if (k.rfind(typed, 0) == 0) {
      begun = k;
      ++begins;
    }
  }
  if (begins == 1) return begun;
  const std::size_t allowed = typed.size() >= 6 ? 2 : 1;
  std::optional<std::string> nearest;
  std::size_t best = allowed + 1;
  for (const std::string& k : known) {
    const std::size_t e = edits(typed, k);
    if (e < best) {
      best = e;
      nearest = k;
    }
  }
  return nearest;
}

}  // namespace korven::cli
