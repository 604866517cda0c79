#pragma once

#include <QUdpSocket>

#include "platform/Sockets.h"

namespace korven::qt {

class QtUdpSocket : public UdpSocket {
 public:
  QtUdpSocket();
  int localPort() const override;
  bool setLocalPort(int port) override;
  bool bind() override;
  bool sendData(std::string_view bytes) override;
  std::string getData() override;

 private:
  void readPending();

  QUdpSocket socket_;
  int port_ = 0;
  std::string datagram_;
  bool read_ = true;
};

}  // namespace korven::qt
