#include "app/cli/HistoryFile.h"

#include <filesystem>

#include "app/cli/Output.h"
#include "platform/system/SqliteHistory.h"

namespace korven::cli {

std::string historyPath(const CliOptions& o) {
  std::error_code ec;
  return std::filesystem::absolute(o.historyFile.empty() ? "history.sqlite" : o.historyFile, ec)
      .string();
}

std::optional<int> openHistoryOf(const CliOptions& o, bool create,
                                 std::unique_ptr<History>& history) {
  const std::string path = historyPath(o);
  std::error_code ec;
  if (!create && !std::filesystem::exists(path, ec)) return std::nullopt;
  std::string error;
  history = openHistory(path, error);
  if (history) return std::nullopt;
  return fail(kRefused, "history " + path + ": " + error + "; give --history FILE elsewhere" +
                            (o.command == CliOptions::Command::Update ? ", or --no-history" : ""));
}

}  // namespace korven::cli
