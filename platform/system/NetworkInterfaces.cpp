#include "platform/system/NetworkInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

namespace korven {
namespace {

std::uint32_t hostOrder(const sockaddr* address) {
  return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

bool broadcasts(const NetworkInterface& i) {
  return i.up && !i.loopback && i.broadcast.has_value();
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
    n.index = ::if_nametoindex(i->ifa_name);
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

std::vector<NetworkInterface> broadcastInterfaces(const std::vector<std::string>& named,
                                                  std::string* problem) {
  const std::vector<NetworkInterface> all = ipv4Interfaces();
  std::vector<NetworkInterface> chosen;
  // One link with two addresses ("eth0" and its alias "eth0:1", or a second
  // address under the same name) is one wire: a frame sent once per address
  // would reach each terminal on it twice. The first address of the link
  // is the source.
  const auto taken = [&](const NetworkInterface& link) {
    return std::any_of(chosen.begin(), chosen.end(), [&](const NetworkInterface& i) {
      return i.name == link.name || (i.index != 0 && i.index == link.index);
    });
  };
  if (named.empty()) {
    for (const NetworkInterface& i : all) {
      if (broadcasts(i) && !taken(i)) chosen.push_back(i);
    }
    return chosen;
  }
  for (const std::string& name : named) {
    const auto found = std::find_if(all.begin(), all.end(),
                                    [&](const NetworkInterface& i) { return i.name == name; });
    std::string why;
    if (found == all.end()) {
      why = name + ": no such interface with an IPv4 address";
    } else if (!found->up) {
      why = name + ": the interface is down";
    } else if (!broadcasts(*found)) {
      why = name + ": the interface cannot broadcast";
    } else if (!taken(*found)) {
      chosen.push_back(*found);
    }
    if (!why.empty() && problem != nullptr && problem->empty()) *problem = why;
  }
  return chosen;
}

}  // namespace korven
