#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sim/Terminal.h"

// Who gets a TCP connection to a terminal, and when.
//
// One listener on all addresses, port 1024, takes the connections of every
// terminal and tells the terminal by the address dialled, so tens of
// thousands of terminals need no descriptor each. The kernel prefers a
// listener bound to the address dialled, so a faulted terminal gets one of
// its own beside it (SO_REUSEPORT lets the two share the port):
// - refusing: its listener's filter drops every SYN, so the kernel neither
//   accepts nor answers, and the simulator answers each SYN with a reset,
//   which the client takes as a refusal, as from a host without a listener.
//   A SYN to an address where no terminal sits is dropped by the filter of
//   the wildcard listener and refused the same way.
// - slow: its listener has a backlog of 0 and keeps that one place taken by
//   a plug connection of its own: a client's SYN is dropped until the plug
//   is taken out, and the client's SYN retransmission then gets through.
// A raw socket receives a copy of every SYN to port 1024, which is how the
// attempts are seen; the resets leave through it.
namespace korven::sim {

class Listeners {
 public:
  struct Hooks {
    std::function<void(const std::string&)> line;  // one line of output
    std::function<void(TimeUs, std::function<void()>)> at;
    // A client got through to terminal i on descriptor fd.
    std::function<void(std::size_t, int, const sockaddr_in&)> open;
  };

  Listeners(std::vector<Terminal>& terminals, int epoll, Hooks hooks);
  ~Listeners();
  Listeners(const Listeners&) = delete;
  Listeners& operator=(const Listeners&) = delete;

  // Descriptors the listeners may hold at once, beside the connections.
  static std::size_t descriptorsFor(const std::vector<Terminal>& terminals);
  // Opens the raw socket and every listener; false with one line in error.
  bool start(std::string& error);
  // Terminal i's faults were switched at run time: it refuses now, or no longer.
  bool refusalChanged(std::size_t i, std::string& error);

  void onRaw();
  void onWildcard();
  void onListener(std::size_t i);

 private:
  // A faulted terminal's own listener.
  struct Own {
    int fd = -1;
    bool slow = false;
    bool plugged = false;
    int plugFd = -1;
    std::uint16_t plugPort = 0;
    int spareFd = -1;  // the next plug, bound and ready to connect
    std::uint16_t sparePort = 0;
    // Clients whose SYN was seen and held back, by address and port: when.
    std::map<std::pair<std::uint32_t, std::uint16_t>, TimeUs> waiting;
  };

  bool openRaw(std::string& error);
  bool openOwn(std::size_t i, std::string& error);
  void closeOwn(std::size_t i);
  void watch(int fd, std::uint64_t data, bool on, bool add = false);
  void refuse(std::uint32_t dialled, const sockaddr_in& from, std::uint32_t sequence);
  bool prepareSpare(std::size_t i);
  bool plug(std::size_t i);
  void unplug(std::size_t i);
  void dropStale(std::size_t i);

  std::vector<Terminal>& terminals_;
  int epoll_;
  Hooks hooks_;
  int raw_ = -1;
  int wildcard_ = -1;
  std::vector<Own> own_;
};

}  // namespace korven::sim
