#include "platform/qt/QtUdpSocket.h"

#include <QVariant>
#include <chrono>

#include "platform/Ipv4.h"

namespace korven::qt {

QtUdpSocket::~QtUdpSocket() {
  reader_.reset();  // its thread reads the socket, which goes next
}

int QtUdpSocket::localPort() const {
  return socket_.state() == QAbstractSocket::BoundState ? socket_.localPort() : port_;
}

bool QtUdpSocket::setLocalPort(int port) {
  const bool wasBound = socket_.state() == QAbstractSocket::BoundState;
  port_ = port;
  if (!wasBound) return true;
  reader_.reset();
  socket_.abort();
  return bind();
}

bool QtUdpSocket::bind() {
  if (port_ < 0 || port_ > 65535) return false;
  // Not shared: a port held by another program must make this fail.
  if (!socket_.bind(QHostAddress::AnyIPv4, static_cast<quint16>(port_),
                    QAbstractSocket::DontShareAddress)) {
    return false;
  }
  // Thousands of terminals may answer within a millisecond: as much room as
  // the system grants (it caps the size asked for at its maximum).
  socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(1 << 30));
  reader_ = std::make_unique<DatagramReader>(static_cast<int>(socket_.socketDescriptor()),
                                             [this] { announce_.post(); });
  return true;
}

bool QtUdpSocket::sendData(std::string_view bytes) {
  const auto host = parseIpv4(remoteHost());
  if (!host || remotePort() <= 0 || remotePort() > 65535) return false;
  if (socket_.state() != QAbstractSocket::BoundState && !bind()) return false;
  const qint64 written =
      socket_.writeDatagram(bytes.data(), static_cast<qint64>(bytes.size()), QHostAddress(*host),
                            static_cast<quint16>(remotePort()));
  return written == static_cast<qint64>(bytes.size());
}

std::string QtUdpSocket::getData() {
  read_ = true;
  return std::exchange(datagram_, std::string());
}

void QtUdpSocket::announce() {
  // One notice per datagram, read by the handler or not, for a few
  // milliseconds per turn of the event loop and then a new turn for the
  // rest: the window handles its timers and input in between, and what a
  // turn costs besides (a list's layout, a paint) is shared by many replies.
  constexpr auto kPerTurn = std::chrono::milliseconds(4);
  const auto until = std::chrono::steady_clock::now() + kPerTurn;
  do {
    if (!reader_ || !reader_->take(datagram_)) return;
    read_ = false;
    onDataArrival.raise(datagram_.size());
    if (!read_) datagram_.clear();
  } while (std::chrono::steady_clock::now() < until);
  announce_.post();
}

}  // namespace korven::qt
