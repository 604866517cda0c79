// Fills a history file as a year of daily runs over a fleet would, then
// times the queries korven-cli's history command and --skip-current make and
// the records an update makes, on the machine's own disk.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/system/SqliteHistory.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double millisecondsOf(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The fastest and slowest of five, since the first may read from the disk.
void timeQuery(const char* what, const std::function<std::size_t()>& query) {
  double fastest = 1e9;
  double slowest = 0;
  std::size_t entries = 0;
  for (int i = 0; i < 5; ++i) {
    const double ms = millisecondsOf([&] { entries = query(); });
    fastest = std::min(fastest, ms);
    slowest = std::max(slowest, ms);
  }
  std::printf("  %-34s %8.2f ms (slowest of 5: %.2f ms), %zu entries\n", what, fastest, slowest,
              entries);
}

std::string address(int terminal) {
  const int n = terminal + 1;
  return "10." + std::to_string(n >> 16) + "." + std::to_string((n >> 8) & 255) + "." +
         std::to_string(n & 255);
}

// Day `day` of a year of runs, each at eight in the morning.
std::string startOf(int day) {
  using namespace std::chrono;
  const year_month_day date{sys_days{year{2024} / January / 1} + days{day}};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u 08:00:00", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

korven::HistoryRun runOf(int day, bool dryRun) {
  korven::HistoryRun run;
  run.reportFile = "reports/update-" + std::to_string(day) + ".csv";
  run.started = startOf(day);
  run.ended = startOf(day).replace(11, 2, "09");
  run.image = day % 2 ? "FW_WG.BIN" : "FW_WG2.BIN";
  run.imageBytes = 253696;
  run.blocks = 991;
  run.checksum = 1234;
  run.imageSha256 = std::string(64, day % 2 ? 'a' : 'b');
  run.target = "all";
  run.blockPaceMs = 100;
  run.dryRun = dryRun;
  run.version = "1.1W";
  run.exitCode = 0;
  return run;
}

std::vector<korven::HistoryRow> rowsOf(int day, int terminals) {
  std::vector<korven::HistoryRow> rows(static_cast<std::size_t>(terminals));
  for (int i = 0; i < terminals; ++i) {
    korven::HistoryRow& row = rows[static_cast<std::size_t>(i)];
    row.address = address(i);
    row.terminal = i;
    row.discoveryReply = "KORVEN," + row.address + ",WG";
    const int fate = (i * 7 + day * 13) % 20;  // mostly clean, some cut, some unconfirmed
    row.outcome = fate == 0 ? "cut" : "streamed";
    row.clean = fate == 0 ? "no" : fate == 1 ? "unconfirmed" : "yes";
    row.replyBefore = "NEW";
    row.reply = fate == 0 ? "" : "TERM";
    row.piecesTotal = 993;
    row.piecesSent = fate == 0 ? 400 : 993;
    if (fate == 0) row.firstFailedPiece = 400;
    row.wave = 1 + i / 250;
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const int terminals = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 365;
  // --keep leaves the file, to time korven-cli's history command on it.
  const bool keep = argc > 3 && std::string(argv[3]) == "--keep";
  if (terminals < 1 || terminals > 32767 || runs < 1 || runs > 3650 || (argc > 3 && !keep)) {
    std::fprintf(stderr, "usage: history_bench [TERMINALS 1-32767] [RUNS 1-3650] [--keep]\n");
    return 2;
  }
  char folder[] = "/tmp/korven-history-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return 1;
  const std::string path = std::string(folder) + "/history.sqlite";
  std::string error;
  auto history = korven::openHistory(path, error);
  if (!history) {
    std::fprintf(stderr, "history %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }

  bool ok = true;
  const double fill = millisecondsOf([&] {
    for (int day = 0; day < runs && ok; ++day) {
      ok = history->record(runOf(day, day % 30 == 29), rowsOf(day, terminals));
    }
  });
  if (!ok) {
    std::fprintf(stderr, "history_bench: %s\n", history->lastError().c_str());
    return 1;
  }
  std::printf("history: %d terminals x %d runs (a dry run in 30) in %s\n", terminals, runs,
              path.c_str());
  std::printf("  filled in %.1f s (%.1f ms a run), file %.1f MiB\n", fill / 1000, fill / runs,
              static_cast<double>(fs::file_size(path) + fs::file_size(path + "-wal")) / (1 << 20));

  timeQuery("latest()", [&] { return history->latest().size(); });
  timeQuery("latestClean(unconfirmed counts)", [&] { return history->latestClean(true).size(); });
  timeQuery("latestClean(yes only)", [&] { return history->latestClean(false).size(); });
  timeQuery("recordsOf({one address})", [&] { return history->recordsOf({address(7)}).size(); });

  // A new run as an update records it: at its start, every terminal
  // interrupted, then as a tenth of them ends at a time, 200 ms apart.
  korven::HistoryRun next = runOf(runs, false);
  std::vector<korven::HistoryRow> rows = rowsOf(runs, 1000);
  for (auto& row : rows) row.outcome = "interrupted";
  const double first = millisecondsOf([&] { ok = history->record(next, rows); });
  std::vector<double> changes;
  for (int tenth = 0; tenth < 10 && ok; ++tenth) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = tenth * 100; i < tenth * 100 + 100; ++i) rows[i].outcome = "streamed";
    changes.push_back(millisecondsOf([&] { ok = history->record(next, rows); }));
  }
  std::sort(changes.begin(), changes.end());
  std::printf(
      "  record() of a new run of 1000 rows %8.2f ms; at each tenth ended: median %.2f ms, "
      "slowest %.2f ms\n",
      first, changes[changes.size() / 2], changes.back());
  // A kept file stays a fleet of TERMINALS, for timing korven-cli on it.
  if (!keep) {
    korven::HistoryRun largest = runOf(runs + 1, false);
    const std::vector<korven::HistoryRow> most = rowsOf(runs + 1, 32767);
    const double biggest = millisecondsOf([&] { ok = ok && history->record(largest, most); });
    std::printf("  record() of a run of 32767 rows    %8.2f ms\n", biggest);
  }
  if (!ok) std::fprintf(stderr, "history_bench: %s\n", history->lastError().c_str());

  history.reset();
  if (keep) {
    std::printf("  kept: %s\n", path.c_str());
  } else {
    fs::remove_all(folder);
  }
  return ok ? 0 : 1;
}
