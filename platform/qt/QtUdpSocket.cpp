#include "platform/qt/QtUdpSocket.h"

#include <QNetworkProxy>
#include <QVariant>
#include <chrono>

#include "platform/Ipv4.h"

namespace korven::qt {
namespace {

// Thousands of terminals may answer within a millisecond: room for some ten
// thousand replies as the system counts them (it caps what is asked).
constexpr int kReceiveBuffer = 8 << 20;
// The queue's bound, so that a flood cannot take the machine's memory.
constexpr std::size_t kMaxQueuedBytes = 64u << 20;
constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFFu;

}  // namespace

QtUdpSocket::QtUdpSocket(const BroadcastChoice& broadcast) : broadcast_(broadcast) {
  // The terminals are on the local network: never through a proxy.
  socket_.setProxy(QNetworkProxy::NoProxy);
}

int QtUdpSocket::localPort() const {
  return socket_.state() == QAbstractSocket::BoundState ? socket_.localPort() : port_;
}

bool QtUdpSocket::setLocalPort(int port) {
  const bool wasBound = socket_.state() == QAbstractSocket::BoundState;
  port_ = port;
  if (!wasBound) return true;
  socket_.abort();
  return open(receiving_);
}

bool QtUdpSocket::bind() {
  return socket_.state() != QAbstractSocket::BoundState && open(true);
}

bool QtUdpSocket::open(bool receiving) {
  if (port_ < 0 || port_ > 65535) return false;
  receiving_ = receiving;
  // Not shared: a port held by another program must make this fail.
  if (!socket_.bind(QHostAddress::AnyIPv4, static_cast<quint16>(port_),
                    QAbstractSocket::DontShareAddress)) {
    return false;
  }
  if (!receiving) return true;
  socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(kReceiveBuffer));
  if (socket_.socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption).toInt() <= 0) {
    socket_.abort();
    return false;
  }
  if (!reading_) {
    QObject::connect(&socket_, &QUdpSocket::readyRead, [this] { takeAll(); });
    reading_ = true;
  }
  return true;
}

bool QtUdpSocket::sendData(std::string_view bytes) {
  const auto host = parseIpv4(remoteHost());
  if (!host || remotePort() <= 0 || remotePort() > 65535) return false;
  if (socket_.state() != QAbstractSocket::BoundState && !open(false)) return false;
  QNetworkDatagram datagram(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())),
                            QHostAddress(*host), static_cast<quint16>(remotePort()));
  if (*host != kLimitedBroadcast) return sendOne(datagram);
  const std::vector<NetworkInterface> out = broadcast_.now();
  if (out.empty()) return !broadcast_.restricted() && sendOne(datagram);
  // One interface that refuses must not keep the datagram from the others;
  // the send fails only when it went out nowhere.
  bool sent = false;
  for (const NetworkInterface& via : out) {
    // The interface and source of this datagram alone; the route to
    // 255.255.255.255 would pick one interface for all of them.
    datagram.setInterfaceIndex(via.index);
    datagram.setSender(QHostAddress(via.address));
    sent = sendOne(datagram) || sent;
  }
  return sent;
}

bool QtUdpSocket::sendOne(const QNetworkDatagram& datagram) {
  return socket_.writeDatagram(datagram) == datagram.data().size();
}

std::string QtUdpSocket::getData() {
  read_ = true;
  return std::exchange(datagram_, std::string());
}

void QtUdpSocket::takeAll() {
  // Off the system at once: its buffer holds a few thousand datagrams and
  // drops the rest, while the handlers take their time.
  while (socket_.hasPendingDatagrams()) {
    const QByteArray bytes = socket_.receiveDatagram().data();
    const auto size = static_cast<std::size_t>(bytes.size());
    // Past the bound the datagram is dropped, as the system would.
    if (queuedBytes_ + size > kMaxQueuedBytes) continue;
    queuedBytes_ += size;
    queue_.emplace_back(bytes.constData(), size);
  }
  if (!announcing_ && !queue_.empty()) {
    announcing_ = true;
    announce_.post();
  }
}

void QtUdpSocket::announce() {
  // One notice per datagram, read by the handler or not, for a few
  // milliseconds per pass of the loop and then a new pass for the rest.
  constexpr auto kPerPass = std::chrono::milliseconds(4);
  const auto until = std::chrono::steady_clock::now() + kPerPass;
  announcing_ = false;
  do {
    if (queue_.empty()) return;
    datagram_ = std::move(queue_.front());
    queue_.pop_front();
    queuedBytes_ -= datagram_.size();
    read_ = false;
    onDataArrival.raise(datagram_.size());
    if (!read_) datagram_.clear();
  } while (std::chrono::steady_clock::now() < until);
  announcing_ = true;
  announce_.post();
}

}  // namespace korven::qt
