#include "window/ProgPrin.h"

namespace korven {
namespace {

constexpr Color kWhite = Color::rgb(255, 255, 255);
constexpr Color kRed = Color::rgb(255, 0, 0);
constexpr Color kYellow = Color::rgb(255, 255, 0);
constexpr Color kBlue = Color::rgb(0, 0, 255);

void look(Control& c, Place place, double points = 8.25, bool bold = false) {
  c.place = place;
  c.font = Font{points, bold};
}

void progressLabel(Label& label, Place place, const char* caption) {
  look(label, place, 18, true);
  label.setText(caption);
  label.setBackColor(kRed);
  label.setForeColor(kYellow);
  label.alignment = Alignment::Center;
  label.border = true;
  label.setVisible(false);
}

}  // namespace

ProgPrin::ProgPrin(Platform& platform)
    : TIM_UDP_CALL(platform.createTimer()),
      TIM_CON(platform.createTimer()),
      TIM_SEND(platform.createTimer()),
      UDP_RX(platform.createUdpSocket()),
      UDP_TX(platform.createUdpSocket()),
      TCPIP([&platform] { return platform.createTcpSocket(); }) {
  PROG_PRIN.setText(kWindowCaption);
  PROG_PRIN.place = Place{2325, 2235, 7200, 5790};

  look(Label8, {15, 0, 7155, 285}, 8.25, true);
  Label8.setText("1-Chose the update to send (yellow box)  2-Chose IP 3-Push UPDATE button.");
  Label8.alignment = Alignment::Center;
  Label8.border = true;

  look(Label5, {30, 435, 900, 195}, 8.25, true);
  Label5.setText("USE FILE:");

  look(AFF_CURDIR, {915, 390, 3810, 315});
  AFF_CURDIR.border = true;
  AFF_CURDIR.alignment = Alignment::Right;

  look(MENU_NOM_FICHIER, {4740, 390, 2445, 315}, 8.25, true);
  MENU_NOM_FICHIER.setBackColor(kYellow);
  MENU_NOM_FICHIER.setForeColor(kRed);
  MENU_NOM_FICHIER.sorted = true;

  look(Frame3, {45, 690, 2835, 1320});

  look(Shape1, {45, 180, 2085, 690});
  Shape1.container = &Frame3;
  Shape1.setBackColor(kRed);
  Shape1.setForeColor(kRed);  // the border

  look(B_UPDATE, {90, 225, 1995, 600}, 18, true);
  B_UPDATE.container = &Frame3;
  B_UPDATE.setText("UPDATE");
  B_UPDATE.setToolTip("SEND THE UPDATE TO THE TERMINAL(S)");

  look(INP_IP, {45, 945, 1860, 315});
  INP_IP.container = &Frame3;
  INP_IP.sorted = true;
  INP_IP.setBackColor(kWhite);

  look(AFF_STATUS0, {1905, 945, 870, 315});
  AFF_STATUS0.container = &Frame3;
  AFF_STATUS0.setBackColor(kWhite);

  INP_PORT.container = &Frame3;
  INP_PORT.setText("1024");
  INP_PORT.setToolTip("PORT");
  INP_PORT.setEnabled(false);
  INP_PORT.setVisible(false);

  look(SW_DELAY, {5445, 1620, 1005, 270});
  SW_DELAY.setText("D\xC9LAIS:");  // texts are single bytes of the Latin-1 code page

  look(INP_DEL, {6375, 1605, 810, 315});
  INP_DEL.setText("0");
  INP_DEL.setToolTip("1000 = 1 SECONDE");
  INP_DEL.setBackColor(kWhite);

  look(SW_GO_BOOT, {5760, 1950, 1080, 225});
  SW_GO_BOOT.setText("GO BOOT");
  SW_GO_BOOT.setValue(1);

  look(SW_ALL, {4275, 2040, 1185, 255});
  SW_ALL.setText("All terminals");

  look(Label7_0, {5925, 2370, 390, 195});
  Label7_0.setText("From:");
  Label7_0.autoSize = true;
  look(AFF_DE, {6360, 2355, 600, 225});
  AFF_DE.setText("0");
  AFF_DE.border = true;
  look(SCROLL_XTOY_0, {4215, 2355, 1665, 240});
  look(Label7_1, {5925, 2610, 240, 195});
  Label7_1.setText("To:");
  Label7_1.autoSize = true;
  look(AFF_A, {6360, 2595, 600, 225});
  AFF_A.setText("0");
  AFF_A.border = true;
  look(SCROLL_XTOY_1, {4215, 2595, 1665, 240});
  for (ScrollBar* bar : SCROLL_XTOY) {
    bar->setMin(0);
    bar->setMax(32767);
    bar->setValue(0);
    bar->smallChange = 1;
    bar->largeChange = 1;
    bar->setEnabled(false);
  }

  look(LST_ALL, {45, 2025, 3255, 3435});
  LST_ALL.multiSelect = true;
  LST_ALL.setEnabled(false);
  LST_ALL.setBackColor(kWhite);
  // Drawn after LST_ALL and overlapping its right edge, as designed.
  look(LST_STATUS, {3045, 2025, 1065, 3435});
  LST_STATUS.setBackColor(kWhite);

  look(B_ASK, {4185, 3525, 1590, 300});
  B_ASK.setText("ASK");
  look(B_GO_BOOT, {4185, 3825, 1590, 300});
  B_GO_BOOT.setText("GO BOOT");
  look(B_GO_TERM, {4185, 4125, 1590, 300});
  B_GO_TERM.setText("GO TERM");
  look(B_SHOW_MAC, {4185, 4425, 1590, 315});
  B_SHOW_MAC.setText("SHOW MAC ADR");
  look(B_MODE_PASSIVE, {4185, 4755, 1590, 330});
  B_MODE_PASSIVE.setText("MODE PASSIVE");
  look(B_MODE_ACTIVE, {4185, 5085, 1590, 330});
  B_MODE_ACTIVE.setText("MODE ACTIVE");

  look(AFF_ALL_NB, {45, 5460, 600, 315});
  AFF_ALL_NB.setText("0");
  AFF_ALL_NB.border = true;
  AFF_ALL_NB.setEnabled(false);

  look(LST_ALL_ERR, {660, 5460, 2640, 315});
  LST_ALL_ERR.setBackColor(kWhite);

  look(AFF_NO_LST, {3300, 5475, 810, 285});
  AFF_NO_LST.setText("0");
  AFF_NO_LST.border = true;

  // Outside the client area: only the keyboard focus reaches it.
  look(Command7, {334995, 168330, 2400, 360});
  Command7.setText("No WDog");
  Command7.setToolTip("Programme mais sans le WatchDog");

  progressLabel(AFF_UPD_TITRE, {2895, 795, 3675, 465}, "UPDATE");
  progressLabel(AFF_UPD_CPT, {6540, 795, 645, 465}, "1");
  look(AFF_UPD_MSG, {2895, 1230, 4290, 330}, 12, true);
  AFF_UPD_MSG.setBackColor(kBlue);
  AFF_UPD_MSG.setForeColor(kWhite);
  AFF_UPD_MSG.alignment = Alignment::Center;
  AFF_UPD_MSG.border = true;
  AFF_UPD_MSG.setVisible(false);
  look(AFF_SEND_PROC, {2895, 1575, 1500, 450});
  AFF_SEND_PROC.setVisible(false);
  look(AFF_SEND_0, {30, 180, 495, 195});
  AFF_SEND_0.container = &AFF_SEND_PROC;
  AFF_SEND_0.setText("SEND:");
  AFF_SEND_0.autoSize = true;
  look(AFF_TR_PERC, {540, 120, 735, 255});
  AFF_TR_PERC.container = &AFF_SEND_PROC;
  AFF_TR_PERC.setText("0");
  AFF_TR_PERC.alignment = Alignment::Center;
  AFF_TR_PERC.border = true;
  look(AFF_SEND_1, {1320, 210, 120, 195});
  AFF_SEND_1.container = &AFF_SEND_PROC;
  AFF_SEND_1.setText("%");
  AFF_SEND_1.autoSize = true;

  NOM_FICHIER.setText("BOOT.BIN");
  CHECK.setText("0");
  CHECK.setToolTip("Checksum status");
  VERT.setBackColor(Color::rgb(0, 255, 0));
  ROUGE.setBackColor(Color::rgb(255, 128, 128));
  BLANC.setBackColor(kWhite);
  for (Control* hidden : {static_cast<Control*>(&NOM_FICHIER), static_cast<Control*>(&AFF_NO_ENV),
                          static_cast<Control*>(&CHECK), static_cast<Control*>(&VERT),
                          static_cast<Control*>(&ROUGE), static_cast<Control*>(&BLANC)}) {
    hidden->setVisible(false);
  }

  int tab = 0;
  for (Control* c : PROG_PRIN.controls()) c->tabIndex = tab++;
  nameRoles();

  UDP_RX->setRemoteHost(kBroadcastAddress);
  UDP_RX->setRemotePort(1024);
  UDP_RX->setLocalPort(2024);
  UDP_TX->setRemoteHost("0");
  UDP_TX->setRemotePort(1024);

  TCPIP.create(0);
  TCPIP.element(0)->setRemoteHost("192.168.1.250");
  TCPIP.element(0)->setRemotePort(14005);
}

void ProgPrin::nameRoles() {
  // What a screen reader calls each control whose caption does not say it.
  const std::pair<Control*, const char*> roles[] = {
      {&AFF_CURDIR, "Working folder"},
      {&MENU_NOM_FICHIER, "Image file"},
      {&Frame3, "Update"},
      {&Shape1, "Update button surround"},
      {&INP_IP, "Terminal address"},
      {&AFF_STATUS0, "Terminal status"},
      {&INP_PORT, "Update port"},
      {&INP_DEL, "Extra delay per block, milliseconds"},
      {&AFF_DE, "From"},
      {&SCROLL_XTOY_0, "First terminal of the range"},
      {&AFF_A, "To"},
      {&SCROLL_XTOY_1, "Last terminal of the range"},
      {&LST_ALL, "Terminals found"},
      {&LST_STATUS, "Status of each terminal"},
      {&AFF_ALL_NB, "Number of terminals found"},
      {&LST_ALL_ERR, "Failed sends"},
      {&AFF_NO_LST, "Current line"},
      {&AFF_UPD_CPT, "Update counter"},
      {&AFF_UPD_MSG, "Update step"},
      {&AFF_SEND_PROC, "Progress"},
      {&AFF_TR_PERC, "Percentage sent"},
      {&NOM_FICHIER, "Chosen image"},
      {&AFF_NO_ENV, "Transfer cursor"},
      {&CHECK, "Checksum"},
      {&VERT, "OK colour"},
      {&ROUGE, "Error colour"},
      {&BLANC, "Neutral colour"},
  };
  for (const auto& [control, role] : roles) control->role = role;
}

void ProgPrin::resetStatusList() {
  for (int i = 0; i < LST_STATUS.count(); ++i) LST_STATUS.setLine(i, kStatusUnknown);
}

}  // namespace korven
