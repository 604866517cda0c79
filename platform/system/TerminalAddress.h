#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/EventLoop.h"
#include "platform/system/NetworkInterfaces.h"

namespace korven {

// Why `text` is not a terminal's address, or nothing when it is one. A
// terminal has a unicast IPv4 address written as a plain dotted quad; 0.x
// (the PC itself to a connect), multicast groups, class E, the limited
// broadcast and the broadcast address of any of `interfaces`' networks are
// no terminal's, whatever a discovery reply or a typed line says. The
// reason reads after "ADDRESS: ".
std::optional<std::string> terminalAddressProblem(std::string_view text,
                                                  const std::vector<NetworkInterface>& interfaces);
// The same against the PC's interfaces as they are now.
std::optional<std::string> terminalAddressProblem(std::string_view text);

// The check a connect makes, on the window thread. A connection pass may try
// a thousand terminals, inside an update's fan-out too, and listing the
// interfaces costs some 30 us each time: the list is read again only when it
// is a second old, so an adapter plugged in meanwhile counts within a second.
class TerminalAddresses {
 public:
  explicit TerminalAddresses(const Clock& clock) : clock_(clock) {}
  TerminalAddresses(const TerminalAddresses&) = delete;
  TerminalAddresses& operator=(const TerminalAddresses&) = delete;

  bool accepts(std::string_view text) const;

 private:
  const Clock& clock_;
  mutable std::vector<NetworkInterface> interfaces_;
  mutable std::optional<Micros> readAt_;
};

}  // namespace korven
