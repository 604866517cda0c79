#include <gtest/gtest.h>

#include "discovery/AddressEntry.h"
#include "tests/testkit/TestPlatform.h"

namespace korven {
namespace {

class AddressEntryTest : public ::testing::Test {
 protected:
  void listTerminals(std::initializer_list<const char*> addresses) {
    for (const char* a : addresses) {
      w.INP_IP.addItem(a);
      w.LST_STATUS.addItem("-----");
      w.LST_ALL.addItem(a);
    }
  }
  // An arrow key as the toolkit delivers it: key down, the list moves, key up.
  static void arrow(ListBox& list, int delta) {
    list.userKeyDown(delta > 0 ? keys::Down : keys::Up);
    list.userSetListIndex(list.listIndex() + delta);
    list.userKeyUp(delta > 0 ? keys::Down : keys::Up);
  }
  TcpSocket& single() { return *w.TCPIP.element(0); }

  testkit::TestPlatform p;
  ProgPrin w{p};
  AddressEntry entry{w, nullptr};
};

TEST_F(AddressEntryTest, EveryTypedCharacterRepointsUdpAndElementZero) {
  w.INP_IP.setBackColor(w.VERT.backColor());
  w.AFF_STATUS0.setText("FULL");
  std::vector<std::string> hosts;
  w.INP_IP.onChange.connect([&] { hosts.push_back(single().remoteHost()); });
  w.INP_IP.userType(" 10.0.0.5 ");

  EXPECT_EQ(hosts, (std::vector<std::string>{"", "1", "10", "10.", "10.0", "10.0.", "10.0.0",
                                             "10.0.0.", "10.0.0.5", "10.0.0.5"}));
  EXPECT_EQ(w.UDP_TX->remoteHost(), " 10.0.0.5 ") << "the UDP side is not trimmed";
  EXPECT_EQ(single().remoteHost(), "10.0.0.5");
  EXPECT_EQ(single().remotePort(), 1024);
  EXPECT_EQ(w.INP_IP.backColor(), w.ROUGE.backColor());
  EXPECT_EQ(w.AFF_STATUS0.text(), "-----");
}

TEST_F(AddressEntryTest, ChangeInAllTerminalsModeOnlyAimsTheBroadcast) {
  single().setRemoteHost("10.0.0.9");
  w.INP_IP.setBackColor(w.BLANC.backColor());
  w.SW_ALL.setValue(1);
  w.INP_IP.setText("10.0.0.5");
  EXPECT_EQ(w.UDP_TX->remoteHost(), "255.255.255.255");
  EXPECT_EQ(single().remoteHost(), "10.0.0.9");
  EXPECT_EQ(w.INP_IP.backColor(), w.BLANC.backColor());
}

TEST_F(AddressEntryTest, PickingFromTheBoxOrTheListChoosesTheTerminal) {
  listTerminals({"10.0.0.1", "10.0.0.2", "10.0.0.3"});
  w.INP_IP.userPick(1);
  EXPECT_EQ(single().remoteHost(), "10.0.0.2");

  w.LST_ALL.setListIndex(2);
  EXPECT_EQ(w.AFF_NO_LST.text(), "2");
  EXPECT_EQ(w.INP_IP.text(), "10.0.0.3");
  EXPECT_EQ(single().remoteHost(), "10.0.0.3");
}

TEST_F(AddressEntryTest, ArrowKeysKeepBothListsOnOneLine) {
  listTerminals({"10.0.0.1", "10.0.0.2", "10.0.0.3"});
  w.LST_STATUS.setListIndex(0);
  arrow(w.LST_STATUS, +1);
  EXPECT_EQ(w.LST_ALL.listIndex(), 1);
  EXPECT_EQ(w.AFF_NO_LST.text(), "1");
  EXPECT_EQ(w.INP_IP.text(), "10.0.0.2") << "the line's terminal is chosen in single mode";

  w.SW_ALL.setValue(1);
  w.LST_ALL.setEnabled(true);
  arrow(w.LST_ALL, +1);
  EXPECT_EQ(w.LST_STATUS.listIndex(), 2);
  w.LST_ALL.userKeyPress('a');
  EXPECT_EQ(w.LST_ALL.listIndex(), 2);

  // After a clearing the status list keeps its lines; beyond the terminals
  // the current terminal line stays where it is.
  entry.AFF_ALL_NB_DblClick();
  listTerminals({"10.0.0.7"});
  w.LST_ALL.setListIndex(0);
  w.LST_STATUS.setListIndex(2);
  arrow(w.LST_STATUS, +1);
  EXPECT_EQ(w.LST_STATUS.listIndex(), 3);
  EXPECT_EQ(w.LST_ALL.listIndex(), 0);
}

TEST_F(AddressEntryTest, ClearingActionsAndTheStatusBox) {
  listTerminals({"10.0.0.1", "10.0.0.2"});
  w.LST_STATUS.setLine(0, "FULL");
  w.LST_STATUS.setLine(1, "TERM");
  w.LST_ALL_ERR.addItem("ERR ---> 10.0.0.1");
  w.LST_ALL_ERR.setText("ERR ---> 10.0.0.1");
  w.AFF_ALL_NB.setText("2");
  w.AFF_ALL_NB.setEnabled(true);
  w.AFF_ALL_NB.userDblClick();
  EXPECT_EQ(w.LST_ALL.count(), 0);
  EXPECT_EQ(w.INP_IP.itemCount(), 0);
  EXPECT_EQ(w.LST_ALL_ERR.itemCount(), 0);
  EXPECT_EQ(w.LST_STATUS.count(), 2);
  EXPECT_EQ(w.LST_STATUS.line(1), "-----");
  EXPECT_EQ(w.AFF_ALL_NB.text(), "2") << "the count stays until the next terminal";

  w.AFF_STATUS0.setText("CHKERR");
  w.AFF_STATUS0.userClick();
  EXPECT_EQ(w.AFF_STATUS0.text(), "-----");
}

}  // namespace
}  // namespace korven
