#pragma once

#include <string>
#include <vector>

#include "platform/EventLoop.h"
#include "window/ProgPrin.h"

namespace korven {

inline constexpr const char* kFailurePrefix = "ERR ---> ";

// Keeps a connection open to every terminal the tool works with, shows in
// colours whether they are up, and sends byte strings to them (ENV_TCP),
// recording each terminal a send failed to.
class ConnectionManager {
 public:
  ConnectionManager(ProgPrin& window, EventLoop& events, const Clock& clock);

  // The connection pass: pushes every unmarked connection one step towards
  // connected. Each step's failure is ignored.
  void TIM_CON_Timer();
  void TCPIP_Connect(int element);
  // Sends `message` to element 0, or to every element of the From/To range
  // in all-terminals mode; a failed send is listed in LST_ALL_ERR. No
  // terminal gets it sooner than `pause` after the last piece handed over to
  // it: events handled during a fan-out shift each send by a different amount.
  void ENV_TCP(const std::string& message, Micros pause = Micros(0));
  // Processes events until `pause` has passed since the last piece handed
  // over to the element.
  void waitForPause(int element, Micros pause);

  // Each ENV_TCP is one piece; each send of it to one element is handed
  // over or not.
  Event<> onPiece;
  Event<> onPieceDone;            // the piece has been offered to every terminal
  Event<int, bool> onHandedOver;  // element, sent

 private:
  void singlePass();
  void allTerminalsPass();
  void sendTo(int element, const std::string& message, Micros pause);
  void recordFailure(int element);

  ProgPrin& w_;
  EventLoop& events_;
  const Clock& clock_;
  // Per element, when the last piece was handed over to it.
  std::vector<Micros> handedOver_;
};

}  // namespace korven
