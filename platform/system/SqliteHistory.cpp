#include "platform/system/SqliteHistory.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/Ipv4.h"
#include "platform/system/SqliteCheckpointer.h"
#include "platform/system/SqliteHistoryFile.h"
#include "platform/system/SqliteStatement.h"

namespace korven {
namespace {

constexpr const char* kUpsertRun = R"sql(
INSERT INTO runs (report_name, report_file, started, ended, image, image_bytes, blocks,
  checksum, image_sha256, target, terminal_range, block_pace_ms, go_boot, wave_sizes,
  max_failed, require_verdict, dry_run, version, exit_code, imported)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19,
  ?20)
ON CONFLICT (report_name, started) DO UPDATE SET report_file = excluded.report_file,
  ended = excluded.ended, image = excluded.image, image_bytes = excluded.image_bytes,
  blocks = excluded.blocks, checksum = excluded.checksum, image_sha256 = excluded.image_sha256,
  target = excluded.target, terminal_range = excluded.terminal_range,
  block_pace_ms = excluded.block_pace_ms, go_boot = excluded.go_boot,
  wave_sizes = excluded.wave_sizes, max_failed = excluded.max_failed,
  require_verdict = excluded.require_verdict, dry_run = excluded.dry_run,
  version = excluded.version, exit_code = excluded.exit_code, imported = excluded.imported
RETURNING id
)sql";

// A row that says what it said is not written again: a run of a thousand
// terminals is recorded a few times a wave and most of its rows stand. A
// terminal listed twice in one record keeps its last row.
constexpr const char* kUpsertResult = R"sql(
INSERT INTO results (run_id, address, terminal, discovery_reply, outcome, clean, reply_before,
  reply, pieces_sent, pieces_total, first_failed_piece, wave, run_started)
VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13)
ON CONFLICT (run_id, address) DO UPDATE SET terminal = excluded.terminal,
  discovery_reply = excluded.discovery_reply, outcome = excluded.outcome,
  clean = excluded.clean, reply_before = excluded.reply_before, reply = excluded.reply,
  pieces_sent = excluded.pieces_sent, pieces_total = excluded.pieces_total,
  first_failed_piece = excluded.first_failed_piece, wave = excluded.wave
WHERE (terminal, discovery_reply, outcome, clean, reply_before, reply, pieces_sent,
  pieces_total, first_failed_piece, wave) IS NOT (excluded.terminal,
  excluded.discovery_reply, excluded.outcome, excluded.clean, excluded.reply_before,
  excluded.reply, excluded.pieces_sent, excluded.pieces_total, excluded.first_failed_piece,
  excluded.wave)
)sql";

#define KORVEN_ENTRY_COLUMNS                                                                \
  "u.report_file, u.started, u.ended, u.image, u.image_bytes, u.blocks, u.checksum, "       \
  "u.image_sha256, u.target, u.terminal_range, u.block_pace_ms, u.go_boot, u.wave_sizes, "  \
  "u.max_failed, u.require_verdict, u.dry_run, u.version, u.exit_code, u.imported, "        \
  "r.address, r.terminal, r.discovery_reply, r.outcome, r.clean, r.reply_before, r.reply, " \
  "r.pieces_sent, r.pieces_total, r.first_failed_piece, r.wave, u.id "

// Each terminal's latest record that passes the filter (?1: any record;
// ?2: unconfirmed counts as clean). The terminals are found by skipping from
// one address to the next in the index, and each one's latest record by one
// step back from its newest: a few index look-ups per terminal, however many
// runs the file holds. A dry run is no record.
constexpr const char* kLatest =
    "WITH RECURSIVE terminals (address) AS ("
    "  SELECT min(address) FROM results"
    "  UNION ALL"
    "  SELECT (SELECT min(address) FROM results"
    "          WHERE address > terminals.address)"
    "  FROM terminals WHERE terminals.address IS NOT NULL) "
    "SELECT " KORVEN_ENTRY_COLUMNS
    "FROM terminals t "
    "JOIN results r ON r.address = t.address AND r.run_id = ("
    "  SELECT x.run_id FROM results x JOIN runs v ON v.id = x.run_id"
    "  WHERE x.address = t.address AND NOT v.dry_run"
    "    AND (?1 OR x.clean = 'yes' OR (?2 AND x.clean = 'unconfirmed'))"
    "  ORDER BY x.run_started DESC, x.run_id DESC LIMIT 1) "
    "JOIN runs u ON u.id = r.run_id";

