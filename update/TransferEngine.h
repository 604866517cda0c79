#pragma once

#include "connections/ConnectionManager.h"
#include "platform/Platform.h"
#include "update/ReplyHandling.h"
#include "update/SendTable.h"
#include "window/ProgPrin.h"

namespace korven {

inline constexpr const char* kStepBoot = "GO TO THE BOOT";
inline constexpr const char* kStepProgram = "PROGRAM THE QVL";
inline constexpr int kTailPace = 600;

// Sends the send table one entry per tick of TIM_SEND, on the timetable,
// with the progress display; at the end entry it shows the replies left
// unread, closes every connection and gives the window back.
class TransferEngine {
 public:
  // At the end `replies` reads and shows what each element received and
  // left unread.
  TransferEngine(ProgPrin& window, Platform& platform, const SendTable& table,
                 ConnectionManager& connections, ReplyHandling& replies);

  void TIM_SEND_Timer();
  void AFF_MSG_UPD(const std::string& text);
  void AFF_PROC_UPD(bool visible);
  // Freezes the window for `seconds` (3 s while the boot step shows and
  // GO BOOT is unchecked).
  void DELAIS(double seconds);
  void SW_DELAY_Click();

  // The update has ended: every connection closed, the window back.
  Event<> onFinished;

 private:
  void sendBootRequestByteByByte(const std::string& request);
  void finish(Micros pause);

  ProgPrin& w_;
  Platform& platform_;
  const SendTable& table_;
  ConnectionManager& connections_;
  ReplyHandling& replies_;
};

}  // namespace korven
