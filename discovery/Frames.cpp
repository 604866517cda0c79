#include "discovery/Frames.h"

namespace korven::frames {

std::string query() {
  std::string frame("\xFE\xFF\x01\xFF\x01", 5);
  for (int i = 0; i < 3; ++i) frame += "0.0.0.0\r";
  frame += '\xFD';
  frame.append(6, '\0');
  return frame;
}

std::string goBoot() {
  return std::string("\x01\xFF\xFF\x41\x02\xFB\x46\x44\x03", 9);
}
std::string goTerm() {
  return std::string("\x01\xFF\xFF\x41\xFA", 5);
}
std::string modePassive() {
  return std::string("\xFE\xFF\x04", 3);
}
std::string modeActive() {
  return std::string("\xFE\xFF\x05", 3);
}
std::string showMac() {
  return std::string("\xFE\xFF\x02", 3);
}

std::optional<std::string> replyAddress(std::string_view datagram) {
  const std::size_t first = datagram.find(',');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = datagram.find(',', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  return std::string(datagram.substr(first + 1, second - first - 1));
}

}  // namespace korven::frames
