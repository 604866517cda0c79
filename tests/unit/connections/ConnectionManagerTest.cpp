#include "tests/testkit/LoaderFixture.h"

namespace korven {
namespace {

using testkit::RecordingTerminal;

using ConnectionPass = testkit::LoaderFixture;

TEST_F(ConnectionPass, SingleModeConnectsClosesAndThenLeavesAMarkedElementAlone) {
  RecordingTerminal terminal(platform.network, "127.0.0.2");
  terminal.refuse = true;
  w().INP_IP.userType("127.0.0.2");
  TcpSocket& single = *w().TCPIP.element(0);

  // Refused: closed -> connecting -> error -> closed -> connecting ...
  std::vector<int> states;
  advanceMs(100);  // look between the ticks
  for (int tick = 0; tick < 4; ++tick) {
    advanceMs(200);
    states.push_back(single.state());
  }
  EXPECT_EQ(states, (std::vector<int>{tcp_state::Error, 0, tcp_state::Error, 0}));
  EXPECT_EQ(w().INP_IP.backColor(), w().ROUGE.backColor());

  terminal.refuse = false;
  ASSERT_TRUE(until([&] { return green(); }, 2000));
  EXPECT_EQ(single.state(), tcp_state::Connected);
  const int connections = terminal.connections;

  // A marked element is not watched, even once the link is gone.
  single.close();
  advanceMs(1000);
  EXPECT_TRUE(green());
  EXPECT_EQ(single.state(), 0);
  EXPECT_EQ(terminal.connections, connections);
}

TEST_F(ConnectionPass, AllTerminalsModeMarksEachLineAndColoursTheCount) {
  RecordingTerminal a(platform.network, "127.0.0.2");
  RecordingTerminal b(platform.network, "127.0.0.3");
  b.refuse = true;
  allTerminals({"127.0.0.2", "127.0.0.3"});
  advanceMs(1000);
  EXPECT_TRUE(w().LST_ALL.selected(0));
  EXPECT_FALSE(w().LST_ALL.selected(1));
  EXPECT_EQ(w().AFF_ALL_NB.backColor(), w().ROUGE.backColor());

  b.refuse = false;
  ASSERT_TRUE(until([&] { return w().AFF_ALL_NB.backColor() == w().VERT.backColor(); }, 2000));
  EXPECT_TRUE(w().LST_ALL.selected(1));
  // A line without an element is skipped without harm, and stays unmarked.
  w().LST_ALL.addItem("127.0.0.4");
  advanceMs(400);
  EXPECT_FALSE(w().LST_ALL.selected(2));
  EXPECT_EQ(w().AFF_ALL_NB.backColor(), w().ROUGE.backColor());
}

TEST_F(ConnectionPass, FailedSendsAreListedOncePerTerminalInOrderOfFirstFailure) {
  RecordingTerminal up(platform.network, "127.0.0.2");
  allTerminals({"127.0.0.2", "127.0.0.3", "127.0.0.4"});
  ASSERT_TRUE(until([&] { return w().LST_ALL.selected(0); }, 1000));
  ConnectionManager& manager = loader->connections();
  manager.ENV_TCP("x");
  manager.ENV_TCP("y");
  EXPECT_EQ(w().LST_ALL_ERR.items(),
            (std::vector<std::string>{"ERR ---> 127.0.0.3", "ERR ---> 127.0.0.4"}));
  EXPECT_EQ(w().LST_ALL_ERR.text(), "ERR ---> 127.0.0.4");
  advanceMs(10);
  EXPECT_EQ(up.received(), "xy");

  // The range limits the sends; From above To sends nothing at all.
  w().LST_ALL_ERR.clear();
  w().SCROLL_XTOY_0.setValue(2);
  w().SCROLL_XTOY_1.setValue(1);
  manager.ENV_TCP("z");
  EXPECT_EQ(w().LST_ALL_ERR.itemCount(), 0);
  w().SCROLL_XTOY_0.setValue(1);
  w().SCROLL_XTOY_1.setValue(1);
  manager.ENV_TCP("z");
  EXPECT_EQ(w().LST_ALL_ERR.items(), (std::vector<std::string>{"ERR ---> 127.0.0.3"}));
}

TEST_F(ConnectionPass, AnAddressNoTerminalHasIsNeverConnectedAndFailsItsSends) {
  // Something answers at each of them; a connect to 0.0.0.0 would reach the
  // PC itself, and the others are no single terminal's.
  const std::vector<const char*> none = {"0.0.0.0", "224.0.0.9", "240.0.0.1", "255.255.255.255"};
  std::vector<std::unique_ptr<RecordingTerminal>> answering;
  for (const char* address : none) {
    answering.push_back(std::make_unique<RecordingTerminal>(platform.network, address));
  }
  RecordingTerminal up(platform.network, "127.0.0.2");
  allTerminals({"127.0.0.2", "0.0.0.0", "224.0.0.9", "240.0.0.1", "255.255.255.255"});
  ASSERT_EQ(w().LST_ALL.count(), 5) << "listed as they came";
  advanceMs(2000);
  EXPECT_TRUE(w().LST_ALL.selected(0));
  for (int line = 1; line <= 4; ++line) EXPECT_FALSE(w().LST_ALL.selected(line)) << line;
  EXPECT_EQ(w().AFF_ALL_NB.backColor(), w().ROUGE.backColor());
  for (const auto& terminal : answering) EXPECT_EQ(terminal->connections, 0);

  loader->connections().ENV_TCP("x");
  EXPECT_EQ(w().LST_ALL_ERR.items(),
            (std::vector<std::string>{"ERR ---> 0.0.0.0", "ERR ---> 224.0.0.9",
                                      "ERR ---> 240.0.0.1", "ERR ---> 255.255.255.255"}));

  // The same in single-terminal mode, for a typed address.
  w().SW_ALL.setValue(0);
  w().INP_IP.userType("0.0.0.0");
  advanceMs(1000);
  EXPECT_EQ(w().INP_IP.backColor(), w().ROUGE.backColor());
  EXPECT_EQ(answering[0]->connections, 0);
}

TEST_F(ConnectionPass, ASingleModeFailureNamesTheAddressedTerminal) {
  w().LST_ALL.addItem("10.9.9.9");
  w().INP_IP.userType("127.0.0.5");
  loader->connections().ENV_TCP("x");
  EXPECT_EQ(w().LST_ALL_ERR.text(), "ERR ---> 127.0.0.5");
}

}  // namespace
}  // namespace korven
