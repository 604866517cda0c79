#include "sim/Server.h"

#include <arpa/inet.h>
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

#include "sim/Net.h"
#include "sim/Options.h"
#include "sim/Report.h"

namespace korven::sim {

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

Server::Server(std::vector<Terminal>& terminals, ServerOptions options, std::FILE* out)
    : terminals_(terminals), options_(std::move(options)), out_(out) {}

Server::~Server() {
  for (auto& [key, c] : conns_) ::close(c.fd);
  listeners_.reset();
  for (int fd : {udp_, timer_, signal_, epoll_}) {
    if (fd >= 0) ::close(fd);
  }
}

void Server::line(const std::string& text) {
  std::fputs(text.c_str(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

bool Server::start(std::string& error) {
  startedAt_ = now();
  // A faulted terminal holds a listener and maybe plugs; the connections
  // take the rest, and the listeners hold them back when it runs out.
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  ::getrlimit(RLIMIT_NOFILE, &limit);
  const rlim_t needed = Listeners::descriptorsFor(terminals_) + 64;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    error = "the faulted terminals need " + std::to_string(needed) + " open files, the limit is " +
            std::to_string(limit.rlim_cur);
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

  Listeners::Hooks hooks;
  hooks.line = [this](const std::string& text) { line(text); };
  hooks.at = [this](TimeUs due, std::function<void()> run) { at(due, std::move(run)); };
  hooks.open = [this](std::size_t i, int fd, const sockaddr_in& peer) {
    openConnection(i, fd, peer);
  };
  listeners_ = std::make_unique<Listeners>(terminals_, epoll_, std::move(hooks));
  if (!listeners_->start(error)) return false;

  // Commands come on stdin; a stdin that cannot be watched (/dev/null, a
  // plain file) just brings none.
  stdinOpen_ = watch(STDIN_FILENO, tag(kStdin), EPOLLIN);
  return true;
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
      const auto index = terminalAt(terminals_, *to);
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
  if (faults.refuse != wasRefusing && !listeners_->refusalChanged(*index, error)) {
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
          listeners_->onRaw();
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
          listeners_->onListener(id);
          break;
        case kWildcard:
          listeners_->onWildcard();
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
