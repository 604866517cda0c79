#pragma once

#include <sys/types.h>

#include <netinet/in.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <queue>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/Terminal.h"

// The terminals on real sockets: one thread, one epoll loop.
//
// UDP: one socket on the wildcard address, port 1024, because a datagram to
// 255.255.255.255 reaches only sockets bound there, never one bound to a
// terminal's own address. IP_PKTINFO tells each datagram's destination, so a
// broadcast goes to every terminal and a unicast to its terminal alone;
// replies leave from the terminal's own address (IP_PKTINFO on send).
//
// TCP: one listener per terminal on its address, port 1024. A refusing
// terminal has no listener, so the kernel refuses for it. A slow terminal
// listens with a backlog of 0 and keeps that one place taken by a plug
// connection of its own: a client's SYN is dropped until the plug is taken
// out, and the client's SYN retransmission then gets through. Attempts on
// those two kinds are seen through a raw socket that receives a copy of
// every SYN to port 1024.
namespace korven::sim {

struct ServerOptions {
  TimeUs replySpacing = 200;  // between replies of one burst, so a receiver keeps up
  std::optional<std::string> reportPath;
};

class Server {
 public:
  Server(std::vector<Terminal>& terminals, ServerOptions options, std::FILE* out);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds every socket; false with one line in error when one cannot be had.
  bool start(std::string& error);
  // Serves until "quit" or SIGINT/SIGTERM, writes the report, and returns the
  // exit code.
  int run();

  static TimeUs now();
  // recv() that also gives when the last of the bytes reached the socket.
  static ssize_t receive(int fd, char* data, std::size_t size, TimeUs& arrival);

 private:
  struct Listener {
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
  struct Conn {
    int fd = -1;
    std::size_t terminal = 0;
    Terminal::ConnId id = 0;
  };
  struct Timed {
    TimeUs due;
    std::uint64_t seq;
    std::function<void()> run;
    bool operator>(const Timed& other) const {
      return due != other.due ? due > other.due : seq > other.seq;
    }
  };
  struct Reply {
    std::size_t terminal;
    sockaddr_in to;
    std::string bytes;
  };

  std::optional<std::size_t> terminalAt(std::uint32_t address) const;
  void line(const std::string& text);
  void at(TimeUs due, std::function<void()> run);
  void armTimer();
  void onTimer();
  void onUdp();
  void pumpReplies(bool fromTimer);
  bool openRaw(std::string& error);
  void onRaw();
  bool openListener(std::size_t i, std::string& error);
  bool prepareSpare(std::size_t i);
  bool plug(std::size_t i);
  void unplug(std::size_t i);
  void dropStale(std::size_t i);
  void watchListener(std::size_t i, bool on);
  void onListener(std::size_t i);
  void openConnection(std::size_t i, int fd, const sockaddr_in& peer);
  void carry(std::uint32_t key, const Terminal::Actions& actions);
  void onConn(std::uint32_t key);
  void closeConn(std::uint32_t key, bool byTerminal, TimeUs at);
  void judgeClosed();
  void onStdin();
  void command(const std::string& text);
  void setFault(const std::string& who, const std::string& kind);
  bool writeReport(std::string& error);

  std::vector<Terminal>& terminals_;
  ServerOptions options_;
  std::FILE* out_;
  TimeUs startedAt_ = 0;
  // When the last wait for events returned: what it reported had happened
  // by then, however long the handling of the events before it took.
  TimeUs woke_ = 0;
  int epoll_ = -1;
  int udp_ = -1;
  int raw_ = -1;
  int timer_ = -1;
  int signal_ = -1;
  bool stdinOpen_ = false;
  std::string stdinText_;
  std::vector<Listener> listeners_;
  std::unordered_map<std::uint32_t, Conn> conns_;
  // Closed connections whose streams wait to be judged: judging a long
  // stream takes a while, and a thousand closes in a row must each be seen
  // when they come, not after the judging of those before.
  struct Closed {
    std::size_t terminal;
    Terminal::ConnId id;
    TimeUs at;
    bool byTerminal;
  };
  std::vector<Closed> unjudged_;
  std::uint32_t nextConn_ = 1;
  std::priority_queue<Timed, std::vector<Timed>, std::greater<>> timed_;
  std::uint64_t nextSeq_ = 0;
  TimeUs armedFor_ = -1;
  std::deque<Reply> replies_;
  TimeUs lastReply_ = 0;
  bool replyPending_ = false;
  bool stop_ = false;
};

}  // namespace korven::sim
