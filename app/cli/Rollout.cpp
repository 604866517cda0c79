#include "app/cli/Rollout.h"

#include <algorithm>
#include <cstdlib>

namespace korven::cli {
namespace {

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
    if (!share || share->value <= 0 ||
        (!share->percent && share->value != static_cast<int>(share->value))) {
      return std::nullopt;
    }
    sizes.push_back(*share);
    if (comma == std::string::npos) return sizes;
    at = comma + 1;
  }
}

std::optional<Share> parseFailureLimit(const std::string& text) {
  const auto share = parseShare(text);
  if (!share || (!share->percent && share->value != static_cast<int>(share->value))) {
    return std::nullopt;
  }
  return share;
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

Rollout::Rollout(int first, std::vector<int> counts) : first_(first), counts_(std::move(counts)) {}

std::pair<int, int> Rollout::range(int wave) const {
  int from = first_;
  for (int k = 1; k < wave; ++k) from += counts_[static_cast<std::size_t>(k - 1)];
  return {from, from + counts_[static_cast<std::size_t>(wave - 1)] - 1};
}

std::optional<int> Rollout::waveOf(const TerminalRecord& line) const {
  // A terminal given that never answered belongs to the first wave, where
  // it fails as it would in a single batch.
  if (!line.terminal) return 1;
  for (int k = 1; k <= waves(); ++k) {
    const auto [from, to] = range(k);
    if (*line.terminal >= from && *line.terminal <= to) return k;
  }
  return std::nullopt;
}

void Rollout::begin(const UpdateRecord& firstWave) {
  lines_ = firstWave.terminals;
  started_ = firstWave.started;
}

UpdateRecord Rollout::compose(const UpdateRecord& current) const {
  // Until the first wave has ended, its update's lines are the rollout's.
  const std::vector<TerminalRecord> lines = lines_.empty() ? current.terminals : lines_;
  UpdateRecord out = current;
  out.started = lines_.empty() ? current.started : started_;
  out.waves = waves();
  out.stoppedAfterWave = stoppedAfter_;
  out.terminals.clear();
  for (const TerminalRecord& line : lines) {
    const auto wave = waveOf(line);
    const auto now = std::find_if(current.terminals.begin(), current.terminals.end(),
                                  [&](const TerminalRecord& t) {
                                    return t.address == line.address && t.terminal == line.terminal;
                                  });
    const auto done = done_.find(line.address);
    TerminalRecord row = now != current.terminals.end() ? *now : line;
    if (wave && !(now != current.terminals.end() && now->inRange)) {
      if (done != done_.end()) {
        row = done->second;
      } else {
        // Its wave has not run: no stream began, and none will if the rollout stops.
        row = line;
        row.inRange = true;
        row.piecesSent = 0;
        row.firstFailedPiece.reset();
        row.reply.clear();
        row.fixedOutcome = "held back";
      }
    }
    if (wave) row.wave = wave;
    out.terminals.push_back(std::move(row));
  }
  return out;
}

void Rollout::waveEnded(const UpdateRecord& wave) {
  for (const TerminalRecord& t : wave.terminals) {
    if (!t.inRange) continue;
    TerminalRecord done = t;
    done.wave = waveOf(t);
    // Its outcome is the one of its wave's update, whatever comes later.
    done.fixedOutcome = wave.outcome(t);
    done_[t.address] = std::move(done);
  }
}

bool Rollout::overLimit(const Share& limit) const {
  const UpdateRecord any;  // every outcome is fixed by now
  int notClean = 0;
  for (const auto& [address, t] : done_) notClean += any.clean(t) ? 0 : 1;
  const double updated = static_cast<double>(done_.size());
  return limit.percent ? notClean * 100.0 > limit.value * updated : notClean > limit.value;
}

}  // namespace korven::cli
