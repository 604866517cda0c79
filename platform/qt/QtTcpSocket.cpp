#include "platform/qt/QtTcpSocket.h"

#include <sys/socket.h>

#include <cerrno>

#include "platform/Ipv4.h"

namespace korven::qt {
namespace {

// Counts the nesting inside a signal of the socket, so that the socket is
// never deleted from within its own signal.
struct Depth {
  explicit Depth(int& depth) : depth_(depth) { ++depth_; }
  ~Depth() { --depth_; }
  Depth(const Depth&) = delete;
  Depth& operator=(const Depth&) = delete;
  int& depth_;
};

}  // namespace

QtTcpSocket::QtTcpSocket() : socket_(new QTcpSocket) {
  QObject::connect(socket_, &QTcpSocket::connected, [this] {
    Depth depth(signalDepth_);
    // Each piece of an update leaves when it is handed over.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    onConnect.raise();
  });
  QObject::connect(socket_, &QTcpSocket::readyRead, [this] {
    Depth depth(signalDepth_);
    onDataArrival.raise(static_cast<std::size_t>(socket_->bytesAvailable()));
  });
  QObject::connect(socket_, &QTcpSocket::errorOccurred,
                   [this](QAbstractSocket::SocketError error) { failed(error); });
}

QtTcpSocket::~QtTcpSocket() {
  QObject::disconnect(socket_, nullptr, nullptr, nullptr);
  socket_->abort();
  if (signalDepth_ > 0) {
    socket_->deleteLater();
  } else {
    delete socket_;
  }
}

int QtTcpSocket::state() const {
  if (remembered_ != tcp_state::Closed) return remembered_;
  switch (socket_->state()) {
    case QAbstractSocket::UnconnectedState:
      return tcp_state::Closed;
    case QAbstractSocket::HostLookupState:
      return tcp_state::ResolvingHost;
    case QAbstractSocket::ConnectingState:
      return tcp_state::Connecting;
    case QAbstractSocket::ConnectedState:
      return tcp_state::Connected;
    case QAbstractSocket::BoundState:
      return tcp_state::Open;
    case QAbstractSocket::ListeningState:
      return tcp_state::Listening;
    case QAbstractSocket::ClosingState:
      return tcp_state::Closing;
  }
  return tcp_state::Error;
}

bool QtTcpSocket::connect() {
  if (state() != tcp_state::Closed) return false;
  const auto host = parseIpv4(remoteHost());
  if (!host || remotePort() <= 0 || remotePort() > 65535) {
    remembered_ = tcp_state::Error;
    return false;
  }
  socket_->connectToHost(QHostAddress(*host), static_cast<quint16>(remotePort()));
  return true;
}

bool QtTcpSocket::sendData(std::string_view bytes) {
  if (state() != tcp_state::Connected) return false;
  // Bytes still waiting in Qt's buffer go first; writing past them would
  // reorder the stream.
  const qintptr descriptor = socket_->socketDescriptor();
  if (socket_->bytesToWrite() > 0 || descriptor < 0) return writeThroughQt(bytes);
  // Straight to the kernel: a fan-out sends to every terminal in turn, and
  // Qt's buffered write costs as much again as the system call (it switches
  // the socket's write notifier on and off with each piece).
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(static_cast<int>(descriptor), bytes.data() + sent, bytes.size() - sent,
                             MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
      // The kernel's buffer is full: Qt sends the rest once the socket takes
      // more, and later pieces queue behind it.
      return writeThroughQt(bytes.substr(sent));
    } else if (errno != EINTR) {
      // As Qt tells a failed write: a reset or closed peer is a peer close.
      remembered_ = errno == EPIPE || errno == ECONNRESET ? tcp_state::Closing : tcp_state::Error;
      return false;
    }
  }
  return true;
}

bool QtTcpSocket::writeThroughQt(std::string_view bytes) {
  const qint64 written = socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
  // Hand the bytes to the system now: a frozen wait may follow at once.
  socket_->flush();
  return written == static_cast<qint64>(bytes.size());
}

std::string QtTcpSocket::getData() {
  // A socket that never connected, or was closed, holds nothing to read.
  if (!socket_->isOpen()) return {};
  const QByteArray data = socket_->readAll();
  return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

void QtTcpSocket::close() {
  closing_ = true;
  socket_->abort();
  closing_ = false;
  remembered_ = tcp_state::Closed;
}

void QtTcpSocket::failed(QAbstractSocket::SocketError error) {
  if (closing_) return;
  remembered_ =
      error == QAbstractSocket::RemoteHostClosedError ? tcp_state::Closing : tcp_state::Error;
}

}  // namespace korven::qt
