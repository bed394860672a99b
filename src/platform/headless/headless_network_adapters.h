// The machine's network adapters, as the test sets them.
#pragma once

#include <string>
#include <vector>

#include "platform/network_adapters.h"

namespace tav {

// The machine's network adapters, in the system's order.
class HeadlessAdapters final : public NetworkAdapters {
 public:
  struct Adapter {
    std::string mac;
    bool up = true;
    bool loopback = false;
    bool ipv4 = true;
  };
  // The first adapter that is up, is not the loopback and has an IPv4
  // address; the empty text when there is none.
  std::string first_ip_enabled_mac() const override;
  // One adapter, up, with IPv4; none for the empty text.
  void set_only(const std::string& mac);
  std::vector<Adapter> adapters{{"00:16:3E:5A:00:01"}};
};

}  // namespace tav
