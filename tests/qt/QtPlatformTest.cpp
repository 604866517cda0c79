// Runs inside a private network namespace (see CMakeLists.txt). The socket
// contract, held to by both platforms under Qt's loop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkProxyFactory>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/qt/Backend.h"
#include "platform/system/SteadyClock.h"

namespace korven::qt {
namespace {

bool waitFor(const std::function<bool()>& done, int milliseconds = 3000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return done();
}

// A second network, as a PC with an adapter to the terminals' switch has:
// the link k0 with 198.18.0.1/24 and the alias k0:1 with 198.18.1.1/24,
// its wire ending in k1, which hears what k0 sends. Made only where the
// namespace held nothing but loopback, so never on a real machine's network.
class SecondNetwork {
 public:
  SecondNetwork() {
    for (const NetworkInterface& i : ipv4Interfaces()) {
      if (!i.loopback) return;
    }
    made_ = std::system(
                "ip link add k0 type veth peer name k1 && "
                "sysctl -qw net.ipv6.conf.k0.disable_ipv6=1 net.ipv6.conf.k1.disable_ipv6=1 "
                "net.ipv4.conf.k1.accept_local=1 && "
                "ip addr add 198.18.0.1/24 brd + dev k0 && "
                "ip addr add 198.18.1.1/24 brd + dev k0 label k0:1 && "
                "ip link set k0 up && ip link set k1 up") == 0;
  }
  ~SecondNetwork() {
    if (made_) [[maybe_unused]]
      const int removed = std::system("ip link del k0");
  }
  SecondNetwork(const SecondNetwork&) = delete;
  SecondNetwork& operator=(const SecondNetwork&) = delete;
  bool made() const { return made_; }

 private:
  bool made_ = false;
};

template <std::unique_ptr<Backend> (*Make)(const Clock&)>
struct On {
  SteadyClock clock;
  std::unique_ptr<Backend> platform = Make(clock);
};

template <typename Platform>
class Sockets : public ::testing::Test {
 protected:
  Platform on;
  Backend& platform = *on.platform;
};

using Backends = ::testing::Types<On<&makeEpollBackend>, On<&makeQtBackend>>;
TYPED_TEST_SUITE(Sockets, Backends);

TYPED_TEST(Sockets, TheReplyPortIsHeldAlone) {
  auto mine = this->platform.createUdpSocket();
  ASSERT_TRUE(mine->setLocalPort(2024));
  {
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress::AnyIPv4, 2024));
    EXPECT_FALSE(mine->bind()) << "a port another program holds is not shared";
  }
  ASSERT_TRUE(mine->bind());
  QUdpSocket other;
  EXPECT_FALSE(other.bind(QHostAddress::AnyIPv4, 2024)) << "nor is the program's";
}

TYPED_TEST(Sockets, DatagramsGoAndComeUnchangedOneNoticeEach) {
  QUdpSocket terminal;
  ASSERT_TRUE(terminal.bind(QHostAddress::AnyIPv4, 1024));
  Backend& platform = this->platform;
  auto replies = platform.createUdpSocket();
  ASSERT_TRUE(replies->setLocalPort(2024));
  ASSERT_TRUE(replies->bind());
  auto sender = platform.createUdpSocket();
  sender->setRemoteHost("255.255.255.255");
  sender->setRemotePort(1024);

  const std::string query("\xFE\xFF\x01\x00 query", 11);
  ASSERT_TRUE(sender->sendData(query));
  ASSERT_TRUE(waitFor([&] { return terminal.hasPendingDatagrams(); }));
  QHostAddress from;
  quint16 fromPort = 0;
  QByteArray datagram(static_cast<int>(terminal.pendingDatagramSize()), '\0');
  terminal.readDatagram(datagram.data(), datagram.size(), &from, &fromPort);
  EXPECT_EQ(datagram.toStdString(), query);
  EXPECT_EQ(fromPort, sender->localPort());

  // One notice per datagram; one the handler leaves unread does not hold
  // back those after it.
  std::vector<std::string> read;
  int notices = 0;
  replies->onDataArrival.connect([&](std::size_t) {
    if (notices++ != 1) read.push_back(replies->getData());
  });
  for (const QByteArray& bytes :
       {QByteArray("K,10.0.0.9,a"), QByteArray("left unread"), QByteArray("\xFF,\x00,", 4)}) {
    terminal.writeDatagram(bytes, QHostAddress::LocalHost, 2024);
  }
  ASSERT_TRUE(waitFor([&] { return notices == 3; }));
  EXPECT_EQ(read, (std::vector<std::string>{"K,10.0.0.9,a", std::string("\xFF,\x00,", 4)}));

  sender->setRemoteHost("not an address");
  EXPECT_FALSE(sender->sendData(query)) << "a send that cannot go is reported";
}

