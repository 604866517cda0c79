#pragma once

#include <functional>

#include "discovery/TerminalIndex.h"
#include "window/ProgPrin.h"

namespace korven {

// Lists are indexed by 16-bit signed numbers: this many terminals at most.
inline constexpr int kMaxTerminals = 32767;

// Finds the terminals: sends the query and turns every reply of a terminal
// not yet listed into a line of the terminal lists.
class Discovery {
 public:
  // `connectionPass` runs one pass of the connection manager.
  Discovery(ProgPrin& window, std::function<void()> connectionPass);

  void B_ASK_Click();
  void TIM_UDP_CALL_Timer();
  void UDP_RX_DataArrival();

 private:
  ProgPrin& w_;
  std::function<void()> connectionPass_;
  TerminalIndex known_;
};

}  // namespace korven
