// korven-sim over real sockets. Every test runs in a private network
// namespace of its own (tools/in-netns), where all of 127/8 is local and
// 255.255.255.255 is routed onto loopback.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "sim/Wire.h"
#include "tests/sim/MiniJson.h"
#include "tests/sim/SimProcess.h"

namespace korven::sim {
namespace {

using test::Json;
using test::JsonReader;
using test::SimProcess;
using Clock = std::chrono::steady_clock;

sockaddr_in at(const std::string& address, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  return a;
}

// A UDP socket on 127.0.0.1:2024, where the replies come, that also sends.
class Receiver {
 public:
  Receiver() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    const int size = 8 << 20;
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    const sockaddr_in self = at("127.0.0.1", kReplyPort);
    bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&self), sizeof self) == 0;
  }
  ~Receiver() { ::close(fd_); }
  bool bound() const { return bound_; }
  void send(const std::string& bytes, const std::string& to) {
    const sockaddr_in a = at(to, kTerminalPort);
    ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  }
  // Reply texts by the address they came from, until `quiet` passes with none.
  std::multimap<std::string, std::string> collect(int quietMs) {
    Clock::time_point last;
    return collect(quietMs, last);
  }
  std::multimap<std::string, std::string> collect(int quietMs, Clock::time_point& last) {
    std::multimap<std::string, std::string> got;
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, quietMs) > 0) {
      char data[2048];
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t n =
          ::recvfrom(fd_, data, sizeof data, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (n < 0) break;
      char text[INET_ADDRSTRLEN];
      ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
      got.emplace(text, std::string(data, static_cast<std::size_t>(n)));
      last = Clock::now();
    }
    return got;
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
};

