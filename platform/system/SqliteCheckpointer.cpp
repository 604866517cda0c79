#include "platform/system/SqliteCheckpointer.h"

namespace korven {
namespace {

// SQLite's own threshold: a log of about 4 MiB is copied.
constexpr int kLogPagesToCopy = 1000;
// A log of 16 MiB means records come faster than the thread copies them: a
// log that is never copied to its end starts over never, and grows without
// bound.
constexpr int kLogPagesAtMost = 4000;

}  // namespace

SqliteCheckpointer::SqliteCheckpointer(sqlite3* db, const std::string& path) : db_(db) {
  if (sqlite3_open_v2(path.c_str(), &own_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(own_);
    own_ = nullptr;
    return;
  }
  sqlite3_exec(own_, "PRAGMA journal_size_limit = 16777216", nullptr, nullptr, nullptr);
  try {
    thread_ = std::thread([this] { copyWhileOpen(); });
  } catch (const std::system_error&) {
    sqlite3_close_v2(own_);
    own_ = nullptr;
    return;
  }
  // Replaces the copy SQLite makes after a commit.
  sqlite3_wal_hook(db_, &SqliteCheckpointer::committed, this);
}

SqliteCheckpointer::~SqliteCheckpointer() {
  if (own_ == nullptr) return;
  sqlite3_wal_hook(db_, nullptr, nullptr);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
  sqlite3_close_v2(own_);
}

int SqliteCheckpointer::committed(void* self, sqlite3* db, const char*, int logPages) {
  if (logPages < kLogPagesToCopy) return SQLITE_OK;
  auto* checkpointer = static_cast<SqliteCheckpointer*>(self);
  if (logPages >= kLogPagesAtMost) {
    // Copied to its end here, before the next record, which then starts the
    // log over.
    const std::lock_guard<std::mutex> copying(checkpointer->copying_);
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    return SQLITE_OK;
  }
  {
    const std::lock_guard<std::mutex> lock(checkpointer->mutex_);
    checkpointer->copyDue_ = true;
  }
  checkpointer->wake_.notify_one();
  return SQLITE_OK;
}

void SqliteCheckpointer::copyWhileOpen() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return copyDue_ || stopping_; });
    if (stopping_) return;
    copyDue_ = false;
    lock.unlock();
    {
      // Passive: copies what no reader still needs and waits for nobody;
      // what is left is copied at the next turn. A failure leaves the log
      // whole.
      const std::lock_guard<std::mutex> copying(copying_);
      sqlite3_wal_checkpoint_v2(own_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    lock.lock();
  }
}

}  // namespace korven
