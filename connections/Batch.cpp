#include "connections/Batch.h"

#include <charconv>

#include "platform/Text.h"

namespace korven {

namespace {

int numberIn(const std::string& text) {
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

void pointAt(TcpSocket& element, std::string host) {
  element.setRemoteHost(std::move(host));
  element.setRemotePort(kTerminalPort);
}

}  // namespace

Batch::Batch(ProgPrin& window, Platform& platform, ConnectionManager& connections)
    : w_(window), platform_(platform), connections_(connections) {
  w_.SW_ALL.onClick.connect([this] { SW_ALL_Click(); });
  for (ScrollBar* bar : w_.SCROLL_XTOY) bar->onChange.connect([this] { SCROLL_XTOY_Change(); });
}

void Batch::SW_ALL_Click() {
  if (w_.allTerminals()) {
    switchOn();
  } else {
    switchOff();
  }
}

void Batch::switchOn() {
  w_.INP_IP.setBackColor(w_.BLANC.backColor());
  w_.LST_ALL.setEnabled(true);
  w_.AFF_ALL_NB.setEnabled(true);
  w_.INP_IP.setEnabled(false);
  for (ScrollBar* bar : w_.SCROLL_XTOY) bar->setEnabled(true);

  const int elements = w_.TCPIP.count();
  for (int i = 1; i < elements; ++i) w_.TCPIP.destroy(i);
  TcpSocket& first = *w_.TCPIP.element(0);
  first.close();
  const int lines = w_.LST_ALL.count();
  pointAt(first, lines > 0 ? w_.LST_ALL.line(0) : std::string());
  if (lines > 0) w_.LST_ALL.setSelected(0, false);
  warnWhenTooManyForTheFileLimit(lines);
  for (int i = 1; i < lines; ++i) {
    w_.TCPIP.create(i);
    pointAt(*w_.TCPIP.element(i), w_.LST_ALL.line(i));
    w_.LST_ALL.setSelected(i, false);
  }
  w_.UDP_TX->setRemoteHost(kBroadcastAddress);

  const int found = numberIn(w_.AFF_ALL_NB.text());
  for (ScrollBar* bar : w_.SCROLL_XTOY) {
    bar->setMin(0);
    bar->setMax(found);
  }
  w_.SCROLL_XTOY_0.setValue(0);
  w_.SCROLL_XTOY_1.setValue(found);
  connections_.TIM_CON_Timer();
}

void Batch::switchOff() {
  w_.resetStatusList();
  w_.LST_ALL.setEnabled(false);
  w_.AFF_ALL_NB.setEnabled(false);
  for (ScrollBar* bar : w_.SCROLL_XTOY) bar->setEnabled(false);
  w_.INP_IP.setEnabled(true);
  if (w_.LST_ALL.count() > 0) w_.LST_ALL.setSelected(0, false);

  const int elements = w_.TCPIP.count();
  for (int i = 1; i < elements; ++i) {
    if (TcpSocket* element = w_.TCPIP.element(i)) element->close();
    platform_.eventLoop().processEvents();
    w_.TCPIP.destroy(i);
    if (w_.LST_ALL.hasLine(i)) w_.LST_ALL.setSelected(i, false);
  }
  TcpSocket& first = *w_.TCPIP.element(0);
  first.close();
  // Element 0 follows the address box again, not the first line of the list.
  pointAt(first, trimmed(w_.INP_IP.text()));
  w_.UDP_TX->setRemoteHost(w_.INP_IP.text());
  connections_.TIM_CON_Timer();
}

void Batch::SCROLL_XTOY_Change() {
  w_.AFF_DE.setText(std::to_string(w_.SCROLL_XTOY_0.value()));
  w_.AFF_A.setText(std::to_string(w_.SCROLL_XTOY_1.value()));
}

void Batch::warnWhenTooManyForTheFileLimit(int terminals) {
  const long limit = platform_.openFileLimit();
  if (limit < 0 || terminals + kReservedFiles <= limit) return;
  const long usable = limit > kReservedFiles ? limit - kReservedFiles : 0;
  platform_.dialogs().message("ERROR: Only " + std::to_string(usable) + " of the " +
                                  std::to_string(terminals) +
                                  " terminals can be connected (open-file limit) !",
                              false);
}

}  // namespace korven
