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
#include "sim/Report.h"

namespace korven::sim {

Server::Server(std::vector<Terminal>& terminals, ServerOptions options, std::FILE* out)
    : terminals_(terminals), options_(std::move(options)), out_(out) {}

Server::~Server() {
  for (auto& [key, c] : conns_) ::close(c.fd);
  listeners_.reset();
  datagrams_.reset();
  for (int fd : {timer_, signal_, epoll_}) {
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

  Datagrams::Hooks udpHooks;
  udpHooks.line = [this](const std::string& text) { line(text); };
  udpHooks.at = [this](TimeUs due, std::function<void()> run) { at(due, std::move(run)); };
  datagrams_ = std::make_unique<Datagrams>(terminals_, options_.replySpacing, std::move(udpHooks));
  if (!datagrams_->open(error)) return false;
  watch(datagrams_->fd(), tag(kUdp), EPOLLIN);

  Listeners::Hooks hooks;
  hooks.line = [this](const std::string& text) { line(text); };
  hooks.at = [this](TimeUs due, std::function<void()> run) { at(due, std::move(run)); };
  hooks.open = [this](std::size_t i, int fd, const sockaddr_in& peer) {
    openConnection(i, fd, peer);
  };
  listeners_ = std::make_unique<Listeners>(terminals_, epoll_, std::move(hooks));
  if (!listeners_->start(error)) return false;

  Commands::Hooks commandHooks;
  commandHooks.line = [this](const std::string& text) { line(text); };
  commandHooks.report = [this](std::string& error) { return writeReport(error); };
  commandHooks.sendStatus = [this](std::size_t i, unsigned char code) {
    return sendStatus(i, code);
  };
  commandHooks.refusalChanged = [this](std::size_t i, std::string& error) {
    return listeners_->refusalChanged(i, error);
  };
  commands_ = std::make_unique<Commands>(terminals_, std::move(commandHooks));

  // Commands come on stdin; a stdin that cannot be watched (/dev/null, a
  // plain file) just brings none. A simulator in the background of a shell
  // must not read its terminal: the shell would stop it.
  stdinOpen_ = options_.readCommands && watch(STDIN_FILENO, tag(kStdin), EPOLLIN);
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

void Server::openConnection(std::size_t i, int fd, const sockaddr_in& peer) {
  // A stream that ended just now is judged first: what the terminal says on
  // the new connection may depend on it.
  const bool closedJustNow = std::any_of(unjudged_.begin(), unjudged_.end(),
                                         [i](const Closed& c) { return c.terminal == i; });
  if (closedJustNow) judgeClosed();
  Terminal& t = terminals_[i];
  Terminal::Actions actions;
  const Terminal::ConnId id = t.open(now(), actions);
  const std::uint32_t key = nextConn_++;
  conns_[key] = {fd, i, id};
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (t.config().faults.stopReadingAfterBlock) {
    // The kernel keeps at least a few KiB whatever is asked; what it cannot
    // hold is not acknowledged, so the rest waits on the sender's side.
    const int small = 2048;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  }
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
  for (std::size_t j = 0; j < terminals_.size(); ++j) {
    if (j != i && terminals_[j].config().faults.announceOnConnect) {
      datagrams_->sendUnasked(j, ntohl(peer.sin_addr.s_addr));
    }
  }
}

void Server::carry(std::uint32_t key, const Terminal::Actions& actions) {
  auto it = conns_.find(key);
  if (it == conns_.end()) return;
  Conn& c = it->second;
  if (actions.stopReading && !c.stopped) {
    c.stopped = true;
    line("STOPPED READING " + terminals_[c.terminal].address());
    epoll_event ev{};
    ev.events = EPOLLRDHUP;
    ev.data.u64 = tag(kConn, key);
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &ev);
  }
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
    if (c.stopped) {
      // Only the end of the connection wakes it now; what waits stays unread.
      if (first) closeConn(key, false, now());
      return;
    }
    TimeUs arrival = 0;
    const ssize_t n = receiveStamped(c.fd, data, sizeof data, arrival);
    if (n > 0) {
      const Terminal::Actions actions = terminals_[c.terminal].received(
          c.id, arrival, std::string_view(data, static_cast<std::size_t>(n)));
      if (actions.close || actions.stopReading || !actions.send.empty()) {
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
    if (!stdinText_.empty()) stop_ = !commands_->run(stdinText_);
    stdinText_.clear();
    return;
  }
  stdinText_.append(data, static_cast<std::size_t>(n));
  for (std::size_t end; (end = stdinText_.find('\n')) != std::string::npos;) {
    std::string text = stdinText_.substr(0, end);
    stdinText_.erase(0, end + 1);
    stop_ = !commands_->run(text);
    if (stop_) return;
  }
}

int Server::sendStatus(std::size_t terminal, unsigned char code) {
  int sent = 0;
  for (auto& [key, c] : conns_) {
    if (c.terminal != terminal) continue;
    const char byte = static_cast<char>(code);
    if (::send(c.fd, &byte, 1, MSG_NOSIGNAL) == 1) {
      terminals_[terminal].sentStatus(now(), code);
      ++sent;
    }
  }
  return sent;
}

bool Server::writeReport(std::string& error) {
  judgeClosed();
  if (!options_.reportPath) {
    error = "no --report FILE given";
    return false;
  }
  return writeReportFile(*options_.reportPath, reportJson(terminals_, startedAt_), error);
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
          datagrams_->onReadable();
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
