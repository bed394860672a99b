// The machine identifier sent with the usage ping.
#pragma once

#include <string>

namespace tav {

class Clock;
class NetworkAdapters;
class Random;

// The first IP-enabled adapter's hardware address as six hexadecimal groups
// joined by "-", or the empty text when there is none or it is one of the
// rejected values.
std::string mac_id(const NetworkAdapters& adapters);
// The fallback: year, month, day, hour, minute, second without leading zeros,
// then a random number from 100 to 999.
std::string random_id(const Clock& clock, Random& random);
// mac_id, or random_id when mac_id has nothing.
std::string machine_id(const NetworkAdapters& adapters, const Clock& clock, Random& random);

}  // namespace tav
