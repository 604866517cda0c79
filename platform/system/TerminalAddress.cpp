#include "platform/system/TerminalAddress.h"

#include "platform/Ipv4.h"

namespace korven {
namespace {

constexpr Micros kInterfacesFresh(1'000'000);

// "127.0.0.010" read as four decimal numbers, as the technician meant it;
// nothing when the text is no dotted quad even so.
std::optional<std::uint32_t> withLeadingZeros(std::string_view text) {
  std::uint32_t address = 0;
  std::size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.') return std::nullopt;
      ++i;
    }
    const std::size_t first = i;
    std::uint32_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
      if (value > 255) return std::nullopt;
      ++i;
    }
    if (i == first) return std::nullopt;
    address = (address << 8) | value;
  }
  if (i != text.size()) return std::nullopt;
  return address;
}

}  // namespace

std::optional<std::string> terminalAddressProblem(std::string_view text,
                                                  const std::vector<NetworkInterface>& interfaces) {
  const auto address = parseIpv4(text);
  if (!address) {
    if (const auto meant = withLeadingZeros(text)) {
      // Written plainly it may still be no terminal's: say that instead.
      const std::string plain = dottedIpv4(*meant);
      if (auto problem = terminalAddressProblem(plain, interfaces)) return problem;
      return "write it as " + plain + ": a leading zero is read as octal elsewhere";
    }
    return "not an IPv4 address such as 192.168.1.20";
  }
  switch (ipv4Kind(*address)) {
    case Ipv4Kind::Unspecified:
      return "an unspecified address, not a terminal's";
    case Ipv4Kind::Multicast:
      return "a multicast group, not a terminal's";
    case Ipv4Kind::Reserved:
      return "a reserved (class E) address, not a terminal's";
    case Ipv4Kind::Broadcast:
      return "the broadcast address, not a terminal's";
    case Ipv4Kind::Unicast:
      break;
  }
  for (const NetworkInterface& i : interfaces) {
    if (i.broadcast && *i.broadcast == *address) {
      return "the broadcast address of the network of " + i.name + ", not a terminal's";
    }
  }
  return std::nullopt;
}

std::optional<std::string> terminalAddressProblem(std::string_view text) {
  return terminalAddressProblem(text, ipv4Interfaces());
}

bool TerminalAddresses::accepts(std::string_view text) const {
  const auto address = parseIpv4(text);
  if (!address || ipv4Kind(*address) != Ipv4Kind::Unicast) return false;
  const Micros now = clock_.now();
  if (!readAt_ || now - *readAt_ >= kInterfacesFresh) {
    interfaces_ = ipv4Interfaces();
    readAt_ = now;
  }
  for (const NetworkInterface& i : interfaces_) {
    if (i.broadcast == *address) return false;
  }
  return true;
}

}  // namespace korven
