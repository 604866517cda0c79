// Runs inside a private network namespace (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include "operator/MessageLog.h"
#include "platform/qt/QtPlatform.h"

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

TEST(QtPlatform, TheReplyPortIsHeldAlone) {
  MessageLog dialogs;
  QtPlatform platform(dialogs);
  auto mine = platform.createUdpSocket();
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

TEST(QtPlatform, DatagramsGoAndComeUnchangedOneNoticeEach) {
  QUdpSocket terminal;
  ASSERT_TRUE(terminal.bind(QHostAddress::AnyIPv4, 1024));
  MessageLog dialogs;
  QtPlatform platform(dialogs);
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

TEST(QtPlatform, TcpStatesFollowTheConnection) {
  MessageLog dialogs;
  QtPlatform platform(dialogs);
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

  // The peer closes: state 8 until the program closes its end.
  peer->disconnectFromHost();
  ASSERT_TRUE(waitFor([&] { return socket->state() == tcp_state::Closing; }));
  EXPECT_FALSE(socket->sendData("x"));
  socket->close();
  EXPECT_EQ(socket->state(), tcp_state::Closed);

  // Not an address: nothing is looked up, the attempt fails at once.
  EXPECT_FALSE(socket->connect(" 127.0.0.2", 1024));
  EXPECT_EQ(socket->state(), tcp_state::Error);
}

}  // namespace
}  // namespace korven::qt

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
