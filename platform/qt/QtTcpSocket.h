#pragma once

#include <QTcpSocket>

#include <string>

#include "platform/Sockets.h"
#include "platform/qt/PostedCall.h"
#include "platform/system/TerminalAddress.h"

namespace korven::qt {

// A TCP client on QTcpSocket with the classic states: a refused or failed
// connection stays in state 9, and one the peer closed in state 8, until
// close(). Qt holds what the system does not take and writes it in order.
// It connects only to what `terminals` takes for a terminal's address.
class QtTcpSocket : public TcpSocket {
 public:
  explicit QtTcpSocket(const TerminalAddresses& terminals);
  ~QtTcpSocket() override;
  QtTcpSocket(const QtTcpSocket&) = delete;
  QtTcpSocket& operator=(const QtTcpSocket&) = delete;

  int state() const override { return state_; }
  bool connect() override;
  bool sendData(std::string_view bytes) override;
  std::string getData() override;
  void close() override;
  std::uint64_t bytesHandedOver() const override { return handedOver_; }
  // Qt tells what the system took, not what the peer acknowledged.
  std::uint64_t bytesDelivered() const override { return taken_; }

 private:
  void connected();
  void failed(QAbstractSocket::SocketError error);
  void arrived();

  const TerminalAddresses& terminals_;
  QTcpSocket socket_;
  int state_ = tcp_state::Closed;
  bool insideConnect_ = false;
  // The Connect event of a connection made inside connect(), from the loop;
  // dropped if the socket goes first.
  PostedCall connectLater_{[this] { onConnect.raise(); }};
  std::string received_;
  std::uint64_t handedOver_ = 0;
  std::uint64_t taken_ = 0;
};

}  // namespace korven::qt