constexpr const char* kRecordsOf = "SELECT " KORVEN_ENTRY_COLUMNS
                                   "FROM results r JOIN runs u ON u.id = r.run_id "
                                   "WHERE r.address = ?1 AND NOT u.dry_run";

#undef KORVEN_ENTRY_COLUMNS

// An entry as read, with its run's id, which orders runs of one start.
struct ReadEntry {
  HistoryEntry entry;
  long long runId = 0;
};

ReadEntry readEntry(const SqliteStatement& s) {
  ReadEntry read;
  HistoryRun& run = read.entry.run;
  run.reportFile = s.text(0);
  run.started = s.text(1);
  run.ended = s.text(2);
  run.image = s.text(3);
  run.imageBytes = s.number(4);
  run.blocks = static_cast<int>(s.number(5));
  run.checksum = static_cast<int>(s.number(6));
  run.imageSha256 = s.text(7);
  run.target = s.text(8);
  run.range = s.text(9);
  run.blockPaceMs = static_cast<int>(s.number(10));
  run.goBoot = s.number(11) != 0;
  run.waveSizes = s.text(12);
  run.maxFailed = s.text(13);
  run.requireVerdict = s.number(14) != 0;
  run.dryRun = s.number(15) != 0;
  run.version = s.text(16);
  run.exitCode = s.optionalNumber(17);
  run.imported = s.number(18) != 0;
  HistoryRow& row = read.entry.row;
  row.address = s.text(19);
  row.terminal = s.optionalNumber(20);
  row.discoveryReply = s.text(21);
  row.outcome = s.text(22);
  row.clean = s.text(23);
  row.replyBefore = s.text(24);
  row.reply = s.text(25);
  row.piecesSent = static_cast<int>(s.number(26));
  row.piecesTotal = static_cast<int>(s.number(27));
  row.firstFailedPiece = s.optionalNumber(28);
  row.wave = s.optionalNumber(29);
  read.runId = s.number(30);
  return read;
}

// Addresses in the order a technician reads them: 10.0.0.9 before
// 10.0.0.10, anything that is no address after every address.
std::tuple<bool, std::uint32_t, const std::string&> addressOrder(const std::string& address) {
  const auto number = parseIpv4(address);
  return {!number, number.value_or(0), address};
}

// The report's file name without its folder.
std::string reportName(const std::string& reportFile) {
  return std::filesystem::path(reportFile).filename().string();
}

class SqliteHistory : public History {
 public:
  SqliteHistory(sqlite3* db, const std::string& path)
      : db_(db),
        checkpointer_(db, path),
        upsertRun_(db, kUpsertRun),
        resultsOfRun_(db, "SELECT address FROM results WHERE run_id = ?1"),
        upsertResult_(db, kUpsertResult),
        deleteResult_(db, "DELETE FROM results WHERE run_id = ?1 AND address = ?2"),
        knows_(db, "SELECT 1 FROM runs WHERE report_name = ?1 AND started = ?2"),
        latest_(db, kLatest),
        recordsOf_(db, kRecordsOf),
        digestOf_(db,
                  "SELECT image_sha256 FROM runs WHERE image = ?1 AND image_sha256 <> '' "
                  "AND NOT dry_run ORDER BY started DESC, id DESC LIMIT 1") {}

  bool prepared() const {
    return upsertRun_.ok() && resultsOfRun_.ok() && upsertResult_.ok() && deleteResult_.ok() &&
           knows_.ok() && latest_.ok() && recordsOf_.ok() && digestOf_.ok();
  }

