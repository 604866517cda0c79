#pragma once

#include <sqlite3.h>

#include <chrono>
#include <string>

namespace korven {

// The history file at `path` opened (made when there is none), its layout
// made or checked, the connection set for records. Null with `error` set
// when it cannot be used; a file of another program's or of a later layout
// is left as it was found.
sqlite3* openHistoryFile(const std::string& path, std::chrono::milliseconds busyWait,
                         std::string& error);

// What the failure `code` on `db` means for a technician, in words that
// follow "history FILE: "; `doing` names the attempt ("cannot be written")
// when nothing more telling applies.
std::string describeFailure(sqlite3* db, int code, const char* doing);

}  // namespace korven
