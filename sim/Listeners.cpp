#include "sim/Listeners.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <netinet/ip.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "sim/Net.h"

namespace korven::sim {

namespace {

// A client that stopped retrying its SYN long ago no longer holds a slow
// terminal open; the kernel gives up on a connect well within this.
constexpr TimeUs kWaitingExpiry = 150'000'000;
// How long clients wait in the queue when the simulator is out of descriptors.
constexpr TimeUs kOutOfDescriptorsPause = 100'000;

bool attachFilter(int fd, sock_filter* code, std::size_t length) {
  const sock_fprog program{static_cast<unsigned short>(length), code};
  return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

// Passes only TCP segments to port 1024 with SYN set and ACK clear, so the
// raw socket wakes for connection attempts and nothing else.
bool attachSynFilter(int fd) {
  sock_filter code[] = {
      BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),  // X = IP header length
      BPF_STMT(BPF_LD | BPF_H | BPF_IND, 2),   // destination port
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(kTerminalPort), 0, 4),
      BPF_STMT(BPF_LD | BPF_B | BPF_IND, 13),     // TCP flags
      BPF_STMT(BPF_ALU | BPF_AND | BPF_K, 0x12),  // SYN | ACK
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0x02, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
      BPF_STMT(BPF_RET | BPF_K, 0),
  };
  return attachFilter(fd, code, std::size(code));
}

// A listener on address:1024 that shares the port with the others. Its
// filter, which on a TCP socket runs before a SYN is looked at, is in place
// before it listens, so no client gets past it in between.
int listenOn(std::uint32_t address, int backlog, sock_filter* filter, std::size_t length) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  const sockaddr_in a = socketAddress(address, kTerminalPort);
  if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 ||
      (filter != nullptr && !attachFilter(fd, filter, length)) ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(fd, backlog) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

void put16(unsigned char* at, std::uint16_t value) {
  at[0] = static_cast<unsigned char>(value >> 8);
  at[1] = static_cast<unsigned char>(value);
}

// A TCP reset with ACK that answers a SYN of sequence number `sequence`.
std::array<unsigned char, 20> resetSegment(std::uint32_t from, std::uint32_t to,
                                           std::uint16_t toPort, std::uint32_t sequence) {
  std::array<unsigned char, 20> h{};
  put16(&h[0], kTerminalPort);
  put16(&h[2], toPort);
  const std::uint32_t ack = sequence + 1;
  put16(&h[8], static_cast<std::uint16_t>(ack >> 16));
  put16(&h[10], static_cast<std::uint16_t>(ack));
  h[12] = 5 << 4;  // a header of five words, no options
  h[13] = 0x14;    // RST | ACK
  // The checksum covers a pseudo header of both addresses, protocol and length.
  std::uint32_t sum = (from >> 16) + (from & 0xFFFF) + (to >> 16) + (to & 0xFFFF) + IPPROTO_TCP +
                      static_cast<std::uint32_t>(h.size());
  for (std::size_t k = 0; k < h.size(); k += 2) sum += (h[k] << 8) | h[k + 1];
  while ((sum >> 16) != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  put16(&h[16], static_cast<std::uint16_t>(~sum));
  return h;
}

}  // namespace

Listeners::Listeners(std::vector<Terminal>& terminals, int epoll, Hooks hooks)
    : terminals_(terminals), epoll_(epoll), hooks_(std::move(hooks)) {}

Listeners::~Listeners() {
  for (std::size_t i = 0; i < own_.size(); ++i) closeOwn(i);
  for (int fd : {wildcard_, raw_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::size_t Listeners::descriptorsFor(const std::vector<Terminal>& terminals) {
  std::size_t n = 2;
  for (const Terminal& t : terminals) {
    const Faults& f = t.config().faults;
    if (f.refuse || f.slowAccept) n += 3;  // a listener, a plug and the next plug
  }
  return n;
}

bool Listeners::start(std::string& error) {
  if (terminals_.empty()) return true;
  if (!openRaw(error)) return false;
  // Keeps what is addressed to a terminal and drops the rest.
  sock_filter terminalsOnly[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<unsigned>(SKF_NET_OFF + 16)),  // to
      BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, terminals_.front().addressValue(), 0, 2),
      BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, terminals_.back().addressValue(), 1, 0),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFF),
      BPF_STMT(BPF_RET | BPF_K, 0),
  };
  wildcard_ = listenOn(INADDR_ANY, SOMAXCONN, terminalsOnly, std::size(terminalsOnly));
  if (wildcard_ < 0) {
    error = "cannot listen on TCP port " + std::to_string(kTerminalPort) + ": " + errnoText();
    return false;
  }
  watch(wildcard_, tag(kWildcard), true, true);
  own_.resize(terminals_.size());
  for (std::size_t i = 0; i < terminals_.size(); ++i) {
    if (!openOwn(i, error)) return false;
  }
  return true;
}

