#include "app/cli/PrepareTerminals.h"

#include <algorithm>

#include "app/cli/Output.h"
#include "platform/Text.h"
#include "rollout/Rollout.h"

namespace korven::cli {
namespace {

// Every line of the range marked as connected.
bool rangeConnected(const ProgPrin& w, int from, int to) {
  for (int i = from; i <= to && i < w.LST_ALL.count(); ++i) {
    if (!w.LST_ALL.selected(i)) return false;
  }
  return true;
}

// `addresses` parted into those `current` (into `skipped`) and the rest.
std::vector<std::string> notCurrent(const std::vector<std::string>& addresses,
                                    const CurrentTerminals& current,
                                    std::vector<std::string>& skipped) {
  std::vector<std::string> rest;
  for (const std::string& address : addresses) {
    (current.count(escapedText(address)) != 0 ? skipped : rest).push_back(address);
  }
  return rest;
}

// Only these terminals are asked, and only their replies count: a
// terminal that runs the image already neither joins the list nor is
// connected to for the update.
void askOnly(Session& s, const std::vector<std::string>& addresses, Micros wait) {
  s.loader.discovery().restrictTo(addresses);
  for (const std::string& address : addresses) s.op.ask(address);
  s.op.waitUntil([&] { return s.op.listed().size() >= addresses.size(); }, wait);
  s.loader.report().expected = addresses;
}

}  // namespace

std::optional<int> prepareTerminals(Session& s, const CliOptions& o,
                                    const std::vector<std::string>& given,
                                    const CurrentTerminals& current, UpdateTerminals& out) {
  Operator& op = s.op;
  const Micros wait = secondsToMicros(o.waitSeconds);
  if (o.target == CliOptions::Target::Single) {
    if (current.count(o.terminal) != 0) {
      out.skipped = {o.terminal};
      out.noneLeft = true;
      return std::nullopt;
    }
    // Asked on its own, so its answer (what it says of itself) is in the report.
    op.ask(o.terminal);
    if (!op.waitUntil([&] { return op.connected(); }, wait)) {
      return fail(kNoTerminal, "terminal " + escapedText(o.terminal) + " not connected within " +
                                   secondsText(o.waitSeconds) +
                                   "; check that it is on and in passive mode, or give a longer "
                                   "--wait");
    }
    op.wait(kStatusOnConnecting);
    return std::nullopt;
  }
  if (o.target == CliOptions::Target::All) {
    s.waitSinceStart(o.waitSeconds);
    const auto listed = op.listed();
    const auto from = listed.begin() + std::min<std::ptrdiff_t>(o.from.value_or(0), listed.size());
    const auto to =
        o.to ? listed.begin() + std::min<std::ptrdiff_t>(*o.to + 1, listed.size()) : listed.end();
    const std::vector<std::string> pending =
        notCurrent(std::vector<std::string>(from, std::max(from, to)), current, out.skipped);
    if (!out.skipped.empty()) {
      if (pending.empty()) {
        out.noneLeft = true;
        return std::nullopt;
      }
      // The rest listed anew, numbered from 0, as if given.
      s.loader.discovery().restrictTo(pending);
      op.clearTerminalLists();
      askOnly(s, pending, wait);
    }
  } else {
    const std::vector<std::string> pending = notCurrent(given, current, out.skipped);
    if (pending.empty()) {
      out.noneLeft = true;
      return std::nullopt;
    }
    askOnly(s, pending, wait);
  }
  const int found = static_cast<int>(op.listed().size());
  if (found == 0) {
    return fail(kNoTerminal, std::string(o.target == CliOptions::Target::All
                                             ? "no terminal answered"
                                             : "none of the terminals given answered") +
                                 " within " + secondsText(o.waitSeconds) +
                                 "; check the network and the terminals, or give a longer --wait");
  }
  // A range was cut from the listing already when terminals were skipped.
  const bool relisted = o.target == CliOptions::Target::All && !out.skipped.empty();
  out.first = relisted ? 0 : o.from.value_or(0);
  if (out.first >= found) {
    return fail(kRefused, "no terminal in the range " + std::to_string(out.first) + " to " +
                              std::to_string(o.to.value_or(found)) + ": " + std::to_string(found) +
                              " answered, numbered 0 to " + std::to_string(found - 1) +
                              "; give --from within that");
  }
  out.last = relisted ? found - 1 : std::min(o.to.value_or(found), found - 1);
  op.allTerminals(true);
  op.setRange(out.first, out.last);
  op.waitUntil([&] { return rangeConnected(s.w(), out.first, out.last); }, wait);
  op.wait(kStatusOnConnecting);
  return std::nullopt;
}

}  // namespace korven::cli
