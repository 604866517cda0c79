#pragma once

#include <memory>

#include "platform/EventLoop.h"
#include "platform/Sockets.h"
#include "platform/Timer.h"
#include "platform/system/NetworkInterfaces.h"
#include "platform/system/TerminalAddress.h"

namespace korven::qt {

// What lies under the program on Qt's event loop: the loop's points and
// waits, timers and sockets. On Linux the program's own descriptors in an
// epoll set that Qt watches as one; anywhere Qt runs, Qt's own sockets and
// timers. The build chooses which one the program gets.
class Backend {
 public:
  explicit Backend(const Clock& clock) : terminalAddresses_(clock) {}
  virtual ~Backend() = default;
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;
  virtual EventLoop& eventLoop() = 0;
  virtual std::unique_ptr<Timer> createTimer() = 0;
  virtual std::unique_ptr<UdpSocket> createUdpSocket() = 0;
  virtual std::unique_ptr<TcpSocket> createTcpSocket() = 0;
  // How long before its end a timed wait is woken to finish on processing
  // points, waking late otherwise; zero where nothing wakes that precisely.
  virtual Micros wakeMargin() const { return Micros(0); }
  virtual void setWakeMargin(Micros) {}
  // The interfaces its sockets send a datagram to 255.255.255.255 out on.
  BroadcastChoice& broadcast() { return broadcast_; }
  // The addresses its TCP sockets connect to: terminals' only.
  const TerminalAddresses& terminalAddresses() const { return terminalAddresses_; }

 private:
  BroadcastChoice broadcast_;
  TerminalAddresses terminalAddresses_;
};

// Qt's sockets and timers, and Qt's loop alone.
std::unique_ptr<Backend> makeQtBackend(const Clock& clock);
// The epoll set, timer descriptors and the system's sockets (Linux only).
std::unique_ptr<Backend> makeEpollBackend(const Clock& clock);

}  // namespace korven::qt