bool Listeners::openRaw(std::string& error) {
  raw_ = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (raw_ < 0) {
    error = "no raw socket to see connection attempts (" + errnoText() +
            "); run inside a private network namespace";
    return false;
  }
  // Room for a SYN of every terminal at once.
  const int buffer = 4 << 20;
  ::setsockopt(raw_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
  if (!attachSynFilter(raw_)) {
    error = "cannot filter the raw socket (" + errnoText() + ")";
    return false;
  }
  watch(raw_, tag(kRaw), true, true);
  return true;
}

bool Listeners::openOwn(std::size_t i, std::string& error) {
  const Terminal& t = terminals_[i];
  Own& l = own_[i];
  const bool refusing = t.config().faults.refuse;
  l.slow = !refusing && t.config().faults.slowAccept.has_value();
  if (!refusing && !l.slow) return true;  // the wildcard listener serves it
  sock_filter dropAll[] = {BPF_STMT(BPF_RET | BPF_K, 0)};
  l.fd = refusing ? listenOn(t.addressValue(), 1, dropAll, 1)
                  : listenOn(t.addressValue(), 0, nullptr, 0);
  if (l.fd < 0) {
    error = "cannot listen on " + t.address() + ":" + std::to_string(kTerminalPort) + ": " +
            errnoText();
    return false;
  }
  if (!l.slow) return true;
  watch(l.fd, tag(kListener, static_cast<std::uint32_t>(i)), false, true);
  if (!plug(i)) {
    error = "cannot hold the accept queue of " + t.address() + ": " + errnoText();
    return false;
  }
  return true;
}

void Listeners::closeOwn(std::size_t i) {
  Own& l = own_[i];
  for (int fd : {l.fd, l.plugFd, l.spareFd}) {
    if (fd >= 0) ::close(fd);
  }
  l = Own{};
}

bool Listeners::refusalChanged(std::size_t i, std::string& error) {
  if (i >= own_.size()) return false;
  closeOwn(i);
  return openOwn(i, error);
}

void Listeners::watch(int fd, std::uint64_t data, bool on, bool add) {
  epoll_event ev{};
  ev.events = on ? static_cast<std::uint32_t>(EPOLLIN) : 0u;
  ev.data.u64 = data;
  ::epoll_ctl(epoll_, add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &ev);
}

void Listeners::refuse(std::uint32_t dialled, const sockaddr_in& from, std::uint32_t sequence) {
  const std::uint32_t client = ntohl(from.sin_addr.s_addr);
  const auto segment = resetSegment(dialled, client, ntohs(from.sin_port), sequence);
  // The reset comes from the address dialled.
  if (sendFrom(raw_, segment.data(), segment.size(), socketAddress(client, 0), dialled) < 0) {
    hooks_.line("WARNING cannot refuse: " + errnoText());
  }
}

void Listeners::onRaw() {
  unsigned char packet[256];
  for (;;) {
    const ssize_t n = ::recv(raw_, packet, sizeof packet, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (n < 20) continue;
    const std::size_t ihl = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    if (static_cast<std::size_t>(n) < ihl + 14) continue;
    std::uint32_t src = 0;
    std::uint32_t dst = 0;
    std::uint16_t sport = 0;
    std::uint32_t sequence = 0;
    std::memcpy(&src, packet + 12, 4);
    std::memcpy(&dst, packet + 16, 4);
    std::memcpy(&sport, packet + ihl, 2);
    std::memcpy(&sequence, packet + ihl + 4, 4);
    src = ntohl(src);
    dst = ntohl(dst);
    sequence = ntohl(sequence);
    const sockaddr_in from = socketAddress(src, ntohs(sport));
    const auto index = terminalAt(terminals_, dst);
    if (!index) {
      refuse(dst, from, sequence);
      hooks_.line("REFUSED " + formatIpv4(dst) + " from " + endpoint(from) + ": no terminal there");
      continue;
    }
    const std::size_t i = *index;
    Terminal& t = terminals_[i];
    Own& l = own_[i];
    const TimeUs when = now();
    if (t.config().faults.refuse) {
      refuse(dst, from, sequence);
      t.offer(when);
      hooks_.line("REFUSED " + t.address() + " from " + endpoint(from));
      continue;
    }
    // Plugs are bound to the terminal's own address; nothing else is.
    if (!l.slow || src == dst) continue;
    // Retransmissions of a SYN already held back change nothing.
    const auto key = std::make_pair(src, ntohs(sport));
    if (!l.waiting.emplace(key, when).second) continue;
    const Terminal::Admission admission = t.offer(when);
    hooks_.line("DELAYING " + t.address() + " from " + endpoint(from) + " by " +
                std::to_string(admission.delay / 1000) + " ms");
    hooks_.at(when + admission.delay, [this, i, key] {
      if (own_[i].waiting.count(key) != 0) unplug(i);
    });
    hooks_.at(when + kWaitingExpiry + 1, [this, i] { dropStale(i); });
  }
}

void Listeners::onWildcard() {
  sockaddr_in peer{};
  int fd = -1;
  while ((fd = acceptOne(wildcard_, peer)) >= 0) {
    sockaddr_in dialled{};
    socklen_t length = sizeof dialled;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&dialled), &length);
    const auto i = terminalAt(terminals_, ntohl(dialled.sin_addr.s_addr));
    if (!i) {
      ::close(fd);  // the address filter lets none of these through
      continue;
    }
    hooks_.open(*i, fd, peer);
  }
  if (errno == EMFILE || errno == ENFILE) {
    // The clients wait in the queue, as on a busy host, instead of the
    // listener waking the loop again at once.
    watch(wildcard_, tag(kWildcard), false);
    hooks_.line("WARNING out of descriptors; connections wait");
    hooks_.at(now() + kOutOfDescriptorsPause, [this] { watch(wildcard_, tag(kWildcard), true); });
  }
}

