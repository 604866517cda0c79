#pragma once

#include <string>

#include "platform/EventLoop.h"
#include "shell/window/ProgPrin.h"

namespace korven {

inline constexpr const char* kFailurePrefix = "ERR ---> ";

// Keeps a connection open to every terminal the tool works with, shows in
// colours whether they are up, and sends byte strings to them (ENV_TCP),
// recording each terminal a send failed to.
class ConnectionManager {
 public:
  ConnectionManager(ProgPrin& window, EventLoop& events);

  // The connection pass: pushes every unmarked connection one step towards
  // connected. Each step's failure is ignored.
  void TIM_CON_Timer();
  void TCPIP_Connect(int element);
  // Sends `message` to element 0, or to every element of the From/To range
  // in all-terminals mode; a failed send is listed in LST_ALL_ERR.
  void ENV_TCP(const std::string& message);

 private:
  void singlePass();
  void allTerminalsPass();
  void sendTo(int element, const std::string& message);
  void recordFailure(int element);

  ProgPrin& w_;
  EventLoop& events_;
};

}  // namespace korven
