#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/History.h"

namespace korven {

// The layout of the history file this build reads and writes (its
// user_version). A file of a later layout is refused, never written.
inline constexpr int kHistorySchemaVersion = 1;

// The history in an SQLite file at `path`, made when there is none. Null
// when it cannot be used, with `error` saying why in words that follow
// "history FILE: " (no folder, no history database, a later layout, in use
// past the wait). Another program writing the same file is waited for up to
// `busyWait`, here and at each record.
std::unique_ptr<History> openHistory(const std::string& path, std::string& error,
                                     std::chrono::milliseconds busyWait = std::chrono::seconds(5));

}  // namespace korven
