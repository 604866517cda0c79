#include "sim/Datagrams.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sim/Net.h"
#include "sim/Wire.h"

namespace korven::sim {

Datagrams::Datagrams(std::vector<Terminal>& terminals, TimeUs replySpacing, Hooks hooks)
    : terminals_(terminals), replySpacing_(replySpacing), hooks_(std::move(hooks)) {}

Datagrams::~Datagrams() {
  if (udp_ >= 0) ::close(udp_);
}

bool Datagrams::open(std::string& error) {
  udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  // Room for the bursts of frames the program sends to every terminal.
  const int buffer = 4 << 20;
  ::setsockopt(udp_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  ::setsockopt(udp_, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
  const sockaddr_in any = socketAddress(INADDR_ANY, kTerminalPort);
  if (udp_ < 0 || ::setsockopt(udp_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
      ::bind(udp_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    error = "cannot bind UDP port " + std::to_string(kTerminalPort) +
            " on all addresses: " + errnoText();
    return false;
  }
  return true;
}

void Datagrams::onReadable() {
  char data[65536];
  char control[CMSG_SPACE(sizeof(in_pktinfo))];
  for (;;) {
    sockaddr_in from{};
    iovec iov{data, sizeof data};
    msghdr m{};
    m.msg_name = &from;
    m.msg_namelen = sizeof from;
    m.msg_iov = &iov;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(udp_, &m, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    const TimeUs t = now();
    std::optional<std::uint32_t> to;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
        in_pktinfo info{};
        std::memcpy(&info, CMSG_DATA(c), sizeof info);
        to = ntohl(info.ipi_addr.s_addr);
      }
    }
    std::uint32_t sender = ntohl(from.sin_addr.s_addr);
    // A broadcast from an unbound socket can leave with no source address
    // (0.0.0.0, "this host"); the reply then goes to the host's loopback
    // address, where a receiver bound to all addresses or to 127.0.0.1 has it.
    if (sender == INADDR_ANY) {
      sender = INADDR_LOOPBACK;
      from.sin_addr.s_addr = htonl(sender);
    }
    // Never answer anything from off this machine or a test's own segments.
    if (!to || !isSimulatorNetwork(sender)) continue;
    const bool broadcast = *to == INADDR_BROADCAST;
    const std::string_view bytes(data, static_cast<std::size_t>(n));
    std::size_t begin = 0;
    std::size_t end = terminals_.size();
    if (!broadcast) {
      const auto index = terminalAt(terminals_, *to);
      if (!index) {
        hooks_.line("IGNORED datagram to " + formatIpv4(*to) + " from " + endpoint(from) +
                    ": no terminal there");
        continue;
      }
      begin = *index;
      end = *index + 1;
    }
    sockaddr_in replyTo = from;
    replyTo.sin_port = htons(kReplyPort);
    // Several replies per terminal go out in rounds, one of every terminal
    // each, so the copies of one terminal come spread over the burst.
    std::vector<std::vector<std::string>> answers(end - begin);
    std::size_t rounds = 0;
    for (std::size_t i = begin; i < end; ++i) {
      answers[i - begin] = terminals_[i].datagram(t, bytes, broadcast);
      rounds = std::max(rounds, answers[i - begin].size());
    }
    std::size_t replies = 0;
    for (std::size_t r = 0; r < rounds; ++r) {
      for (std::size_t i = begin; i < end; ++i) {
        std::vector<std::string>& mine = answers[i - begin];
        if (r >= mine.size()) continue;
        replies_.push_back({i, replyTo, std::move(mine[r])});
        ++replies;
      }
    }
    const Frame frame = classifyFrame(bytes);
    const std::string where = broadcast ? "broadcast" : formatIpv4(*to);
    if (frame == Frame::Query) {
      hooks_.line("QUERY " + where + " from " + endpoint(from) + " answered " +
                  std::to_string(replies));
    } else if (frame == Frame::Unknown) {
      hooks_.line("COMMAND unknown " + where + " from " + endpoint(from) + ": " + hexBytes(bytes));
    } else {
      hooks_.line(std::string("COMMAND ") + frameName(frame) + " " + where + " from " +
                  endpoint(from));
    }
  }
  pumpReplies(false);
}

void Datagrams::sendUnasked(std::size_t terminal, std::uint32_t to) {
  const sockaddr_in address = socketAddress(to, kReplyPort);
  replies_.push_back({terminal, address, terminals_[terminal].replyText()});
  hooks_.line("UNASKED reply of " + terminals_[terminal].address() + " to " + endpoint(address));
  pumpReplies(false);
}

void Datagrams::pumpReplies(bool fromTimer) {
  // While a timed pump is due, arrivals only queue: one pump at a time.
  if (replyPending_ && !fromTimer) return;
  replyPending_ = false;
  while (!replies_.empty()) {
    const TimeUs t = now();
    if (replySpacing_ > 0 && lastReply_ != 0 && t < lastReply_ + replySpacing_) {
      replyPending_ = true;
      hooks_.at(lastReply_ + replySpacing_, [this] { pumpReplies(true); });
      return;
    }
    const Reply& r = replies_.front();
    // The reply leaves from the terminal's own address.
    const ssize_t sent =
        sendFrom(udp_, r.bytes.data(), r.bytes.size(), r.to, terminals_[r.terminal].addressValue());
    if (sent < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
      // The send buffer is full: try again shortly rather than lose it.
      replyPending_ = true;
      hooks_.at(t + std::max<TimeUs>(replySpacing_, 1000), [this] { pumpReplies(true); });
      return;
    }
    lastReply_ = t;
    replies_.pop_front();
  }
}

}  // namespace korven::sim
