#include "discovery/AddressEntry.h"

namespace korven {

AddressEntry::AddressEntry(ProgPrin& window, AddressStore* store) : w_(window), store_(store) {
  w_.INP_IP.onChange.connect([this] { INP_IP_Change(); });
  w_.INP_IP.onClick.connect([this] { INP_IP_Click(); });
  w_.INP_IP.onLostFocus.connect([this] { INP_IP_LostFocus(); });
  w_.LST_ALL.onClick.connect([this] { LST_ALL_Click(); });
  w_.LST_ALL.onKeyDown.connect([this](int, int) { LST_ALL_KeyDown(); });
  w_.LST_ALL.onKeyUp.connect([this](int, int) { LST_ALL_KeyUp(); });
  w_.LST_ALL.onKeyPress.connect([](int& character) { character = 0; });  // no search by letter
  w_.LST_STATUS.onKeyDown.connect([this](int, int) { LST_STATUS_KeyDown(); });
  w_.LST_STATUS.onKeyUp.connect([this](int, int) { LST_STATUS_KeyUp(); });
  w_.LST_STATUS.onDblClick.connect([this] { LST_STATUS_DblClick(); });
  w_.AFF_STATUS0.onClick.connect([this] { AFF_STATUS0_Click(); });
  w_.AFF_STATUS0.onKeyPress.connect([this](int& character) {
    character = 0;
    w_.AFF_STATUS0.setText(kStatusUnknown);
  });
  w_.AFF_ALL_NB.onDblClick.connect([this] { AFF_ALL_NB_DblClick(); });
}

void AddressEntry::INP_IP_Change() {
  const std::string& text = w_.INP_IP.text();
  if (w_.allTerminals()) {
    w_.UDP_TX->setRemoteHost(kBroadcastAddress);
    return;
  }
  w_.UDP_TX->setRemoteHost(text);  // as typed: the UDP side takes no trimming
  TcpSocket* single = w_.TCPIP.element(0);
  single->close();
  single->setRemoteHost(trimmed(text));
  single->setRemotePort(kTerminalPort);
  w_.INP_IP.setBackColor(w_.ROUGE.backColor());
  w_.AFF_STATUS0.setText(kStatusUnknown);
}

void AddressEntry::INP_IP_LostFocus() {
  if (store_ != nullptr) store_->saveAddress();
}

void AddressEntry::LST_ALL_Click() {
  const int current = w_.LST_ALL.listIndex();
  w_.AFF_NO_LST.setText(std::to_string(current));
  w_.INP_IP.setText(w_.LST_ALL.hasLine(current) ? w_.LST_ALL.line(current) : std::string());
}

void AddressEntry::mirrorAllToStatus() {
  w_.LST_STATUS.setListIndex(w_.LST_ALL.listIndex());
}

void AddressEntry::mirrorStatusToAll() {
  const int current = w_.LST_STATUS.listIndex();
  // Surplus status lines, left by a clearing, have no terminal line to follow.
  if (current < w_.LST_ALL.count()) w_.LST_ALL.setListIndex(current);
}

void AddressEntry::AFF_STATUS0_Click() {
  w_.AFF_STATUS0.setText(kStatusUnknown);
}

void AddressEntry::LST_STATUS_DblClick() {
  w_.resetStatusList();
}

void AddressEntry::AFF_ALL_NB_DblClick() {
  w_.LST_ALL_ERR.clear();
  w_.LST_ALL.clear();
  w_.INP_IP.clear();
  LST_STATUS_DblClick();
}

}  // namespace korven
