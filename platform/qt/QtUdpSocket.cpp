#include "platform/qt/QtUdpSocket.h"

#include <QNetworkDatagram>

#include "platform/Ipv4.h"

namespace korven::qt {

QtUdpSocket::QtUdpSocket() {
  QObject::connect(&socket_, &QUdpSocket::readyRead, [this] { readPending(); });
}

int QtUdpSocket::localPort() const {
  return socket_.state() == QAbstractSocket::BoundState ? socket_.localPort() : port_;
}

bool QtUdpSocket::setLocalPort(int port) {
  const bool wasBound = socket_.state() == QAbstractSocket::BoundState;
  port_ = port;
  if (!wasBound) return true;
  socket_.abort();
  return bind();
}

bool QtUdpSocket::bind() {
  if (port_ < 0 || port_ > 65535) return false;
  // Not shared: a port held by another program must make this fail.
  return socket_.bind(QHostAddress::AnyIPv4, static_cast<quint16>(port_),
                      QAbstractSocket::DontShareAddress);
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

void QtUdpSocket::readPending() {
  // Every datagram is taken off the socket, read by the handler or not, so
  // that the socket keeps announcing the next ones. A few per announcement:
  // under a flood of replies the socket never runs dry, and the window must
  // go on handling its timers and input in between. What is left is
  // announced again on the next turn of the event loop, since a read
  // re-arms the announcement. Reading only from the announcement matters:
  // a read elsewhere can empty the socket between Qt's readiness check and
  // the announcement, and an announcement that finds nothing to read is
  // never repeated.
  constexpr int kPerTurn = 32;
  for (int n = 0; n < kPerTurn && socket_.hasPendingDatagrams(); ++n) {
    const QNetworkDatagram datagram = socket_.receiveDatagram();
    const QByteArray data = datagram.data();
    datagram_.assign(data.constData(), static_cast<std::size_t>(data.size()));
    read_ = false;
    onDataArrival.raise(datagram_.size());
    if (!read_) datagram_.clear();
  }
}

}  // namespace korven::qt
