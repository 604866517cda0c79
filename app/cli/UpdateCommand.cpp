// korven-cli update: one batch to the terminals asked for, its report kept
// on disk from the first moment, the terminals' verdicts heard after it.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "app/cli/Progress.h"
#include "app/cli/ReportJson.h"
#include "app/cli/ReportReader.h"
#include "app/cli/Session.h"
#include "image/ImageReader.h"
#include "platform/Text.h"
#include "update/UpdateStart.h"

namespace korven::cli {
namespace fs = std::filesystem;

namespace {

std::string secondsText(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", s);
  return text;
}

bool endsWithBin(const std::string& name) {
  if (name.size() < 4) return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return suffix == ".BIN";
}

// The image is read and checked before anything goes out, as the window
// reads it at the click: a refusal after discovery would have sent the query.
std::optional<int> checkImage(Session& s, const std::string& path, const std::string& given) {
  const ImageData image = readImageFile(s.platform.files(), path, s.platform.eventLoop());
  if (!image.failure) return std::nullopt;
  switch (*image.failure) {
    case ImageFailure::TooLarge:
      return fail(kRefused, given + ": more than 991 blocks; the window refuses it: " +
                                std::string(kImageTooLarge));
    case ImageFailure::NoData:
      return fail(kRefused, given +
                                ": no data after its leading zero bytes; the window refuses "
                                "it: " +
                                std::string(kCannotReadImage));
    case ImageFailure::CannotRead:
      break;
  }
  return fail(kRefused, "cannot read " + given + ": " + std::string(kCannotReadImage));
}

// Every line of the range marked as connected.
bool rangeConnected(const ProgPrin& w, int from, int to) {
  for (int i = from; i <= to && i < w.LST_ALL.count(); ++i) {
    if (!w.LST_ALL.selected(i)) return false;
  }
  return true;
}

// A terminal says its status (its verdict on an earlier update) as a
// connection opens; an update started at once would leave it unread until
// the end and take it for this update's. On a LAN it comes within
// milliseconds.
void hearStatusesOnConnecting(Operator& op) {
  op.wait(Micros(300'000));
}

// Lists and connects the terminals of the update; a code when it cannot go on.
std::optional<int> prepareTerminals(Session& s, const CliOptions& o,
                                    const std::vector<std::string>& given) {
  Operator& op = s.op;
  const Micros wait = secondsToMicros(o.waitSeconds);
  if (o.target == CliOptions::Target::Single) {
    // Asked on its own, so its answer (what it says of itself) is in the report.
    op.ask(o.terminal);
    if (!op.waitUntil([&] { return op.connected(); }, wait)) {
      return fail(kNoTerminal,
                  "terminal " + o.terminal + " not connected within " + secondsText(o.waitSeconds));
    }
    hearStatusesOnConnecting(op);
    return std::nullopt;
  }
  int from = o.from.value_or(0);
  int to = o.to.value_or(32767);
  if (o.target == CliOptions::Target::All) {
    s.waitSinceStart(o.waitSeconds);
  } else {
    for (const std::string& address : given) op.ask(address);
    op.waitUntil([&] { return op.listed().size() >= given.size(); }, wait);
    s.loader.report().expected = given;
    s.loader.report().target = o.target == CliOptions::Target::Retry ? "retry" : "given";
  }
  const int found = static_cast<int>(op.listed().size());
  if (found == 0) {
    return fail(kNoTerminal, std::string(o.target == CliOptions::Target::All
                                             ? "no terminal answered"
                                             : "none of the terminals given answered") +
                                 " within " + secondsText(o.waitSeconds));
  }
  if (from >= found) {
    return fail(kRefused, "no terminal in the range " + std::to_string(from) + " to " +
                              std::to_string(to) + ": " + std::to_string(found) +
                              " answered, numbered 0 to " + std::to_string(found - 1));
  }
  to = std::min(to, found);
  op.allTerminals(true);
  op.setRange(from, to);
  op.waitUntil([&] { return rangeConnected(s.w(), from, to); }, wait);
  hearStatusesOnConnecting(op);
  return std::nullopt;
}

bool awaitingVerdict(const UpdateRecord& r) {
  return std::any_of(r.terminals.begin(), r.terminals.end(), [&](const TerminalRecord& t) {
    return t.terminal && r.outcome(t) == "streamed" && t.reply.empty();
  });
}

// The end of the update closed every connection and left the marks, so a
// terminal's verdict on the stream (said on a new connection) comes only
// once the connections are made anew, as the operator makes them.
void waitForVerdicts(Session& s, const CliOptions& o) {
  UpdateReport& report = s.loader.report();
  if (o.verdictWaitSeconds <= 0 || !awaitingVerdict(*report.last())) return;
  if (s.w().allTerminals()) {
    s.op.allTerminals(false);
    s.op.allTerminals(true);
  } else {
    s.op.typeAddress(o.terminal);
  }
  s.op.waitUntil([&] { return !awaitingVerdict(*report.last()); },
                 secondsToMicros(o.verdictWaitSeconds));
  report.save();
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

// The terminals of --terminals or --retry; a code when there are none to take.
std::optional<int> givenTerminals(const CliOptions& o, std::vector<std::string>& given) {
  given = o.terminals;
  if (o.target != CliOptions::Target::Retry) return std::nullopt;
  std::ifstream in(o.retryReport, std::ios::binary);
  if (!in) return fail(kRefused, "cannot read the report " + o.retryReport);
  const auto retry = terminalsToRetry(std::string(std::istreambuf_iterator<char>(in), {}));
  if (!retry) {
    return fail(kRefused, o.retryReport +
                              " is no report of an update (no column address, "
                              "in_range and outcome)");
  }
  given = *retry;
  if (given.empty()) return fail(kClean, "no terminal to retry in " + o.retryReport);
  for (const std::string& address : given) {
    if (const auto problem = addressProblem(address)) {
      return fail(kRefused, o.retryReport + ": '" + escapedText(address) + "': " + *problem);
    }
  }
  return std::nullopt;
}

}  // namespace

int update(const CliOptions& o) {
  std::error_code ec;
  const fs::path image(o.image);
  const std::string name = image.filename().string();
  if (!endsWithBin(name)) return fail(kRefused, "IMAGE must be a *.BIN file: " + o.image);
  const fs::path here = fs::current_path(ec);
  const fs::path folder = image.has_parent_path() ? fs::absolute(image.parent_path(), ec) : here;
  if (!fs::is_directory(folder, ec))
    return fail(kRefused, "cannot read " + o.image + ": no such folder");
  std::vector<std::string> given;
  if (const auto stop = givenTerminals(o, given)) return *stop;

  Session s(folder == here ? std::string() : folder.string());
  if (const auto refused = checkImage(s, (folder / name).string(), o.image)) return *refused;
  UpdateReport& report = s.loader.report();
  if (!o.reportFile.empty()) {
    report.file = fs::absolute(o.reportFile, ec).string();
  } else {
    report.folder = (here / "reports").string();
  }
  report.repliesAfterEnd = true;
  // With terminals given, only their replies count and nothing is broadcast.
  const bool everyTerminal = o.target == CliOptions::Target::All;
  if (!everyTerminal) {
    s.loader.discovery().restrictTo(
        o.target == CliOptions::Target::Single ? std::vector<std::string>{o.terminal} : given);
  }
  if (!s.start(everyTerminal)) return failShown(kRefused, s.lastMessage());
  if (!s.op.chooseImage(name))
    return fail(kRefused, "cannot read " + o.image + ": " + kCannotReadImage);
  if (const auto stop = prepareTerminals(s, o, given)) return *stop;
  if (o.delayMs) s.w().INP_DEL.userEdit(std::to_string(*o.delayMs));
  if (o.goBoot && (s.w().SW_GO_BOOT.value() == 1) != *o.goBoot) s.w().SW_GO_BOOT.userClick();

  Progress progress(s.op);
  Operator::Update result = Operator::Update::Refused;
  {
    const UninterruptedUpdate guard;
    result = s.op.update();
  }
  progress.finish();
  if (result == Operator::Update::Refused) return failShown(kRefused, s.lastMessage());
  if (result == Operator::Update::TimedOut) {
    return fail(kNotClean, "the update did not end within its timetable");
  }
  waitForVerdicts(s, o);
  const UpdateRecord& record = *report.last();
  printOutcome(record, report.lastWritten(), o.json);
  if (report.lastWritten().empty()) return fail(kNotClean, "the report could not be written");
  std::fprintf(stderr, "report: %s\n", report.lastWritten().c_str());
  return record.allClean() ? kClean : kNotClean;
}

}  // namespace korven::cli
