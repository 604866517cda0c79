#include "app/cli/Progress.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace korven::cli {

Progress::Progress(Operator& op) : op_(op), terminal_(::isatty(STDERR_FILENO) == 1) {
  ProgPrin& w = op.w();
  w.AFF_UPD_MSG.onChange.connect([this] {
    step_ = op_.w().AFF_UPD_MSG.text();
    show(true);
  });
  w.AFF_TR_PERC.onChange.connect([this] { show(false); });
}

void Progress::show(bool stepChanged) {
  if (step_.empty()) return;
  const ProgPrin& w = op_.w();
  const int connected = w.allTerminals() ? op_.markedLines() : (op_.connected() ? 1 : 0);
  const auto failed = op_.failures().size();
  const int percent = std::atoi(w.AFF_TR_PERC.text().c_str());
  if (!terminal_) {
    if (stepChanged) {
      std::fprintf(stderr, "%s%s: %d connected, %zu failed\n", wave_.c_str(), step_.c_str(),
                   connected, failed);
    }
    return;
  }
  // A redraw at most ten times a second, and at every step and the end.
  const auto now = std::chrono::steady_clock::now();
  if (!stepChanged && percent < 100 && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  lastDrawn_ = now;
  constexpr int kWidth = 30;
  const int filled = percent * kWidth / 100;
  std::fprintf(stderr, "\r%s%-16s [%s%s] %3d%%  connected %d  failed %zu", wave_.c_str(),
               step_.c_str(), std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), percent,
               connected, failed);
  drawn_ = true;
}

void Progress::setWave(int wave, int waves) {
  wave_ = "wave " + std::to_string(wave) + " of " + std::to_string(waves) + ": ";
  step_.clear();
}

void Progress::finish() {
  if (!terminal_) return;
  show(true);
  if (drawn_) std::fputc('\n', stderr);
}

}  // namespace korven::cli
