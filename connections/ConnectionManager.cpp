#include "connections/ConnectionManager.h"

#include <algorithm>
#include <utility>

namespace korven {

ConnectionManager::ConnectionManager(ProgPrin& window, EventLoop& events, const Clock& clock)
    : w_(window), events_(events), clock_(clock) {
  w_.TIM_CON->onTimer.connect([this] { TIM_CON_Timer(); });
  w_.TCPIP.onConnect.connect([this](int element) { TCPIP_Connect(element); });
}

void ConnectionManager::TIM_CON_Timer() {
  if (!w_.allTerminals()) {
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
  if (w_.connected()) return;
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
  if (!w_.allTerminals()) {
    if (element == 0 && !w_.connected()) {
      w_.INP_IP.setBackColor(w_.VERT.backColor());
    }
    return;
  }
  if (!w_.LST_ALL.hasLine(element)) return;
  w_.LST_ALL.setSelected(element, true);
  w_.LST_ALL.refresh();
}

void ConnectionManager::ENV_TCP(const std::string& message, Micros pause) {
  pieceSizes_.push_back(message.size());
  onPiece.raise();
  if (w_.allTerminals()) {
    // A send slower than the one before it at the last piece holds back
    // every later terminal of the range, and their pauses keep them back:
    // over an update the fan-out spreads towards the whole pace, which
    // leaves each terminal its exact pause. Gathering it again means
    // lengthening pauses: measured with a thousand terminals, waiting the
    // spread at each fan-out's first terminal made every pause about a
    // millisecond longer and the update 1 % longer.
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
  const auto index = static_cast<std::size_t>(element);
  if (runs_.size() <= index) runs_.resize(index + 1);
  if (socket == nullptr || !socket->sendData(message)) {
    // Bytes of earlier pieces that never got through fail first: the
    // failure belongs to the piece they came from, not to this one.
    loseUndelivered(element);
    recordFailure(element);
    onHandedOver.raise(element, false);
  } else {
    const int piece = static_cast<int>(pieceSizes_.size());
    Run& run = runs_[index];
    if (run.first == 0 || piece != run.last + 1) {
      run = Run{piece, piece, socket->bytesHandedOver() - message.size()};
    } else {
      run.last = piece;
    }
    onHandedOver.raise(element, true);
    if (handedOver_.size() <= index) handedOver_.resize(index + 1, Micros::min());
    handedOver_[index] = clock_.now();
  }
  events_.processEvents();
}

void ConnectionManager::beginStream() {
  pieceSizes_.clear();
  runs_.clear();
}

void ConnectionManager::settle(int element, Micros pause) {
  const auto index = static_cast<std::size_t>(element);
  if (index < handedOver_.size() && handedOver_[index] != Micros::min()) {
    // The drain step is short: what is left goes as the peer reads, and the
    // close should follow soon after.
    constexpr Micros kStep(1000);
    const Micros until = handedOver_[index] + pause + pause;
    for (TcpSocket* s = w_.TCPIP.element(element); s != nullptr; s = w_.TCPIP.element(element)) {
      if (s->state() == tcp_state::Connected && s->bytesDelivered() == s->bytesHandedOver()) {
        if (index < runs_.size()) runs_[index] = Run{};  // all of it got through
        return;
      }
      if (s->state() != tcp_state::Connected || clock_.now() >= until) break;
      events_.processEventsFor(std::min(kStep, until - clock_.now()));
    }
  }
  loseUndelivered(element);
}

void ConnectionManager::loseUndelivered(int element) {
  const auto index = static_cast<std::size_t>(element);
  if (index >= runs_.size() || runs_[index].first == 0) return;
  const Run run = std::exchange(runs_[index], Run{});
  const TcpSocket* socket = w_.TCPIP.element(element);
  const std::uint64_t delivered = socket != nullptr ? socket->bytesDelivered() : run.before;
  std::uint64_t end = run.before;
  int lost = run.first;
  while (lost <= run.last) {
    end += pieceSizes_[static_cast<std::size_t>(lost - 1)];
    if (end > delivered) break;
    ++lost;
  }
  if (lost > run.last) return;
  recordFailure(element);
  for (int piece = lost; piece <= run.last; ++piece) onLost.raise(element, piece);
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
  if (w_.allTerminals()) {
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
