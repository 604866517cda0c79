#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/WallClock.h"

namespace korven {

// Whether a terminal is done with: "yes" when its stream went whole and it
// said NEW or TERM of it (or the update was not for it), "no" when it was
// not streamed or said CHKERR or FULL, "unconfirmed" when it was streamed
// and said nothing: silence is never taken for success. One found running
// the image already keeps the verdict of the record that says so.
enum class Clean { Yes, No, Unconfirmed };
const char* cleanText(Clean clean);

// One terminal's part in an update: one connection element streamed to, or
// a terminal given that never answered. The words stay honest: "streamed"
// says every piece was handed to its connection, not that the terminal took
// the image; its reply says that.
struct TerminalRecord {
  std::optional<int> terminal;  // its element's number; none for one given but never listed
  std::string address;          // what its element was connected to as the update began
  bool inRange = true;
  bool connected = false;  // its connection was up as the update began
  int piecesSent = 0;
  std::optional<int> firstFailedPiece;  // counted from 1
  std::string reply;                    // a status it sent since the update began
  std::string replyBefore;              // the status shown as the update began
  std::string discoveryReply;           // its whole answer to the query, as it came
  std::optional<int> wave;              // its wave in a rollout
  // Set by whoever ran no stream for it on purpose ("planned", "held back").
  std::optional<std::string> fixedOutcome;
  // Why it was held back: "window" or "max-failed"; empty otherwise.
  std::string heldReason;
  // The updates of the run that included it; its row is its last one's.
  int attempts = 0;
  // Already current: the verdict its latest record had. An unconfirmed one
  // stays unconfirmed, or a later --require-verdict would take it for heard.
  Clean currentVerdict = Clean::Yes;
};

// Not streamed, its latest record in the history saying it runs the image.
inline constexpr const char* kAlreadyCurrent = "already current";

// What one update did, from the click to the end; or a whole run of several
// updates of one image (a rollout in waves), as its driver composes it.
struct UpdateRecord {
  std::string image;
  std::size_t imageBytes = 0;  // the data sent, from the file's first non-zero byte
  int blocks = 0;
  int checksum = 0;
  std::string imageSha256;  // of the whole file as read
  bool allTerminals = false;
  std::string target;  // "single", "all", "given", "retry"
  int from = 0;        // the range as used, in all-terminals mode
  int to = 0;
  int blockPaceMs = 0;
  bool goBoot = true;
  LocalTime started;
  LocalTime ended;
  bool finished = false;  // until then, every stream in the range is "interrupted"
  std::string version;
  int piecesTotal = 0;  // of each terminal's stream
  bool dryRun = false;
  std::optional<int> waves;
  std::optional<int> stoppedAfterWave;
  // How the run was asked to go, so that a retry of its report goes the same
  // way: the waves' sizes ("1,10%,100%") and the stop threshold, empty
  // without waves; whether silence counts as a failure.
  std::string waveSizes;
  std::string maxFailed;
  bool requireVerdict = false;
  std::vector<TerminalRecord> terminals;

  // "streamed", "cut" (some pieces not handed over), "not connected" (none
  // was), "outside range", "interrupted" (the update had not ended), or what
  // the driver fixed.
  std::string outcome(const TerminalRecord& t) const;
  Clean clean(const TerminalRecord& t) const;
  // Counts as clean for the exit code and a retry: clean, or unconfirmed
  // where silence is allowed.
  bool passes(const TerminalRecord& t) const;
  bool allPass() const;
};

}  // namespace korven