  bool record(const HistoryRun& run, const std::vector<HistoryRow>& rows) override {
    lastError_.clear();
    // IMMEDIATE takes the write lock first, waiting out another writer, so
    // no step of the record can find the file taken halfway.
    const int begun = exec("BEGIN IMMEDIATE");
    if (begun != SQLITE_OK) return failed(begun, "cannot be written");
    const int code = writeRun(run, rows);
    if (code != SQLITE_OK) {
      exec("ROLLBACK");
      return failed(code, "cannot be written");
    }
    const int committed = exec("COMMIT");
    if (committed != SQLITE_OK) {
      if (!sqlite3_get_autocommit(db_.get())) exec("ROLLBACK");
      return failed(committed, "cannot be written");
    }
    return true;
  }

  bool knows(const std::string& reportFile, const std::string& started) override {
    lastError_.clear();
    knows_.bind(1, reportName(reportFile));
    knows_.bind(2, started);
    const int code = knows_.step();
    knows_.reset();
    if (code != SQLITE_ROW && code != SQLITE_DONE) return failed(code, "cannot be read");
    return code == SQLITE_ROW;
  }

  std::vector<HistoryEntry> latest() override { return latestOf(true, false); }

  std::vector<HistoryEntry> latestClean(bool unconfirmedCounts) override {
    return latestOf(false, unconfirmedCounts);
  }

  std::vector<HistoryEntry> recordsOf(const std::vector<std::string>& addresses) override {
    lastError_.clear();
    std::vector<ReadEntry> read;
    // One read transaction, so that a record made meanwhile by another
    // program shows for all the addresses or for none.
    const int begun = exec("BEGIN");
    if (begun != SQLITE_OK) return failedQuery(begun);
    int code = SQLITE_DONE;
    for (const std::string& address : std::set<std::string>(addresses.begin(), addresses.end())) {
      recordsOf_.bind(1, address);
      while ((code = recordsOf_.step()) == SQLITE_ROW) read.push_back(readEntry(recordsOf_));
      recordsOf_.reset();
      if (code != SQLITE_DONE) break;
    }
    exec("COMMIT");
    if (code != SQLITE_DONE) return failedQuery(code);
    std::sort(read.begin(), read.end(), [](const ReadEntry& a, const ReadEntry& b) {
      if (a.runId != b.runId) {
        return std::tie(b.entry.run.started, b.runId) < std::tie(a.entry.run.started, a.runId);
      }
      return addressOrder(a.entry.row.address) < addressOrder(b.entry.row.address);
    });
    return entries(std::move(read));
  }

  std::string digestOf(const std::string& image) override {
    lastError_.clear();
    digestOf_.bind(1, image);
    const int code = digestOf_.step();
    std::string digest = code == SQLITE_ROW ? digestOf_.text(0) : std::string();
    digestOf_.reset();
    if (code != SQLITE_ROW && code != SQLITE_DONE) failed(code, "cannot be read");
    return digest;
  }

  const std::string& lastError() const override { return lastError_; }

