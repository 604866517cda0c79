#include "connections/ConnectionManager.h"

namespace korven {

ConnectionManager::ConnectionManager(ProgPrin& window, EventLoop& events, const Clock& clock)
    : w_(window), events_(events), clock_(clock) {
  w_.TIM_CON->onTimer.connect([this] { TIM_CON_Timer(); });
  w_.TCPIP.onConnect.connect([this](int element) { TCPIP_Connect(element); });
}

void ConnectionManager::TIM_CON_Timer() {
  if (w_.SW_ALL.value() == 0) {
    singlePass();
  } else {
    allTerminalsPass();
  }
}

namespace {

// One step towards connected: closed -> connect, closing or error -> close.
void stepTowardsConnected(TcpSocket* socket) {
  if (socket == nullptr) return;
  const int state = socket->state();
  if (state == tcp_state::Closed) {
    socket->connect();
  } else if (state >= tcp_state::Closing) {
    socket->close();
  }
}

}  // namespace

void ConnectionManager::singlePass() {
  if (w_.INP_IP.backColor() == w_.VERT.backColor()) return;
  w_.INP_IP.setBackColor(w_.ROUGE.backColor());
  stepTowardsConnected(w_.TCPIP.element(0));
}

void ConnectionManager::allTerminalsPass() {
  bool allConnected = true;
  const int lines = w_.LST_ALL.count();
  for (int i = 0; i < lines; ++i) {
    // The mark is read when the loop reaches the line: a Connect event run
    // by an earlier step may have set it.
    if (w_.LST_ALL.selected(i)) continue;
    allConnected = false;
    stepTowardsConnected(w_.TCPIP.element(i));
    events_.processEvents();
  }
  w_.AFF_ALL_NB.setBackColor(allConnected ? w_.VERT.backColor() : w_.ROUGE.backColor());
}

void ConnectionManager::TCPIP_Connect(int element) {
  if (w_.SW_ALL.value() == 0) {
    if (element == 0 && w_.INP_IP.backColor() != w_.VERT.backColor()) {
      w_.INP_IP.setBackColor(w_.VERT.backColor());
    }
    return;
  }
  if (!w_.LST_ALL.hasLine(element)) return;
  w_.LST_ALL.setSelected(element, true);
  w_.LST_ALL.refresh();
}

void ConnectionManager::ENV_TCP(const std::string& message, Micros pause) {
  onPiece.raise();
  if (w_.SW_ALL.value() == 1) {
    const int count = w_.TCPIP.count();
    for (int i = 0; i < count; ++i) {
      // The range is read anew for every element.
      if (i >= w_.SCROLL_XTOY_0.value() && i <= w_.SCROLL_XTOY_1.value()) sendTo(i, message, pause);
    }
  } else {
    sendTo(0, message, pause);
  }
  onPieceDone.raise();
}

void ConnectionManager::sendTo(int element, const std::string& message, Micros pause) {
  events_.processEvents();
  waitForPause(element, pause);
  // The element may be gone or closed by a handler that ran just now.
  TcpSocket* socket = w_.TCPIP.element(element);
  if (socket == nullptr || !socket->sendData(message)) {
    recordFailure(element);
    onHandedOver.raise(element, false);
  } else {
    onHandedOver.raise(element, true);
    if (handedOver_.size() <= static_cast<std::size_t>(element)) {
      handedOver_.resize(static_cast<std::size_t>(element) + 1, Micros::min());
    }
    handedOver_[static_cast<std::size_t>(element)] = clock_.now();
  }
  events_.processEvents();
}

void ConnectionManager::waitForPause(int element, Micros pause) {
  if (pause <= Micros(0) || static_cast<std::size_t>(element) >= handedOver_.size()) return;
  const Micros last = handedOver_[static_cast<std::size_t>(element)];
  if (last == Micros::min()) return;
  const Micros remaining = last + pause - clock_.now();
  if (remaining > Micros(0)) events_.processEventsFor(remaining);
}

void ConnectionManager::recordFailure(int element) {
  std::string entry = kFailurePrefix;
  if (w_.SW_ALL.value() == 1) {
    if (w_.LST_ALL.hasLine(element)) entry += w_.LST_ALL.line(element);
  } else if (const TcpSocket* single = w_.TCPIP.element(0)) {
    // The terminal actually addressed, not whatever line 0 of the list holds.
    entry += single->remoteHost();
  }
  auto& failures = w_.LST_ALL_ERR;
  bool listed = false;
  for (int i = 0; i < failures.itemCount() && !listed; ++i) listed = failures.item(i) == entry;
  if (!listed) failures.addItem(entry);
  failures.setText(entry);
}

}  // namespace korven
