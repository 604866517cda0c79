#include "sim/ReceivedStream.h"

#include <cstdio>

namespace korven::sim::stream {

std::string hexByte(unsigned char b) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

std::string millis(TimeUs us) {
  char text[32];
  if (us >= 10'000 || us % 1000 == 0) {
    std::snprintf(text, sizeof text, "%lld ms", static_cast<long long>((us + 500) / 1000));
  } else {
    std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(us) / 1000.0);
  }
  return text;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

std::string numberList(const std::vector<std::size_t>& numbers) {
  std::string out;
  for (std::size_t i = 0; i < numbers.size() && i < 5; ++i) {
    if (i > 0) out += ", ";
    out += std::to_string(numbers[i]);
  }
  if (numbers.size() > 5) out += ", ...";
  return out;
}

std::string label(const Element& e) {
  switch (e.kind) {
    case Element::BootByte:
      return "boot byte " + std::to_string(e.number);
    case Element::BootWhole:
      return "boot request";
    case Element::Block:
      return "block " + std::to_string(e.number);
    case Element::Marker:
      return "marker " + std::to_string(e.number);
    case Element::Checksum:
      return "checksum";
    case Element::Close:
      break;
  }
  return "close";
}

std::string gapName(const Element& from, const Element& to) {
  const bool numbered = from.kind != Element::BootWhole && from.kind != Element::Checksum &&
                        from.kind != Element::Close;
  if (from.kind == to.kind && numbered) {
    std::string name = label(from);
    return name + "->" + std::to_string(to.number);
  }
  return label(from) + "->" + label(to);
}

}  // namespace korven::sim::stream
