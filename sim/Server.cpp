#include "sim/Server.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <netinet/ip.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <iterator>

#include "sim/Options.h"
#include "sim/Report.h"

namespace korven::sim {

namespace {

enum Tag : std::uint64_t { kUdp = 1, kRaw, kTimer, kStdin, kSignal, kListener, kConn };

std::uint64_t tag(Tag t, std::uint32_t id = 0) {
  return (static_cast<std::uint64_t>(t) << 32) | id;
}

// A client that stopped retrying its SYN long ago no longer holds a slow
// terminal open; the kernel gives up on a connect well within this.
constexpr TimeUs kWaitingExpiry = 150'000'000;

std::string errnoText() {
  return std::strerror(errno);
}

sockaddr_in socketAddress(std::uint32_t address, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  return a;
}

std::string endpoint(const sockaddr_in& a) {
  return formatIpv4(ntohl(a.sin_addr.s_addr)) + ':' + std::to_string(ntohs(a.sin_port));
}

bool isLoopback(std::uint32_t address) {
  return (address >> 24) == 127;
}

// Passes only TCP segments to port 1024 with SYN set and ACK clear, so the
// raw socket wakes for connection attempts and nothing else.
bool attachSynFilter(int fd) {
  static sock_filter code[] = {
      BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),  // X = IP header length
      BPF_STMT(BPF_LD | BPF_H | BPF_IND, 2),   // destination port
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(kTerminalPort), 0, 4),
      BPF_STMT(BPF_LD | BPF_B | BPF_IND, 13),     // TCP flags
      BPF_STMT(BPF_ALU | BPF_AND | BPF_K, 0x12),  // SYN | ACK
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0x02, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
      BPF_STMT(BPF_RET | BPF_K, 0),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  return ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

// The next client waiting on a listener, or -1 when none waits.
int acceptOne(int listener, sockaddr_in& peer) {
  for (;;) {
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0 || (errno != EINTR && errno != ECONNABORTED)) return fd;
  }
}

}  // namespace

namespace {

TimeUs microsOf(const timespec& t) {
  return static_cast<TimeUs>(t.tv_sec) * 1'000'000 + t.tv_nsec / 1000;
}

// The steady clock and the wall clock read as one moment: a preemption
// between two readings would shift every stamp carried over by its length.
// Retried until the wall clock moved little across the steady reading.
void readClocks(TimeUs& steady, TimeUs& wall) {
  for (int tries = 0;; ++tries) {
    timespec before{};
    timespec mono{};
    timespec after{};
    ::clock_gettime(CLOCK_REALTIME, &before);
    ::clock_gettime(CLOCK_MONOTONIC, &mono);
    ::clock_gettime(CLOCK_REALTIME, &after);
    steady = microsOf(mono);
    wall = microsOf(after);
    if (wall - microsOf(before) <= 20 || tries == 10) return;
  }
}

}  // namespace

