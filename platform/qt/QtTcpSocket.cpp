#include "platform/qt/QtTcpSocket.h"

#include <QHostAddress>
#include <QNetworkProxy>

#include "platform/Ipv4.h"

namespace korven::qt {
namespace {

constexpr int kSystemSendBuffer = 8192;

}  // namespace

QtTcpSocket::QtTcpSocket(const TerminalAddresses& terminals) : terminals_(terminals) {
  // The terminals are on the local network: never through a proxy the
  // desktop may have set for the web.
  socket_.setProxy(QNetworkProxy::NoProxy);
  QObject::connect(&socket_, &QTcpSocket::connected, [this] { connected(); });
  QObject::connect(&socket_, &QTcpSocket::errorOccurred,
                   [this](QAbstractSocket::SocketError error) { failed(error); });
  QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { arrived(); });
  QObject::connect(&socket_, &QTcpSocket::bytesWritten,
                   [this](qint64 n) { taken_ += static_cast<std::uint64_t>(n); });
}

QtTcpSocket::~QtTcpSocket() {
  socket_.disconnect();  // no signal reaches a half-destroyed socket
  socket_.abort();
}

bool QtTcpSocket::connect() {
  if (state_ != tcp_state::Closed) return false;
  // 0.0.0.0 would reach the PC itself, a broadcast or multicast address no
  // terminal, whatever a discovery reply or the address box says.
  const auto host = parseIpv4(remoteHost());
  if (!host || !terminals_.accepts(remoteHost()) || remotePort() <= 0 || remotePort() > 65535) {
    state_ = tcp_state::Error;
    return false;
  }
  handedOver_ = taken_ = 0;  // counted per connection
  state_ = tcp_state::Connecting;
  insideConnect_ = true;
  socket_.connectToHost(QHostAddress(*host), static_cast<quint16>(remotePort()));
  insideConnect_ = false;
  return true;
}

void QtTcpSocket::connected() {
  // Each piece of an update leaves when it is handed over.
  socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
  // Qt tells what the system took, not what the peer acknowledged: with
  // little room in the system, what a terminal that stopped reading never
  // took stays in Qt's buffer, where it is counted as not delivered. A
  // stream of pieces a pause apart never needs more.
  socket_.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemSendBuffer);
  state_ = tcp_state::Connected;
  // The Connect event never runs inside the call that asked for it.
  if (insideConnect_) {
    connectLater_.post();
  } else {
    onConnect.raise();  // last: a handler may destroy this socket
  }
}

void QtTcpSocket::failed(QAbstractSocket::SocketError error) {
  // Aborting below may tell again.
  if (state_ != tcp_state::Connecting && state_ != tcp_state::Connected) return;
  // Data that came before the peer closed stays readable.
  received_ += socket_.readAll().toStdString();
  state_ = error == QAbstractSocket::RemoteHostClosedError ? tcp_state::Closing : tcp_state::Error;
  socket_.abort();
}

void QtTcpSocket::arrived() {
  const std::size_t before = received_.size();
  received_ += socket_.readAll().toStdString();
  if (received_.size() > before) onDataArrival.raise(received_.size());  // last, as above
}

bool QtTcpSocket::sendData(std::string_view bytes) {
  if (state_ != tcp_state::Connected) return false;
  if (socket_.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
      static_cast<qint64>(bytes.size())) {
    return false;
  }
  handedOver_ += bytes.size();
  // To the system now, as the timetable wants it, not at the next pass of
  // the loop. A connection found broken here fails this send, as the
  // system's own send would.
  socket_.flush();
  if (state_ == tcp_state::Connected) return true;
  handedOver_ -= bytes.size();
  return false;
}

std::string QtTcpSocket::getData() {
  return std::exchange(received_, {});
}

void QtTcpSocket::close() {
  state_ = tcp_state::Closed;
  socket_.abort();
  received_.clear();
}

}  // namespace korven::qt
