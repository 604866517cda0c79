#include "shell/Loader.h"

namespace korven {

Loader::Loader(Platform& platform, bool configurationFile)
    : platform_(platform),
      configurationFile_(configurationFile),
      window_(platform),
      imageChoice_(window_, platform.files()),
      config_(window_, platform.files()),
      addressEntry_(window_, configurationFile ? &config_ : nullptr),
      connections_(window_, platform.eventLoop(), platform.clock()),
      batch_(window_, platform, connections_),
      discovery_(window_, connections_),
      modeCommands_(window_, platform.eventLoop()),
      updateStart_(window_, platform, imageChoice_, sendTable_),
      replyHandling_(window_),
      transferEngine_(window_, platform, sendTable_, connections_, replyHandling_),
      report_(window_, platform, updateStart_, connections_, transferEngine_, replyHandling_,
              discovery_) {
  window_.PROG_PRIN.setVisible(false);
  window_.PROG_PRIN.onUnload.connect([this] { PROG_PRIN_Unload(); });
}

bool Loader::PROG_PRIN_Load() {
  if (!startupSteps()) {
    platform_.dialogs().message(kStartupFailure, false);
    return false;
  }
  // The timers start once the sockets are ready, so the first query finds
  // them bound and aimed.
  window_.TIM_UDP_CALL->setInterval(kTimUdpCallInterval);
  window_.TIM_CON->setInterval(kTimConInterval);
  return true;
}

bool Loader::startupSteps() {
  window_.PROG_PRIN.setVisible(true);
  platform_.dialogs().message(kStartupNotice, true);

  // A timer the system refused would never tick: no query, no connection,
  // an update that never ends.
  for (const auto* timer : {&window_.TIM_UDP_CALL, &window_.TIM_CON, &window_.TIM_SEND}) {
    if (!(*timer)->usable()) return false;
  }

  Files& files = platform_.files();
  const std::string folder = files.currentFolder();
  if (folder.empty()) return false;
  window_.AFF_CURDIR.setText(folder + files.separator());
  if (!imageChoice_.MENU_NOM_FICHIER_GotFocus()) return false;
  if (configurationFile_ && !config_.LIT_CFG()) return false;

  if (!window_.UDP_RX->bind()) return false;
  window_.UDP_TX->setRemoteHost(kBroadcastAddress);
  return true;
}

void Loader::PROG_PRIN_Unload() {
  if (configurationFile_) config_.SAUVE_CFG();
}

}  // namespace korven
