// The history in real files, in a fresh folder under the system's temporary one.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/system/SqliteHistory.h"

namespace korven {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

HistoryRun runOf(const std::string& reportFile, const std::string& started, bool dryRun = false) {
  HistoryRun run;
  run.reportFile = reportFile;
  run.started = started;
  run.image = "FW_WG.BIN";
  run.dryRun = dryRun;
  return run;
}

HistoryRow rowOf(const std::string& address, const std::string& outcome, const std::string& clean) {
  HistoryRow row;
  row.address = address;
  row.outcome = outcome;
  row.clean = clean;
  return row;
}

// "b.csv 10.0.0.9 cut": which run, which terminal, what became of it.
std::vector<std::string> said(const std::vector<HistoryEntry>& entries) {
  std::vector<std::string> out;
  for (const HistoryEntry& e : entries) {
    out.push_back(fs::path(e.run.reportFile).filename().string() + ' ' + e.row.address + ' ' +
                  e.row.outcome);
  }
  return out;
}

std::string everyField(const HistoryEntry& e) {
  const auto optional = [](std::optional<int> n) { return n ? std::to_string(*n) : "none"; };
  const HistoryRun& r = e.run;
  const HistoryRow& w = e.row;
  return r.reportFile + '|' + r.started + '|' + r.ended + '|' + r.image + '|' +
         std::to_string(r.imageBytes) + '|' + std::to_string(r.blocks) + '|' +
         std::to_string(r.checksum) + '|' + r.imageSha256 + '|' + r.target + '|' + r.range + '|' +
         std::to_string(r.blockPaceMs) + '|' + std::to_string(r.goBoot) + '|' + r.waveSizes + '|' +
         r.maxFailed + '|' + std::to_string(r.requireVerdict) + '|' + std::to_string(r.dryRun) +
         '|' + r.version + '|' + optional(r.exitCode) + '|' + std::to_string(r.imported) + '|' +
         w.address + '|' + optional(w.terminal) + '|' + w.discoveryReply + '|' + w.outcome + '|' +
         w.clean + '|' + w.replyBefore + '|' + w.reply + '|' + std::to_string(w.piecesSent) + '|' +
         std::to_string(w.piecesTotal) + '|' + optional(w.firstFailedPiece) + '|' +
         optional(w.wave);
}

// What SQLite's own check says of the file, read without the history.
std::string integrityOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string said = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* check = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr);
    said = sqlite3_step(check) == SQLITE_ROW
               ? reinterpret_cast<const char*>(sqlite3_column_text(check, 0))
               : sqlite3_errmsg(db);
    sqlite3_finalize(check);
  }
  sqlite3_close(db);
  return said;
}

