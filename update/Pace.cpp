#include "update/Pace.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace korven {

double leadingNumber(const std::string& text) {
  std::size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  const std::size_t start = i;
  auto digits = [&] {
    const std::size_t from = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) ++i;
    return i > from;
  };
  if (text[i] == '+' || text[i] == '-') ++i;
  bool any = digits();
  if (i < text.size() && text[i] == '.') {
    ++i;
    any = digits() || any;
  }
  if (!any) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    const std::size_t mark = i++;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (!digits()) i = mark;
  }
  return std::strtod(text.substr(start, i - start).c_str(), nullptr);
}

std::optional<int> blockPace(const std::string& inpDel) {
  const double pace = std::nearbyint(leadingNumber(inpDel) + 100);
  if (!(pace >= 1 && pace <= 65535)) return std::nullopt;
  return static_cast<int>(pace);
}

bool bootRequestGoesWhole(std::string imageName) {
  for (char& c : imageName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return imageName.find("WG") != std::string::npos;
}

Micros timetableLength(int blocks, int blockPaceMs, bool goBoot, bool bootRequestWhole) {
  const Micros pace(static_cast<long long>(blockPaceMs) * 1000);
  const Micros tick(1000);
  const Micros byteWait(goBoot ? 1'000'000 : 3'000'000);
  const Micros beforeFirstBlock(goBoot ? 5'000'000 : 3'000'000);
  const Micros bootRequest = bootRequestWhole ? Micros(0) : 9 * byteWait;
  const Micros tail = blocks >= 3 ? 8 * Micros(600'000) + (blocks - 2) * pace : (blocks + 6) * pace;
  // The tick after the boot request falls due during its last wait: no 1 ms more.
  return pace + 2 * tick + bootRequest + byteWait + beforeFirstBlock + tail;
}

}  // namespace korven