TYPED_TEST(Sockets, TcpStatesFollowTheConnection) {
  Backend& platform = this->platform;
  auto socket = platform.createTcpSocket();
  int connects = 0;
  socket->onConnect.connect([&] { ++connects; });

  // Nobody listens: the refusal is remembered as state 9 until closed.
  EXPECT_TRUE(socket->connect("127.0.0.2", 1024));
  ASSERT_TRUE(waitFor([&] { return socket->state() == tcp_state::Error; }));
  EXPECT_FALSE(socket->connect()) << "only a closed socket connects";
  EXPECT_FALSE(socket->sendData("x"));
  socket->close();
  EXPECT_EQ(socket->state(), tcp_state::Closed);

  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress("127.0.0.2"), 1024));
  EXPECT_TRUE(socket->connect());
  ASSERT_TRUE(waitFor([&] { return connects == 1; }));
  EXPECT_EQ(socket->state(), tcp_state::Connected);
  ASSERT_TRUE(waitFor([&] { return server.hasPendingConnections(); }));
  QTcpSocket* peer = server.nextPendingConnection();

  ASSERT_TRUE(socket->sendData(std::string("\x01\xFB\x00\xFF", 4)));
  ASSERT_TRUE(waitFor([&] { return peer->bytesAvailable() == 4; }));
  EXPECT_EQ(peer->readAll(), QByteArray("\x01\xFB\x00\xFF", 4)) << "bytes go out unchanged";

  // What came is handled at the next event-processing point, however soon
  // after the last one.
  std::string received;
  socket->onDataArrival.connect([&](std::size_t) { received += socket->getData(); });
  platform.eventLoop().processEvents();
  peer->write("\xFE", 1);
  ASSERT_TRUE(peer->waitForBytesWritten(1000));
  std::this_thread::sleep_for(std::chrono::microseconds(200));
  platform.eventLoop().processEvents();
  EXPECT_EQ(received, "\xFE");

  // The peer closes: seen at the next point too, and state 8 until the
  // program closes its end.
  peer->disconnectFromHost();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  platform.eventLoop().processEvents();
  EXPECT_EQ(socket->state(), tcp_state::Closing);
  EXPECT_FALSE(socket->sendData("x"));
  socket->close();
  EXPECT_EQ(socket->state(), tcp_state::Closed);

  // Not an address: nothing is looked up, the attempt fails at once.
  EXPECT_FALSE(socket->connect(" 127.0.0.2", 1024));
  EXPECT_EQ(socket->state(), tcp_state::Error);
}

TYPED_TEST(Sockets, TcpSendsKeepTheirOrderPastAFullBufferAndFailWhenRefused) {
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress("127.0.0.2"), 1024));
  auto socket = this->platform.createTcpSocket();
  ASSERT_TRUE(socket->connect("127.0.0.2", 1024));
  ASSERT_TRUE(waitFor([&] { return socket->state() == tcp_state::Connected; }));
  ASSERT_TRUE(waitFor([&] { return server.hasPendingConnections(); }));
  QTcpSocket* peer = server.nextPendingConnection();

  // More than the kernel's buffers take while the peer reads nothing: the
  // first send is written in part, the rest and the next send must follow
  // in order, nothing lost.
  std::string first(16 << 20, '\0');
  for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<char>(i % 251);
  ASSERT_TRUE(socket->sendData(first));
  EXPECT_LT(socket->bytesDelivered(), socket->bytesHandedOver()) << "the peer reads nothing yet";
  // The peer reads a part, so the kernel takes more again while the rest of
  // the first send still waits in user space.
  QByteArray received;
  while (received.size() < (1 << 20) && peer->waitForReadyRead(3000)) received += peer->readAll();
  ASSERT_TRUE(socket->sendData("next"));
  ASSERT_TRUE(waitFor(
      [&] {
        received += peer->readAll();
        return received.size() >= static_cast<qsizetype>(first.size() + 4);
      },
      20000));
  EXPECT_TRUE(received.toStdString() == first + "next") << "bytes lost or out of order";
  EXPECT_TRUE(waitFor([&] { return socket->bytesDelivered() == first.size() + 4; }));

  // The peer resets the connection; before any event tells the program, a
  // send fails and the socket reads as closed by the peer.
  const linger reset{1, 0};
  ::setsockopt(static_cast<int>(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset,
               sizeof reset);
  peer->abort();
  EXPECT_FALSE(socket->sendData("x"));
  EXPECT_EQ(socket->state(), tcp_state::Closing);
}