void execute(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

class HistoryTest : public ::testing::Test {
 protected:
  HistoryTest() {
    char name[] = "/tmp/korven-history-test-XXXXXX";
    folder = ::mkdtemp(name);
  }
  ~HistoryTest() override { fs::remove_all(folder); }
  std::string path(const char* name) const { return (folder / name).string(); }
  std::unique_ptr<History> open(const std::string& file) {
    std::string error;
    auto history = openHistory(file, error);
    EXPECT_TRUE(history) << error;
    return history;
  }

  fs::path folder;
};

TEST_F(HistoryTest, KeepsEveryFieldAndFindsEachTerminalsLatestAndLatestCleanRecord) {
  auto history = open(path("history.sqlite"));
  ASSERT_TRUE(history);

  HistoryRun full{"night.csv",
                  "2024-04-30 22:00:00",
                  "2024-04-30 23:10:05",
                  "FW_WG.BIN",
                  253696,
                  991,
                  4660,
                  std::string(64, 'c'),
                  "retry",
                  "0-4",
                  120,
                  false,
                  "10,100",
                  "5%",
                  true,
                  false,
                  "1.1W",
                  3,
                  true};
  HistoryRow whole{"10.0.0.7", 7, "KORVEN,10.0.0.7,\\x01", "cut", "no", "NEW", "TERM", 400, 993,
                   400,        2};
  HistoryRow bare = rowOf("10.0.0.8", "refused", "no");
  ASSERT_TRUE(history->record(full, {whole, bare}));
  const auto kept = history->recordsOf({"10.0.0.7", "10.0.0.8"});
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(everyField(kept[0]), everyField({full, whole}));
  EXPECT_EQ(everyField(kept[1]), everyField({full, bare}));

  // b.csv is recorded at its start and again from another folder when it
  // ends: one run, its rows those of its last record. c.csv started in the
  // same second as b.csv and was recorded after it: it is the later.
  const std::string day2 = "2024-05-02 10:00:00";
  ASSERT_TRUE(
      history->record(runOf("a.csv", "2024-05-01 10:00:00"),
                      {rowOf("10.0.0.9", "streamed", "yes"), rowOf("10.0.0.10", "streamed", "yes"),
                       rowOf("10.0.0.2", "streamed", "unconfirmed")}));
  ASSERT_TRUE(history->record(
      runOf("reports/b.csv", day2),
      {rowOf("10.0.0.9", "interrupted", "no"), rowOf("10.0.0.2", "interrupted", "no"),
       rowOf("10.0.0.11", "interrupted", "no")}));
  ASSERT_TRUE(
      history->record(runOf("c.csv", day2), {rowOf("10.0.0.2", "streamed", "unconfirmed")}));
  ASSERT_TRUE(
      history->record(runOf("/elsewhere/b.csv", day2),
                      {rowOf("10.0.0.9", "cut", "no"), rowOf("10.0.0.2", "streamed", "yes")}));
  // A dry run, and a report of an older run imported late.
  ASSERT_TRUE(history->record(
      runOf("d.csv", "2024-05-03 10:00:00", true),
      {rowOf("10.0.0.9", "streamed", "yes"), rowOf("10.0.0.77", "streamed", "yes")}));
  ASSERT_TRUE(
      history->record(runOf("e.csv", "2024-04-01 10:00:00"), {rowOf("10.0.0.10", "cut", "no")}));

  EXPECT_TRUE(history->knows("b.csv", day2));
  EXPECT_FALSE(history->knows("b.csv", "2024-05-02 10:00:01"));
  EXPECT_THAT(
      said(history->latest()),
      ElementsAre("c.csv 10.0.0.2 streamed", "night.csv 10.0.0.7 cut", "night.csv 10.0.0.8 refused",
                  "b.csv 10.0.0.9 cut", "a.csv 10.0.0.10 streamed"));
  EXPECT_THAT(said(history->latestClean(true)),
              ElementsAre("c.csv 10.0.0.2 streamed", "a.csv 10.0.0.9 streamed",
                          "a.csv 10.0.0.10 streamed"));
  EXPECT_THAT(said(history->latestClean(false)),
              ElementsAre("b.csv 10.0.0.2 streamed", "a.csv 10.0.0.9 streamed",
                          "a.csv 10.0.0.10 streamed"));
  EXPECT_THAT(
      said(history->recordsOf({"10.0.0.9", "10.0.0.2", "10.0.0.9"})),
      ElementsAre("c.csv 10.0.0.2 streamed", "b.csv 10.0.0.2 streamed", "b.csv 10.0.0.9 cut",
                  "a.csv 10.0.0.2 streamed", "a.csv 10.0.0.9 streamed"));
  EXPECT_EQ(history->recordsOf({"10.0.0.11"}).size(), 0u) << "dropped by b.csv's last record";
  EXPECT_EQ(history->recordsOf({"10.0.0.77"}).size(), 0u) << "seen in a dry run only";
  // An image's digest is its newest run's that knew one; a dry run's is no
  // record of what was streamed.
  HistoryRun planned = runOf("f.csv", "2024-06-01 10:00:00", true);
  planned.imageSha256 = std::string(64, 'd');
  ASSERT_TRUE(history->record(planned, {rowOf("10.0.0.9", "planned", "no")}));
  EXPECT_EQ(history->digestOf("FW_WG.BIN"), std::string(64, 'c'));
  EXPECT_EQ(history->digestOf("FW_OTHER.BIN"), "");
  EXPECT_EQ(history->lastError(), "");
}

// The steps a run records: every row says the step, and the number of rows
// changes, so that a record read half-made would show.
HistoryRun stepRun(int step) {
  HistoryRun run = runOf("steps.csv", "2024-06-01 08:00:00");
  run.version = std::to_string(step);
  return run;
}

std::vector<HistoryRow> stepRows(int step) {
  std::vector<HistoryRow> rows;
  for (int i = 0; i < 2000 - step % 3; ++i) {
    rows.push_back(rowOf("10.0." + std::to_string(i / 250) + '.' + std::to_string(i % 250 + 1),
                         step == 1 ? "interrupted" : "streamed", "no"));
    rows.back().reply = std::to_string(step);
  }
  return rows;
}

// The step the file says, all its rows agreeing; 0 for none, -1 for a
// record read half-made.
int stepRead(History& history) {
  const auto latest = history.latest();
  if (latest.empty()) return 0;
  const int step = std::stoi(latest.front().run.version);
  const bool whole =
      latest.size() == stepRows(step).size() &&
      std::all_of(latest.begin(), latest.end(), [&](const HistoryEntry& e) {
        return e.row.reply == e.run.version && e.run.version == latest.front().run.version;
      });
  return whole ? step : -1;
}

// A program that goes on from the file's last step, one record after the
// other, saying 'o' once it opened, 'b' as it begins a record, 'd' when done.
[[noreturn]] void recordStepsUntilKilled(const std::string& file, int told) {
  std::string error;
  auto history = openHistory(file, error);
  if (!history || ::write(told, "o", 1) != 1) ::_exit(1);
  for (int step = stepRead(*history) + 1;; ++step) {
    if (::write(told, "b", 1) != 1) ::_exit(1);
    if (!history->record(stepRun(step), stepRows(step))) ::_exit(2);
    if (::write(told, "d", 1) != 1) ::_exit(1);
  }
}

TEST_F(HistoryTest, AKillAtAnyMomentLeavesTheLastWholeRecord) {
  using Clock = std::chrono::steady_clock;
  const std::string file = path("history.sqlite");
  // The first kill once the program opened the file, the second once it
  // recorded, the rest at tenths of the time a record took, into a record.
  Clock::duration recordTakes{};
  int killedInsideARecord = 0;
  int step = 0;
  for (int kill = 0; kill < 11; ++kill) {
    int told[2];
    ASSERT_EQ(::pipe(told), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(told[0]);
      recordStepsUntilKilled(file, told[1]);
    }
    ::close(told[1]);
    const char waitFor = kill == 0 ? 'o' : kill == 1 ? 'd' : 'b';
    int begun = 0, done = 0;
    char c = 0;
    Clock::time_point began;
    while (c != waitFor && ::read(told[0], &c, 1) == 1) {
      if (c == 'b') began = Clock::now();
      begun += c == 'b';
      done += c == 'd';
    }
    if (kill == 1) recordTakes = Clock::now() - began;
    if (kill >= 2) std::this_thread::sleep_for(recordTakes * (kill - 1) / 10);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the recording program failed: " << status;
    while (::read(told[0], &c, 1) == 1) {
      begun += c == 'b';
      done += c == 'd';
    }
    ::close(told[0]);
    killedInsideARecord += begun > done;

    SCOPED_TRACE("kill " + std::to_string(kill) + " after step " + std::to_string(step) + " and " +
                 std::to_string(done) + " more record(s)");
    EXPECT_EQ(integrityOf(file), "ok");
    auto history = open(file);
    ASSERT_TRUE(history);
    // The last record done, or the one under way if it committed just before
    // the kill.
    const int read = stepRead(*history);
    EXPECT_TRUE(read == step + done || read == step + done + 1) << "reads as step " << read;
    step = std::max(read, 0);
  }
  EXPECT_GT(killedInsideARecord, 4) << "kills inside a record";
}

TEST_F(HistoryTest, TwoProgramsRecordIntoOneFileAndAWriterPastTheWaitIsToldWhy) {
  const std::string file = path("history.sqlite");
  const auto recordRuns = [&](History& history, const std::string& who, int net) {
    for (int i = 0; i < 30; ++i) {
      std::vector<HistoryRow> rows;
      for (int t = 0; t < 300; ++t) {
        rows.push_back(rowOf("10." + std::to_string(net) + '.' + std::to_string(t / 250) + '.' +
                                 std::to_string(t % 250 + 1),
                             "streamed", "yes"));
      }
      const std::string started =
          "2024-07-01 08:00:" + std::string(i < 10 ? "0" : "") + std::to_string(i);
      if (!history.record(runOf(who + ".csv", started), rows)) return false;
      if (history.latest().empty()) return false;
    }
    return true;
  };
  const pid_t child = ::fork();
  if (child == 0) {
    std::string error;
    auto history = openHistory(file, error);
    ::_exit(history && recordRuns(*history, "child", 1) ? 0 : 1);
  }
  auto history = open(file);
  ASSERT_TRUE(history);
  EXPECT_TRUE(recordRuns(*history, "parent", 2)) << history->lastError();
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other program's records";
  EXPECT_EQ(integrityOf(file), "ok");
  EXPECT_TRUE(history->knows("child.csv", "2024-07-01 08:00:29"));
  EXPECT_EQ(history->latest().size(), 600u);

  // Another program holds the file for writing longer than this one waits:
  // the record fails and says why; reading goes on.
  std::string error;
  auto impatient = openHistory(file, error, std::chrono::milliseconds(100));
  ASSERT_TRUE(impatient) << error;
  sqlite3* other = nullptr;
  sqlite3_open(file.c_str(), &other);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_FALSE(impatient->record(runOf("late.csv", "2024-07-02 08:00:00"), {}));
  EXPECT_THAT(impatient->lastError(), HasSubstr("is in use by another program"));
  EXPECT_EQ(impatient->latest().size(), 600u);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_TRUE(impatient->record(runOf("late.csv", "2024-07-02 08:00:00"), {}));
}

TEST_F(HistoryTest, AFileItCannotKeepIsRefusedAndLeftAsItWas) {
  std::string error;
  EXPECT_FALSE(openHistory(path("no-such-folder/history.sqlite"), error));
  EXPECT_THAT(error, HasSubstr("cannot be opened"));

  const std::string text = path("notes.sqlite");
  std::ofstream(text) << std::string(4096, 'x');
  EXPECT_FALSE(openHistory(text, error));
  EXPECT_EQ(error, "is no history database (file is not a database)");
  EXPECT_EQ(fs::file_size(text), 4096u);

  const std::string foreign = path("foreign.sqlite");
  execute(foreign, "CREATE TABLE contacts (name TEXT)");
  EXPECT_FALSE(openHistory(foreign, error));
  EXPECT_EQ(error, "is no history database (it holds tables of another program)");

  // A later version's file is neither read nor written, nor switched to
  // this version's journal.
  const std::string later = path("later.sqlite");
  execute(later, "CREATE TABLE runs (id INTEGER); PRAGMA user_version = 2");
  const auto before = fs::file_size(later);
  EXPECT_FALSE(openHistory(later, error));
  EXPECT_THAT(error, HasSubstr("later version"));
  EXPECT_EQ(fs::file_size(later), before);
  EXPECT_FALSE(fs::exists(later + "-wal"));
}

}  // namespace
}  // namespace korven
