#pragma once

#include <optional>
#include <string>

#include "discovery/AddressStore.h"
#include "platform/Files.h"
#include "window/ProgPrin.h"

namespace korven {

inline constexpr const char* kConfigFileName = "TCP_BRD.CFG";
// Only the first line counts, and no address is this long.
inline constexpr std::size_t kConfigReadLimit = std::size_t{64} * 1024;

// The first field of a configuration text: leading blanks skipped; a quoted
// field runs to the next quote; otherwise to the first comma or line end.
std::string firstField(const std::string& text);

// The one stored setting, the last address of the box, in TCP_BRD.CFG of
// the working folder.
class ConfigFile : public AddressStore {
 public:
  ConfigFile(ProgPrin& window, Files& files) : w_(window), files_(files) {}

  // Puts the saved address into INP_IP; false when the file is there but
  // cannot be read. No file, or an empty one, leaves the box empty.
  bool LIT_CFG();
  // Writes the trimmed text of INP_IP and CR LF. The new file replaces the
  // old one only once it is whole; a failure leaves the old one as it was.
  void SAUVE_CFG();
  void saveAddress() override { SAUVE_CFG(); }

 private:
  std::string path() const { return w_.AFF_CURDIR.text() + kConfigFileName; }

  ProgPrin& w_;
  Files& files_;
};

}  // namespace korven