ssize_t Server::receive(int fd, char* data, std::size_t size, TimeUs& arrival) {
  iovec io{data, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
  msghdr m{};
  m.msg_iov = &io;
  m.msg_iovlen = 1;
  m.msg_control = control;
  m.msg_controllen = sizeof control;
  const ssize_t n = ::recvmsg(fd, &m, 0);
  TimeUs wall = 0;
  readClocks(arrival, wall);
  for (cmsghdr* h = CMSG_FIRSTHDR(&m); n > 0 && h != nullptr; h = CMSG_NXTHDR(&m, h)) {
    if (h->cmsg_level != SOL_SOCKET || h->cmsg_type != SCM_TIMESTAMPNS) continue;
    timespec stamp{};
    std::memcpy(&stamp, CMSG_DATA(h), sizeof stamp);
    // The stamp is on the wall clock: carry its age over to the steady one.
    const TimeUs age = wall - microsOf(stamp);
    if (age >= 0 && age < 10'000'000) arrival -= age;
  }
  return n;
}

TimeUs Server::now() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<TimeUs>(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

Server::Server(std::vector<Terminal>& terminals, ServerOptions options, std::FILE* out)
    : terminals_(terminals), options_(std::move(options)), out_(out) {}

Server::~Server() {
  for (auto& [key, c] : conns_) ::close(c.fd);
  for (Listener& l : listeners_) {
    if (l.fd >= 0) ::close(l.fd);
    if (l.plugFd >= 0) ::close(l.plugFd);
    if (l.spareFd >= 0) ::close(l.spareFd);
  }
  for (int fd : {udp_, raw_, timer_, signal_, epoll_}) {
    if (fd >= 0) ::close(fd);
  }
}

std::optional<std::size_t> Server::terminalAt(std::uint32_t address) const {
  if (terminals_.empty()) return std::nullopt;
  const std::uint32_t first = terminals_.front().addressValue();
  if (address < first || address - first >= terminals_.size()) return std::nullopt;
  return address - first;
}

void Server::line(const std::string& text) {
  std::fputs(text.c_str(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

bool Server::start(std::string& error) {
  startedAt_ = now();
  // Every terminal holds a listener and may hold a connection and a plug.
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  ::getrlimit(RLIMIT_NOFILE, &limit);
  const rlim_t needed = terminals_.size() * 3 + 64;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    error = std::to_string(terminals_.size()) + " terminals need " + std::to_string(needed) +
            " open files, the limit is " + std::to_string(limit.rlim_cur);
    return false;
  }

  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) {
    error = "epoll: " + errnoText();
    return false;
  }
  const auto watch = [this](int fd, std::uint64_t data, std::uint32_t events) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = data;
    return ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) == 0;
  };

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &signals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  signal_ = ::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
  timer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (signal_ < 0 || timer_ < 0 || !watch(signal_, tag(kSignal), EPOLLIN) ||
      !watch(timer_, tag(kTimer), EPOLLIN)) {
    error = "signalfd/timerfd: " + errnoText();
    return false;
  }

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
  watch(udp_, tag(kUdp), EPOLLIN);

  bool needRaw = false;
  for (const Terminal& t : terminals_) {
    needRaw = needRaw || t.config().faults.refuse || t.config().faults.slowAccept;
  }
  if (needRaw && !openRaw(error)) {
    bool slow = false;
    for (const Terminal& t : terminals_) slow = slow || t.config().faults.slowAccept;
    if (slow) return false;
    // Refusing still works without it; only the count of attempts is lost.
    line("WARNING " + error + "; refused attempts are not counted");
    error.clear();
  }
  if (raw_ >= 0) watch(raw_, tag(kRaw), EPOLLIN);

  listeners_.resize(terminals_.size());
  for (std::size_t i = 0; i < terminals_.size(); ++i) {
    if (!openListener(i, error)) return false;
  }

  // Commands come on stdin; a stdin that cannot be watched (/dev/null, a
  // plain file) just brings none.
  stdinOpen_ = watch(STDIN_FILENO, tag(kStdin), EPOLLIN);
  return true;
}

bool Server::openRaw(std::string& error) {
  raw_ = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (raw_ < 0) {
    error = "no raw socket to see connection attempts (" + errnoText() + ")";
    return false;
  }
  if (!attachSynFilter(raw_)) {
    error = "cannot filter the raw socket (" + errnoText() + ")";
    ::close(raw_);
    raw_ = -1;
    return false;
  }
  return true;
}

bool Server::openListener(std::size_t i, std::string& error) {
  const Terminal& t = terminals_[i];
  Listener& l = listeners_[i];
  if (t.config().faults.refuse) return true;  // no listener: the kernel refuses
  l.slow = t.config().faults.slowAccept.has_value();
  l.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  const sockaddr_in a = socketAddress(t.addressValue(), kTerminalPort);
  if (l.fd < 0 || ::setsockopt(l.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(l.fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(l.fd, l.slow ? 0 : SOMAXCONN) != 0) {
    error = "cannot listen on " + t.address() + ":" + std::to_string(kTerminalPort) + ": " +
            errnoText();
    return false;
  }
  epoll_event ev{};
  ev.events = l.slow ? 0u : static_cast<std::uint32_t>(EPOLLIN);
  ev.data.u64 = tag(kListener, static_cast<std::uint32_t>(i));
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, l.fd, &ev);
  if (l.slow && !plug(i)) {
    error = "cannot hold the accept queue of " + t.address() + ": " + errnoText();
    return false;
  }
  return true;
}

void Server::watchListener(std::size_t i, bool on) {
  epoll_event ev{};
  ev.events = on ? static_cast<std::uint32_t>(EPOLLIN) : 0u;
  ev.data.u64 = tag(kListener, static_cast<std::uint32_t>(i));
  ::epoll_ctl(epoll_, EPOLL_CTL_MOD, listeners_[i].fd, &ev);
}

bool Server::prepareSpare(std::size_t i) {
  Listener& l = listeners_[i];
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

bool Server::plug(std::size_t i) {
  Listener& l = listeners_[i];
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
  watchListener(i, false);
  prepareSpare(i);
  return true;
}

void Server::unplug(std::size_t i) {
  Listener& l = listeners_[i];
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
      openConnection(i, fd, peer);
    }
  }
  if (l.plugFd >= 0) ::close(l.plugFd);
  l.plugFd = -1;
  l.plugPort = 0;
  watchListener(i, true);
}

void Server::dropStale(std::size_t i) {
  Listener& l = listeners_[i];
  const TimeUs t = now();
  for (auto it = l.waiting.begin(); it != l.waiting.end();) {
    it = t - it->second > kWaitingExpiry ? l.waiting.erase(it) : std::next(it);
  }
  // Nobody left to let in: take the place again, so the next client waits too.
  if (!l.plugged && l.waiting.empty()) plug(i);
}

void Server::at(TimeUs due, std::function<void()> run) {
  timed_.push({due, nextSeq_++, std::move(run)});
  armTimer();
}

void Server::armTimer() {
  if (timed_.empty()) return;
  const TimeUs due = timed_.top().due;
  if (due == armedFor_) return;
  armedFor_ = due;
  itimerspec when{};
  // A zero value would disarm; a due time in the past fires at once.
  when.it_value.tv_sec = due / 1'000'000;
  when.it_value.tv_nsec = (due % 1'000'000) * 1000 + 1;
  ::timerfd_settime(timer_, TFD_TIMER_ABSTIME, &when, nullptr);
}

void Server::onTimer() {
  std::uint64_t expirations = 0;
  while (::read(timer_, &expirations, sizeof expirations) > 0) {
  }
  armedFor_ = -1;
  const TimeUs t = now();
  while (!timed_.empty() && timed_.top().due <= t) {
    std::function<void()> run = timed_.top().run;
    timed_.pop();
    run();
  }
  armTimer();
}

void Server::onUdp() {
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
    // Never answer anything from off this machine.
    if (!to || !isLoopback(sender)) continue;
    const bool broadcast = *to == INADDR_BROADCAST;
    const std::string_view bytes(data, static_cast<std::size_t>(n));
    std::size_t begin = 0;
    std::size_t end = terminals_.size();
    if (!broadcast) {
      const auto index = terminalAt(*to);
      if (!index) {
        line("IGNORED datagram to " + formatIpv4(*to) + " from " + endpoint(from) +
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
      line("QUERY " + where + " from " + endpoint(from) + " answered " + std::to_string(replies));
    } else if (frame == Frame::Unknown) {
      line("COMMAND unknown " + where + " from " + endpoint(from) + ": " + hexBytes(bytes));
    } else {
      line(std::string("COMMAND ") + frameName(frame) + " " + where + " from " + endpoint(from));
    }
  }
  pumpReplies(false);
}

void Server::pumpReplies(bool fromTimer) {
  // While a timed pump is due, arrivals only queue: one pump at a time.
  if (replyPending_ && !fromTimer) return;
  replyPending_ = false;
  while (!replies_.empty()) {
    const TimeUs t = now();
    if (options_.replySpacing > 0 && lastReply_ != 0 && t < lastReply_ + options_.replySpacing) {
      replyPending_ = true;
      at(lastReply_ + options_.replySpacing, [this] { pumpReplies(true); });
      return;
    }
    const Reply& r = replies_.front();
    iovec iov{const_cast<char*>(r.bytes.data()), r.bytes.size()};
    char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr m{};
    m.msg_name = const_cast<sockaddr_in*>(&r.to);
    m.msg_namelen = sizeof r.to;
    m.msg_iov = &iov;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&m);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    // The reply leaves from the terminal's own address.
    info.ipi_spec_dst.s_addr = htonl(terminals_[r.terminal].addressValue());
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    if (::sendmsg(udp_, &m, 0) < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
      // The send buffer is full: try again shortly rather than lose it.
      replyPending_ = true;
      at(t + std::max<TimeUs>(options_.replySpacing, 1000), [this] { pumpReplies(true); });
      return;
    }
    lastReply_ = t;
    replies_.pop_front();
  }
}

void Server::onRaw() {
  char packet[256];
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
    std::memcpy(&src, packet + 12, 4);
    std::memcpy(&dst, packet + 16, 4);
    src = ntohl(src);
    dst = ntohl(dst);
    std::uint16_t sport = 0;
    std::memcpy(&sport, packet + ihl, 2);
    sport = ntohs(sport);
    const auto index = terminalAt(dst);
    if (!index) continue;
    const std::size_t i = *index;
    Terminal& t = terminals_[i];
    Listener& l = listeners_[i];
    sockaddr_in from = socketAddress(src, sport);
    const TimeUs when = now();
    if (t.config().faults.refuse) {
      t.offer(when);
      line("REFUSED " + t.address() + " from " + endpoint(from));
      continue;
    }
    // Plugs are bound to the terminal's own address; nothing else is.
    if (!l.slow || src == dst) continue;
    // Retransmissions of a SYN already held back change nothing.
    if (!l.waiting.emplace(std::make_pair(src, sport), when).second) continue;
    const Terminal::Admission admission = t.offer(when);
    line("DELAYING " + t.address() + " from " + endpoint(from) + " by " +
         std::to_string(admission.delay / 1000) + " ms");
    const auto key = std::make_pair(src, sport);
    at(when + admission.delay, [this, i, key] {
      if (listeners_[i].waiting.count(key) != 0) unplug(i);
    });
    at(when + kWaitingExpiry + 1, [this, i] { dropStale(i); });
  }
}

