#pragma once

#include "connections/Batch.h"
#include "connections/ConnectionManager.h"
#include "discovery/AddressEntry.h"
#include "discovery/Discovery.h"
#include "discovery/ModeCommands.h"
#include "image/ImageChoice.h"
#include "platform/Platform.h"
#include "shell/ConfigFile.h"
#include "update/ReplyHandling.h"
#include "update/SendTable.h"
#include "update/TransferEngine.h"
#include "update/UpdateReport.h"
#include "update/UpdateStart.h"
#include "window/ProgPrin.h"

namespace korven {

inline constexpr const char* kStartupNotice =
    "Important: Before start this Talvoran software\r\n"
    "1. With the Mervaset software, set your device: MODE PASSIVE, AUTO BOOT OFF, KeepAlive OFF, "
    "Bridge OFF \r\n"
    "2. Disconnect and reconnect the device\r\n"
    "3. IP adress back color description: Green = OK and RED = ERROR";
inline constexpr const char* kStartupFailure = "ERROR: SWITCH THE LIBRARY IN CONFIG MODE !";

// The whole program on one platform: the main window, every subsystem wired
// to its controls, start-up and shut-down.
class Loader {
 public:
  // `configurationFile`: whether the last address is read from and saved
  // into TCP_BRD.CFG (the window does; a program without one does not).
  explicit Loader(Platform& platform, bool configurationFile = true);
  Loader(const Loader&) = delete;
  Loader& operator=(const Loader&) = delete;

  ProgPrin& window() { return window_; }
  ConnectionManager& connections() { return connections_; }
  UpdateReport& report() { return report_; }
  UpdateStart& updateStart() { return updateStart_; }
  Discovery& discovery() { return discovery_; }
  const SendTable& sendTable() const { return sendTable_; }

  // The window's Load event. False when start-up failed: the failure message
  // has been shown and the program must end at once, saving nothing.
  bool PROG_PRIN_Load();
  // The window's Unload event.
  void PROG_PRIN_Unload();

 private:
  bool startupSteps();

  Platform& platform_;
  bool configurationFile_;
  ProgPrin window_;
  ImageChoice imageChoice_;
  ConfigFile config_;
  AddressEntry addressEntry_;
  ConnectionManager connections_;
  Batch batch_;
  Discovery discovery_;
  ModeCommands modeCommands_;
  SendTable sendTable_;
  UpdateStart updateStart_;
  // The replies come before the engine that shows them at the end.
  ReplyHandling replyHandling_;
  TransferEngine transferEngine_;
  UpdateReport report_;
};

}  // namespace korven
