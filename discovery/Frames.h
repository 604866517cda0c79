#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korven::frames {

// The discovery query: FE FF 01 FF 01, three times "0.0.0.0" CR, FD, six zeros.
std::string query();
std::string goBoot();       // 01 FF FF 41 02 FB 46 44 03
std::string goTerm();       // 01 FF FF 41 FA
std::string modePassive();  // FE FF 04
std::string modeActive();   // FE FF 05
std::string showMac();      // FE FF 02

// The address of a reply: the text strictly between its first and second
// comma. Nothing when the datagram has fewer than two commas.
std::optional<std::string> replyAddress(std::string_view datagram);

}  // namespace korven::frames
