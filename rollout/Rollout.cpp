#include "rollout/Rollout.h"

#include <algorithm>

namespace korven {
namespace {

// How often a run that waits for its window looks for a signal and reads the
// wall clock again, so that Ctrl+C is answered at once and a clock set
// meanwhile is followed.
constexpr Micros kWindowLook(200'000);

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

WaveTimes waveTimes(const Operator& op, const RunPlan& plan) {
  WaveTimes times;
  times.stream = op.timetableOf(plan.blocks);
  times.verdictWait = plan.verdictWait;
  times.pause = plan.pauseBetweenWaves;
  times.connecting = kStatusOnConnecting;
  return times;
}

Rollout::Rollout(Operator& op, UpdateReport& report, RunRecord& run, RunObserver& observer,
                 const WallClock& calendar)
    : op_(op), report_(report), run_(run), observer_(observer), calendar_(calendar) {
  report_.setSink(&run_);
}

Rollout::~Rollout() {
  report_.setSink(nullptr);
}

Rollout::End Rollout::run(const RunPlan& plan) {
  const WindowClock clock(calendar_, plan.window);
  times_ = waveTimes(op_, plan);
  const auto ranges = waveRanges(plan);
  const int waves = static_cast<int>(ranges.size());
  bool waited = false;
  if (clock.untilOpen() > Micros(0)) {
    if (!plan.waitForWindow) return holdBack(RunStep{0, 0, 0, 0, 0, Micros(0)}, *clock.window());
    const End end = awaitWindow(plan, clock);
    if (end != End::Ran) return end;
    waited = true;
  }
  for (int wave = 1; wave <= waves; ++wave) {
    const auto range = ranges[static_cast<std::size_t>(wave - 1)];
    RunStep batch{wave, plan.inWaves ? waves : 0, 0, plan.retries, range.second - range.first + 1};
    const Micros needs = waveNeeds(times_, wave < waves);
    if (wave > 1 || waited) {
      // No pause is waited for a wave that could not end in time anyway.
      const Micros pause = wave > 1 ? plan.pauseBetweenWaves : Micros(0);
      if (!clock.fits(pause + kStatusOnConnecting + needs)) {
        return holdBack(batch, *clock.window());
      }
      if (pause > Micros(0)) op_.wait(pause);
      connectWave(plan, wave, range);
    } else if (op_.w().allTerminals()) {
      op_.setRange(range.first, range.second);
    }
    // Connecting took what it took: the fit is judged again at the click.
    if (!clock.fits(needs)) return holdBack(batch, *clock.window());
    batch.endsAt = clock.now() + times_.stream;
    End end = streamBatch(plan, batch);
    if (end == End::Ran) end = retry(plan, clock, batch);
    if (end != End::Ran) return end;
    if (plan.inWaves && wave < waves && run_.overLimit(plan.maxFailed)) {
      run_.stopAfter(wave);
      run_.holdBackRest(kHeldForFailures);
      observer_.stopped(wave, waves);
      return End::Stopped;
    }
  }
  return End::Ran;
}

// The terminals are connected already (their discovery is done); they are
// connected anew once the window opens, as for a later wave.
Rollout::End Rollout::awaitWindow(const RunPlan& plan, const WindowClock& clock) {
  run_.holdBackRest(kHeldForWindow);
  run_.write();
  observer_.waitingForWindow(*plan.window, clock.untilOpen());
  while (clock.untilOpen() > Micros(0)) {
    if (observer_.interrupted()) return End::Interrupted;
    op_.wait(std::min(clock.untilOpen(), kWindowLook));
  }
  observer_.windowOpened();
  run_.holdBackRest("");
  return End::Ran;
}

Rollout::End Rollout::holdBack(const RunStep& batch, const NightWindow& window) {
  run_.holdBackRest(kHeldForWindow);
  observer_.heldBack(batch, window);
  return End::HeldBack;
}

Rollout::End Rollout::streamBatch(const RunPlan& plan, const RunStep& batch) {
  observer_.batchBegins(batch);
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
  return End::Ran;
}

// Streams again, as one batch each time, the terminals of the batch that
// were cut, never connected or said CHKERR: a terminal left in its boot
// loader stays there until someone comes. FULL is left alone, as another
// stream would find the memory as full.
Rollout::End Rollout::retry(const RunPlan& plan, const WindowClock& clock, RunStep batch) {
  const std::optional<int> wave = batch.waves > 0 ? std::optional<int>(batch.wave) : std::nullopt;
  for (int attempt = 1; attempt <= plan.retries; ++attempt) {
    const std::vector<std::string> again = run_.toStreamAgain(wave);
    if (again.empty()) return End::Ran;
    batch.retry = attempt;
    batch.terminals = static_cast<int>(again.size());
    const Micros needs = times_.stream + times_.verdictWait;
    if (!clock.fits(plan.retryPause + kStatusOnConnecting + needs)) {
      observer_.heldBack(batch, *clock.window());
      return End::Ran;
    }
    op_.wait(plan.retryPause);
    connectOnly(plan, again);
    if (!clock.fits(needs)) {
      observer_.heldBack(batch, *clock.window());
      return End::Ran;
    }
    batch.endsAt = clock.now() + times_.stream;
    const End end = streamBatch(plan, batch);
    if (end != End::Ran) return end;
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

void Rollout::connectWave(const RunPlan& plan, int wave, std::pair<int, int> range) {
  if (relisted_) {
    // The lists hold a retry's terminals now: the wave's own are listed anew.
    connectOnly(plan, run_.waveAddresses(wave));
    return;
  }
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

// These terminals alone, listed and connected: the window streams a batch
// to a range of its list, and a retry's terminals are seldom one range.
void Rollout::connectOnly(const RunPlan& plan, const std::vector<std::string>& addresses) {
  if (!op_.w().allTerminals()) {
    reconnect(plan);
    op_.waitUntil([&] { return op_.connected(); }, plan.connectWait);
    op_.wait(kStatusOnConnecting);
    return;
  }
  relisted_ = true;
  run_.matchByAddress();
  op_.listOnly(addresses, plan.connectWait);
  const int last = std::max(0, static_cast<int>(op_.listed().size()) - 1);
  op_.setRange(0, last);
  op_.waitUntil([&] { return rangeConnected(op_.w(), 0, last); }, plan.connectWait);
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