void Server::onListener(std::size_t i) {
  Listener& l = listeners_[i];
  sockaddr_in peer{};
  for (int fd; (fd = acceptOne(l.fd, peer)) >= 0;) {
    if (!l.slow) {
      openConnection(i, fd, peer);
      continue;
    }
    // One client per delay: take the place again before anything else, since
    // a client that connects in between would get in at once.
    plug(i);
    l.waiting.erase({ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port)});
    openConnection(i, fd, peer);
    const TimeUs delay = *terminals_[i].config().faults.slowAccept;
    const TimeUs t = now();
    for (const auto& [who, since] : l.waiting) {
      if (t - since >= delay) {
        at(t, [this, i] { unplug(i); });
        break;
      }
    }
    return;
  }
}

void Server::openConnection(std::size_t i, int fd, const sockaddr_in& peer) {
  Terminal& t = terminals_[i];
  Terminal::Actions actions;
  const Terminal::ConnId id = t.open(now(), actions);
  const std::uint32_t key = nextConn_++;
  conns_[key] = {fd, i, id};
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  // Arrival times come from the kernel, so a read held up by scheduling
  // does not make the pause before it look long and the one after it short.
  ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = tag(kConn, key);
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
  std::string text = "ACCEPTED " + t.address() + " from " + endpoint(peer);
  for (char c : actions.send) text += ", sent " + statusName(static_cast<unsigned char>(c));
  line(text);
  carry(key, actions);
}

