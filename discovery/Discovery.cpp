#include "discovery/Discovery.h"

#include "discovery/Frames.h"

namespace korven {

Discovery::Discovery(ProgPrin& window, ConnectionManager& connections)
    : w_(window), connections_(connections), known_(window.LST_ALL) {
  w_.B_ASK.onClick.connect([this] { B_ASK_Click(); });
  w_.TIM_UDP_CALL->onTimer.connect([this] { TIM_UDP_CALL_Timer(); });
  w_.UDP_RX->onDataArrival.connect([this](std::size_t) { UDP_RX_DataArrival(); });
}

void Discovery::B_ASK_Click() {
  if (w_.UDP_TX->sendData(frames::query())) return;
  // The next query tries from the next local port; nothing is shown.
  w_.UDP_TX->setLocalPort(w_.UDP_TX->localPort() + 1);
}

void Discovery::TIM_UDP_CALL_Timer() {
  B_ASK_Click();
  w_.TIM_UDP_CALL->setInterval(0);
}

void Discovery::UDP_RX_DataArrival() {
  // During an update the datagram is left to the socket, which drops it.
  if (!w_.PROG_PRIN.enabled()) return;
  const std::string datagram = w_.UDP_RX->getData();
  const auto address = frames::replyAddress(datagram);
  if (!address || (!only_.empty() && only_.count(*address) == 0)) return;
  onReply.raise(*address, datagram);
  if (known_.contains(*address)) return;
  if (w_.LST_ALL.count() >= kMaxTerminals) return;

  w_.INP_IP.addItem(*address);
  w_.LST_STATUS.addItem(kStatusUnknown);
  w_.LST_ALL.addItem(*address);
  known_.added(*address);
  // Its click handling shows the line's number and puts the address in INP_IP.
  w_.LST_ALL.setListIndex(w_.LST_ALL.count() - 1);
  w_.AFF_ALL_NB.setText(std::to_string(w_.LST_ALL.count()));
  connections_.TIM_CON_Timer();
}

void Discovery::restrictTo(const std::vector<std::string>& addresses) {
  only_ = std::unordered_set<std::string>(addresses.begin(), addresses.end());
}

}  // namespace korven
