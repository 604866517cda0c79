#pragma once

#include <string>

#include "image/ImageChoice.h"
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
};

// The UPDATE button: checks, then puts the window into its busy state, lays
// the whole stream into the send table and arms the send timer. It sends
// nothing itself.
class UpdateStart {
 public:
  UpdateStart(ProgPrin& window, Platform& platform, const ImageChoice& images, SendTable& table);

  void B_UPDATE_Click();

  // Raised once an update has started (not when the click is refused).
  Event<const ImageFacts&> onStarted;

 private:
  // Shows the refusal and returns true when the update must not start.
  bool refused(const char* message);

  ProgPrin& w_;
  Platform& platform_;
  const ImageChoice& images_;
  SendTable& table_;
};

}  // namespace korven
