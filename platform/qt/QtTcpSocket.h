#pragma once

#include <QTcpSocket>
#include <memory>

#include "platform/Sockets.h"

namespace korven::qt {

// QTcpSocket with the classic states: Qt falls back to "unconnected" by
// itself after a failed connect or a peer close, so the error (9) and the
// closing (8) states are remembered here until close().
class QtTcpSocket : public TcpSocket {
 public:
  QtTcpSocket();
  ~QtTcpSocket() override;
  QtTcpSocket(const QtTcpSocket&) = delete;
  QtTcpSocket& operator=(const QtTcpSocket&) = delete;

  int state() const override;
  bool connect() override;
  bool sendData(std::string_view bytes) override;
  std::string getData() override;
  void close() override;

 private:
  void failed(QAbstractSocket::SocketError error);
  bool writeThroughQt(std::string_view bytes);

  QTcpSocket* socket_;
  int remembered_ = tcp_state::Closed;
  bool closing_ = false;
  int signalDepth_ = 0;  // inside one of our own socket's signals
};

}  // namespace korven::qt
