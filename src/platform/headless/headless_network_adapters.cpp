#include "platform/headless/headless_network_adapters.h"

namespace tav {

std::string HeadlessAdapters::first_ip_enabled_mac() const {
  for (const Adapter& a : adapters)
    if (a.up && !a.loopback && a.ipv4) return a.mac;
  return {};
}

void HeadlessAdapters::set_only(const std::string& mac) {
  adapters.clear();
  if (!mac.empty()) adapters.push_back({mac});
}

}  // namespace tav
