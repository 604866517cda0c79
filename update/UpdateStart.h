#pragma once

#include <optional>
#include <string>

#include "image/ImageChoice.h"
#include "image/ImageReader.h"
#include "platform/Platform.h"
#include "update/SendTable.h"
#include "window/ProgPrin.h"

namespace korven {

inline constexpr const char* kNotReady = "ERROR: Terminal not ready !";
inline constexpr const char* kCannotReadImage = "ERROR: Cannot read the image file !";
inline constexpr const char* kImageTooLarge = "ERROR: Image too large !";
inline constexpr const char* kInvalidDelay = "ERROR: Invalid delay !";
inline constexpr const char* kNoSendTimer = "ERROR: Cannot start the send timer !";

// The image and pace of an update that started.
struct ImageFacts {
  std::string name;
  std::size_t bytes = 0;  // the data sent, from the first non-zero byte
  int blocks = 0;
  int checksum = 0;
  int blockPaceMs = 0;
  std::string sha256;  // of the whole file as read
  int pieces = 0;      // of the stream, each one send to a terminal
};

// The UPDATE button: checks, then puts the window into its busy state, lays
// the whole stream into the send table and arms the send timer. It sends
// nothing itself.
class UpdateStart {
 public:
  UpdateStart(ProgPrin& window, Platform& platform, const ImageChoice& images, SendTable& table);

  void B_UPDATE_Click();

  // A driver that runs several updates of one image (a rollout in waves)
  // reads it once and holds it here: every update of the image `name` then
  // streams these bytes, whatever became of the file since, so no wave can
  // take a copy that landed or was cut short in between. Released, each
  // click reads the chosen file again, as the window does.
  void holdImage(const std::string& name, ImageData image);
  void releaseImage() { held_.reset(); }

  // Raised once an update has started (not when the click is refused).
  Event<const ImageFacts&> onStarted;

 private:
  // Shows the refusal and returns true when the update must not start.
  bool refused(const char* message);

  ProgPrin& w_;
  Platform& platform_;
  const ImageChoice& images_;
  SendTable& table_;
  std::optional<std::pair<std::string, ImageData>> held_;
};

}  // namespace korven