TYPED_TEST(Sockets, TcpConnectsOnlyToATerminalsAddress) {
  SecondNetwork network;
  if (!network.made()) GTEST_SKIP() << "no second network could be made here";
  // Anything that reaches this machine on port 1024 is accepted here.
  QTcpServer server;
  ASSERT_TRUE(server.listen(QHostAddress::AnyIPv4, 1024));
  auto socket = this->platform.createTcpSocket();
  for (const char* host : {"0.0.0.0", "127.0.0.010", "224.0.0.1", "240.0.0.1", "255.255.255.255",
                           "198.18.0.255", "198.18.1.255"}) {
    EXPECT_FALSE(socket->connect(host, 1024)) << host;
    EXPECT_EQ(socket->state(), tcp_state::Error) << host;
    socket->close();
  }
  EXPECT_FALSE(waitFor([&] { return server.hasPendingConnections(); }, 300));
  EXPECT_TRUE(socket->connect("198.18.0.7", 1024)) << "a host of that network is one";
  socket->close();
  EXPECT_TRUE(socket->connect("127.0.0.10", 1024));
  EXPECT_TRUE(waitFor([&] { return server.hasPendingConnections(); }));
}

TYPED_TEST(Sockets, ABroadcastGoesOutOncePerLink) {
  SecondNetwork network;
  if (!network.made()) GTEST_SKIP() << "no second network could be made here";
  // What a terminal on k0's wire hears.
  const int terminal = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::setsockopt(terminal, SOL_SOCKET, SO_BINDTODEVICE, "k1", 3), 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(1024);
  ASSERT_EQ(::bind(terminal, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);

  // k0 and its alias, named or not, are one link.
  EXPECT_EQ(broadcastInterfaces({}).size(), 1u);
  EXPECT_EQ(broadcastInterfaces({"k0", "k0:1"}).size(), 1u);
  auto sender = this->platform.createUdpSocket();
  sender->setRemoteHost("255.255.255.255");
  sender->setRemotePort(1024);
  ASSERT_TRUE(sender->sendData("query"));
  int heard = 0;
  waitFor(
      [&] {
        char datagram[16];
        while (::recv(terminal, datagram, sizeof datagram, 0) > 0) ++heard;
        return false;
      },
      300);
  EXPECT_EQ(heard, 1);
  ::close(terminal);
}

TYPED_TEST(Sockets, BytesThePeerNeverAcknowledgedAreNotDelivered) {
  // A terminal that reads nothing, with little room: of a few KiB the
  // systems of both ends hold all, and the peer acknowledges only a part.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int little = 2048;
  const int on = 1;
  ASSERT_EQ(::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &little, sizeof little), 0);
  ASSERT_EQ(::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on), 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(1024);
  at.sin_addr.s_addr = htonl(0x7F000002u);
  ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(::listen(listener, 1), 0);
  auto socket = this->platform.createTcpSocket();
  ASSERT_TRUE(socket->connect("127.0.0.2", 1024));
  ASSERT_TRUE(waitFor([&] { return socket->state() == tcp_state::Connected; }));
  const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  ASSERT_GE(peer, 0);

  const std::string piece(80, '\x5A');
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(socket->sendData(piece));
  waitFor([] { return false; }, 300);
  EXPECT_EQ(socket->bytesHandedOver(), 8000u);
  EXPECT_LT(socket->bytesDelivered(), 8000u) << "bytes the peer never took count as delivered";

  // It reads them all: every byte got through.
  std::size_t read = 0;
  EXPECT_TRUE(waitFor([&] {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
      read += static_cast<std::size_t>(n);
    }
    return read == 8000 && socket->bytesDelivered() == 8000u;
  }));
  EXPECT_EQ(read, 8000u);
  ::close(peer);
  ::close(listener);
}

}  // namespace
}  // namespace korven::qt

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  // The terminals' side is on loopback too, never behind the desktop's proxy.
  QNetworkProxyFactory::setUseSystemConfiguration(false);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
