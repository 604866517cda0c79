#pragma once

#include <netinet/in.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "sim/Terminal.h"

namespace korven::sim {

// The terminals' UDP side: one socket on the wildcard address, port 1024,
// because a datagram to 255.255.255.255 reaches only sockets bound there,
// never one bound to a terminal's own address. IP_PKTINFO tells each
// datagram's destination, so a broadcast goes to every terminal and a
// unicast to its terminal alone; replies leave from the terminal's own
// address, `replySpacing` apart (0: back to back, as from terminals on one
// switch).
class Datagrams {
 public:
  struct Hooks {
    std::function<void(const std::string&)> line;           // one line of output
    std::function<void(TimeUs, std::function<void()>)> at;  // run later
  };
  Datagrams(std::vector<Terminal>& terminals, TimeUs replySpacing, Hooks hooks);
  ~Datagrams();
  Datagrams(const Datagrams&) = delete;
  Datagrams& operator=(const Datagrams&) = delete;

  // Binds the socket; false with one line in error when it cannot be had.
  bool open(std::string& error);
  int fd() const { return udp_; }
  // Reads every datagram waiting, answers through the terminals.
  void onReadable();
  // Terminal `terminal` sends its reply to the query, unasked, to `to`.
  void sendUnasked(std::size_t terminal, std::uint32_t to);

 private:
  struct Reply {
    std::size_t terminal;
    sockaddr_in to;
    std::string bytes;
  };
  void pumpReplies(bool fromTimer);

  std::vector<Terminal>& terminals_;
  TimeUs replySpacing_;
  Hooks hooks_;
  int udp_ = -1;
  std::deque<Reply> replies_;
  TimeUs lastReply_ = 0;
  bool replyPending_ = false;
};

}  // namespace korven::sim
