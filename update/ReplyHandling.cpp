#include "update/ReplyHandling.h"

namespace korven {

std::optional<std::string> statusOfReply(std::string_view reply) {
  static const std::pair<char, const char*> kRanked[] = {
      {'\xFD', "FULL"}, {'\xFC', "CHKERR"}, {'\xFE', "NEW"}, {'\xFB', "TERM"}};
  for (const auto& [byte, text] : kRanked) {
    if (reply.find(byte) != std::string_view::npos) return text;
  }
  return std::nullopt;
}

ReplyHandling::ReplyHandling(ProgPrin& window) : w_(window) {
  w_.TCPIP.onDataArrival.connect([this](int element, std::size_t) { TCPIP_DataArrival(element); });
}

void ReplyHandling::TCPIP_DataArrival(int element) {
  // During an update the bytes stay unread; the end of the update shows them.
  if (!w_.PROG_PRIN.enabled()) return;
  showReceived(element);
}

void ReplyHandling::showReceived(int element) {
  TcpSocket* socket = w_.TCPIP.element(element);
  if (socket == nullptr) return;
  const std::string bytes = socket->getData();
  if (!bytes.empty()) onReply.raise(element, bytes);
  const auto status = statusOfReply(bytes);
  if (!status) return;
  if (!w_.allTerminals()) {
    w_.AFF_STATUS0.setText(*status);
  } else if (w_.LST_STATUS.hasLine(element) && w_.LST_STATUS.line(element) != *status) {
    w_.LST_STATUS.setLine(element, *status);
  }
}

}  // namespace korven
