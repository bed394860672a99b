#include "platform/posix/posix_network_adapters.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstring>
#include <string>

namespace tav {

std::string PosixNetworkAdapters::first_ip_enabled_mac() const {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return {};
  // The first adapter, in the system's order, that is up, is not the
  // loopback and has an IPv4 address.
  std::string name;
  for (const ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    if (!(a->ifa_flags & IFF_UP) || (a->ifa_flags & IFF_LOOPBACK)) continue;
    name = a->ifa_name;
    break;
  }
  std::string mac;
  for (const ifaddrs* a = list; a && !name.empty(); a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET || name != a->ifa_name) continue;
    const auto* ll = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
    if (ll->sll_halen != 6) break;
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < 6; ++i) {
      if (i) mac += ':';
      mac += kHex[ll->sll_addr[i] >> 4];
      mac += kHex[ll->sll_addr[i] & 0xF];
    }
    break;
  }
  ::freeifaddrs(list);
  return mac;
}

}  // namespace tav
