#pragma once

#include "discovery/AddressStore.h"
#include "platform/Text.h"
#include "window/ProgPrin.h"

namespace korven {

// The address box and the two terminal lists: keeps the box's text, the UDP
// destination, the target of connection element 0 and the lists' current
// lines in step.
class AddressEntry {
 public:
  // `store`: where the address is kept when the box loses the focus; none
  // in a program without a configuration file.
  AddressEntry(ProgPrin& window, AddressStore* store);

  void INP_IP_Change();
  void INP_IP_Click() { INP_IP_Change(); }
  void INP_IP_LostFocus();
  void LST_ALL_Click();
  void LST_ALL_KeyDown() { mirrorAllToStatus(); }
  void LST_ALL_KeyUp() { mirrorAllToStatus(); }
  void LST_STATUS_KeyDown() { mirrorStatusToAll(); }
  void LST_STATUS_KeyUp() { mirrorStatusToAll(); }
  void AFF_STATUS0_Click();
  void LST_STATUS_DblClick();
  void AFF_ALL_NB_DblClick();

 private:
  void mirrorAllToStatus();
  void mirrorStatusToAll();

  ProgPrin& w_;
  AddressStore* store_;
};

}  // namespace korven
