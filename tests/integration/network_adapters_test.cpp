#include <gtest/gtest.h>

#include <regex>

#include "platform/posix/posix_network_adapters.h"
#include "startup/machine_id.h"

namespace tav {
namespace {

TEST(PosixNetworkAdapters, ReportsUpperCaseColonSeparatedHardwareAddresses) {
  PosixNetworkAdapters adapters;
  const std::string mac = adapters.first_ip_enabled_mac();
  if (mac.empty()) GTEST_SKIP() << "no IP-enabled adapter besides the loopback";
  EXPECT_TRUE(std::regex_match(mac, std::regex("([0-9A-F]{2}:){5}[0-9A-F]{2}"))) << mac;
  const std::string id = mac_id(adapters);
  EXPECT_TRUE(id.empty() || std::regex_match(id, std::regex("([0-9A-F]{2}-){5}[0-9A-F]{2}")));
}

}  // namespace
}  // namespace tav
