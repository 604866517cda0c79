#pragma once

#include <functional>

#include "connections/ConnectionManager.h"
#include "platform/Platform.h"
#include "window/ProgPrin.h"

namespace korven {

// Descriptors the program needs besides one per terminal connection.
inline constexpr long kReservedFiles = 64;

// The switch between single-terminal and all-terminals mode: one connection
// element per listed terminal, the From/To range and its read-outs.
class Batch {
 public:
  // `resetStatusList` sets every line of LST_STATUS back to unknown.
  Batch(ProgPrin& window, Platform& platform, ConnectionManager& connections,
        std::function<void()> resetStatusList);

  void SW_ALL_Click();
  void SCROLL_XTOY_Change();

 private:
  void switchOn();
  void switchOff();
  void warnWhenTooManyForTheFileLimit(int terminals);

  ProgPrin& w_;
  Platform& platform_;
  ConnectionManager& connections_;
  std::function<void()> resetStatusList_;
};

}  // namespace korven
