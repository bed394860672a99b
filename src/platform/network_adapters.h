// The network adapters of the machine.
#pragma once

#include <string>

namespace tav {

class NetworkAdapters {
 public:
  virtual ~NetworkAdapters() = default;
  // Hardware address of the first adapter, in the system's order, that is
  // up, is not the loopback and has an IPv4 address,
  // as six upper-case hexadecimal pairs joined by ":" ("00:1A:2B:3C:4D:5E");
  // the empty text when there is none.
  virtual std::string first_ip_enabled_mac() const = 0;
};

}  // namespace tav