bool Listeners::prepareSpare(std::size_t i) {
  Own& l = own_[i];
  if (l.spareFd >= 0) return true;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const sockaddr_in self = socketAddress(terminals_[i].addressValue(), 0);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&self), sizeof self) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  l.spareFd = fd;
  l.sparePort = ntohs(bound.sin_port);
  return true;
}

bool Listeners::plug(std::size_t i) {
  Own& l = own_[i];
  // The plug socket is made ahead, so only the connect stands between
  // taking a client out of the queue and filling its place again.
  if (!prepareSpare(i)) return false;
  const sockaddr_in target = socketAddress(terminals_[i].addressValue(), kTerminalPort);
  if (::connect(l.spareFd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0 &&
      errno != EINPROGRESS) {
    ::close(l.spareFd);
    l.spareFd = -1;
    return false;
  }
  l.plugFd = l.spareFd;
  l.plugPort = l.sparePort;
  l.spareFd = -1;
  l.plugged = true;
  watch(l.fd, tag(kListener, static_cast<std::uint32_t>(i)), false);
  prepareSpare(i);
  return true;
}

void Listeners::unplug(std::size_t i) {
  Own& l = own_[i];
  if (!l.plugged) return;
  l.plugged = false;
  // Take out whatever sits in the queue: normally the plug alone, but a
  // client that slipped in while the plug was being replaced is served.
  sockaddr_in peer{};
  for (int fd; (fd = acceptOne(l.fd, peer)) >= 0;) {
    if (ntohs(peer.sin_port) == l.plugPort &&
        ntohl(peer.sin_addr.s_addr) == terminals_[i].addressValue()) {
      ::close(fd);
    } else {
      l.waiting.erase({ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port)});
      hooks_.open(i, fd, peer);
    }
  }
  if (l.plugFd >= 0) ::close(l.plugFd);
  l.plugFd = -1;
  l.plugPort = 0;
  watch(l.fd, tag(kListener, static_cast<std::uint32_t>(i)), true);
}

void Listeners::dropStale(std::size_t i) {
  Own& l = own_[i];
  if (!l.slow) return;
  const TimeUs t = now();
  for (auto it = l.waiting.begin(); it != l.waiting.end();) {
    it = t - it->second > kWaitingExpiry ? l.waiting.erase(it) : std::next(it);
  }
  // Nobody left to let in: take the place again, so the next client waits too.
  if (!l.plugged && l.waiting.empty()) plug(i);
}

void Listeners::onListener(std::size_t i) {
  Own& l = own_[i];
  if (!l.slow) return;
  sockaddr_in peer{};
  const int fd = acceptOne(l.fd, peer);
  if (fd < 0) return;
  // One client per delay: take the place again before anything else, since
  // a client that connects in between would get in at once.
  plug(i);
  l.waiting.erase({ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port)});
  hooks_.open(i, fd, peer);
  const TimeUs delay = *terminals_[i].config().faults.slowAccept;
  const TimeUs t = now();
  for (const auto& [who, since] : l.waiting) {
    if (t - since >= delay) {
      hooks_.at(t, [this, i] { unplug(i); });
      break;
    }
  }
}

}  // namespace korven::sim
