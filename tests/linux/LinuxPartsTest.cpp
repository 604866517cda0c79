// The Linux platform's parts on the system's calls, without Qt. The reader
// opens sockets, so the binary runs inside a private network namespace.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/linux/DatagramReader.h"
#include "platform/linux/DescriptorWatch.h"
#include "platform/linux/LinuxTcpSocket.h"
#include "platform/linux/LinuxTimer.h"
#include "platform/system/SteadyClock.h"

namespace korven::linux_platform {
namespace {

struct Counted : Watcher {
  int fd = ::eventfd(1, EFD_NONBLOCK | EFD_CLOEXEC);  // ready from the start
  DescriptorWatch::Token token = 0;
  int calls = 0;
  std::function<void()> then;
  ~Counted() override { ::close(fd); }
  void ready(std::uint32_t) override {
    ++calls;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof count);
    if (then) then();
  }
};

TEST(DescriptorWatch, OnePointHandsOutEveryReadyDescriptorAndNoneRemovedMeanwhile) {
  DescriptorWatch watch;
  std::vector<Counted> all(300);  // more than any fixed batch of events
  for (Counted& c : all) c.token = watch.add(c.fd, EPOLLIN, c);
  EXPECT_EQ(watch.dispatch(), 300);
  for (const Counted& c : all) EXPECT_EQ(c.calls, 1);
  EXPECT_EQ(watch.dispatch(), 0) << "each cleared what it was told of";

  // Whichever is told first removes every other: none of them is told,
  // though they were ready when the point began.
  const std::uint64_t one = 1;
  for (Counted& c : all) {
    ASSERT_EQ(::write(c.fd, &one, sizeof one), 8);
    c.then = [&all, &watch, &c] {
      for (Counted& other : all) {
        if (&other != &c) watch.remove(other.token, other.fd);
      }
    };
  }
  watch.dispatch();
  int calls = 0;
  for (const Counted& c : all) calls += c.calls;
  EXPECT_EQ(calls, 301);
}

TEST(LinuxTimer, OneTheSystemRefusesSaysSo) {
  DescriptorWatch watch;
  const SteadyClock clock;
  const Micros early(0);
  // Made before the limit: the sanitizers check the class's type the first
  // time they meet it, and need a descriptor of their own for that.
  LinuxTimer fine(watch, clock, early);
  rlimit limit{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
  // No descriptor left: the soft limit at the number the next one would get.
  const int next = ::dup(0);
  ::close(next);
  rlimit none = limit;
  none.rlim_cur = static_cast<rlim_t>(next);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
  LinuxTimer refused(watch, clock, early);
  ::setrlimit(RLIMIT_NOFILE, &limit);
  EXPECT_FALSE(refused.usable());
  EXPECT_TRUE(fine.usable());
}

// A UDP socket bound on loopback port 2024, and a sender to it.
struct Loopback {
  int receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  Loopback() {
    to.sin_family = AF_INET;
    to.sin_port = htons(2024);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bound = ::bind(receiver, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
  }
  ~Loopback() {
    ::close(sender);
    ::close(receiver);
  }
  bool send(const std::string& bytes) const {
    return ::sendto(sender, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(bytes.size());
  }
  bool bound = false;
};

TEST(DatagramReader, TakesTheLargestDatagramWholeInOrder) {
  Loopback net;
  ASSERT_TRUE(net.bound);
  std::atomic<int> notices{0};
  DatagramReader reader(net.receiver, [&] { ++notices; });
  ASSERT_TRUE(reader.start());

  const std::string largest(65507, '\xA5');  // the most an IPv4 datagram holds
  ASSERT_TRUE(net.send("first") && net.send(largest) && net.send(std::string(1, '\0')));
  std::vector<std::string> taken;
  for (int i = 0; i < 200 && taken.size() < 3; ++i) {
    std::string datagram;
    if (reader.take(datagram)) {
      taken.push_back(datagram);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  EXPECT_EQ(taken, (std::vector<std::string>{"first", largest, std::string(1, '\0')}));
  EXPECT_GE(notices, 1);
}

TEST(DatagramReader, StopsWhileDatagramsStillWait) {
  // Datagrams that wait without end, as under a flood: a thousand queued
  // before the reader starts, and the reader held by its first notice until
  // the stop is asked. Then it must stop, not drain the rest first.
  Loopback net;
  ASSERT_TRUE(net.bound);
  const int room = 8 << 20;
  ASSERT_TRUE(::setsockopt(net.receiver, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) == 0 ||
              ::setsockopt(net.receiver, SOL_SOCKET, SO_RCVBUF, &room, sizeof room) == 0);
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(net.send("flood"));
  std::atomic<bool> held{false};
  std::atomic<bool> stopping{false};
  auto reader = std::make_unique<DatagramReader>(net.receiver, [&] {
    held = true;
    while (!stopping) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The stop is asked just after the flag is set.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  });
  ASSERT_TRUE(reader->start());
  while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  stopping = true;
  reader.reset();

  int left = 0;
  char byte = 0;
  while (::recv(net.receiver, &byte, 1, MSG_DONTWAIT) >= 0) ++left;
  EXPECT_GT(left, 0) << "the reader drained the queue before it stopped";
}

TEST(LinuxTcpSocket, AWatchTheSystemRefusesRightAfterConnectingRaisesNoConnect) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(1024);
  at.sin_addr.s_addr = htonl(0x7F000002u);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(::listen(listener, 1), 0);

  DescriptorWatch watch;
  const SteadyClock clock;
  const TerminalAddresses terminals(clock);
  // Ready from the start, so told before the socket: it puts an empty epoll
  // set in the watch's place, where every change the socket asks fails.
  Counted swap;
  swap.token = watch.add(swap.fd, EPOLLIN, swap);
  swap.then = [&watch] {
    const int empty = ::epoll_create1(EPOLL_CLOEXEC);
    ::dup2(empty, watch.descriptor());
    ::close(empty);
  };
  LinuxTcpSocket socket(watch, terminals);
  int connects = 0;
  socket.onConnect.connect([&] { ++connects; });
  socket.setRemoteHost("127.0.0.2");
  socket.setRemotePort(1024);
  ASSERT_TRUE(socket.connect());
  const int peer = ::accept(listener, nullptr, nullptr);  // the connection is up
  ASSERT_GE(peer, 0);
  watch.dispatch();
  EXPECT_EQ(swap.calls, 1);
  EXPECT_EQ(socket.state(), tcp_state::Error);
  EXPECT_EQ(connects, 0) << "a connection that failed was announced";
  ::close(peer);
  ::close(listener);
}

}  // namespace
}  // namespace korven::linux_platform
