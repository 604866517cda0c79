// The update itself: batches in waves, the verdicts, the outcome printed.
#include "app/cli/UpdateRun.h"

#include <algorithm>
#include <cstdio>

#include "app/cli/Output.h"
#include "app/cli/Progress.h"
#include "app/cli/ReportJson.h"
#include "app/cli/Rollout.h"
#include "app/cli/Tally.h"
#include "platform/Text.h"
#include "update/Pace.h"

namespace korven::cli {
namespace {

bool awaitingVerdict(const UpdateRecord& r) {
  return std::any_of(r.terminals.begin(), r.terminals.end(), [&](const TerminalRecord& t) {
    return t.terminal && r.outcome(t) == "streamed" && t.reply.empty();
  });
}

// Connections made anew, as the operator makes them after a batch: the end
// of an update closes every connection and leaves the marks.
void reconnect(Session& s, const CliOptions& o) {
  if (s.w().allTerminals()) {
    s.op.allTerminals(false);
    s.op.allTerminals(true);
  } else {
    s.op.typeAddress(o.terminal);
  }
}

// A terminal's verdict on its stream is said on a new connection.
void waitForVerdicts(Session& s, const CliOptions& o) {
  UpdateReport& report = s.loader.report();
  if (o.verdictWaitSeconds <= 0 || !awaitingVerdict(*report.last())) return;
  note("connecting again to hear each terminal's verdict (up to " +
       secondsText(o.verdictWaitSeconds) + ")");
  reconnect(s, o);
  s.op.waitUntil([&] { return !awaitingVerdict(*report.last()); },
                 secondsToMicros(o.verdictWaitSeconds));
  report.save();
}

bool rangeConnected(const ProgPrin& w, int from, int to) {
  for (int i = from; i <= to && i < w.LST_ALL.count(); ++i) {
    if (!w.LST_ALL.selected(i)) return false;
  }
  return true;
}

// The next wave's terminals connected, and what they say on connecting heard.
void connectWave(Session& s, const CliOptions& o, std::pair<int, int> range) {
  reconnect(s, o);
  if (!s.w().allTerminals()) {
    s.op.waitUntil([&] { return s.op.connected(); }, secondsToMicros(o.waitSeconds));
  } else {
    s.op.setRange(range.first, range.second);
    s.op.waitUntil([&] { return rangeConnected(s.w(), range.first, range.second); },
                   secondsToMicros(o.waitSeconds));
  }
  s.op.wait(Micros(300'000));
}

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

// The outcome on stdout, the tally on stderr, or the failure to write the
// report; the exit code.
int finish(UpdateReport& report, const UpdateRecord& shown, const CliOptions& o, bool clean) {
  printOutcome(shown, report.lastWritten(), o.json);
  std::fprintf(stderr, "%s\n", tallyLine(shown, report.lastWritten()).c_str());
  if (report.lastWritten().empty()) {
    return fail(kNotClean,
                "the report could not be written" +
                    (o.reportFile.empty() ? std::string(" into reports/") : " to " + o.reportFile) +
                    "; check that its folder is writable and has room");
  }
  return clean ? kClean : kNotClean;
}

Rollout rolloutOf(Session& s, const CliOptions& o, const UpdateTargets& targets) {
  const int count = s.w().allTerminals() ? targets.last - targets.first + 1 : 1;
  return Rollout(targets.first,
                 o.waves.empty() ? std::vector<int>{count} : waveCounts(count, o.waves));
}

}  // namespace

int runUpdate(Session& s, const CliOptions& o, const UpdateTargets& targets) {
  UpdateReport& report = s.loader.report();
  Rollout rollout = rolloutOf(s, o, targets);
  const bool inWaves = !o.waves.empty();
  if (inWaves) report.compose = [&rollout](const UpdateRecord& r) { return rollout.compose(r); };
  const Share limit = o.maxFailed.value_or(Share{0, false});
  Progress progress(s);
  for (int wave = 1; wave <= rollout.waves(); ++wave) {
    if (wave > 1) {
      if (o.pauseBetweenWaves > 0) s.op.wait(secondsToMicros(o.pauseBetweenWaves));
      connectWave(s, o, rollout.range(wave));
    } else if (s.w().allTerminals()) {
      s.op.setRange(rollout.range(1).first, rollout.range(1).second);
    }
    if (inWaves) {
      const auto [first, last] = rollout.range(wave);
      progress.waveBegins(wave, rollout.waves(), last - first + 1);
    }
    Operator::Update result = Operator::Update::Refused;
    {
      const UninterruptedUpdate guard;
      progress.clicked();
      result = s.op.update();
    }
    progress.finish();
    if (result == Operator::Update::Refused) return failShown(kRefused, s.lastMessage());
    if (result == Operator::Update::TimedOut) {
      return fail(kNotClean,
                  "the update did not end, well past its timetable; the report says "
                  "how far each terminal got: take the interrupted ones with --retry REPORT");
    }
    waitForVerdicts(s, o);
    if (wave == 1) rollout.begin(*report.last());
    rollout.waveEnded(*report.last());
    if (inWaves && wave < rollout.waves() && rollout.overLimit(limit)) {
      rollout.stopAfter(wave);
      warn("too many terminals not clean after wave " + std::to_string(wave) + " of " +
           std::to_string(rollout.waves()) +
           "; the rest are held back: mend the cause, then take them with --retry REPORT");
      break;
    }
  }
  report.save();
  const UpdateRecord shown = inWaves ? rollout.compose(*report.last()) : *report.last();
  return finish(report, shown, o, shown.allClean());
}

int planUpdate(Session& s, const CliOptions& o, const UpdateTargets& targets,
               const ImageData& image) {
  UpdateReport& report = s.loader.report();
  Rollout rollout = rolloutOf(s, o, targets);
  if (!o.waves.empty()) {
    report.compose = [&rollout](const UpdateRecord& r) { return rollout.compose(r); };
  }
  const ProgPrin& w = s.w();
  report.planned(ImageFacts{w.NOM_FICHIER.text(), image.bytes.size(),
                            static_cast<int>(cutIntoBlocks(image.bytes).size()),
                            checksumOf(image.bytes), blockPace(w.INP_DEL.text()).value_or(100)});
  const UpdateRecord shown = report.compose ? report.compose(*report.last()) : *report.last();
  const bool allConnected =
      std::all_of(shown.terminals.begin(), shown.terminals.end(),
                  [&](const TerminalRecord& t) { return shown.outcome(t) != "not connected"; });
  return finish(report, shown, o, allConnected);
}

}  // namespace korven::cli
