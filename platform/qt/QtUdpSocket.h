#pragma once

#include <QUdpSocket>
#include <memory>

#include "platform/Sockets.h"
#include "platform/qt/DatagramReader.h"
#include "platform/qt/PostedCall.h"

namespace korven::qt {

class QtUdpSocket : public UdpSocket {
 public:
  QtUdpSocket() = default;
  ~QtUdpSocket() override;
  QtUdpSocket(const QtUdpSocket&) = delete;
  QtUdpSocket& operator=(const QtUdpSocket&) = delete;

  int localPort() const override;
  bool setLocalPort(int port) override;
  bool bind() override;
  bool sendData(std::string_view bytes) override;
  std::string getData() override;

 private:
  void announce();

  // Binds and sends; the reader alone takes datagrams off it.
  QUdpSocket socket_;
  // To the window thread, from the reader's; calls left queued go with it.
  PostedCall announce_{[this] { announce(); }};
  std::unique_ptr<DatagramReader> reader_;
  int port_ = 0;
  std::string datagram_;
  bool read_ = true;
};

}  // namespace korven::qt
