#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "connections/ConnectionManager.h"
#include "discovery/Discovery.h"
#include "platform/Platform.h"
#include "update/ReplyHandling.h"
#include "update/TransferEngine.h"
#include "update/UpdateRecord.h"
#include "update/UpdateStart.h"
#include "window/ProgPrin.h"

namespace korven {

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
  // A terminal's status reply was read on element `element`.
  void statusReceived(int element, const std::string& status);
  // A terminal answered the query with `datagram`.
  void discoveryReply(const std::string& address, const std::string& datagram);
  // A piece counted as handed over never got through: it is no longer sent,
  // and the first failed piece is the earliest lost or failed one.
  void lost(int element, int piece);
  // The update ended: the report is written.
  void finished();
  // No update runs: the report of one that would start now, each terminal of
  // the range "planned" when its connection is up, else "not connected".
  void planned(const ImageFacts& image);
  // Writes the report again (a status that came after the end); false when
  // it cannot be written.
  bool save();

  // The file the next reports go to; empty: a new file in `folder`.
  std::string file;
  // The folder of the reports; empty: reports/ in the working folder.
  std::string folder;
  // Addresses expected in the next update besides the elements; those
  // without one are reported as not connected.
  std::vector<std::string> expected;
  // How the terminals of the next update were chosen, when not by the mode
  // alone ("given", "retry").
  std::string target;
  // Whether a status read after the update ended still counts as its reply
  // (a driver that reconnects to hear the terminals' verdict); the window
  // reports what came until the end.
  bool repliesAfterEnd = false;
  // What is written for a record, when a driver's report spans more than
  // one update (a rollout in waves); by default the record as it is.
  std::function<UpdateRecord(const UpdateRecord&)> compose;

  // The update running, or the last one.
  const std::optional<UpdateRecord>& last() const { return record_; }
  // Where the report went; empty when it could not be written.
  const std::string& lastWritten() const { return written_; }

 private:
  // The update starting now: its facts, and a line per connection element.
  UpdateRecord recordOf(const ImageFacts& image);
  TerminalRecord* rowOfElement(int element);
  std::string statusShown(int element) const;
  std::string pathFor(const UpdateRecord& record);

  ProgPrin& w_;
  Platform& platform_;
  std::optional<UpdateRecord> record_;
  bool running_ = false;
  std::string path_;
  std::string written_;
  Micros savedAt_{0};
  std::unordered_map<std::string, std::string> discoveryReplies_;
};

}  // namespace korven
