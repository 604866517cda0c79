#pragma once

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <deque>
#include <string>

#include "platform/Sockets.h"
#include "platform/qt/PostedCall.h"
#include "platform/system/NetworkInterfaces.h"

namespace korven::qt {

// A UDP socket on QUdpSocket. One bound by bind() receives: whenever Qt
// says datagrams wait, all of them are taken off the system at once, and
// then announced one by one a few milliseconds per pass of the loop. A
// datagram to 255.255.255.255 goes out on each interface `broadcast` chooses.
class QtUdpSocket : public UdpSocket {
 public:
  explicit QtUdpSocket(const BroadcastChoice& broadcast);
  QtUdpSocket(const QtUdpSocket&) = delete;
  QtUdpSocket& operator=(const QtUdpSocket&) = delete;

  int localPort() const override;
  bool setLocalPort(int port) override;
  bool bind() override;
  bool sendData(std::string_view bytes) override;
  std::string getData() override;

 private:
  bool open(bool receiving);
  bool sendOne(const QNetworkDatagram& datagram);
  void takeAll();
  void announce();

  const BroadcastChoice& broadcast_;
  QUdpSocket socket_;
  PostedCall announce_{[this] { announce(); }};
  int port_ = 0;
  bool receiving_ = false;
  bool reading_ = false;  // its datagrams are taken as they come
  std::deque<std::string> queue_;
  std::size_t queuedBytes_ = 0;
  bool announcing_ = false;  // a call of announce() waits in the loop
  std::string datagram_;
  bool read_ = true;
};

}  // namespace korven::qt
