#include "update/TransferEngine.h"

#include "update/Pace.h"

namespace korven {

TransferEngine::TransferEngine(ProgPrin& window, Platform& platform, const SendTable& table,
                               ConnectionManager& connections, ReplyHandling& replies)
    : w_(window), platform_(platform), table_(table), connections_(connections), replies_(replies) {
  w_.TIM_SEND->onTimer.connect([this] { TIM_SEND_Timer(); });
  w_.SW_DELAY.onClick.connect([this] { SW_DELAY_Click(); });
}

void TransferEngine::TIM_SEND_Timer() {
  const int i = static_cast<int>(leadingNumber(w_.AFF_NO_ENV.text()));
  if (i < 0 || i >= kSendTableSize) return;
  const int end = table_.NB_ENV;
  const std::string& entry = table_.TAB_ENV[static_cast<std::size_t>(i)];
  Timer& timer = *w_.TIM_SEND;

  // The step action comes first: the wait before the first block comes
  // before that block is sent, and a new interval counts from the next tick.
  // The interval that led to this tick is the pause each terminal is owed
  // since its previous piece.
  const Micros pause(static_cast<long long>(timer.interval()) * 1000);
  if (i == 0) {
    connections_.beginStream();
    AFF_PROC_UPD(true);
    timer.setInterval(1);
    AFF_MSG_UPD(kStepBoot);
  } else if (i == 2) {
    // the boot request: nothing before it is sent
  } else if (i == kFirstBlockEntry) {
    DELAIS(5);
    AFF_MSG_UPD(kStepProgram);
    timer.setInterval(blockPace(w_.INP_DEL.text()).value_or(100));
  } else if (i == end - 8) {
    timer.setInterval(kTailPace);
  }

  w_.AFF_TR_PERC.setText(std::to_string(end > 0 ? i * 100 / end : 100));

  if (i < 2) {
    w_.AFF_NO_ENV.setText(std::to_string(i + 1));
  } else if (!entry.empty()) {
    if (i == 2 && !bootRequestGoesWhole(w_.MENU_NOM_FICHIER.text())) {
      sendBootRequestByteByByte(entry);
    } else {
      connections_.ENV_TCP(entry, i > kFirstBlockEntry ? pause : Micros(0));
    }
    w_.AFF_NO_ENV.setText(std::to_string(i + 1));
    if (i == 2) DELAIS(1);
  } else {
    finish(pause);
  }
}

void TransferEngine::sendBootRequestByteByByte(const std::string& request) {
  EventLoop& events = platform_.eventLoop();
  for (char byte : request) {
    connections_.ENV_TCP(std::string(1, byte));
    events.processEvents();
    DELAIS(1);
    events.processEvents();
  }
}

void TransferEngine::finish(Micros pause) {
  EventLoop& events = platform_.eventLoop();
  const int count = w_.TCPIP.count();
  events.processEvents();
  for (int k = 0; k < count; ++k) {
    // The close, too, comes no sooner than the pause after the last piece;
    // what the connection still holds gets one pause more, and whatever has
    // not got through then is lost, not reported sent.
    connections_.waitForPause(k, pause);
    connections_.settle(k, pause);
    // A terminal's reply during the update (a checksum error, a full memory)
    // waits unread; closing would discard it and the update would look fine.
    replies_.showReceived(k);
    if (TcpSocket* socket = w_.TCPIP.element(k)) socket->close();
    events.processEvents();
  }
  AFF_PROC_UPD(false);
  w_.TIM_SEND->setInterval(0);
  w_.PROG_PRIN.setEnabled(true);
  w_.PROG_PRIN.setBackColor(Color::systemButtonFace());
  onFinished.raise();
}

void TransferEngine::AFF_MSG_UPD(const std::string& text) {
  w_.AFF_UPD_MSG.setText(text);
  // Shown before a frozen wait begins, which repaints nothing.
  w_.AFF_UPD_MSG.refresh();
}

void TransferEngine::AFF_PROC_UPD(bool visible) {
  w_.AFF_UPD_MSG.setVisible(visible);
  w_.AFF_UPD_CPT.setVisible(visible);
  w_.AFF_UPD_TITRE.setVisible(visible);
  w_.AFF_SEND_PROC.setVisible(visible);
}

void TransferEngine::DELAIS(double seconds) {
  if (w_.AFF_UPD_MSG.text() == kStepBoot && w_.SW_GO_BOOT.value() == 0) seconds = 3;
  // A frozen wait on the monotonic clock: it sleeps rather than spins, and
  // neither midnight nor a change of the wall clock can shorten it.
  platform_.eventLoop().freeze(secondsToMicros(seconds));
}

void TransferEngine::SW_DELAY_Click() {
  w_.INP_DEL.setText(w_.SW_DELAY.value() == 1 ? "200" : "0");
}

}  // namespace korven
