#pragma once

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
  Batch(ProgPrin& window, Platform& platform, ConnectionManager& connections);

  void SW_ALL_Click();
  void SCROLL_XTOY_Change();

 private:
  void switchOn();
  void switchOff();
  void warnWhenTooManyForTheFileLimit(int terminals);

  ProgPrin& w_;
  Platform& platform_;
  ConnectionManager& connections_;
};

}  // namespace korven
