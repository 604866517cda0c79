// The update itself: the run's waves with their progress, the outcome printed.
#include "app/cli/UpdateRun.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/cli/Output.h"
#include "app/cli/PlanText.h"
#include "app/cli/Progress.h"
#include "app/cli/ReportJson.h"
#include "app/cli/Tally.h"
#include "platform/Text.h"

namespace korven::cli {
namespace {

// The run's progress on stderr; Ctrl+C and SIGTERM answered with a warning
// while a stream runs, and ending the run while it waits for its window.
class CliObserver : public RunObserver {
 public:
  explicit CliObserver(Session& s) : progress_(s) {}

  void waitingForWindow(const NightWindow& window, Micros opensIn) override {
    caught_ = std::make_unique<CaughtSignal>();
    note("waiting for the window at " + window.startText + " (in " + durationText(opensIn) +
         "); Ctrl+C ends the run, nothing streamed");
  }
  void windowOpened() override {
    caught_.reset();
    note("the window is open: connecting to the terminals again");
  }
  bool interrupted() override { return CaughtSignal::caught() != 0; }
  void batchBegins(const RunStep& batch) override {
    progress_.waveBegins(batchName(batch), batch.terminals, clockText(batch.endsAt));
  }
  void heldBack(const RunStep& batch, const NightWindow& window) override {
    const std::string name = batchName(batch);
    if (batch.wave == 0) {
      warn("outside the window " + window.startText + "-" + window.endText +
           " and --window-now-or-never given: nothing streamed, every terminal held back");
    } else if (batch.retry > 0) {
      warn(name + " (" + std::to_string(batch.terminals) +
           " terminals) would end after the window closes at " + window.endText +
           ": not started; they stay as they ended, take them with --retry REPORT");
    } else {
      warn((name.empty() ? std::string("the update") : name) +
           " would end after the window closes at " + window.endText +
           ": it and what follows are held back; take them with --retry REPORT in the next "
           "window");
    }
  }
  void updateBegins() override {
    caught_.reset();
    guard_ = std::make_unique<UninterruptedUpdate>();
    progress_.clicked();
  }
  void updateEnded() override {
    progress_.finish();
    guard_.reset();
  }
  void hearingVerdicts(Micros upTo) override {
    note("connecting again to hear each terminal's verdict (up to " +
         secondsText(static_cast<double>(upTo.count()) / 1e6) + ")");
  }
  void stopped(int wave, int waves) override {
    warn("too many terminals not clean after wave " + std::to_string(wave) + " of " +
         std::to_string(waves) +
         "; the rest are held back: mend the cause, then take them with --retry REPORT");
  }

 private:
  Progress progress_;
  std::unique_ptr<UninterruptedUpdate> guard_;
  std::unique_ptr<CaughtSignal> caught_;
};

void printOutcome(const UpdateRecord& r, const std::string& reportFile, bool json) {
  if (json) {
    std::fputs(reportJson(r, reportFile).c_str(), stdout);
    return;
  }
  for (const TerminalRecord& t : r.terminals) {
    std::printf("%s %s %s%s\n", t.terminal ? std::to_string(*t.terminal).c_str() : "-",
                escapedText(t.address).c_str(), r.outcome(t).c_str(),
                t.reply.empty() ? "" : (" " + t.reply).c_str());
  }
}

// The exit code, kept in the history with the run; the history's failure
// to take it is said, the report being the run's record all the same.
int exited(RunRecord& run, int code) {
  run.exited(code);
  if (run.historyFailed()) {
    warn("the history could not take this run (its report holds it): " + run.historyError() +
         "; korven-cli history --import REPORT records it later");
  }
  return code;
}

std::string windowEnd(const CliOptions& o) {
  return o.window ? o.window->endText : std::string();
}

// The outcome on stdout, the tally on stderr, or the failure to write the
// report; the exit code.
int finish(RunRecord& run, const CliOptions& o, int code) {
  const UpdateRecord shown = run.record();
  printOutcome(shown, run.lastWritten(), o.json);
  std::fprintf(stderr, "%s\n", tallyLine(shown, run.lastWritten(), windowEnd(o)).c_str());
  if (!run.path().empty() && run.lastWritten().empty()) {
    return exited(run, fail(kNotClean, "the report could not be written to " + run.path() +
                                           "; check that its folder is writable and has room"));
  }
  return exited(run, code);
}

}  // namespace

int runUpdate(Session& s, const CliOptions& o, RunRecord& run, const RunPlan& plan) {
  printPlan(s, plan);
  CliObserver observer(s);
  Rollout::End end = Rollout::End::Ran;
  {
    Rollout rollout(s.op, s.loader.report(), run, observer, s.platform.wallClock());
    end = rollout.run(plan);
  }
  run.finish(s.platform.wallClock().now());
  switch (end) {
    case Rollout::End::Interrupted: {
      const int signal = CaughtSignal::caught();
      finish(run, o, 128 + signal);
      CaughtSignal::dieOf(signal);
    }
    case Rollout::End::Refused:
      // The window's refusal has been printed; the report says who got what.
      return exited(run, failShown(kRefused, s.lastMessage()));
    case Rollout::End::TimedOut:
      return exited(run, fail(kNotClean,
                              "the update did not end, well past its timetable; the report says "
                              "how far each terminal got: take the interrupted ones with --retry "
                              "REPORT"));
    case Rollout::End::Ran:
    case Rollout::End::Stopped:
    case Rollout::End::HeldBack:
      break;
  }
  return finish(run, o, run.record().allPass() ? kClean : kNotClean);
}

int planUpdate(Session& s, const CliOptions& o, RunRecord& run, const RunPlan* plan) {
  run.plan();
  if (plan != nullptr) {
    const Schedule schedule = printPlan(s, *plan);
    for (std::size_t k = 0; k < schedule.waves.size(); ++k) {
      if (!schedule.waves[k].heldBack) continue;
      run.holdBackFrom(static_cast<int>(k + 1), kHeldForWindow);
      break;
    }
  }
  run.finish(s.platform.wallClock().now());
  const UpdateRecord planned = run.record();
  const bool allPlanned =
      std::all_of(planned.terminals.begin(), planned.terminals.end(), [&](const TerminalRecord& t) {
        return planned.outcome(t) != "not connected" && planned.outcome(t) != "held back";
      });
  return finish(run, o, allPlanned ? kClean : kNotClean);
}

int endRun(Session& s, const CliOptions& o, RunRecord& run, int code) {
  run.finish(s.platform.wallClock().now());
  if (code == kClean) return finish(run, o, code);
  std::fprintf(stderr, "%s\n", tallyLine(run.record(), run.lastWritten(), windowEnd(o)).c_str());
  return exited(run, code);
}

}  // namespace korven::cli
