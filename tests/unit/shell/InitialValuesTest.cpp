#include <gtest/gtest.h>

#include "shell/window/ProgPrin.h"
#include "tests/testkit/TestPlatform.h"

namespace korven {
namespace {

struct Expected {
  const char* name;
  int index;
  const char* text;
  bool enabled;
  bool visible;
  const char* toolTip;
};

// The window as the operator first sees it, control by control.
const Expected kControls[] = {
    {"Label8", -1, "1-Chose the update to send (yellow box)  2-Chose IP 3-Push UPDATE button.",
     true, true, ""},
    {"Label5", -1, "USE FILE:", true, true, ""},
    {"AFF_CURDIR", -1, "", true, true, ""},
    {"MENU_NOM_FICHIER", -1, "", true, true, ""},
    {"B_UPDATE", -1, "UPDATE", true, true, "SEND THE UPDATE TO THE TERMINAL(S)"},
    {"INP_IP", -1, "", true, true, ""},
    {"AFF_STATUS0", -1, "", true, true, ""},
    {"SW_DELAY", -1, "D\xC9LAIS:", true, true, ""},
    {"INP_DEL", -1, "0", true, true, "1000 = 1 SECONDE"},
    {"SW_GO_BOOT", -1, "GO BOOT", true, true, ""},
    {"SW_ALL", -1, "All terminals", true, true, ""},
    {"Label7", 0, "From:", true, true, ""},
    {"AFF_DE", -1, "0", true, true, ""},
    {"SCROLL_XTOY", 0, "", false, true, ""},
    {"Label7", 1, "To:", true, true, ""},
    {"AFF_A", -1, "0", true, true, ""},
    {"SCROLL_XTOY", 1, "", false, true, ""},
    {"LST_ALL", -1, "", false, true, ""},
    {"LST_STATUS", -1, "", true, true, ""},
    {"B_ASK", -1, "ASK", true, true, ""},
    {"B_GO_BOOT", -1, "GO BOOT", true, true, ""},
    {"B_GO_TERM", -1, "GO TERM", true, true, ""},
    {"B_SHOW_MAC", -1, "SHOW MAC ADR", true, true, ""},
    {"B_MODE_PASSIVE", -1, "MODE PASSIVE", true, true, ""},
    {"B_MODE_ACTIVE", -1, "MODE ACTIVE", true, true, ""},
    {"AFF_ALL_NB", -1, "0", false, true, ""},
    {"LST_ALL_ERR", -1, "", true, true, ""},
    {"AFF_NO_LST", -1, "0", true, true, ""},
    {"Command7", -1, "No WDog", true, true, "Programme mais sans le WatchDog"},
    {"AFF_UPD_TITRE", -1, "UPDATE", true, false, ""},
    {"AFF_UPD_CPT", -1, "1", true, false, ""},
    {"AFF_UPD_MSG", -1, "", true, false, ""},
    {"AFF_SEND_PROC", -1, "", true, false, ""},
    {"AFF_SEND", 0, "SEND:", true, true, ""},
    {"AFF_TR_PERC", -1, "0", true, true, ""},
    {"AFF_SEND", 1, "%", true, true, ""},
    {"NOM_FICHIER", -1, "BOOT.BIN", true, false, ""},
    {"INP_PORT", -1, "1024", false, false, "PORT"},
    {"AFF_NO_ENV", -1, "", true, false, ""},
    {"CHECK", -1, "0", true, false, "Checksum status"},
    {"VERT", -1, "", true, false, ""},
    {"ROUGE", -1, "", true, false, ""},
    {"BLANC", -1, "", true, false, ""},
};

TEST(InitialValues, EveryControlStartsAsDesigned) {
  testkit::TestPlatform platform;
  ProgPrin w(platform);
  for (const Expected& e : kControls) {
    SCOPED_TRACE(std::string(e.name) + (e.index >= 0 ? std::to_string(e.index) : ""));
    Control* c = w.PROG_PRIN.find(e.name, e.index);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->text(), e.text);
    EXPECT_EQ(c->enabled(), e.enabled);
    EXPECT_EQ(c->visible(), e.visible);
    EXPECT_EQ(c->toolTip(), e.toolTip);
  }
  EXPECT_EQ(w.PROG_PRIN.controls().size(), std::size(kControls) + 2) << "Frame3 and Shape1";
  EXPECT_EQ(w.PROG_PRIN.text(), "Talvoran KORVEN IP DEVICES FIRMWARE        Ver.: 1.1W");
}

TEST(InitialValues, ColoursSwitchesTimersAndSockets) {
  testkit::TestPlatform platform;
  ProgPrin w(platform);
  EXPECT_EQ(w.VERT.backColor(), Color::rgb(0, 255, 0));
  EXPECT_EQ(w.ROUGE.backColor(), Color::rgb(255, 128, 128));
  EXPECT_EQ(w.BLANC.backColor(), Color::rgb(255, 255, 255));
  EXPECT_EQ(w.MENU_NOM_FICHIER.backColor(), Color::rgb(255, 255, 0));
  EXPECT_EQ(w.MENU_NOM_FICHIER.foreColor(), Color::rgb(255, 0, 0));
  EXPECT_EQ(w.AFF_UPD_MSG.backColor(), Color::rgb(0, 0, 255));
  EXPECT_EQ(w.PROG_PRIN.backColor(), Color::systemButtonFace());
  EXPECT_TRUE(w.MENU_NOM_FICHIER.sorted);
  EXPECT_TRUE(w.INP_IP.sorted);
  EXPECT_TRUE(w.LST_ALL.multiSelect);

  EXPECT_EQ(w.SW_GO_BOOT.value(), 1);
  EXPECT_EQ(w.SW_DELAY.value(), 0);
  EXPECT_EQ(w.SW_ALL.value(), 0);
  for (ScrollBar* bar : w.SCROLL_XTOY) {
    EXPECT_EQ(bar->min(), 0);
    EXPECT_EQ(bar->max(), 32767);
    EXPECT_EQ(bar->value(), 0);
  }

  // Timers wait for the end of start-up.
  EXPECT_EQ(w.TIM_UDP_CALL->interval(), 0);
  EXPECT_EQ(w.TIM_CON->interval(), 0);
  EXPECT_EQ(w.TIM_SEND->interval(), 0);

  EXPECT_EQ(w.UDP_RX->localPort(), 2024);
  EXPECT_EQ(w.UDP_TX->remoteHost(), "0");
  EXPECT_EQ(w.UDP_TX->remotePort(), 1024);
  ASSERT_EQ(w.TCPIP.count(), 1);
  EXPECT_EQ(w.TCPIP.element(0)->remoteHost(), "192.168.1.250");
  EXPECT_EQ(w.TCPIP.element(0)->remotePort(), 14005);
  EXPECT_EQ(w.TCPIP.element(0)->state(), 0);
}

}  // namespace
}  // namespace korven
