// Network adapters through getifaddrs.
#pragma once

#include "platform/network_adapters.h"

namespace tav {

class PosixNetworkAdapters final : public NetworkAdapters {
 public:
  std::string first_ip_enabled_mac() const override;
};

}  // namespace tav
