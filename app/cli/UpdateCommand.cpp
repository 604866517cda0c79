// korven-cli update: the checks before anything is sent, the terminals
// listed and connected; the update itself runs in UpdateRun.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "app/cli/ReportReader.h"
#include "app/cli/Session.h"
#include "app/cli/UpdateRun.h"
#include "app/cli/WindowMessages.h"
#include "platform/Text.h"
#include "update/UpdateStart.h"

namespace korven::cli {
namespace fs = std::filesystem;

namespace {

bool endsWithBin(const std::string& name) {
  if (name.size() < 4) return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return suffix == ".BIN";
}

// The image is read and checked before anything goes out, as the window
// reads it at the click: a refusal after discovery would have sent the query.
std::optional<int> checkImage(Session& s, const std::string& path, const std::string& given,
                              ImageData& image) {
  image = readImageFile(s.platform.files(), path, s.platform.eventLoop());
  if (!image.failure) return std::nullopt;
  switch (*image.failure) {
    case ImageFailure::TooLarge:
      return fail(kRefused, given + ": " + explainWindowMessage(kImageTooLarge));
    case ImageFailure::NoData:
      // The window has no word of its own for it: it takes it for unreadable.
      return fail(kRefused, given +
                                ": no data after its leading zero bytes, and a boot request "
                                "followed by no block would leave a terminal in its boot loader "
                                "(the window says \"" +
                                kCannotReadImage + "\"); give the image meant for these terminals");
    case ImageFailure::CannotRead:
      break;
  }
  return fail(kRefused, given + ": " + explainWindowMessage(kCannotReadImage));
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
                                    const std::vector<std::string>& given, UpdateTargets& targets) {
  Operator& op = s.op;
  const Micros wait = secondsToMicros(o.waitSeconds);
  if (o.target == CliOptions::Target::Single) {
    // Asked on its own, so its answer (what it says of itself) is in the report.
    op.ask(o.terminal);
    if (!op.waitUntil([&] { return op.connected(); }, wait)) {
      return fail(kNoTerminal, "terminal " + o.terminal + " not connected within " +
                                   secondsText(o.waitSeconds) +
                                   "; check that it is on and in passive mode, or give a longer "
                                   "--wait");
    }
    hearStatusesOnConnecting(op);
    return std::nullopt;
  }
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
                                 " within " + secondsText(o.waitSeconds) +
                                 "; check the network and the terminals, or give a longer --wait");
  }
  const int from = o.from.value_or(0);
  if (from >= found) {
    return fail(kRefused, "no terminal in the range " + std::to_string(from) + " to " +
                              std::to_string(o.to.value_or(found)) + ": " + std::to_string(found) +
                              " answered, numbered 0 to " + std::to_string(found - 1) +
                              "; give --from within that");
  }
  targets = {from, std::min(o.to.value_or(found), found - 1)};
  op.allTerminals(true);
  op.setRange(targets.first, targets.last);
  op.waitUntil([&] { return rangeConnected(s.w(), targets.first, targets.last); }, wait);
  hearStatusesOnConnecting(op);
  return std::nullopt;
}

// The terminals of --terminals or --retry; a code when there are none to take.
std::optional<int> givenTerminals(const CliOptions& o, std::vector<std::string>& given) {
  given = o.terminals;
  if (o.target != CliOptions::Target::Retry) return std::nullopt;
  std::ifstream in(o.retryReport, std::ios::binary);
  if (!in) {
    return fail(kRefused, "cannot read the report " + o.retryReport + "; check its path");
  }
  const auto retry = terminalsToRetry(std::string(std::istreambuf_iterator<char>(in), {}));
  if (!retry) {
    return fail(kRefused, o.retryReport +
                              " is no report of an update (no column address, "
                              "in_range and outcome); give a report that an update wrote");
  }
  given = *retry;
  if (given.empty()) {
    return fail(kClean, "no terminal to retry in " + o.retryReport + ": every one was clean");
  }
  for (const std::string& address : given) {
    if (const auto problem = addressProblem(address)) {
      return fail(kRefused, o.retryReport + ": '" + escapedText(address) + "': " + *problem +
                                "; correct the report or give the terminals with --terminals");
    }
  }
  return std::nullopt;
}

}  // namespace

int update(const CliOptions& o) {
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
  if (!fs::is_directory(folder, ec)) {
    return fail(kRefused, "cannot read " + o.image + ": no such folder; check the path");
  }
  std::vector<std::string> given;
  if (const auto stop = givenTerminals(o, given)) return *stop;

  Session s(folder == here ? std::string() : folder.string());
  s.platform.setBroadcastInterfaces(o.interfaces);
  ImageData data;
  if (const auto refused = checkImage(s, (folder / name).string(), o.image, data)) return *refused;
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
  if (!s.op.chooseImage(name)) {
    return fail(kRefused, o.image + ": " + explainWindowMessage(kCannotReadImage));
  }
  UpdateTargets targets;
  if (const auto stop = prepareTerminals(s, o, given, targets)) return *stop;
  if (o.delayMs) s.w().INP_DEL.userEdit(std::to_string(*o.delayMs));
  if (o.goBoot && (s.w().SW_GO_BOOT.value() == 1) != *o.goBoot) s.w().SW_GO_BOOT.userClick();
  return o.dryRun ? planUpdate(s, o, targets, data) : runUpdate(s, o, targets);
}

}  // namespace korven::cli
