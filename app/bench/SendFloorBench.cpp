// What this machine's kernel alone costs the batch figures: N loopback TCP
// connections, and every 100 ms one 64-byte block handed to each of them by a
// bare loop of non-blocking sends, for as many rounds as the batch benchmark
// has blocks, while one thread reads them all on the other cores, as the
// simulator does. No program, no timer, no event loop: the fan-out and send
// times printed are the least the program can reach here.
//   usage: send_floor_bench N [--unpinned]   (inside tools/in-netns)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "app/bench/Cores.h"
#include "platform/system/OpenFileLimit.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 991;
constexpr auto kPace = std::chrono::milliseconds(100);

double at(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

double micros(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

// The receivers: every accepted connection in one epoll set, drained until
// `stop`.
void readAll(int epoll, const std::atomic<bool>& stop) {
  std::array<epoll_event, 1024> ready{};
  std::array<char, 4096> buffer{};
  while (!stop) {
    const int count = ::epoll_wait(epoll, ready.data(), ready.size(), 50);
    for (int i = 0; i < count; ++i) {
      while (::recv(ready[i].data.fd, buffer.data(), buffer.size(), MSG_DONTWAIT) > 0) {
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 0;
  const bool unpinned = argc > 2 && std::string(argv[2]) == "--unpinned";
  if (n < 1 || n > 32767 || argc > 3 || (argc == 3 && !unpinned)) {
    std::fprintf(stderr, "usage: send_floor_bench N [--unpinned]   (1 to 32767 connections)\n");
    return 2;
  }
  if (korven::raiseOpenFileLimit() < 2L * n + 16) {
    std::fprintf(stderr, "send_floor_bench: too few open files allowed for %d connections\n", n);
    return 1;
  }
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 ||
      ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, SOMAXCONN) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("send_floor_bench: listen on loopback");
    return 1;
  }
  const int epoll = ::epoll_create1(0);
  if (epoll < 0) {
    std::perror("send_floor_bench: epoll");
    return 1;
  }
  std::vector<int> senders;
  const int on = 1;
  for (int i = 0; i < n; ++i) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0 || ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 ||
        ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      std::perror("send_floor_bench: connect");
      return 1;
    }
    senders.push_back(s);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = ::accept(listener, nullptr, nullptr);
    if (event.data.fd < 0 || ::epoll_ctl(epoll, EPOLL_CTL_ADD, event.data.fd, &event) != 0) {
      std::perror("send_floor_bench: accept");
      return 1;
    }
  }
  const int senderCore = unpinned ? -1 : korven::bench::setCoresForTheReceivers();
  std::atomic<bool> stop{false};
  std::thread reader(readAll, epoll, std::cref(stop));
  korven::bench::keepTheSenderCore(senderCore);

  const std::array<char, 64> block{};
  std::vector<double> sends;
  std::vector<double> fanOuts;
  sends.reserve(static_cast<std::size_t>(kRounds) * n);
  bool whole = true;
  auto due = Clock::now();
  for (int round = 0; round < kRounds && whole; ++round) {
    due += kPace;
    std::this_thread::sleep_until(due);
    const auto first = Clock::now();
    for (const int s : senders) {
      const auto start = Clock::now();
      whole = ::send(s, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL) ==
              static_cast<ssize_t>(block.size());
      if (!whole) break;
      sends.push_back(micros(Clock::now() - start));
    }
    fanOuts.push_back(micros(Clock::now() - first) / 1000);
  }
  stop = true;
  reader.join();
  if (!whole) {
    // A full buffer would time the kernel's refusal, not a send.
    std::fprintf(stderr, "send_floor_bench: a send was not taken whole\n");
    return 1;
  }

  const double mean = std::accumulate(sends.begin(), sends.end(), 0.0) / sends.size();
  std::printf("send floor N=%d, %d rounds of one 64-byte block each, 100 ms apart; %s\n", n,
              kRounds,
              senderCore >= 0 ? "the sender on one core, the reader on the others"
                              : "the sender and the reader share the cores");
  std::printf("  one send: median %.1f us, mean %.1f us, p99 %.1f us, longest %.0f us\n",
              at(sends, 0.5), mean, at(sends, 0.99), at(sends, 1.0));
  std::printf(
      "  fan-out of one round (first send to the end of the last): median %.2f ms, "
      "longest %.2f ms\n",
      at(fanOuts, 0.5), at(fanOuts, 1.0));
  // A pause counted from the end of each send makes every block come the
  // send's own length after the pace.
  std::printf("  a pace counted from the end of each send: %.5f of the pace\n",
              1 + mean / micros(kPace));
  return 0;
}
