#pragma once

#include <cstdint>
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

  // A new stream begins: its pieces are counted from 1.
  void beginStream();
  // Before the element is closed: gives what its connection still holds
  // until one more `pause` after the close was due to get through; then
  // each piece whose bytes did not all get through is lost.
  void settle(int element, Micros pause);

  // Each ENV_TCP is one piece; each send of it to one element is handed
  // over or not.
  Event<> onPiece;
  Event<> onPieceDone;            // the piece has been offered to every terminal
  Event<int, bool> onHandedOver;  // element, sent
  // A piece handed over to the element never got through (counted from 1
  // since beginStream): its bytes waited in the connection, which failed
  // or was closed first.
  Event<int, int> onLost;  // element, piece

 private:
  // Pieces handed over in a row on one connection of an element, and how
  // many bytes had been handed to that connection before the first of them.
  struct Run {
    int first = 0;  // 0: none
    int last = 0;
    std::uint64_t before = 0;
  };

  void singlePass();
  void allTerminalsPass();
  void sendTo(int element, const std::string& message, Micros pause);
  // Ends the element's run: the pieces whose bytes did not all get through
  // are recorded as failed and lost.
  void loseUndelivered(int element);
  void recordFailure(int element);

  ProgPrin& w_;
  EventLoop& events_;
  const Clock& clock_;
  // Per element, when the last piece was handed over to it.
  std::vector<Micros> handedOver_;
  std::vector<std::size_t> pieceSizes_;  // of the stream, piece n at n - 1
  std::vector<Run> runs_;                // per element
};

}  // namespace korven