 private:
  int writeRun(const HistoryRun& run, const std::vector<HistoryRow>& rows) {
    SqliteStatement& u = upsertRun_;
    u.bind(1, reportName(run.reportFile));
    u.bind(2, run.reportFile);
    u.bind(3, run.started);
    u.bind(4, run.ended);
    u.bind(5, run.image);
    u.bind(6, run.imageBytes);
    u.bind(7, static_cast<long long>(run.blocks));
    u.bind(8, static_cast<long long>(run.checksum));
    u.bind(9, run.imageSha256);
    u.bind(10, run.target);
    u.bind(11, run.range);
    u.bind(12, static_cast<long long>(run.blockPaceMs));
    u.bind(13, static_cast<long long>(run.goBoot));
    u.bind(14, run.waveSizes);
    u.bind(15, run.maxFailed);
    u.bind(16, static_cast<long long>(run.requireVerdict));
    u.bind(17, static_cast<long long>(run.dryRun));
    u.bind(18, run.version);
    u.bind(19, run.exitCode);
    u.bind(20, static_cast<long long>(run.imported));
    int code = u.step();
    const long long id = code == SQLITE_ROW ? u.number(0) : 0;
    if (code == SQLITE_ROW) code = u.step();
    u.reset();
    if (code != SQLITE_DONE) return code;

    // The rows recorded before that this record no longer lists go.
    std::set<std::string> gone;
    resultsOfRun_.bind(1, id);
    while ((code = resultsOfRun_.step()) == SQLITE_ROW) gone.insert(resultsOfRun_.text(0));
    resultsOfRun_.reset();
    if (code != SQLITE_DONE) return code;

    SqliteStatement& r = upsertResult_;
    for (const HistoryRow& row : rows) {
      r.bind(1, id);
      r.bind(2, row.address);
      r.bind(3, row.terminal);
      r.bind(4, row.discoveryReply);
      r.bind(5, row.outcome);
      r.bind(6, row.clean);
      r.bind(7, row.replyBefore);
      r.bind(8, row.reply);
      r.bind(9, static_cast<long long>(row.piecesSent));
      r.bind(10, static_cast<long long>(row.piecesTotal));
      r.bind(11, row.firstFailedPiece);
      r.bind(12, row.wave);
      r.bind(13, run.started);
      code = r.step();
      r.reset();
      if (code != SQLITE_DONE) return code;
      gone.erase(row.address);
    }
    for (const std::string& address : gone) {
      deleteResult_.bind(1, id);
      deleteResult_.bind(2, address);
      code = deleteResult_.step();
      deleteResult_.reset();
      if (code != SQLITE_DONE) return code;
    }
    return SQLITE_OK;
  }

  std::vector<HistoryEntry> latestOf(bool anyRecord, bool unconfirmedCounts) {
    lastError_.clear();
    std::vector<ReadEntry> read;
    latest_.bind(1, static_cast<long long>(anyRecord));
    latest_.bind(2, static_cast<long long>(unconfirmedCounts));
    int code;
    while ((code = latest_.step()) == SQLITE_ROW) read.push_back(readEntry(latest_));
    latest_.reset();
    if (code != SQLITE_DONE) return failedQuery(code);
    std::sort(read.begin(), read.end(), [](const ReadEntry& a, const ReadEntry& b) {
      return addressOrder(a.entry.row.address) < addressOrder(b.entry.row.address);
    });
    return entries(std::move(read));
  }

  static std::vector<HistoryEntry> entries(std::vector<ReadEntry> read) {
    std::vector<HistoryEntry> out;
    out.reserve(read.size());
    for (ReadEntry& r : read) out.push_back(std::move(r.entry));
    return out;
  }

  int exec(const char* sql) { return sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr); }

  bool failed(int code, const char* doing) {
    lastError_ = describeFailure(db_.get(), code, doing);
    return false;
  }

  std::vector<HistoryEntry> failedQuery(int code) {
    failed(code, "cannot be read");
    return {};
  }

  // Closed last, after its statements and the checkpointer's connection, so
  // that the close copies the log into the file and removes it.
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::unique_ptr<sqlite3, Close> db_;
  SqliteCheckpointer checkpointer_;
  SqliteStatement upsertRun_, resultsOfRun_, upsertResult_, deleteResult_, knows_, latest_,
      recordsOf_, digestOf_;
  std::string lastError_;
};

}  // namespace

std::unique_ptr<History> openHistory(const std::string& path, std::string& error,
                                     std::chrono::milliseconds busyWait) {
  sqlite3* db = openHistoryFile(path, busyWait, error);
  if (db == nullptr) return nullptr;
  auto history = std::make_unique<SqliteHistory>(db, path);
  if (!history->prepared()) {
    error = describeFailure(db, sqlite3_errcode(db), "cannot be opened");
    return nullptr;
  }
  error.clear();
  return history;
}

}  // namespace korven
