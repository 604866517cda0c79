#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "connections/ConnectionManager.h"
#include "discovery/TerminalIndex.h"
#include "window/ProgPrin.h"

namespace korven {

// Lists are indexed by 16-bit signed numbers: this many terminals at most.
inline constexpr int kMaxTerminals = 32767;

// Finds the terminals: sends the query and turns every reply of a terminal
// not yet listed into a line of the terminal lists.
class Discovery {
 public:
  // A newly listed terminal gets a connection pass of `connections` at once.
  Discovery(ProgPrin& window, ConnectionManager& connections);

  void B_ASK_Click();
  void TIM_UDP_CALL_Timer();
  void UDP_RX_DataArrival();

  // Replies from other addresses than these are read and dropped, so that a
  // terminal answering unasked can neither join the list nor take the
  // address box; empty: every reply counts, as in the window.
  void restrictTo(const std::vector<std::string>& addresses);

  // A reply that counts came: its address and the whole datagram.
  Event<const std::string&, const std::string&> onReply;

 private:
  ProgPrin& w_;
  ConnectionManager& connections_;
  TerminalIndex known_;
  std::unordered_set<std::string> only_;
};

}  // namespace korven
