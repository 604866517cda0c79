#include "discovery/Frames.h"
#include "tests/testkit/LoaderFixture.h"

namespace korven {
namespace {

using Discovery = testkit::LoaderFixture;

std::vector<std::string> linesOf(const ListBox& list) {
  std::vector<std::string> lines;
  for (int i = 0; i < list.count(); ++i) lines.push_back(list.line(i));
  return lines;
}

std::vector<const testkit::Datagram*> queriesSent(const testkit::MemoryNetwork& network) {
  std::vector<const testkit::Datagram*> queries;
  for (const auto& d : network.sent) {
    if (d.bytes == frames::query()) queries.push_back(&d);
  }
  return queries;
}

TEST_F(Discovery, NewTerminalsAreListedInOrderOfFirstReply) {
  for (const char* a : {"10.0.0.2", "10.0.0.10", "10.0.0.2", "10.0.0.10 ", "9.9.9.9"}) replyFrom(a);
  datagramFrom("10.0.0.3", "one comma, only");
  datagramFrom("10.0.0.4", "x,,y");
  datagramFrom("10.0.0.5", ",,");
  advanceMs(1);

  const std::vector<std::string> expected{"10.0.0.2", "10.0.0.10", "10.0.0.10 ", "9.9.9.9", ""};
  EXPECT_EQ(linesOf(w().LST_ALL), expected) << "a trailing blank makes another terminal";
  EXPECT_EQ(linesOf(w().LST_STATUS), std::vector<std::string>(5, "-----"));
  std::vector<std::string> sorted;
  for (int i = 0; i < w().INP_IP.itemCount(); ++i) sorted.push_back(w().INP_IP.item(i));
  EXPECT_EQ(sorted,
            (std::vector<std::string>{"", "10.0.0.10", "10.0.0.10 ", "10.0.0.2", "9.9.9.9"}));
  EXPECT_EQ(w().AFF_ALL_NB.text(), "5");
  EXPECT_EQ(w().LST_ALL.listIndex(), 4);
  EXPECT_EQ(w().AFF_NO_LST.text(), "4");
  EXPECT_EQ(w().INP_IP.text(), "") << "single mode: the last new terminal is the chosen one";

  // The reply of the last new terminal aims the connection at it at once.
  w().AFF_ALL_NB.onDblClick.raise();  // the operator clears the lists
  testkit::RecordingTerminal terminal(platform.network, "127.0.0.5");
  replyFrom("127.0.0.5");
  advanceMs(5);
  EXPECT_EQ(linesOf(w().LST_ALL), std::vector<std::string>{"127.0.0.5"}) << "cleared lists refill";
  EXPECT_EQ(w().AFF_ALL_NB.text(), "1");
  EXPECT_EQ(w().INP_IP.text(), "127.0.0.5");
  EXPECT_TRUE(green()) << "connected without waiting for the connection timer";
  EXPECT_EQ(w().UDP_TX->remoteHost(), "127.0.0.5") << "frames follow the chosen terminal";
}

TEST_F(Discovery, WithTerminalsGivenNoOtherReplyTakesTheAddressBox) {
  loader->discovery().restrictTo({"10.0.0.2"});
  op->typeAddress("10.0.0.2");
  replyFrom("10.0.0.9");  // unasked, from a terminal not given
  replyFrom("10.0.0.2");
  advanceMs(1);
  EXPECT_EQ(linesOf(w().LST_ALL), std::vector<std::string>{"10.0.0.2"});
  EXPECT_EQ(w().TCPIP.element(0)->remoteHost(), "10.0.0.2");
}

TEST_F(Discovery, RepliesDuringAnUpdateAreDroppedNotKept) {
  w().PROG_PRIN.setEnabled(false);
  replyFrom("10.0.0.7");
  advanceMs(1);
  w().PROG_PRIN.setEnabled(true);
  advanceMs(1);
  EXPECT_EQ(w().LST_ALL.count(), 0);
  replyFrom("10.0.0.8");
  advanceMs(1);
  EXPECT_EQ(linesOf(w().LST_ALL), std::vector<std::string>{"10.0.0.8"});
}

TEST_F(Discovery, OneQueryHalfASecondAfterStartThenOnlyAsk) {
  advanceMs(5000);
  auto queries = queriesSent(platform.network);
  ASSERT_EQ(queries.size(), 1U);
  EXPECT_EQ(queries[0]->at.count(), 500'000);
  EXPECT_EQ(queries[0]->toHost, "255.255.255.255");
  EXPECT_EQ(queries[0]->toPort, 1024);

  w().INP_IP.userType("127.0.0.9");
  w().B_ASK.userClick();
  queries = queriesSent(platform.network);
  ASSERT_EQ(queries.size(), 2U);
  EXPECT_EQ(queries[1]->toHost, "127.0.0.9") << "ASK asks only the chosen terminal";

  // A query that cannot go moves the sender to the next port, silently.
  const int port = w().UDP_TX->localPort();
  w().INP_IP.setText("no address");
  w().B_ASK.userClick();
  EXPECT_EQ(w().UDP_TX->localPort(), port + 1);
  EXPECT_TRUE(platform.dialogBoxes.shown.empty());
  EXPECT_EQ(queriesSent(platform.network).size(), 2U) << "no retry";
  w().INP_IP.setText("127.0.0.9");
  w().B_ASK.userClick();
  ASSERT_EQ(queriesSent(platform.network).size(), 3U);
  EXPECT_EQ(queriesSent(platform.network).back()->fromPort, port + 1);
}

TEST_F(Discovery, ARepliedDuringTheConnectionPassOfAnotherSeesItsLine) {
  // In all-terminals mode the pass run by a reply handles events, so a
  // second reply is handled inside the first one.
  allTerminals({"10.0.0.1"});
  for (int i = 0; i < 3; ++i) replyFrom("10.0.0.2");
  replyFrom("10.0.0.3");
  advanceMs(1);
  EXPECT_EQ(linesOf(w().LST_ALL), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
  EXPECT_EQ(w().LST_STATUS.count(), 3);
}

TEST_F(Discovery, TheListEndsAtTheLargestLineNumber) {
  for (int i = 0; i < kMaxTerminals - 1; ++i) {
    w().LST_ALL.addItem("x" + std::to_string(i));
    w().LST_STATUS.addItem("-----");
  }
  replyFrom("10.0.0.1");
  replyFrom("10.0.0.2");
  replyFrom("x7");
  advanceMs(1);
  EXPECT_EQ(w().LST_ALL.count(), kMaxTerminals);
  EXPECT_EQ(w().LST_ALL.line(kMaxTerminals - 1), "10.0.0.1");
  EXPECT_EQ(w().AFF_ALL_NB.text(), "32767");
  EXPECT_EQ(w().LST_STATUS.count(), kMaxTerminals);
}

}  // namespace
}  // namespace korven
