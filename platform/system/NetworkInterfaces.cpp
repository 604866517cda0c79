#include "platform/system/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace korven {
namespace {

std::uint32_t hostOrder(const sockaddr* address) {
  return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

}  // namespace

std::vector<NetworkInterface> ipv4Interfaces() {
  std::vector<NetworkInterface> found;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return found;
  for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
    NetworkInterface n;
    n.name = i->ifa_name;
    n.address = hostOrder(i->ifa_addr);
    n.up = (i->ifa_flags & IFF_UP) != 0;
    n.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
    if ((i->ifa_flags & IFF_BROADCAST) != 0 && i->ifa_broadaddr != nullptr &&
        i->ifa_broadaddr->sa_family == AF_INET) {
      n.broadcast = hostOrder(i->ifa_broadaddr);
    }
    found.push_back(std::move(n));
  }
  ::freeifaddrs(list);
  return found;
}

}  // namespace korven
