#include "rollout/Currency.h"

namespace korven {

bool isCurrent(const HistoryEntry& latest, const std::string& sha256, bool requireVerdict) {
  const std::string& clean = latest.row.clean;
  return !sha256.empty() && latest.run.imageSha256 == sha256 &&
         (clean == "yes" || (clean == "unconfirmed" && !requireVerdict));
}

CurrentTerminals currentTerminals(History& history, const std::string& sha256,
                                  bool requireVerdict) {
  CurrentTerminals current;
  for (const HistoryEntry& entry : history.latest()) {
    if (isCurrent(entry, sha256, requireVerdict)) {
      current.emplace(entry.row.address,
                      entry.row.clean == "yes" ? Clean::Yes : Clean::Unconfirmed);
    }
  }
  return current;
}

}  // namespace korven
