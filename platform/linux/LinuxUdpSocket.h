#pragma once

#include <netinet/in.h>

#include <memory>
#include <string>

#include "platform/Sockets.h"
#include "platform/linux/DatagramReader.h"
#include "platform/linux/DescriptorWatch.h"
#include "platform/system/NetworkInterfaces.h"

namespace korven::linux_platform {

// A UDP socket on the system's calls. One that is bound by bind() receives:
// a reader thread takes its datagrams off the kernel as they come, and an
// event descriptor in the watch tells the window thread. One bound only by
// its first send just sends. A datagram to 255.255.255.255 goes out on each
// interface `broadcast` chooses.
class LinuxUdpSocket : public UdpSocket, private Watcher {
 public:
  LinuxUdpSocket(DescriptorWatch& descriptors, const BroadcastChoice& broadcast);
  ~LinuxUdpSocket() override;
  LinuxUdpSocket(const LinuxUdpSocket&) = delete;
  LinuxUdpSocket& operator=(const LinuxUdpSocket&) = delete;

  int localPort() const override { return port_; }
  bool setLocalPort(int port) override;
  bool bind() override;
  bool sendData(std::string_view bytes) override;
  std::string getData() override;

 private:
  // Opens and binds the socket on port_, with its reader when receiving;
  // false, and nothing open, when any of it is refused.
  bool open(bool receiving);
  void shut();
  // One datagram to `to`, out of interface `via` when given.
  bool sendOne(const sockaddr_in& to, std::string_view bytes, const NetworkInterface* via) const;
  // The reader's notice: datagrams wait.
  void ready(std::uint32_t events) override;
  void notify() const;

  DescriptorWatch& descriptors_;
  const BroadcastChoice& broadcast_;
  int descriptor_ = -1;
  int port_ = 0;
  bool receiving_ = false;
  int notice_ = -1;  // an event descriptor the reader counts up
  DescriptorWatch::Token noticeToken_ = 0;
  std::unique_ptr<DatagramReader> reader_;
  std::string datagram_;
  bool read_ = true;
};

}  // namespace korven::linux_platform
