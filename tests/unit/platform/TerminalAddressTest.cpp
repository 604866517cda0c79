// Which texts name a terminal, and what the technician reads when one does not.
#include "platform/system/TerminalAddress.h"

#include <gtest/gtest.h>

namespace korven {
namespace {

TEST(TerminalAddress, SaysWhyATextIsNoTerminalsAddress) {
  const auto at = [](const char* name, std::uint32_t address, std::optional<std::uint32_t> brd) {
    NetworkInterface i;
    i.name = name;
    i.index = 2;
    i.address = address;
    i.broadcast = brd;
    i.up = true;
    return i;
  };
  // A PC on two networks of one link, and loopback, which has no broadcast.
  const std::vector<NetworkInterface> pc = {at("lo", 0x7F000001u, std::nullopt),
                                            at("eth0", 0xC0A80122u, 0xC0A801FFu),
                                            at("eth0:1", 0x0A000002u, 0x0A0000FFu)};
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"192.168.1.20", nullptr},
      {"127.0.0.2", nullptr},
      {"10.0.0.254", nullptr},
      {"223.255.255.254", nullptr},
      {"127.0.0.010", "write it as 127.0.0.10: a leading zero is read as octal elsewhere"},
      {"01.2.3.4", "write it as 1.2.3.4: a leading zero is read as octal elsewhere"},
      {"000.0.0.0", "an unspecified address, not a terminal's"},
      {"0.0.0.0", "an unspecified address, not a terminal's"},
      {"0.1.2.3", "an unspecified address, not a terminal's"},
      {"224.0.0.1", "a multicast group, not a terminal's"},
      {"239.255.255.255", "a multicast group, not a terminal's"},
      {"240.0.0.1", "a reserved (class E) address, not a terminal's"},
      {"255.255.255.254", "a reserved (class E) address, not a terminal's"},
      {"255.255.255.255", "the broadcast address, not a terminal's"},
      {"192.168.1.255", "the broadcast address of the network of eth0, not a terminal's"},
      {"10.0.0.255", "the broadcast address of the network of eth0:1, not a terminal's"},
      {"", "not an IPv4 address such as 192.168.1.20"},
      {"256.1.1.1", "not an IPv4 address such as 192.168.1.20"},
      {"1.2.3", "not an IPv4 address such as 192.168.1.20"},
      {"1.2.3.4.", "not an IPv4 address such as 192.168.1.20"},
      {"1..2.3", "not an IPv4 address such as 192.168.1.20"},
      {" 1.2.3.4", "not an IPv4 address such as 192.168.1.20"},
      {"1.2.3.4 ", "not an IPv4 address such as 192.168.1.20"},
      {"0x7f.0.0.1", "not an IPv4 address such as 192.168.1.20"},
      {"1.2.3.0256", "not an IPv4 address such as 192.168.1.20"},
      {"terminal7", "not an IPv4 address such as 192.168.1.20"},
  };
  for (const auto& [text, why] : cases) {
    const std::optional<std::string> problem = terminalAddressProblem(text, pc);
    EXPECT_EQ(problem.value_or("(none)"), why ? why : "(none)") << "'" << text << "'";
  }
}

}  // namespace
}  // namespace korven
