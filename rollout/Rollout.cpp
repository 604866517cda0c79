#include "rollout/Rollout.h"

#include <algorithm>

namespace korven {
namespace {

bool awaitingVerdict(const UpdateRecord& r) {
  return std::any_of(r.terminals.begin(), r.terminals.end(), [&](const TerminalRecord& t) {
    return t.terminal && r.outcome(t) == "streamed" && t.reply.empty();
  });
}

bool rangeConnected(const ProgPrin& w, int from, int to) {
  for (int i = from; i <= to && i < w.LST_ALL.count(); ++i) {
    if (!w.LST_ALL.selected(i)) return false;
  }
  return true;
}

}  // namespace

std::vector<std::pair<int, int>> waveRanges(const RunPlan& plan) {
  std::vector<std::pair<int, int>> ranges;
  int from = plan.first;
  for (const int count : plan.counts) {
    ranges.emplace_back(from, from + count - 1);
    from += count;
  }
  return ranges;
}

Rollout::Rollout(Operator& op, UpdateReport& report, RunRecord& run, RunObserver& observer)
    : op_(op), report_(report), run_(run), observer_(observer) {
  report_.setSink(&run_);
}

Rollout::~Rollout() {
  report_.setSink(nullptr);
}

Rollout::End Rollout::run(const RunPlan& plan) {
  const auto ranges = waveRanges(plan);
  const int waves = static_cast<int>(ranges.size());
  for (int wave = 1; wave <= waves; ++wave) {
    const auto range = ranges[static_cast<std::size_t>(wave - 1)];
    if (wave > 1) {
      if (plan.pauseBetweenWaves > Micros(0)) op_.wait(plan.pauseBetweenWaves);
      connectWave(plan, range);
    } else if (op_.w().allTerminals()) {
      op_.setRange(range.first, range.second);
    }
    if (plan.inWaves) observer_.waveBegins(wave, waves, range.second - range.first + 1);
    observer_.updateBegins();
    const Operator::Update result = op_.update();
    observer_.updateEnded();
    if (result == Operator::Update::Refused) return End::Refused;
    if (result == Operator::Update::TimedOut) {
      // Its streams began: they stay in the report as far as they got.
      run_.waveEnded(*report_.last());
      return End::TimedOut;
    }
    hearVerdicts(plan);
    run_.waveEnded(*report_.last());
    if (plan.inWaves && wave < waves && run_.overLimit(plan.maxFailed)) {
      run_.stopAfter(wave);
      observer_.stopped(wave, waves);
      return End::Stopped;
    }
  }
  return End::Ran;
}

// Connections made anew, as the operator makes them after a batch: the end
// of an update closes every connection and leaves the marks.
void Rollout::reconnect(const RunPlan& plan) {
  if (op_.w().allTerminals()) {
    op_.allTerminals(false);
    op_.allTerminals(true);
  } else {
    op_.typeAddress(plan.singleTerminal);
  }
}

void Rollout::connectWave(const RunPlan& plan, std::pair<int, int> range) {
  reconnect(plan);
  if (!op_.w().allTerminals()) {
    op_.waitUntil([&] { return op_.connected(); }, plan.connectWait);
  } else {
    op_.setRange(range.first, range.second);
    op_.waitUntil([&] { return rangeConnected(op_.w(), range.first, range.second); },
                  plan.connectWait);
  }
  op_.wait(kStatusOnConnecting);
}

// A terminal says its verdict on its stream on a new connection.
void Rollout::hearVerdicts(const RunPlan& plan) {
  if (plan.verdictWait <= Micros(0) || !awaitingVerdict(*report_.last())) return;
  observer_.hearingVerdicts(plan.verdictWait);
  reconnect(plan);
  op_.waitUntil([&] { return !awaitingVerdict(*report_.last()); }, plan.verdictWait);
  report_.save();
}

}  // namespace korven
