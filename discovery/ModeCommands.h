#pragma once

#include <string>

#include "platform/EventLoop.h"
#include "window/ProgPrin.h"

namespace korven {

inline constexpr const char* kSendError = "SEND ERROR";
inline constexpr int kFrameRepetitions = 10;

// The five buttons that send one-way mode frames to the terminals: each
// press sends its frame ten times, 0.1 s apart, with the window responsive.
class ModeCommands {
 public:
  ModeCommands(ProgPrin& window, EventLoop& events);

  void B_GO_BOOT_Click();
  void B_GO_TERM_Click();
  void B_MODE_ACTIVE_Click();
  void B_MODE_PASSIVE_Click();
  void B_SHOW_MAC_Click();

  // Waits `seconds` on the monotonic clock while handling events.
  void DELAIS_EVT(double seconds);

 private:
  // Hides the button and sends the burst; true when every frame went out.
  bool burst(Button& button, const std::string& frame);
  void frozenSecond();

  ProgPrin& w_;
  EventLoop& events_;
};

}  // namespace korven
