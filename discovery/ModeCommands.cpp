#include "discovery/ModeCommands.h"

#include "discovery/Frames.h"

namespace korven {

ModeCommands::ModeCommands(ProgPrin& window, EventLoop& events) : w_(window), events_(events) {
  w_.B_GO_BOOT.onClick.connect([this] { B_GO_BOOT_Click(); });
  w_.B_GO_TERM.onClick.connect([this] { B_GO_TERM_Click(); });
  w_.B_MODE_ACTIVE.onClick.connect([this] { B_MODE_ACTIVE_Click(); });
  w_.B_MODE_PASSIVE.onClick.connect([this] { B_MODE_PASSIVE_Click(); });
  w_.B_SHOW_MAC.onClick.connect([this] { B_SHOW_MAC_Click(); });
}

void ModeCommands::DELAIS_EVT(double seconds) {
  events_.processEventsFor(secondsToMicros(seconds));
}

void ModeCommands::frozenSecond() {
  events_.freeze(secondsToMicros(1.0));
}

bool ModeCommands::burst(Button& button, const std::string& frame) {
  button.setVisible(false);
  bool allSent = true;
  for (int i = 0; i < kFrameRepetitions; ++i) {
    events_.processEvents();
    if (!w_.UDP_TX->sendData(frame)) {
      // The operator learns that the terminal was not reached; the burst
      // goes on, the destination may become valid meanwhile.
      w_.AFF_STATUS0.setText(kSendError);
      allSent = false;
    }
    events_.processEvents();
    DELAIS_EVT(0.1);
  }
  return allSent;
}

void ModeCommands::B_GO_BOOT_Click() {
  burst(w_.B_GO_BOOT, frames::goBoot());
  w_.B_GO_BOOT.setVisible(true);
  // The terminals restart into their boot loader: every connection is gone.
  for (int i = 0; i < w_.TCPIP.count(); ++i) {
    if (TcpSocket* element = w_.TCPIP.element(i)) element->close();
  }
  for (int i = 0; i < w_.LST_ALL.count(); ++i) w_.LST_ALL.setSelected(i, false);
  w_.INP_IP.setBackColor(w_.ROUGE.backColor());
  frozenSecond();
}

void ModeCommands::B_GO_TERM_Click() {
  const bool allSent = burst(w_.B_GO_TERM, frames::goTerm());
  frozenSecond();
  // A failed burst keeps its error in sight instead of a neutral status.
  if (allSent) w_.AFF_STATUS0.setText(kStatusUnknown);
  w_.B_GO_TERM.setVisible(true);
}

void ModeCommands::B_MODE_ACTIVE_Click() {
  burst(w_.B_MODE_ACTIVE, frames::modeActive());
  w_.B_MODE_ACTIVE.setVisible(true);
}

void ModeCommands::B_MODE_PASSIVE_Click() {
  burst(w_.B_MODE_PASSIVE, frames::modePassive());
  w_.B_MODE_PASSIVE.setVisible(true);
}

void ModeCommands::B_SHOW_MAC_Click() {
  burst(w_.B_SHOW_MAC, frames::showMac());
  w_.B_SHOW_MAC.setVisible(true);
}

}  // namespace korven
