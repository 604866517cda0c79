#include "rollout/RunRecord.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "platform/Text.h"
#include "update/ReportFormat.h"

namespace korven {
namespace {

constexpr const char* kHeldBack = "held back";

// Its stream has not begun: no byte went to it, and none will if the run
// stops here.
void holdBack(TerminalRecord& row) {
  row.heldReason.clear();
  row.attempts = 0;
  row.piecesSent = 0;
  row.firstFailedPiece.reset();
  row.reply.clear();
  row.fixedOutcome = kHeldBack;
}

// The same terminal: by its element's number and address once listed, by
// address alone for one given that has no number yet.
bool same(const TerminalRecord& row, const TerminalRecord& other) {
  return row.address == other.address && (!row.terminal || row.terminal == other.terminal);
}

}  // namespace

RunRecord::RunRecord(Files& files, std::string path, UpdateRecord facts,
                     const std::vector<std::string>& asked)
    : files_(files), path_(std::move(path)), facts_(std::move(facts)) {
  facts_.terminals.clear();
  for (const std::string& address : asked) {
    TerminalRecord row;
    row.address = address;
    holdBack(row);
    rows_.push_back(std::move(row));
  }
}

void RunRecord::listed(const UpdateRecord& listed, const std::vector<std::pair<int, int>>& waves) {
  facts_.allTerminals = listed.allTerminals;
  facts_.from = listed.from;
  facts_.to = listed.to;
  if (!waves.empty()) facts_.waves = static_cast<int>(waves.size());
  std::vector<TerminalRecord> rows;
  for (TerminalRecord row : listed.terminals) {
    // What it said of itself is kept from the run's start.
    const auto earlier = std::find_if(rows_.begin(), rows_.end(),
                                      [&](const TerminalRecord& r) { return same(r, row); });
    if (row.discoveryReply.empty() && earlier != rows_.end()) {
      row.discoveryReply = earlier->discoveryReply;
    }
    if (row.inRange) holdBack(row);
    if (!waves.empty() && row.inRange) {
      // One given that never answered belongs to the first wave, where it
      // fails as it would in a single batch.
      row.wave = 1;
      for (std::size_t k = 0; row.terminal && k < waves.size(); ++k) {
        if (*row.terminal >= waves[k].first && *row.terminal <= waves[k].second) {
          row.wave = static_cast<int>(k + 1);
        }
      }
    }
    rows.push_back(std::move(row));
  }
  rows_ = std::move(rows);
}

void RunRecord::alreadyCurrent(const std::vector<std::string>& addresses,
                               const CurrentTerminals& current) {
  for (const std::string& address : addresses) {
    auto row = std::find_if(rows_.begin(), rows_.end(),
                            [&](const TerminalRecord& r) { return r.address == address; });
    if (row == rows_.end()) {
      row = rows_.insert(rows_.end(), TerminalRecord{});
      row->address = address;
    }
    holdBack(*row);
    row->fixedOutcome = kAlreadyCurrent;
    const auto verdict = current.find(escapedText(address));
    row->currentVerdict = verdict == current.end() ? Clean::Yes : verdict->second;
  }
}

void RunRecord::noneAnswered() {
  for (TerminalRecord& row : rows_) {
    if (row.inRange && row.fixedOutcome != kAlreadyCurrent) row.fixedOutcome = "not connected";
  }
}

void RunRecord::plan() {
  facts_.dryRun = true;
  for (TerminalRecord& row : rows_) {
    if (row.inRange && row.fixedOutcome != kAlreadyCurrent) {
      row.fixedOutcome = row.connected ? "planned" : "not connected";
    }
  }
}

UpdateRecord RunRecord::compose(const UpdateRecord* wave) const {
  UpdateRecord out = facts_;
  out.terminals = rows_;
  if (wave == nullptr) return out;
  // Composed at every save of a wave, a thousand rows each: looked up by
  // address, not searched.
  std::unordered_map<std::string_view, const TerminalRecord*> inWave;
  for (const TerminalRecord& t : wave->terminals) {
    if (t.inRange) inWave.emplace(t.address, &t);
  }
  for (TerminalRecord& row : out.terminals) {
    const auto found = inWave.find(row.address);
    const TerminalRecord* now = found != inWave.end() ? found->second : nullptr;
    if (now != nullptr && !byAddress_ && !same(row, *now)) {
      const auto other =
          std::find_if(wave->terminals.begin(), wave->terminals.end(),
                       [&](const TerminalRecord& t) { return t.inRange && same(row, t); });
      now = other != wave->terminals.end() ? &*other : nullptr;
    }
    if (now == nullptr) continue;
    const std::optional<int> waveNumber = row.wave;
    const std::optional<int> number = row.terminal;
    const std::string discoveryReply = row.discoveryReply;
    const int attempts = row.attempts + 1;
    row = *now;
    // Its outcome is its own update's ("interrupted" while that runs).
    row.fixedOutcome = wave->outcome(*now);
    row.wave = waveNumber;
    row.attempts = attempts;
    if (number) row.terminal = number;
    if (row.discoveryReply.empty()) row.discoveryReply = discoveryReply;
  }
  return out;
}

std::string RunRecord::recordChanged(const UpdateRecord& wave) {
  writeRecord(compose(&wave));
  return written_;
}

void RunRecord::waveEnded(const UpdateRecord& wave) {
  rows_ = compose(&wave).terminals;
}

void RunRecord::holdBackRest(const std::string& reason) {
  for (TerminalRecord& row : rows_) {
    if (row.inRange && row.fixedOutcome == kHeldBack) row.heldReason = reason;
  }
}

void RunRecord::holdBackFrom(int wave, const std::string& reason) {
  for (TerminalRecord& row : rows_) {
    if (!row.inRange || row.wave.value_or(1) < wave || row.fixedOutcome == kAlreadyCurrent) {
      continue;
    }
    holdBack(row);
    row.heldReason = reason;
  }
}

std::vector<std::string> RunRecord::toStreamAgain(std::optional<int> wave) const {
  const UpdateRecord now = record();
  std::vector<std::string> again;
  for (const TerminalRecord& row : now.terminals) {
    if (!row.inRange || (wave && row.wave != wave)) continue;
    const std::string outcome = now.outcome(row);
    if (outcome == "cut" || outcome == "not connected" ||
        (outcome == "streamed" && row.reply == "CHKERR")) {
      again.push_back(row.address);
    }
  }
  return again;
}

std::vector<std::string> RunRecord::waveAddresses(int wave) const {
  std::vector<std::string> addresses;
  for (const TerminalRecord& row : rows_) {
    if (row.inRange && row.wave == wave && row.fixedOutcome == kHeldBack) {
      addresses.push_back(row.address);
    }
  }
  return addresses;
}

bool RunRecord::overLimit(const Share& limit) const {
  const UpdateRecord now = record();
  int ended = 0;
  int notClean = 0;
  for (const TerminalRecord& row : now.terminals) {
    if (!row.inRange || now.outcome(row) == kHeldBack) continue;
    ++ended;
    notClean += now.passes(row) ? 0 : 1;
  }
  return limit.percent ? notClean * 100.0 > limit.value * ended : notClean > limit.value;
}

void RunRecord::finish(const LocalTime& ended) {
  facts_.ended = ended;
  facts_.finished = true;
  write();
}

bool RunRecord::write() {
  return writeRecord(record());
}

bool RunRecord::writeRecord(const UpdateRecord& record) {
  const bool written = !path_.empty() && files_.replaceFile(path_, reportCsv(record));
  written_ = written ? path_ : std::string();
  if (!path_.empty() && !record.dryRun) historyFailed_ = !history_.keep(path_, record);
  return written;
}

std::string RunRecord::historyError() const {
  return history_.history() != nullptr ? history_.history()->lastError() : std::string();
}

void RunRecord::exited(int code) {
  if (!path_.empty() && !facts_.dryRun) historyFailed_ = !history_.keep(path_, record(), code);
}

}  // namespace korven
