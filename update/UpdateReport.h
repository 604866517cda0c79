#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "connections/ConnectionManager.h"
#include "discovery/Discovery.h"
#include "platform/Platform.h"
#include "update/HistoryKeeper.h"
#include "update/ReplyHandling.h"
#include "update/TransferEngine.h"
#include "update/UpdateRecord.h"
#include "update/UpdateStart.h"
#include "window/ProgPrin.h"

namespace korven {

// Where the records go when a driver runs several updates as one run (a
// rollout in waves): it composes and writes the run's one report itself.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // The record of the update running, or just ended, changed. The report's
  // path, or empty when it could not be written.
  virtual std::string recordChanged(const UpdateRecord& update) = 0;
};

// Records what every update does to each terminal and keeps the report of it
// on disk in reports/ in the working folder (or where the driver said): from
// the moment the update starts, every stream "interrupted" until the update
// ends, replaced whole after each step and at least once a second while
// pieces go out, so a crash at any moment leaves a whole report. A report
// that cannot be written changes nothing else.
class UpdateReport {
 public:
  // Subscribes to the events of the subsystems it records.
  UpdateReport(ProgPrin& window, Platform& platform, UpdateStart& start,
               ConnectionManager& connections, TransferEngine& transfer, ReplyHandling& replies,
               Discovery& discovery);

  // The update started: one line per connection element, under the address
  // it has now, in the range or not.
  void started(const ImageFacts& image);
  // A piece goes out (each fan-out of the update), and is done.
  void piece();
  void pieceDone();
  void handedOver(int element, bool sent);
  // What an element held was read: its status, unless every byte of it came
  // before the element's last piece went out, when it cannot be this
  // update's verdict (a terminal says its status as a connection opens).
  void replyRead(int element, const std::string& bytes);
  // A terminal answered the query with `datagram`.
  void discoveryReply(const std::string& address, const std::string& datagram);
  // A piece counted as handed over never got through: it is no longer sent,
  // and the first failed piece is the earliest lost or failed one.
  void lost(int element, int piece);
  // The update ended: the report is written.
  void finished();
  // The record of an update that would start now, every stream "interrupted":
  // its facts and a line per connection element (and per terminal expected).
  UpdateRecord snapshot(const ImageFacts& image) const;
  // Writes the report again (a status that came after the end); false when
  // it cannot be written.
  bool save();
  // A driver's run takes the records from now on; null: each update writes
  // its own report again.
  void setSink(RecordSink* sink) { sink_ = sink; }
  // The history each update is kept in besides its report; none: no history.
  void setHistory(History* history) { history_.setHistory(history); }

  // Addresses expected in the next update besides the elements; those
  // without one are reported as not connected.
  std::vector<std::string> expected;
  // Whether a status read after the update ended still counts as its reply
  // (a driver that reconnects to hear the terminals' verdict); the window
  // reports what came until the end.
  bool repliesAfterEnd = false;

  // The update running, or the last one.
  const std::optional<UpdateRecord>& last() const { return record_; }
  // Where the report went; empty when it could not be written.
  const std::string& lastWritten() const { return written_; }

 private:
  TerminalRecord* rowOfElement(int element);
  std::string statusShown(int element) const;

  ProgPrin& w_;
  Platform& platform_;
  RecordSink* sink_ = nullptr;
  HistoryKeeper history_;
  std::optional<UpdateRecord> record_;
  bool running_ = false;
  int piecesGone_ = 0;  // the piece going out now, counted from 1
  std::string path_;
  std::string written_;
  Micros savedAt_{0};
  std::unordered_map<std::string, std::string> discoveryReplies_;
  // Per element while an update runs: the bytes it holds unread, and how
  // many of them it held when its last piece went out.
  std::unordered_map<int, std::size_t> unread_;
  std::unordered_map<int, std::size_t> heldAtLastPiece_;
};

// Where a report of `record` goes in `folder`: its name, or with "_2", "_3"
// ... when that file exists (two updates of one image within a second keep
// both). Empty when the folder cannot be made.
std::string newReportPath(Files& files, const std::string& folder, const UpdateRecord& record);

}  // namespace korven
