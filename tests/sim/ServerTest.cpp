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
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "app/SimProcess.h"
#include "sim/Wire.h"

namespace korven::sim {
namespace {

using simproc::SimProcess;

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
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
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

bool startSim(SimProcess& sim, const QStringList& arguments) {
  return sim.start(QStringLiteral(KORVEN_SIM_PATH), arguments);
}

// The simulator's answer to a command line, "" when none came.
std::string ask(SimProcess& sim, const char* line, const QStringList& answers) {
  return sim.command(QString::fromLatin1(line), answers).toStdString();
}

bool printed(SimProcess& sim, const char* prefix) {
  return !sim.waitForLine({QString::fromLatin1(prefix)}).isEmpty();
}

TEST(SimServer, ABroadcastReachesEveryTerminalAUnicastOne) {
  Receiver rx;
  ASSERT_TRUE(rx.bound());
  SimProcess sim;
  ASSERT_TRUE(startSim(sim, {"--count", "3", "--reply-spacing", "0"}));
  EXPECT_TRUE(printed(sim, "READY 3 terminals 127.0.0.2-127.0.0.4"));

  rx.send(kQuery, "255.255.255.255");
  const auto replies = rx.collect(500);
  std::map<std::string, int> perTerminal;
  for (const auto& [from, text] : replies) {
    // Each replies from its own address, which is the second comma field.
    const auto c1 = text.find(',');
    const auto c2 = text.find(',', c1 + 1);
    ASSERT_NE(c2, std::string::npos) << text;
    EXPECT_EQ(text.substr(c1 + 1, c2 - c1 - 1), from);
    ++perTerminal[from];
  }
  EXPECT_EQ(perTerminal,
            (std::map<std::string, int>{{"127.0.0.2", 1}, {"127.0.0.3", 1}, {"127.0.0.4", 1}}));

  rx.send(kQuery, "127.0.0.3");
  const auto one = rx.collect(300);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one.begin()->first, "127.0.0.3");
  EXPECT_EQ(sim.stop(), 0);
}

TEST(SimServer, FaultsSwitchedOnStdinHoldFromTheNextConnection) {
  SimProcess sim;
  ASSERT_TRUE(startSim(sim, {"--count", "2"}));
  const QStringList answers{"FAULT", "ERROR"};
  int error = 0;
  const int before = connectTo("127.0.0.3", error);
  ASSERT_GE(before, 0);
  ASSERT_EQ(ask(sim, "fault 2 refuse", answers), "FAULT 127.0.0.3 refuse");
  EXPECT_EQ(connectTo("127.0.0.3", error), -1);
  EXPECT_EQ(error, ECONNREFUSED);
  ASSERT_EQ(ask(sim, "fault 2 none", answers), "FAULT 127.0.0.3 none");
  const int after = connectTo("127.0.0.3", error);
  EXPECT_GE(after, 0) << std::strerror(error);
  EXPECT_EQ(ask(sim, "fault 2 slow-accept:100", answers),
            "ERROR fault: slow-accept is set on the command line only");
  for (int fd : {before, after}) ::close(fd);
  EXPECT_EQ(sim.stop(), 0);
}

TEST(SimServer, StreamIsJudgedAndReportedAsJson) {
  SimProcess sim;
  ASSERT_TRUE(startSim(sim, {"--count", "2", "--boot", "whole", "--pace", "50"}));
  int error = 0;
  const int fd = connectTo("127.0.0.3", error);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(printed(sim, "ACCEPTED 127.0.0.3"));

  // A status byte on demand reaches the open connection.
  const QStringList answers{"STATUS", "ERROR"};
  EXPECT_EQ(ask(sim, "status 127.0.0.3 CHKERR", answers), "STATUS 127.0.0.3 CHKERR sent");
  EXPECT_EQ(readSome(fd, 2000), "\xFC");
  EXPECT_EQ(ask(sim, "status 1 NEW", answers), "ERROR status: 127.0.0.2 has no open connection");

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
  const std::string line = sim.waitForLine({"STREAM 127.0.0.3"}).toStdString();
  EXPECT_NE(line.find("bytes 89 blocks 2 FAULTY: "), std::string::npos) << line;

  // The report the simulator leaves when it quits.
  EXPECT_EQ(sim.stop(), 0);
  const QJsonArray terminals = sim.report();
  ASSERT_EQ(terminals.size(), 2) << "no report, or it does not parse";
  const QJsonObject t = terminals[1].toObject();
  EXPECT_EQ(t["address"].toString(), "127.0.0.3");
  EXPECT_EQ(t["bytes"].toInt(), 89);
  ASSERT_EQ(t["streams"].toArray().size(), 1);
  const QJsonObject s = t["streams"][0].toObject();
  EXPECT_EQ(s["blocks"].toInt(), 2);
  EXPECT_EQ(s["boot"].toString(), "whole");
  EXPECT_EQ(s["checksum"].toString(), "wrong");
  EXPECT_EQ(s["image"].toString(), "unchecked");
  EXPECT_EQ(s["verdict"].toString(), "faulty");
  EXPECT_EQ(s["closed_by"].toString(), "program");
  bool early = false;
  for (const auto& p : s["problems"].toArray())
    early = early || p.toString().startsWith("gap boot request->block 1 early");
  EXPECT_TRUE(early);
  EXPECT_EQ(s["gaps"]["block"]["expected_us"].toInteger(), 50'000);
  EXPECT_EQ(s["gaps"]["block"]["count"].toInt(), 1);
  EXPECT_TRUE(s["gaps"]["boot-byte"]["min_us"].isNull());
  EXPECT_EQ(t["status_sent"][0]["code"].toString(), "CHKERR");
}

}  // namespace
}  // namespace korven::sim

int main(int argc, char** argv) {
  // QProcess, which runs the simulator, wants an application object.
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
