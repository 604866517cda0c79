#include "app/cli/Tally.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

namespace korven::cli {
namespace {

std::string counted(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The report's path as the user would type it: from the current folder
// when it lies below it.
std::string shownPath(const std::string& file) {
  std::error_code ec;
  const std::filesystem::path relative =
      std::filesystem::path(file).lexically_relative(std::filesystem::current_path(ec));
  const std::string text = relative.string();
  return ec || text.empty() || text.rfind("..", 0) == 0 ? file : text;
}

}  // namespace

std::string tallyLine(const UpdateRecord& r, const std::string& reportFile,
                      const std::string& windowEnd) {
  // In the order a reader acts on them: what went well, then what to retry.
  const char* const kOrder[] = {"streamed clean", "already current", "streamed, no verdict",
                                "replied CHKERR", "replied FULL",    "cut",
                                "not connected",  "held back",       "interrupted",
                                "planned"};
  std::map<std::string, int> counts;
  std::vector<int> cutAt;
  int terminals = 0;
  bool heldForWindow = false;
  for (const TerminalRecord& t : r.terminals) {
    if (!t.inRange) continue;
    ++terminals;
    std::string outcome = r.outcome(t);
    if (outcome == "streamed") {
      const Clean clean = r.clean(t);
      outcome = clean == Clean::Yes           ? "streamed clean"
                : clean == Clean::Unconfirmed ? "streamed, no verdict"
                                              : "replied " + t.reply;
    } else if (outcome == "held back" && t.heldReason == "window") {
      heldForWindow = true;
    } else if (outcome == "cut" && t.firstFailedPiece) {
      cutAt.push_back(*t.firstFailedPiece);
    }
    ++counts[outcome];
  }
  std::string line = counted(terminals, "terminal", "terminals");
  if (r.waves && *r.waves > 1) {
    line += " in " + std::to_string(*r.waves) + " waves";
    if (r.stoppedAfterWave) line += ", stopped after wave " + std::to_string(*r.stoppedAfterWave);
  }
  std::string parts;
  for (const char* outcome : kOrder) {
    const auto found = counts.find(outcome);
    if (found == counts.end()) continue;
    parts += (parts.empty() ? "" : ", ") + std::to_string(found->second) + " ";
    parts += found->first == "replied CHKERR" || found->first == "replied FULL"
                 ? "streamed but " + found->first
                 : found->first;
    if (found->first == "cut" && !cutAt.empty()) {
      std::sort(cutAt.begin(), cutAt.end());
      parts += cutAt.size() == 1 ? " at piece " + std::to_string(cutAt.front())
                                 : ", the first at piece " + std::to_string(cutAt.front());
    }
    if (found->first == "held back" && heldForWindow && !windowEnd.empty()) {
      parts += ": the window closes at " + windowEnd;
    }
    counts.erase(found);
  }
  // Whatever else an outcome may be called one day is still counted.
  for (const auto& [outcome, n] : counts) {
    parts += (parts.empty() ? "" : ", ") + std::to_string(n) + " " + outcome;
  }
  if (r.dryRun) parts += parts.empty() ? "a dry run, nothing sent" : " (a dry run, nothing sent)";
  const bool nothingToRetry = parts.empty() && r.target == "retry";
  if (nothingToRetry) parts = "nothing to retry";
  line += ": " + (parts.empty() ? "none" : parts);
  // A dry run writes a report only where it was told to; a retry of
  // nothing sends nothing and has nothing to record.
  if ((r.dryRun || nothingToRetry) && reportFile.empty()) return line;
  return line + "; report: " + (reportFile.empty() ? "not written" : shownPath(reportFile));
}

}  // namespace korven::cli
