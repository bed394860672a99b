#include "startup/machine_id.h"

#include "base/text.h"
#include "platform/clock.h"
#include "platform/network_adapters.h"

namespace tav {

std::string mac_id(const NetworkAdapters& adapters) {
  const std::string id = replace_all(adapters.first_ip_enabled_mac(), ":", "-");
  if (id.empty() || contains(id, "00-00-00-00-00-00") || contains(id, "00-53-45-00-00-00")) {
    return {};
  }
  return id;
}

std::string random_id(const Clock& clock, Random& random) {
  random.seed_from_clock();
  const int x = static_cast<int>(random.next() * 900) + 100;
  const LocalTime t = clock.now();
  std::string id;
  for (const int part : {t.year, t.month, t.day, t.hour, t.minute, t.second, x}) {
    id += to_text(part);
  }
  return id;
}

std::string machine_id(const NetworkAdapters& adapters, const Clock& clock, Random& random) {
  std::string id = mac_id(adapters);
  return id.empty() ? random_id(clock, random) : id;
}

}  // namespace tav
