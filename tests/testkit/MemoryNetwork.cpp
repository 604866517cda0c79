#include "tests/testkit/MemoryNetwork.h"

#include <algorithm>
#include <deque>

#include "platform/Ipv4.h"

namespace korven::testkit {

namespace {
constexpr const char* kProgramHost = "127.0.0.1";
}  // namespace

// Shared by the program's socket and the terminal's end of one connection.
struct TcpLink {
  class MemoryTcpSocket* client = nullptr;  // null once the program closed it
  std::unique_ptr<TcpPeer> peer;
  bool peerClosed = false;
  std::uint64_t delivered = 0;      // bytes the terminal's side took
  std::optional<std::size_t> room;  // once it stopped reading, what it still takes
};

class MemoryUdpSocket : public UdpSocket {
 public:
  explicit MemoryUdpSocket(MemoryNetwork& network) : network_(network) {}
  ~MemoryUdpSocket() override { release(); }
  MemoryUdpSocket(const MemoryUdpSocket&) = delete;
  MemoryUdpSocket& operator=(const MemoryUdpSocket&) = delete;

  int localPort() const override { return port_; }

  bool setLocalPort(int port) override {
    if (!bound_) {
      port_ = port;
      return true;
    }
    const int old = port_;
    release();
    port_ = port;
    if (bind()) return true;
    port_ = old;
    bind();
    return false;
  }

  bool bind() override {
    if (bound_) return false;
    if (port_ == 0) port_ = network_.freeUdpPort();
    if (network_.udpPorts_.count(port_) != 0) return false;
    network_.udpPorts_.insert(port_);
    network_.programUdp_[port_] = this;
    bound_ = true;
    return true;
  }

  bool sendData(std::string_view bytes) override {
    if (!parseIpv4(remoteHost()) || remotePort() <= 0 || remotePort() > 65535) return false;
    if (!bound_ && !bind()) return false;
    Datagram d{kProgramHost,       port_,
               remoteHost(),       remotePort(),
               std::string(bytes), network_.scheduler_.now()};
    network_.sent.push_back(d);
    return true;
  }

  std::string getData() override {
    if (inbox_.empty()) return {};
    std::string bytes = std::move(inbox_.front());
    inbox_.pop_front();
    return bytes;
  }

  void receive(const std::string& bytes) {
    inbox_.push_back(bytes);
    const std::size_t waiting = inbox_.size();
    onDataArrival.raise(bytes.size());
    // A datagram the handler left unread is dropped, so later ones still come.
    if (inbox_.size() == waiting) inbox_.pop_front();
  }

 private:
  void release() {
    if (!bound_) return;
    network_.udpPorts_.erase(port_);
    network_.programUdp_.erase(port_);
    bound_ = false;
  }

  MemoryNetwork& network_;
  int port_ = 0;
  bool bound_ = false;
  std::deque<std::string> inbox_;
};

class MemoryTcpSocket : public TcpSocket {
 public:
  explicit MemoryTcpSocket(MemoryNetwork& network) : network_(network) {}
  ~MemoryTcpSocket() override { close(); }
  MemoryTcpSocket(const MemoryTcpSocket&) = delete;
  MemoryTcpSocket& operator=(const MemoryTcpSocket&) = delete;

  int state() const override { return state_; }

  bool connect() override {
    if (state_ != tcp_state::Closed) return false;
    // As the platforms: only a unicast address can be a terminal's. This
    // network has no interfaces, so no subnet broadcasts.
    const auto host = parseIpv4(remoteHost());
    if (!host || ipv4Kind(*host) != Ipv4Kind::Unicast || remotePort() <= 0 ||
        remotePort() > 65535) {
      state_ = tcp_state::Error;
      return false;
    }
    state_ = tcp_state::Connecting;
    handedOver_ = delivered_ = 0;
    const int attempt = ++attempt_;
    auto& scheduler = network_.scheduler_;
    scheduler.post(scheduler.now() + network_.latency,
                   guarded([this, attempt] { arrive(attempt); }));
    return true;
  }

  bool sendData(std::string_view bytes) override {
    if (state_ != tcp_state::Connected) return false;
    handedOver_ += bytes.size();
    auto link = link_;
    std::string copy(bytes);
    // The peer is another machine: it sees the bytes when they arrive even
    // while this program is frozen and its events wait. Bytes arriving
    // after it closed, or past the room of one that stopped reading, are
    // never taken.
    const Micros arrival = network_.scheduler_.now() + network_.latency;
    network_.scheduler_.post(arrival, [link, copy, arrival] {
      if (!link->peer || link->peerClosed) return;
      if (!link->room) {
        link->delivered += copy.size();
        link->peer->onBytes(arrival, copy);
        return;
      }
      const std::size_t taken = std::min(*link->room, copy.size());
      link->delivered += taken;
      *link->room -= taken;
    });
    return true;
  }
  std::uint64_t bytesHandedOver() const override { return handedOver_; }
  std::uint64_t bytesDelivered() const override { return link_ ? link_->delivered : delivered_; }

