#include "sim/Terminal.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/Options.h"

namespace korven::sim {
namespace {

constexpr std::uint32_t k127_0_0_7 = (127u << 24) | 7;

Terminal terminal(Faults faults = {}, std::optional<unsigned char> status = std::nullopt) {
  TerminalConfig config;
  config.address = k127_0_0_7;
  config.faults = faults;
  config.statusOnConnect = status;
  return Terminal(config, std::make_shared<Expectations>());
}

TEST(Terminal, AnswersTheExactQueryOnly) {
  Terminal t = terminal();
  EXPECT_EQ(t.datagram(1, kQuery, true),
            std::vector<std::string>{"KORVEN,127.0.0.7,00-16-AB-00-00-07,IPT-7"});
  // One byte short, or one byte changed: not a query, and kept with its bytes.
  EXPECT_TRUE(t.datagram(2, kQuery.substr(0, 35), false).empty());
  std::string wrong = kQuery;
  wrong[6] = '1';
  EXPECT_TRUE(t.datagram(3, wrong, true).empty());
  EXPECT_EQ(t.queries(), 1);
}

TEST(Terminal, QueryFaults) {
  Faults silent;
  silent.silent = true;
  Faults twice;
  twice.answerTwice = true;
  Faults malformed;
  malformed.malformedReply = true;
  Terminal a = terminal(silent);
  Terminal b = terminal(twice);
  Terminal c = terminal(malformed);
  EXPECT_TRUE(a.datagram(1, kQuery, true).empty());
  EXPECT_EQ(a.queries(), 1);
  EXPECT_EQ(b.datagram(1, kQuery, true).size(), 2u);
  const std::vector<std::string> reply = c.datagram(1, kQuery, true);
  ASSERT_EQ(reply.size(), 1u);
  EXPECT_EQ(reply[0].find(','), std::string::npos);
}

// Refused and slow connections are seen over real sockets, in ServerTest.
TEST(Terminal, ConnectionFaultsAndStatusReplies) {
  // FULL on every new connection; CHKERR once the first block is arriving;
  // reading stops once block 1 is in, the hang-up once block 2 is.
  Faults during;
  during.statusDuring = kStatusChecksumError;
  during.stopReadingAfterBlock = 1;
  during.closeAfterBlock = 2;
  Terminal t = terminal(during, kStatusFull);
  Terminal::Actions opened;
  const Terminal::ConnId id = t.open(100, opened);
  EXPECT_EQ(opened.send, "\xFD");
  EXPECT_TRUE(t.received(id, 200, kBootRequest).send.empty());
  const Terminal::Actions first = t.received(id, 300, std::string(64, 'a'));
  EXPECT_EQ(first.send, "\xFC");
  EXPECT_FALSE(first.close);
  EXPECT_TRUE(first.stopReading);
  const Terminal::Actions second = t.received(id, 400, std::string(64, 'b'));
  EXPECT_TRUE(second.send.empty());
  EXPECT_TRUE(second.close);
  EXPECT_FALSE(second.stopReading) << "asked once";
  EXPECT_EQ(t.mode(), "boot loader");  // the boot request over TCP says so too

  const StreamRecord* s = t.closed(id, 500, true);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->closedByTerminal);
  EXPECT_EQ(s->bytes, 137u);
  EXPECT_EQ(s->verdict.blocks, 2);
  EXPECT_EQ(s->verdict.gap(GapKind::Close).count, 0);  // this side hung up
  EXPECT_TRUE(t.openConnections().empty());

  // A connection that brought nothing leaves no stream.
  Terminal::Actions again;
  const Terminal::ConnId empty = t.open(600, again);
  EXPECT_EQ(t.closed(empty, 700, false), nullptr);
  EXPECT_EQ(t.connections(), 2);
  EXPECT_EQ(t.streams().size(), 1u);
}

// A cable pulled once: the first stream is cut, the next goes through.
TEST(Terminal, ACutOnceLeavesTheNextStreamWhole) {
  Faults once;
  std::string error;
  ASSERT_TRUE(applyFault(once, "close-once-after:1", error)) << error;
  Terminal t = terminal(once);
  for (const bool cut : {true, false}) {
    Terminal::Actions opened;
    const Terminal::ConnId id = t.open(100, opened);
    t.received(id, 200, kBootRequest);
    EXPECT_EQ(t.received(id, 300, std::string(64, 'a')).close, cut);
    EXPECT_FALSE(t.received(id, 400, std::string(64, 'b')).close);
    t.closed(id, 500, cut);
  }
}

// One numbering: the terminals count from 0 in address order, as korven-cli,
// the window's lists and the reports count them.
TEST(Options, TerminalsAreNamedByAddressOrByTheirNumberFromZero) {
  std::string error;
  const auto o = parseOptions({"--count", "3", "--fault", "0:refuse", "--status", "2:FULL",
                               "--fault", "127.0.0.3:silent", "--status-after", "1:NEW"},
                              error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->terminals[0].faults.refuse);
  EXPECT_TRUE(o->terminals[1].faults.silent);
  EXPECT_EQ(o->terminals[1].statusAfterSoundStream, parseStatusCode("NEW"));
  EXPECT_EQ(o->terminals[2].statusOnConnect, parseStatusCode("FULL"));
  EXPECT_FALSE(o->terminals[2].faults.refuse || o->terminals[0].faults.silent);

  EXPECT_FALSE(parseOptions({"--count", "3", "--status", "3:NEW"}, error));
  EXPECT_EQ(error, "--status 3:NEW: no terminal 3 (there are 3, 0 to 2: 127.0.0.2 to 127.0.0.4)");
}

TEST(Options, BadArgumentsAreRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--count", "0"},
      {"--count", "12x"},
      {"--first", "10.0.0.2"},  // never off loopback
      {"--first", "127.0.0.256"},
      {"--count", "3", "--fault", "3:refuse"},
      {"--fault", "127.0.0.1:refuse"},
      {"--fault", "1:slow-accept"},
      {"--fault", "1:refuse:3"},
      {"--fault", "1:explode"},
      {"--status", "1:BUSY"},
      {"--pace", "0"},
      {"--go-boot", "maybe"},
      {"--boot", "half"},
      {"--count"},
      {"stray"},
      {"--count", "2", "--first", "127.255.255.254"},
  };
  for (const auto& args : bad) {
    std::string error;
    EXPECT_FALSE(parseOptions(args, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

}  // namespace
}  // namespace korven::sim
