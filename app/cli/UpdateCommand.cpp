// korven-cli update: the checks before anything is sent, the run's report
// made, the terminals listed and connected; the update itself runs in
// UpdateRun.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/cli/Commands.h"
#include "app/cli/HistoryFile.h"
#include "app/cli/Output.h"
#include "app/cli/PrepareTerminals.h"
#include "app/cli/ReportReader.h"
#include "app/cli/Session.h"
#include "app/cli/UpdateRun.h"
#include "app/cli/WindowMessages.h"
#include "platform/Text.h"
#include "platform/system/TerminalAddress.h"
#include "rollout/Currency.h"
#include "update/Pace.h"
#include "update/SendTable.h"

namespace korven::cli {
namespace fs = std::filesystem;

namespace {

bool endsWithBin(const std::string& name) {
  if (name.size() < 4) return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return suffix == ".BIN";
}

// The image is read once, before anything goes out, and every wave streams
// these bytes: a copy landing in between must not reach half the terminals.
std::optional<int> checkImage(Session& s, const CliOptions& o, const std::string& path,
                              ImageData& image) {
  image = readImageFile(s.platform.files(), path, s.platform.eventLoop());
  if (!image.failure) {
    if (o.sha256.empty() || image.sha256 == o.sha256) return std::nullopt;
    return fail(kRefused, o.image + ": its SHA-256 is " + image.sha256 + ", not the " + o.sha256 +
                              " given with --sha256; copy the image again, or give its digest");
  }
  switch (*image.failure) {
    case ImageFailure::TooLarge:
      return fail(kRefused, o.image + ": " + explainWindowMessage(kImageTooLarge));
    case ImageFailure::NoData:
      // The window has no word of its own for it: it takes it for unreadable.
      return fail(kRefused, o.image +
                                ": no data after its leading zero bytes, and a boot request "
                                "followed by no block would leave a terminal in its boot loader "
                                "(the window says \"" +
                                kCannotReadImage + "\"); give the image meant for these terminals");
    case ImageFailure::CannotRead:
      break;
  }
  return fail(kRefused, o.image + ": " + explainWindowMessage(kCannotReadImage));
}

// The terminals of a --retry, and the run's ways unless given again: a
// retry of a rollout goes in its waves, with its stop threshold.
std::optional<int> readRetry(CliOptions& o, std::vector<std::string>& given) {
  std::ifstream in(o.retryReport, std::ios::binary);
  if (!in) {
    return fail(kRefused, "cannot read the report " + o.retryReport + "; check its path");
  }
  const auto report = readReportForRetry(std::string(std::istreambuf_iterator<char>(in), {}));
  if (!report) {
    return fail(kRefused, o.retryReport +
                              " is no report of an update (no column address, "
                              "in_range and outcome); give a report that an update wrote");
  }
  o.requireVerdict = o.requireVerdict || report->requireVerdict;
  if (o.waves.empty() && !report->waveSizes.empty()) {
    o.waves = parseWaveSizes(report->waveSizes).value_or(std::vector<Share>{});
  }
  if (!o.maxFailed && !report->maxFailed.empty()) {
    o.maxFailed = parseFailureLimit(report->maxFailed);
  }
  given = report->toRetry(o.requireVerdict);
  for (const std::string& address : given) {
    if (const auto problem = terminalAddressProblem(address)) {
      return fail(kRefused, o.retryReport + ": '" + escapedText(address) + "': " + *problem +
                                "; correct the report or give the terminals with --terminals");
    }
  }
  return std::nullopt;
}

// The run's facts as it starts: its image, pace and options.
UpdateRecord runFacts(Session& s, const CliOptions& o, const ImageFacts& image) {
  UpdateRecord facts = s.loader.report().snapshot(image);
  const char* const kTargets[] = {"", "single", "all", "given", "retry"};
  facts.target = kTargets[static_cast<int>(o.target)];
  facts.allTerminals = o.target != CliOptions::Target::Single;
  facts.to = -1;  // no range until the terminals are listed
  facts.waveSizes = o.waves.empty() ? std::string() : shareText(o.waves);
  facts.maxFailed =
      o.waves.empty() ? std::string() : shareText({o.maxFailed.value_or(Share{0, false})});
  facts.requireVerdict = o.requireVerdict;
  return facts;
}

// Where the run's report goes, fixed now for the whole run; a code when no
// report can be made there, for no stream goes out without its record.
std::optional<int> reportPath(Session& s, const CliOptions& o, const UpdateRecord& facts,
                              std::string& path) {
  std::error_code ec;
  if (!o.reportFile.empty()) {
    path = fs::absolute(o.reportFile, ec).string();
    return std::nullopt;
  }
  if (o.dryRun) return std::nullopt;  // a plan is written only where it was asked
  const fs::path reports = fs::current_path(ec) / "reports";
  path = newReportPath(s.platform.files(), reports.string(), facts);
  if (!path.empty()) return std::nullopt;
  return fail(kRefused, "cannot make the folder " + reports.string() +
                            " for the report; run in a folder you may write to, or give "
                            "--report FILE");
}

RunPlan planOf(const CliOptions& o, int first, int last, int blocks) {
  RunPlan plan;
  const int count = o.target == CliOptions::Target::Single ? 1 : last - first + 1;
  plan.first = first;
  plan.counts = o.waves.empty() ? std::vector<int>{count} : waveCounts(count, o.waves);
  plan.singleTerminal = o.terminal;
  plan.inWaves = !o.waves.empty();
  plan.maxFailed = o.maxFailed.value_or(Share{0, false});
  plan.pauseBetweenWaves = secondsToMicros(o.pauseBetweenWaves);
  plan.connectWait = secondsToMicros(o.waitSeconds);
  plan.verdictWait = secondsToMicros(o.verdictWaitSeconds);
  plan.blocks = blocks;
  plan.window = o.window;
  plan.waitForWindow = !o.windowNowOrNever;
  plan.retries = o.retries;
  plan.retryPause = secondsToMicros(o.retryPauseSeconds);
  return plan;
}

}  // namespace

int update(const CliOptions& given) {
  CliOptions o = given;
  std::error_code ec;
  const fs::path image(o.image);
  const std::string name = image.filename().string();
  if (!endsWithBin(name)) {
    return fail(kRefused, o.image +
                              " is no *.BIN file; give the image's file, as the window "
                              "lists only those");
  }
  const fs::path here = fs::current_path(ec);
  const fs::path folder = image.has_parent_path() ? fs::absolute(image.parent_path(), ec) : here;
  // A dry run plans without the image when it is not there yet (a fleet's
  // check before the copy): who would be streamed is the question.
  const bool planWithoutImage = o.dryRun && !fs::is_regular_file(folder / name, ec);
  if (!planWithoutImage && !fs::is_directory(folder, ec)) {
    return fail(kRefused, "cannot read " + o.image + ": no such folder; check the path");
  }
  std::vector<std::string> terminals = o.terminals;
  if (o.target == CliOptions::Target::Retry) {
    if (const auto stop = readRetry(o, terminals)) return *stop;
  }

  Session s(folder == here || planWithoutImage ? std::string() : folder.string());
  s.platform.setBroadcastInterfaces(o.interfaces);
  if (o.delayMs) s.w().INP_DEL.userEdit(std::to_string(*o.delayMs));
  if (o.goBoot && (s.w().SW_GO_BOOT.value() == 1) != *o.goBoot) s.w().SW_GO_BOOT.userClick();
  ImageData data;
  if (planWithoutImage) {
    warn(o.image +
         " is not there: the plan holds no image, and an update would be refused "
         "until it is");
  } else if (const auto refused = checkImage(s, o, (folder / name).string(), data)) {
    return *refused;
  }
  const int blocks = static_cast<int>(cutIntoBlocks(data.bytes).size());
  const ImageFacts facts{
      name,
      data.bytes.size(),
      blocks,
      data.bytes.empty() ? 0 : checksumOf(data.bytes),
      blockPace(s.w().INP_DEL.text()).value_or(100),
      data.sha256,
      data.bytes.empty() ? 0 : piecesOfStream(blocks, bootRequestGoesWhole(name))};
  const UpdateRecord started = runFacts(s, o, facts);
  const bool single = o.target == CliOptions::Target::Single;
  // The fleet's memory, before the report: a run it cannot keep is refused
  // as one without its report is. A dry run only reads it.
  std::unique_ptr<History> history;
  if (!o.noHistory) {
    if (const auto refused = openHistoryOf(o, !o.dryRun, history)) return *refused;
  }
  const CurrentTerminals current = o.skipCurrent && history
                                       ? currentTerminals(*history, data.sha256, o.requireVerdict)
                                       : CurrentTerminals{};
  if (o.target == CliOptions::Target::Retry && terminals.empty()) {
    // Nothing is sent, so nothing is written: the report retried stays the record.
    RunRecord nothing(s.platform.files(), {}, started, {});
    return endRun(s, o, nothing, kClean);
  }
  std::string path;
  if (const auto refused = reportPath(s, o, started, path)) return *refused;
  RunRecord run(s.platform.files(), path, started,
                single ? std::vector<std::string>{o.terminal} : terminals);
  run.setHistory(history.get());
  // No report, no update: without it nothing tells later what went where.
  if (!path.empty() && !run.write()) {
    return fail(kRefused, "cannot write the report " + path +
                              " (its folder is missing or read-only, or the disk is full); give "
                              "--report FILE in a folder you may write to");
  }
  s.loader.updateStart().holdImage(name, data);
  s.loader.report().repliesAfterEnd = true;
  // With terminals given, only their replies count and nothing is broadcast.
  const bool everyTerminal = o.target == CliOptions::Target::All;
  if (!everyTerminal) {
    s.loader.discovery().restrictTo(single ? std::vector<std::string>{o.terminal} : terminals);
  }
  if (!s.start(everyTerminal)) return endRun(s, o, run, failShown(kRefused, s.lastMessage()));
  if (!planWithoutImage && !s.op.chooseImage(name)) {
    return endRun(s, o, run,
                  fail(kRefused, o.image + ": " + explainWindowMessage(kCannotReadImage)));
  }
  UpdateTerminals chosen;
  const auto stop = prepareTerminals(s, o, terminals, current, chosen);
  if (stop || chosen.noneLeft) {
    run.alreadyCurrent(chosen.skipped, current);
    if (stop == kNoTerminal) run.noneAnswered();
    if (!stop && o.dryRun) return planUpdate(s, o, run, nullptr);
    return endRun(s, o, run, stop.value_or(kClean));
  }
  const RunPlan plan = planOf(o, chosen.first, chosen.last, blocks);
  run.listed(s.loader.report().snapshot(facts),
             plan.inWaves ? waveRanges(plan) : std::vector<std::pair<int, int>>{});
  run.alreadyCurrent(chosen.skipped, current);
  return o.dryRun ? planUpdate(s, o, run, &plan) : runUpdate(s, o, run, plan);
}

}  // namespace korven::cli
