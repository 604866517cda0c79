#include "update/SendTable.h"

namespace korven {

int SendTable::lay(const std::vector<std::string>& blocks, std::uint8_t checksum) {
  TAB_ENV[0].clear();
  TAB_ENV[1].clear();
  TAB_ENV[2].assign(kBootRequest, sizeof(kBootRequest) - 1);
  int next = kFirstBlockEntry;
  for (const std::string& block : blocks) TAB_ENV[next++] = block;
  for (std::size_t i = 0; i + 1 < sizeof(kEndMarker); ++i) TAB_ENV[next++].assign(1, kEndMarker[i]);
  TAB_ENV[next++].assign(1, static_cast<char>(checksum));
  TAB_ENV[next].clear();
  NB_ENV = next;
  return NB_ENV;
}

}  // namespace korven
