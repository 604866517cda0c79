#include "rollout/Currency.h"

namespace korven {

bool isCurrent(const HistoryEntry& latest, const std::string& sha256, bool requireVerdict) {
  const std::string& clean = latest.row.clean;
  return !sha256.empty() && latest.run.imageSha256 == sha256 &&
         (clean == "yes" || (clean == "unconfirmed" && !requireVerdict));
}

std::set<std::string> currentTerminals(History& history, const std::string& sha256,
                                       bool requireVerdict) {
  std::set<std::string> current;
  for (const HistoryEntry& entry : history.latest()) {
    if (isCurrent(entry, sha256, requireVerdict)) current.insert(entry.row.address);
  }
  return current;
}

}  // namespace korven