void Server::carry(std::uint32_t key, const Terminal::Actions& actions) {
  auto it = conns_.find(key);
  if (it == conns_.end()) return;
  const Conn& c = it->second;
  if (!actions.send.empty()) {
    const TimeUs t = now();
    if (::send(c.fd, actions.send.data(), actions.send.size(), MSG_NOSIGNAL) > 0) {
      for (char b : actions.send)
        terminals_[c.terminal].sentStatus(t, static_cast<unsigned char>(b));
    }
  }
  if (actions.close) closeConn(key, true, now());
}

void Server::onConn(std::uint32_t key) {
  char data[65536];
  for (bool first = true;; first = false) {
    auto it = conns_.find(key);
    if (it == conns_.end()) return;
    const Conn c = it->second;
    TimeUs arrival = 0;
    const ssize_t n = receive(c.fd, data, sizeof data, arrival);
    if (n > 0) {
      const Terminal::Actions actions = terminals_[c.terminal].received(
          c.id, arrival, std::string_view(data, static_cast<std::size_t>(n)));
      if (actions.close || !actions.send.empty()) {
        if (!actions.send.empty()) {
          line("STATUS " + terminals_[c.terminal].address() + " " +
               statusName(static_cast<unsigned char>(actions.send[0])) + " sent during the stream");
        }
        carry(key, actions);
      }
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (errno == EINTR) continue;
      return;
    }
    // A close carries no receive stamp. Found by the first read after the
    // wake-up, it was what made the socket readable, so it came by then: a
    // thousand closes read one after another do not look late.
    closeConn(key, false, first ? woke_ : now());
    return;
  }
}

