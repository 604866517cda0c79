#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "update/UpdateRecord.h"
#include "update/UpdateStart.h"
#include "window/ProgPrin.h"

namespace korven {

// Records what every update does to each terminal and, when it ends,
// writes the report into reports/ in the working folder (or where the
// driver said). A report that cannot be written changes nothing else.
class UpdateReport {
 public:
  UpdateReport(ProgPrin& window, Platform& platform) : w_(window), platform_(platform) {}

  // The update started: which terminals it is for, and in which mode.
  void started(const ImageFacts& image);
  // A piece goes out to the terminals (each fan-out of the update).
  void piece();
  void handedOver(int element, bool sent);
  // A piece counted as handed over never got through: it is no longer sent,
  // and the first failed piece is the earliest lost or failed one.
  void lost(int element, int piece);
  // The update ended: the report is written.
  void finished();

  // The file the next reports go to; empty: a new file in `folder`.
  std::string file;
  // The folder of the reports; empty: reports/ in the working folder.
  std::string folder;
  // Addresses expected in the next update besides the terminals listed;
  // those not listed are reported as not connected.
  std::vector<std::string> expected;

  const std::optional<UpdateRecord>& last() const { return last_; }
  // Where the last report went; empty when it could not be written.
  const std::string& lastWritten() const { return written_; }

 private:
  TerminalRecord* ofElement(int element);
  std::string pathFor(const UpdateRecord& record);

  ProgPrin& w_;
  Platform& platform_;
  std::optional<UpdateRecord> current_;
  std::optional<UpdateRecord> last_;
  std::string written_;
};

}  // namespace korven