  std::string getData() override { return std::exchange(inbox_, std::string()); }

  void close() override {
    ++attempt_;
    inbox_.clear();
    state_ = tcp_state::Closed;
    if (!link_) return;
    delivered_ = link_->delivered;
    auto link = std::exchange(link_, nullptr);
    link->client = nullptr;
    const Micros arrival = network_.scheduler_.now() + network_.latency;
    network_.scheduler_.post(arrival, [link, arrival] {
      if (link->peer && !link->peerClosed) link->peer->onClosed(arrival);
      link->peer.reset();
    });
  }

  void receive(const std::string& bytes) {
    inbox_ += bytes;
    onDataArrival.raise(inbox_.size());
  }

  void peerClosed() {
    if (state_ == tcp_state::Connected) state_ = tcp_state::Closing;
  }

 private:
  // The connection attempt reaches the terminal's address.
  void arrive(int attempt) {
    if (attempt != attempt_) return;
    auto found = network_.tcpServices_.find({remoteHost(), remotePort()});
    std::optional<Micros> delay;
    if (found != network_.tcpServices_.end()) delay = found->second->acceptDelay();
    auto& scheduler = network_.scheduler_;
    if (!delay) {
      scheduler.post(scheduler.now() + network_.latency, guarded([this, attempt] {
                       if (attempt == attempt_) state_ = tcp_state::Error;
                     }));
      return;
    }
    TcpService* service = found->second;
    scheduler.post(scheduler.now() + *delay,
                   guarded([this, attempt, service] { accept(attempt, service); }));
  }

  void accept(int attempt, TcpService* service) {
    if (attempt != attempt_) return;
    auto link = std::make_shared<TcpLink>();
    link->client = this;
    link->peer = service->accepted(PeerHandle(&network_, link));
    auto& scheduler = network_.scheduler_;
    scheduler.post(scheduler.now() + network_.latency, guarded([this, attempt, link] {
                     if (attempt != attempt_) return;
                     link_ = link;
                     state_ = tcp_state::Connected;
                     onConnect.raise();
                   }));
  }

  // Wraps an action so that it does nothing once this socket is destroyed.
  std::function<void()> guarded(std::function<void()> action) {
    return [alive = std::weak_ptr<int>(alive_), action = std::move(action)] {
      if (!alive.expired()) action();
    };
  }

  MemoryNetwork& network_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  int state_ = tcp_state::Closed;
  int attempt_ = 0;
  std::shared_ptr<TcpLink> link_;
  std::string inbox_;
  std::uint64_t handedOver_ = 0;
  std::uint64_t delivered_ = 0;  // as it stood at the close
};

void PeerHandle::send(const std::string& bytes) const {
  auto link = link_.lock();
  if (!link) return;
  auto& scheduler = network_->scheduler_;
  scheduler.post(scheduler.now() + network_->latency, [link, bytes] {
    if (link->client != nullptr && !link->peerClosed) link->client->receive(bytes);
  });
}

void PeerHandle::close() const {
  auto link = link_.lock();
  if (!link || link->peerClosed) return;
  link->peerClosed = true;
  auto& scheduler = network_->scheduler_;
  scheduler.post(scheduler.now() + network_->latency, [link] {
    if (link->client != nullptr) link->client->peerClosed();
  });
}

void PeerHandle::stopReading(std::size_t room) const {
  if (auto link = link_.lock()) link->room = room;
}

bool PeerHandle::open() const {
  auto link = link_.lock();
  return link && !link->peerClosed && link->client != nullptr;
}

std::unique_ptr<UdpSocket> MemoryNetwork::createUdpSocket() {
  return std::make_unique<MemoryUdpSocket>(*this);
}

std::unique_ptr<TcpSocket> MemoryNetwork::createTcpSocket() {
  return std::make_unique<MemoryTcpSocket>(*this);
}

void MemoryNetwork::sendUdp(Datagram datagram) {
  datagram.at = scheduler_.now();
  scheduler_.post(scheduler_.now() + latency, [this, datagram] {
    auto socket = programUdp_.find(datagram.toPort);
    if (socket != programUdp_.end()) socket->second->receive(datagram.bytes);
  });
}

void MemoryNetwork::listenTcp(const std::string& host, int port, TcpService* service) {
  tcpServices_[{host, port}] = service;
}

void MemoryNetwork::stopListeningTcp(const std::string& host, int port) {
  tcpServices_.erase({host, port});
}

int MemoryNetwork::freeUdpPort() {
  while (udpPorts_.count(nextEphemeral_) != 0) ++nextEphemeral_;
  return nextEphemeral_++;
}

}  // namespace korven::testkit
