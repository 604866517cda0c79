#include "platform/system/SqliteHistoryFile.h"

#include <cctype>
#include <cstring>
#include <optional>

#include "platform/system/SqliteHistory.h"
#include "platform/system/SqliteStatement.h"

namespace korven {
namespace {
// A run is known by its report's file name, not its path, and its start: a
// report imported from another folder is the run recorded as it ran. Of two
// runs that started in the same second, the one recorded later (the higher
// id) is the later. A result carries its run's start, so that one index walks
// a terminal's records newest first without reading its other runs; results
// are kept in the order of their key, a run's together, so that recording a
// run again rewrites only the pages of its rows that changed.
constexpr const char* kSchema = R"sql(
CREATE TABLE runs (
  id INTEGER PRIMARY KEY,
  report_name TEXT NOT NULL,
  report_file TEXT NOT NULL,
  started TEXT NOT NULL,
  ended TEXT NOT NULL,
  image TEXT NOT NULL,
  image_bytes INTEGER NOT NULL,
  blocks INTEGER NOT NULL,
  checksum INTEGER NOT NULL,
  image_sha256 TEXT NOT NULL,
  target TEXT NOT NULL,
  terminal_range TEXT NOT NULL,
  block_pace_ms INTEGER NOT NULL,
  go_boot INTEGER NOT NULL,
  wave_sizes TEXT NOT NULL,
  max_failed TEXT NOT NULL,
  require_verdict INTEGER NOT NULL,
  dry_run INTEGER NOT NULL,
  version TEXT NOT NULL,
  exit_code INTEGER,
  imported INTEGER NOT NULL,
  UNIQUE (report_name, started)
);
CREATE TABLE results (
  run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
  address TEXT NOT NULL,
  terminal INTEGER,
  discovery_reply TEXT NOT NULL,
  outcome TEXT NOT NULL,
  clean TEXT NOT NULL,
  reply_before TEXT NOT NULL,
  reply TEXT NOT NULL,
  pieces_sent INTEGER NOT NULL,
  pieces_total INTEGER NOT NULL,
  first_failed_piece INTEGER,
  wave INTEGER,
  run_started TEXT NOT NULL,
  PRIMARY KEY (run_id, address)
) WITHOUT ROWID;
CREATE INDEX results_by_address ON results (address, run_started, run_id);
)sql";

// SQLite's words, with the system's when it has them ("unable to open
// database file: no such file or directory").
std::string reason(sqlite3* db) {
  std::string text = sqlite3_errmsg(db);
  const int code = sqlite3_extended_errcode(db);
  if ((code & 0xFF) == SQLITE_CANTOPEN || (code & 0xFF) == SQLITE_IOERR) {
    const int system = sqlite3_system_errno(db);
    if (system != 0) {
      std::string words = std::strerror(system);
      if (!words.empty()) words[0] = static_cast<char>(std::tolower(words[0]));
      text += ": " + words;
    }
  }
  return text;
}

}  // namespace

std::string describeFailure(sqlite3* db, int code, const char* doing) {
  switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "is in use by another program";
    case SQLITE_NOTADB:
      return "is no history database (" + reason(db) + ")";
    case SQLITE_CORRUPT:
      return "is damaged (" + reason(db) + ")";
    default:
      return std::string(doing) + " (" + reason(db) + ")";
  }
}

namespace {

// Runs `sql`; false with `error` set when it fails.
bool run(sqlite3* db, const std::string& sql, const char* doing, std::string& error) {
  const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  if (code == SQLITE_OK) return true;
  error = describeFailure(db, code, doing);
  return false;
}

// The single number `sql` yields, or none with `error` set.
std::optional<long long> number(sqlite3* db, const char* sql, std::string& error) {
  SqliteStatement statement(db, sql, false);
  const int code = statement.ok() ? statement.step() : sqlite3_errcode(db);
  if (code == SQLITE_ROW) return statement.number(0);
  error = describeFailure(db, code, "cannot be read");
  return std::nullopt;
}

// The file's layout made or checked. A file of another program's, or of a
// later layout, is left as it was found.
bool prepareLayout(sqlite3* db, std::string& error) {
  const auto version = number(db, "PRAGMA user_version", error);
  if (!version) return false;
  if (*version > kHistorySchemaVersion) {
    error = "was written by a later version of this program (layout " + std::to_string(*version) +
            "; this one knows up to " + std::to_string(kHistorySchemaVersion) + ")";
    return false;
  }
  if (*version == 0) {
    const auto tables = number(db, "SELECT count(*) FROM sqlite_schema", error);
    if (!tables) return false;
    if (*tables != 0) {
      error = "is no history database (it holds tables of another program)";
      return false;
    }
  }
  // A record survives the program being killed at any moment. The log is
  // synced only when its pages are copied into the file: a power cut or a
  // crash of the system can lose the records made since, never the file's
  // soundness. The log is cut back to 16 MiB after a large run.
  if (!run(db,
           "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON; "
           "PRAGMA journal_size_limit = 16777216",
           "cannot be opened", error)) {
    return false;
  }
  if (*version == kHistorySchemaVersion) return true;
  // Another program may be making the same new file: the check is made again
  // under the write lock.
  if (!run(db, "BEGIN IMMEDIATE", "cannot be written", error)) return false;
  const auto again = number(db, "PRAGMA user_version", error);
  const bool made = again && (*again != 0 || run(db,
                                                 std::string(kSchema) + "PRAGMA user_version = " +
                                                     std::to_string(kHistorySchemaVersion),
                                                 "cannot be written", error));
  if (!made || !run(db, "COMMIT", "cannot be written", error)) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return true;
}

}  // namespace

sqlite3* openHistoryFile(const std::string& path, std::chrono::milliseconds busyWait,
                         std::string& error) {
  sqlite3* db = nullptr;
  const int opened = sqlite3_open_v2(
      path.c_str(), &db,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
      nullptr);
  if (opened != SQLITE_OK) {
    error =
        db ? describeFailure(db, opened, "cannot be opened") : "cannot be opened (out of memory)";
    sqlite3_close_v2(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, static_cast<int>(busyWait.count()));
  if (!prepareLayout(db, error)) {
    sqlite3_close_v2(db);
    return nullptr;
  }
  return db;
}

}  // namespace korven