int connectTo(const std::string& address, int& error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in a = at(address, kTerminalPort);
  error = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
  if (error != 0) {
    ::close(fd);
    return -1;
  }
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

std::string readSome(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return {};
  char data[256];
  const ssize_t n = ::recv(fd, data, sizeof data, 0);
  return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

std::optional<Json> readReport(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return JsonReader::parse(text.str());
}

std::string reportPath(const char* name) {
  return ::testing::TempDir() + "korven-sim-" + name + "-" + std::to_string(::getpid()) + ".json";
}

TEST(SimServer, ThousandTerminalsAnswerOneBroadcastEachOnce) {
  Receiver rx;
  ASSERT_TRUE(rx.bound());
  SimProcess sim({"--count", "1000"});
  ASSERT_TRUE(sim.waitFor("READY 1000 terminals 127.0.0.2-127.0.3.233"));

  const auto start = Clock::now();
  rx.send(kQuery, "255.255.255.255");
  Clock::time_point last;
  const auto replies = rx.collect(1000, last);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(last - start);
  std::printf("%zu replies to one broadcast, the last after %lld ms\n", replies.size(),
              static_cast<long long>(took.count()));

  EXPECT_EQ(replies.size(), 1000u);
  std::map<std::string, int> perTerminal;
  for (const auto& [from, text] : replies) {
    // The second comma field is the address the reply came from.
    const auto c1 = text.find(',');
    const auto c2 = text.find(',', c1 + 1);
    ASSERT_NE(c2, std::string::npos) << text;
    EXPECT_EQ(text.substr(c1 + 1, c2 - c1 - 1), from);
    ++perTerminal[from];
  }
  EXPECT_EQ(perTerminal.size(), 1000u);
  for (const auto& [from, n] : perTerminal) EXPECT_EQ(n, 1) << from;
  EXPECT_EQ(perTerminal.count("127.0.0.2"), 1u);
  EXPECT_EQ(perTerminal.count("127.0.3.233"), 1u);

  // A query to one address is answered by that terminal alone.
  rx.send(kQuery, "127.0.1.7");
  const auto one = rx.collect(300);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one.begin()->first, "127.0.1.7");
  sim.send("quit");
  EXPECT_EQ(sim.stop(0), 0);
}

TEST(SimServer, RefusedAndSlowConnections) {
  const std::string report = reportPath("connections");
  SimProcess sim({"--count", "3", "--fault", "1:slow-accept:1500", "--fault", "127.0.0.3:refuse",
                  "--status", "3:FULL", "--report", report});
  ASSERT_TRUE(sim.waitFor("READY 3 terminals"));

  int error = 0;
  EXPECT_EQ(connectTo("127.0.0.3", error), -1);
  EXPECT_EQ(error, ECONNREFUSED);
  EXPECT_TRUE(sim.waitFor("REFUSED 127.0.0.3 from 127.0.0.1:"));

  const auto start = Clock::now();
  const int slow = connectTo("127.0.0.2", error);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  ASSERT_GE(slow, 0) << std::strerror(error);
  std::printf("slow-accept:1500 took %lld ms to connect\n", static_cast<long long>(took.count()));
  EXPECT_GE(took.count(), 1500);
  EXPECT_LT(took.count(), 8000);
  EXPECT_TRUE(sim.waitFor("ACCEPTED 127.0.0.2"));

  // The plug is back: a second client waits its own delay too.
  const auto again = Clock::now();
  const int second = connectTo("127.0.0.2", error);
  ASSERT_GE(second, 0);
  EXPECT_GE(Clock::now() - again, std::chrono::milliseconds(1500));

  const auto quick = Clock::now();
  const int full = connectTo("127.0.0.4", error);
  ASSERT_GE(full, 0);
  EXPECT_LT(Clock::now() - quick, std::chrono::milliseconds(500));
  EXPECT_EQ(readSome(full, 2000), "\xFD");

  sim.send("report");
  ASSERT_TRUE(sim.waitFor("REPORTED"));
  const auto json = readReport(report);
  ASSERT_TRUE(json);
  const Json& t = (*json)["terminals"];
  ASSERT_EQ(t.items.size(), 3u);
  EXPECT_EQ(t[0]["connections"].integer(), 2);
  EXPECT_EQ(t[1]["refused"].integer(), 1);
  EXPECT_EQ(t[1]["connections"].integer(), 0);
  EXPECT_EQ(t[2]["status_sent"][0]["code"].text, "FULL");
  for (int fd : {slow, second, full}) ::close(fd);
  EXPECT_EQ(sim.stop(SIGTERM), 0);
  std::remove(report.c_str());
}

TEST(SimServer, FaultsSwitchedOnStdinHoldFromTheNextConnection) {
  SimProcess sim({"--count", "2"});
  ASSERT_TRUE(sim.waitFor("READY 2 terminals"));
  int error = 0;
  const int before = connectTo("127.0.0.3", error);
  ASSERT_GE(before, 0);
  sim.send("fault 2 refuse");
  ASSERT_TRUE(sim.waitFor("FAULT 127.0.0.3 refuse"));
  EXPECT_EQ(connectTo("127.0.0.3", error), -1);
  EXPECT_EQ(error, ECONNREFUSED);
  sim.send("fault 2 none");
  ASSERT_TRUE(sim.waitFor("FAULT 127.0.0.3 none"));
  const int after = connectTo("127.0.0.3", error);
  EXPECT_GE(after, 0) << std::strerror(error);
  sim.send("fault 2 slow-accept:100");
  EXPECT_TRUE(sim.waitFor("ERROR fault: slow-accept is set on the command line only"));
  for (int fd : {before, after}) ::close(fd);
  sim.send("quit");
  EXPECT_EQ(sim.stop(0), 0);
}

TEST(SimServer, StreamIsJudgedAndReportedAsJson) {
  const std::string report = reportPath("stream");
  SimProcess sim({"--count", "2", "--boot", "whole", "--pace", "50", "--report", report});
  ASSERT_TRUE(sim.waitFor("READY 2 terminals"));
  int error = 0;
  const int fd = connectTo("127.0.0.3", error);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(sim.waitFor("ACCEPTED 127.0.0.3"));

  // A status byte on demand reaches the open connection.
  sim.send("status 127.0.0.3 CHKERR");
  EXPECT_TRUE(sim.waitFor("STATUS 127.0.0.3 CHKERR sent"));
  EXPECT_EQ(readSome(fd, 2000), "\xFC");
  sim.send("status 1 NEW");
  EXPECT_TRUE(sim.waitFor("ERROR status: 127.0.0.2 has no open connection"));

  // Boot request whole, two blocks 60 ms apart, the marker bytes, a wrong
  // checksum: everything far quicker than the boot step wants.
  const auto put = [&](const std::string& bytes, int pauseMs) {
    ::send(fd, bytes.data(), bytes.size(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  };
  put(kBootRequest, 60);
  put(std::string(64, 'a'), 60);
  put(std::string(10, 'b'), 60);
  for (char m : kEndMarker) put(std::string(1, m), 60);
  put("\x01", 60);
  ::close(fd);
  const auto line = sim.waitFor("STREAM 127.0.0.3");
  ASSERT_TRUE(line);
  EXPECT_NE(line->find("bytes 89 blocks 2 FAULTY: "), std::string::npos) << *line;

  sim.send("quit");
  EXPECT_EQ(sim.stop(0), 0);
  const auto json = readReport(report);
  ASSERT_TRUE(json) << "the report does not parse";
  const Json& t = (*json)["terminals"][1];
  EXPECT_EQ(t["address"].text, "127.0.0.3");
  EXPECT_EQ(t["bytes"].integer(), 89);
  ASSERT_EQ(t["streams"].items.size(), 1u);
  const Json& s = t["streams"][0];
  EXPECT_EQ(s["blocks"].integer(), 2);
  EXPECT_EQ(s["boot"].text, "whole");
  EXPECT_EQ(s["checksum"].text, "wrong");
  EXPECT_EQ(s["image"].text, "unchecked");
  EXPECT_EQ(s["verdict"].text, "faulty");
  EXPECT_EQ(s["closed_by"].text, "program");
  bool early = false;
  for (const Json& p : s["problems"].items)
    early = early || p.text.rfind("gap boot request->block 1 early", 0) == 0;
  EXPECT_TRUE(early);
  const Json& block = s["gaps"]["block"];
  EXPECT_EQ(block["expected_us"].integer(), 50'000);
  EXPECT_EQ(block["count"].integer(), 1);
  EXPECT_GE(block["min_us"].integer(), 55'000);
  EXPECT_EQ(s["gaps"]["boot-byte"]["count"].integer(), 0);
  EXPECT_EQ(s["gaps"]["boot-byte"]["min_us"].kind, Json::Null);
  EXPECT_EQ(t["status_sent"][0]["code"].text, "CHKERR");
  std::remove(report.c_str());
}

TEST(SimServer, BadArgumentsExitWithTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--count", "none"},
                                               {"--fault", "9:refuse"},
                                               {"--image", "/nonexistent/x.BIN"}}) {
    SimProcess sim(args);
    EXPECT_EQ(sim.stop(0), 2) << args[0];
  }
}

}  // namespace
}  // namespace korven::sim
