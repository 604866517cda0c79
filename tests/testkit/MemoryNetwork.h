#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Sockets.h"
#include "tests/testkit/VirtualScheduler.h"

namespace korven::testkit {

class MemoryNetwork;
struct TcpLink;

// The far end of one TCP connection, as a simulated terminal sees it.
class TcpPeer {
 public:
  virtual ~TcpPeer() = default;
  virtual void onBytes(Micros at, const std::string& bytes) = 0;
  virtual void onClosed(Micros at) = 0;
};

// What a simulated terminal holds of a connection to send on it or close it.
class PeerHandle {
 public:
  PeerHandle() = default;
  PeerHandle(MemoryNetwork* network, std::shared_ptr<TcpLink> link)
      : network_(network), link_(std::move(link)) {}
  void send(const std::string& bytes) const;
  void close() const;
  bool open() const;
  // The terminal reads nothing more: its side takes `room` bytes more, and
  // whatever comes after them never arrives.
  void stopReading(std::size_t room) const;

 private:
  MemoryNetwork* network_ = nullptr;
  // Weak: the link owns the peer, and the peer holds its handle.
  std::weak_ptr<TcpLink> link_;
};

// A TCP port that simulated terminals listen on.
class TcpService {
 public:
  virtual ~TcpService() = default;
  // How long until an arriving connection is accepted; nothing to refuse it.
  virtual std::optional<Micros> acceptDelay() = 0;
  virtual std::unique_ptr<TcpPeer> accepted(PeerHandle handle) = 0;
};

struct Datagram {
  std::string fromHost;
  int fromPort = 0;
  std::string toHost;
  int toPort = 0;
  std::string bytes;
  Micros at{0};
};

// An IPv4 network in memory on virtual time. The program's sockets live on
// 127.0.0.1; simulated terminals listen at their own addresses.
class MemoryNetwork {
 public:
  explicit MemoryNetwork(VirtualScheduler& scheduler) : scheduler_(scheduler) {}

  // One-way delivery delay of every datagram, connection and byte string.
  Micros latency{100};

  std::unique_ptr<UdpSocket> createUdpSocket();
  std::unique_ptr<TcpSocket> createTcpSocket();

  // Every datagram the program sent, in order.
  std::vector<Datagram> sent;
  // A peer sends a datagram to the program's sockets.
  void sendUdp(Datagram datagram);
  // Another program holds this UDP port.
  void occupyUdpPort(int port) { udpPorts_.insert(port); }

  void listenTcp(const std::string& host, int port, TcpService* service);
  void stopListeningTcp(const std::string& host, int port);

  VirtualScheduler& scheduler() { return scheduler_; }

 private:
  friend class MemoryUdpSocket;
  friend class MemoryTcpSocket;
  friend class PeerHandle;

  int freeUdpPort();

  VirtualScheduler& scheduler_;
  std::set<int> udpPorts_;
  std::map<int, class MemoryUdpSocket*> programUdp_;
  std::map<std::pair<std::string, int>, TcpService*> tcpServices_;
  int nextEphemeral_ = 49152;
};

}  // namespace korven::testkit
