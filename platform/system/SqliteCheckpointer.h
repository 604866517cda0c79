#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace korven {

// Copies the log of committed records into the database file on a thread
// and a connection of its own. The copy ends with a sync of the disk, tens
// of milliseconds on a busy one: made in the program's thread, after the
// record that filled the log, it would stall an update's timetable. Only
// when records come faster than the thread copies does the recording thread
// copy too, so that the log stays bounded. A kill during a copy costs
// nothing: the log is still whole and is copied again.
class SqliteCheckpointer {
 public:
  // Takes the copying over from `db`, the connection that records into the
  // file at `path`. When it cannot open a connection of its own, `db` copies
  // after its commits as SQLite does by default.
  SqliteCheckpointer(sqlite3* db, const std::string& path);
  ~SqliteCheckpointer();
  SqliteCheckpointer(const SqliteCheckpointer&) = delete;
  SqliteCheckpointer& operator=(const SqliteCheckpointer&) = delete;

 private:
  static int committed(void* self, sqlite3* db, const char* name, int logPages);
  void copyWhileOpen();

  sqlite3* db_;
  sqlite3* own_ = nullptr;
  std::mutex copying_;  // held by whichever thread copies
  std::mutex mutex_;
  std::condition_variable wake_;
  bool copyDue_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace korven