void Server::closeConn(std::uint32_t key, bool byTerminal, TimeUs at) {
  auto it = conns_.find(key);
  if (it == conns_.end()) return;
  const Conn c = it->second;
  conns_.erase(it);
  ::close(c.fd);
  unjudged_.push_back({c.terminal, c.id, at, byTerminal});
}

void Server::judgeClosed() {
  for (const Closed& closed : unjudged_) {
    Terminal& t = terminals_[closed.terminal];
    const StreamRecord* s = t.closed(closed.id, closed.at, closed.byTerminal);
    const std::string by = closed.byTerminal ? " closed by the terminal" : "";
    if (s == nullptr) {
      line("CLOSED " + t.address() + " no data" + by);
      continue;
    }
    std::string text = "STREAM " + t.address() + " bytes " + std::to_string(s->bytes) + " blocks " +
                       std::to_string(s->verdict.blocks) + by;
    if (s->verdict.ok()) {
      text += " OK";
    } else {
      text += " FAULTY:";
      for (std::size_t k = 0; k < s->verdict.problems.size(); ++k) {
        text += (k == 0 ? " " : "; ") + s->verdict.problems[k];
      }
    }
    line(text);
  }
  unjudged_.clear();
}

void Server::onStdin() {
  char data[4096];
  const ssize_t n = ::read(STDIN_FILENO, data, sizeof data);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    // End of input is not a quit: the simulator may run with stdin closed.
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, STDIN_FILENO, nullptr);
    stdinOpen_ = false;
    if (!stdinText_.empty()) command(stdinText_);
    stdinText_.clear();
    return;
  }
  stdinText_.append(data, static_cast<std::size_t>(n));
  for (std::size_t end; (end = stdinText_.find('\n')) != std::string::npos;) {
    std::string text = stdinText_.substr(0, end);
    stdinText_.erase(0, end + 1);
    command(text);
    if (stop_) return;
  }
}

void Server::command(const std::string& text) {
  std::vector<std::string> words;
  std::size_t p = 0;
  while (p < text.size()) {
    const std::size_t begin = text.find_first_not_of(" \t\r", p);
    if (begin == std::string::npos) break;
    const std::size_t end = text.find_first_of(" \t\r", begin);
    words.push_back(text.substr(begin, end == std::string::npos ? end : end - begin));
    p = end == std::string::npos ? text.size() : end;
  }
  if (words.empty()) return;
  if (words[0] == "quit" && words.size() == 1) {
    stop_ = true;
  } else if (words[0] == "report" && words.size() == 1) {
    std::string error;
    line(writeReport(error) ? "REPORTED" : "ERROR report: " + error);
  } else if (words[0] == "forget" && words.size() == 1) {
    for (Terminal& t : terminals_) t.forgetStreams();
    line("FORGOTTEN");
  } else if (words[0] == "status" && words.size() == 3) {
    const std::uint32_t first = terminals_.front().addressValue();
    const auto index = terminalIndex(words[1], first, static_cast<int>(terminals_.size()));
    const auto code = parseStatusCode(words[2]);
    if (!index) {
      line("ERROR status: no terminal " + words[1]);
      return;
    }
    if (!code) {
      line("ERROR status: unknown status " + words[2] + " (NEW, CHKERR, FULL, TERM or a hex byte)");
      return;
    }
    Terminal& t = terminals_[*index];
    int sent = 0;
    for (auto& [key, c] : conns_) {
      if (c.terminal != *index) continue;
      const char byte = static_cast<char>(*code);
      if (::send(c.fd, &byte, 1, MSG_NOSIGNAL) == 1) {
        t.sentStatus(now(), *code);
        ++sent;
      }
    }
    line(sent > 0 ? "STATUS " + t.address() + " " + statusName(*code) + " sent"
                  : "ERROR status: " + t.address() + " has no open connection");
  } else if (words[0] == "fault" && words.size() == 3) {
    setFault(words[1], words[2]);
  } else {
    line("ERROR unknown command: " + text + " (report, forget, status T CODE, fault T KIND, quit)");
  }
}

