#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/Platform.h"
#include "platform/SocketArray.h"
#include "platform/form/Controls.h"
#include "platform/form/Form.h"

namespace korven {

inline constexpr const char* kWindowCaption =
    "Talvoran KORVEN IP DEVICES FIRMWARE        Ver.: 1.1W";
// The program's version, as the caption shows it.
inline constexpr const char* kProgramVersion = "1.1W";
// The program's name, used as the title of its message boxes.
inline constexpr const char* kProgramName = "Talvoran KORVEN IP DEVICES FIRMWARE";

inline constexpr int kTimUdpCallInterval = 500;
inline constexpr int kTimConInterval = 200;

// Every terminal listens on this port, for frames and for the update.
inline constexpr int kTerminalPort = 1024;
inline constexpr const char* kBroadcastAddress = "255.255.255.255";
// A status line or box while nothing is known of the terminal.
inline constexpr const char* kStatusUnknown = "-----";

// The main window: every control with its initial value, the timers and the
// sockets. The logic keeps its state in these controls; the subsystems
// register their handlers on them.
class ProgPrin {
 public:
  explicit ProgPrin(Platform& platform);
  ProgPrin(const ProgPrin&) = delete;
  ProgPrin& operator=(const ProgPrin&) = delete;

  // The window itself comes first so that it outlives its controls.
  Form PROG_PRIN{"PROG_PRIN"};

  Label Label8{&PROG_PRIN, "Label8"};
  Label Label5{&PROG_PRIN, "Label5"};
  Label AFF_CURDIR{&PROG_PRIN, "AFF_CURDIR"};
  ComboBox MENU_NOM_FICHIER{&PROG_PRIN, "MENU_NOM_FICHIER"};
  Frame Frame3{&PROG_PRIN, "Frame3"};
  Shape Shape1{&PROG_PRIN, "Shape1"};
  Button B_UPDATE{&PROG_PRIN, "B_UPDATE"};
  ComboBox INP_IP{&PROG_PRIN, "INP_IP"};
  TextBox AFF_STATUS0{&PROG_PRIN, "AFF_STATUS0"};
  TextBox INP_PORT{&PROG_PRIN, "INP_PORT"};
  CheckBox SW_DELAY{&PROG_PRIN, "SW_DELAY"};
  TextBox INP_DEL{&PROG_PRIN, "INP_DEL"};
  CheckBox SW_GO_BOOT{&PROG_PRIN, "SW_GO_BOOT"};
  CheckBox SW_ALL{&PROG_PRIN, "SW_ALL"};
  Label Label7_0{&PROG_PRIN, "Label7", 0};
  Label AFF_DE{&PROG_PRIN, "AFF_DE"};
  ScrollBar SCROLL_XTOY_0{&PROG_PRIN, "SCROLL_XTOY", 0};
  Label Label7_1{&PROG_PRIN, "Label7", 1};
  Label AFF_A{&PROG_PRIN, "AFF_A"};
  ScrollBar SCROLL_XTOY_1{&PROG_PRIN, "SCROLL_XTOY", 1};
  ListBox LST_ALL{&PROG_PRIN, "LST_ALL"};
  ListBox LST_STATUS{&PROG_PRIN, "LST_STATUS"};
  Button B_ASK{&PROG_PRIN, "B_ASK"};
  Button B_GO_BOOT{&PROG_PRIN, "B_GO_BOOT"};
  Button B_GO_TERM{&PROG_PRIN, "B_GO_TERM"};
  Button B_SHOW_MAC{&PROG_PRIN, "B_SHOW_MAC"};
  Button B_MODE_PASSIVE{&PROG_PRIN, "B_MODE_PASSIVE"};
  Button B_MODE_ACTIVE{&PROG_PRIN, "B_MODE_ACTIVE"};
  Label AFF_ALL_NB{&PROG_PRIN, "AFF_ALL_NB"};
  ComboBox LST_ALL_ERR{&PROG_PRIN, "LST_ALL_ERR"};
  Label AFF_NO_LST{&PROG_PRIN, "AFF_NO_LST"};
  Button Command7{&PROG_PRIN, "Command7"};

  // Progress display, shown only while an update runs.
  Label AFF_UPD_TITRE{&PROG_PRIN, "AFF_UPD_TITRE"};
  Label AFF_UPD_CPT{&PROG_PRIN, "AFF_UPD_CPT"};
  Label AFF_UPD_MSG{&PROG_PRIN, "AFF_UPD_MSG"};
  Frame AFF_SEND_PROC{&PROG_PRIN, "AFF_SEND_PROC"};
  Label AFF_SEND_0{&PROG_PRIN, "AFF_SEND", 0};
  Label AFF_TR_PERC{&PROG_PRIN, "AFF_TR_PERC"};
  Label AFF_SEND_1{&PROG_PRIN, "AFF_SEND", 1};

  // Hidden controls that hold values.
  Label NOM_FICHIER{&PROG_PRIN, "NOM_FICHIER"};
  Label AFF_NO_ENV{&PROG_PRIN, "AFF_NO_ENV"};
  Label CHECK{&PROG_PRIN, "CHECK"};
  Shape VERT{&PROG_PRIN, "VERT"};
  Shape ROUGE{&PROG_PRIN, "ROUGE"};
  Shape BLANC{&PROG_PRIN, "BLANC"};

  std::array<ScrollBar*, 2> SCROLL_XTOY{&SCROLL_XTOY_0, &SCROLL_XTOY_1};

  std::unique_ptr<Timer> TIM_UDP_CALL;
  std::unique_ptr<Timer> TIM_CON;
  std::unique_ptr<Timer> TIM_SEND;

  std::unique_ptr<UdpSocket> UDP_RX;
  std::unique_ptr<UdpSocket> UDP_TX;
  TcpSocketArray TCPIP;

  // The checks the logic makes on the window, read anew each time: the
  // controls are the state.
  // Whether all-terminals mode is on (else single-terminal mode).
  bool allTerminals() const { return SW_ALL.value() == 1; }
  // Whether the single terminal's connection is up: the address box is green.
  bool connected() const { return INP_IP.backColor() == VERT.backColor(); }
  // Whether every listed terminal's connection is up: the count is green.
  bool allConnected() const { return AFF_ALL_NB.backColor() == VERT.backColor(); }

  // Sets every line of the status list back to unknown.
  void resetStatusList();

 private:
  void nameRoles();
};

}  // namespace korven
