#pragma once

#include <string>

#include "platform/Sockets.h"
#include "platform/linux/DescriptorWatch.h"
#include "platform/system/TerminalAddress.h"

namespace korven::linux_platform {

// A non-blocking TCP client with the classic states, watched in the
// descriptor set. A refused or failed connection stays in state 9, and one
// the peer closed in state 8, until close(). What the kernel does not take
// of a send waits here, in order, and goes when the socket takes more. It
// connects only to what `terminals` takes for a terminal's address.
class LinuxTcpSocket : public TcpSocket, private Watcher {
 public:
  LinuxTcpSocket(DescriptorWatch& descriptors, const TerminalAddresses& terminals);
  ~LinuxTcpSocket() override;
  LinuxTcpSocket(const LinuxTcpSocket&) = delete;
  LinuxTcpSocket& operator=(const LinuxTcpSocket&) = delete;

  int state() const override { return state_; }
  bool connect() override;
  bool sendData(std::string_view bytes) override;
  std::string getData() override;
  void close() override;
  std::uint64_t bytesHandedOver() const override { return handedOver_; }
  std::uint64_t bytesDelivered() const override;

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
  // Notes what got through, then closes the descriptor; with bytes left
  // behind, `resetIfUndelivered` resets the connection instead of leaving
  // the kernel to offer them.
  void release(bool resetIfUndelivered);
  // What got through so far; not virtual, as release() runs in the destructor.
  std::uint64_t deliveredNow() const;

  DescriptorWatch& descriptors_;
  const TerminalAddresses& terminals_;
  int descriptor_ = -1;
  DescriptorWatch::Token token_ = 0;
  std::uint32_t watched_ = 0;  // the epoll events asked for
  int state_ = tcp_state::Closed;
  std::string received_;  // not yet read by getData()
  std::string unsent_;    // what the kernel did not take yet, in order
  std::uint64_t handedOver_ = 0;
  std::uint64_t taken_ = 0;      // by the kernel
  std::uint64_t delivered_ = 0;  // as it stood when the descriptor went
};

}  // namespace korven::linux_platform