void Server::setFault(const std::string& who, const std::string& kind) {
  const std::uint32_t first = terminals_.front().addressValue();
  const auto index = terminalIndex(who, first, static_cast<int>(terminals_.size()));
  if (!index) {
    line("ERROR fault: no terminal " + who);
    return;
  }
  Terminal& t = terminals_[*index];
  Faults faults = t.config().faults;
  std::string error;
  if (kind == "none") {
    faults = Faults{};
  } else if (!applyFault(faults, kind, error)) {
    line("ERROR fault: " + error);
    return;
  }
  // A slow terminal's listener holds a plug from the start; it is not
  // rebuilt at run time.
  if (faults.slowAccept.has_value() != t.config().faults.slowAccept.has_value()) {
    line("ERROR fault: slow-accept is set on the command line only");
    return;
  }
  const bool wasRefusing = t.config().faults.refuse;
  t.setFaults(faults);
  if (faults.refuse && !wasRefusing) {
    // Without a listener the kernel refuses; the raw socket counts the tries.
    if (raw_ < 0 && openRaw(error)) {
      epoll_event ev{};
      ev.events = EPOLLIN;
      ev.data.u64 = tag(kRaw);
      ::epoll_ctl(epoll_, EPOLL_CTL_ADD, raw_, &ev);
    }
    Listener& l = listeners_[*index];
    if (l.fd >= 0) ::close(l.fd);
    l.fd = -1;
  } else if (!faults.refuse && wasRefusing && !openListener(*index, error)) {
    line("ERROR fault: " + error);
    return;
  }
  line("FAULT " + t.address() + " " + kind);
}

bool Server::writeReport(std::string& error) {
  judgeClosed();
  if (!options_.reportPath) {
    error = "no --report FILE given";
    return false;
  }
  const std::string& path = *options_.reportPath;
  // Written beside and renamed over, so a reader never sees half a report.
  const std::string temporary = path + ".tmp";
  const std::string text = reportJson(terminals_, startedAt_);
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) {
    error = "cannot write " + temporary + ": " + errnoText();
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) {
    error = "cannot write " + temporary + ": " + errnoText();
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot rename " + temporary + " to " + path + ": " + errnoText();
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

int Server::run() {
  epoll_event events[256];
  while (!stop_) {
    // Streams are judged once nothing has happened for a while: closes come
    // in runs, and judging between two of them would make the next look late.
    constexpr int kQuietMs = 50;
    const int n = ::epoll_wait(epoll_, events, 256, unjudged_.empty() ? -1 : kQuietMs);
    woke_ = now();
    if (n == 0) {
      judgeClosed();
      continue;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      line("ERROR epoll: " + errnoText());
      return 1;
    }
    for (int k = 0; k < n && !stop_; ++k) {
      const std::uint64_t data = events[k].data.u64;
      const auto id = static_cast<std::uint32_t>(data & 0xFFFFFFFF);
      switch (static_cast<Tag>(data >> 32)) {
        case kUdp:
          onUdp();
          break;
        case kRaw:
          onRaw();
          break;
        case kTimer:
          onTimer();
          break;
        case kStdin:
          onStdin();
          break;
        case kSignal: {
          signalfd_siginfo info{};
          while (::read(signal_, &info, sizeof info) > 0) {
          }
          stop_ = true;
          break;
        }
        case kListener:
          onListener(id);
          break;
        case kConn:
          onConn(id);
          break;
      }
    }
  }
  judgeClosed();
  if (!options_.reportPath) return 0;
  std::string error;
  if (!writeReport(error)) {
    std::fprintf(stderr, "korven-sim: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace korven::sim
