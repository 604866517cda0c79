#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>

namespace korven {

// One prepared SQLite statement, finalized with its owner. Bound values are
// copied in, columns copied out, so no pointer into SQLite outlives a step.
class SqliteStatement {
 public:
  SqliteStatement() = default;
  // Prepared for reuse when `persistent`; check ok() before use.
  SqliteStatement(sqlite3* db, const char* sql, bool persistent = true) {
    sqlite3_prepare_v3(db, sql, -1, persistent ? SQLITE_PREPARE_PERSISTENT : 0, &statement_,
                       nullptr);
  }
  ~SqliteStatement() { sqlite3_finalize(statement_); }
  SqliteStatement(SqliteStatement&& other) noexcept : statement_(other.statement_) {
    other.statement_ = nullptr;
  }
  SqliteStatement& operator=(SqliteStatement&& other) noexcept {
    std::swap(statement_, other.statement_);
    return *this;
  }
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool ok() const { return statement_ != nullptr; }

  void bind(int index, const std::string& text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
  }
  void bind(int index, long long number) { sqlite3_bind_int64(statement_, index, number); }
  void bind(int index, std::optional<int> number) {
    if (number) {
      sqlite3_bind_int64(statement_, index, *number);
    } else {
      sqlite3_bind_null(statement_, index);
    }
  }

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int step() { return sqlite3_step(statement_); }
  // Ready to run again, its bindings cleared. A statement left unreset keeps
  // its read transaction open, which holds the other program's checkpoint back.
  void reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

  std::string text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                               static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                 : std::string();
  }
  long long number(int column) const { return sqlite3_column_int64(statement_, column); }
  std::optional<int> optionalNumber(int column) const {
    if (sqlite3_column_type(statement_, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int(statement_, column);
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace korven
