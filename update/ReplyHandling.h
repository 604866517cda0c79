#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "window/ProgPrin.h"

namespace korven {

// The status text of a terminal's reply: the first of FD FULL, FC CHKERR,
// FE NEW, FB TERM found anywhere in it; nothing when none is there.
std::optional<std::string> statusOfReply(std::string_view reply);

// Shows the terminals' one-byte replies as status texts.
class ReplyHandling {
 public:
  explicit ReplyHandling(ProgPrin& window);
  void TCPIP_DataArrival(int element);
  // Reads what element k holds and shows its status, whether or not an update runs.
  void showReceived(int element);

  // What an element held was read (shown or not): its bytes, as they came.
  Event<int, const std::string&> onReply;

 private:
  ProgPrin& w_;
};

}  // namespace korven
