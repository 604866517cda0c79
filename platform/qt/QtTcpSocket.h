#pragma once

#include <string>

#include "platform/Sockets.h"
#include "platform/qt/QtEventLoop.h"

namespace korven::qt {

// A non-blocking TCP client on the system's socket calls, with the classic
// states, watched in the event loop's descriptor set rather than by Qt: Qt
// would ask the system about each of a thousand connections at every turn
// of its loop, and its buffered write costs as much again as the system
// call. A refused or failed connection stays in state 9, and one the peer
// closed in state 8, until close().
class QtTcpSocket : public TcpSocket, private Watcher {
 public:
  explicit QtTcpSocket(DescriptorWatch& descriptors);
  ~QtTcpSocket() override;
  QtTcpSocket(const QtTcpSocket&) = delete;
  QtTcpSocket& operator=(const QtTcpSocket&) = delete;

  int state() const override { return state_; }
  bool connect() override;
  bool sendData(std::string_view bytes) override;
  std::string getData() override;
  void close() override;

 private:
  void ready(std::uint32_t events) override;
  // Reads everything waiting; an end or a failure closes the descriptor.
  void receive();
  // Writes what the kernel takes; false when the connection failed.
  bool write(std::string_view bytes);
  void watchFor(std::uint32_t events);
  // Closes the descriptor and remembers why: a reset or closed peer is 8,
  // anything else 9.
  void fail(int error);
  void release();

  DescriptorWatch& descriptors_;
  int descriptor_ = -1;
  DescriptorWatch::Token token_ = 0;
  std::uint32_t watched_ = 0;  // the epoll events asked for
  int state_ = tcp_state::Closed;
  std::string received_;  // not yet read by getData()
  std::string unsent_;    // what the kernel did not take yet, in order
};

}  // namespace korven::qt
