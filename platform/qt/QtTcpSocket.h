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
//
// What got through: Qt tells only what the system took, which for a peer
// that stopped reading is its whole send buffer more than the peer ever
// acknowledged. On Linux the system's queue is asked (SIOCOUTQ) on a
// descriptor of the socket's own, kept until this object lets the socket go,
// so the count holds when Qt has closed its descriptor first (a peer that
// closed). Where the system does not tell, the last send buffer's worth of
// bytes the system took is never counted as got through (see
// deliveredNow()): a stream is then reported cut near its end, or, shorter
// than the buffer, as if nothing went, rather than whole on a guess.
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
  std::uint64_t bytesDelivered() const override;

 private:
  void connected();
  void failed(QAbstractSocket::SocketError error);
  void arrived();
  // What got through so far, never less than was told before.
  std::uint64_t deliveredNow() const;
  // Notes what got through, then lets the socket go: with bytes left behind
  // and `resetIfUndelivered`, as a reset, which tells the peer at once where
  // the system would go on offering them for minutes.
  void release(bool resetIfUndelivered);

  const TerminalAddresses& terminals_;
  QTcpSocket socket_;
  int state_ = tcp_state::Closed;
  bool insideConnect_ = false;
  // The Connect event of a connection made inside connect(), from the loop;
  // dropped if the socket goes first.
  PostedCall connectLater_{[this] { onConnect.raise(); }};
  std::string received_;
  std::uint64_t handedOver_ = 0;
  std::uint64_t taken_ = 0;              // by the system
  int own_ = -1;                         // the program's descriptor of the connection (Linux)
  mutable std::uint64_t delivered_ = 0;  // the most known to have got through
};

}  // namespace korven::qt
