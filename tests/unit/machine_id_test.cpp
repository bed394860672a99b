#include "startup/machine_id.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/network_adapters.h"

namespace tav {
namespace {

struct FixedAdapters : NetworkAdapters {
  std::string mac;
  std::string first_ip_enabled_mac() const override { return mac; }
};

struct FixedClock : Clock {
  LocalTime time;
  LocalTime now() const override { return time; }
  long long monotonic_ms() const override { return 0; }
};

struct FixedRandom : Random {
  double value = 0;
  int seeded = 0;
  void seed_from_clock() override { ++seeded; }
  double next() override { return value; }
};

TEST(MachineId, JoinsTheAdapterAddressWithHyphens) {
  FixedAdapters adapters;
  adapters.mac = "00:1A:2B:3C:4D:5E";
  EXPECT_EQ(mac_id(adapters), "00-1A-2B-3C-4D-5E");
}

TEST(MachineId, RejectsEmptyAndPlaceholderAddresses) {
  FixedAdapters adapters;
  EXPECT_EQ(mac_id(adapters), "");
  adapters.mac = "00:00:00:00:00:00";
  EXPECT_EQ(mac_id(adapters), "");
  adapters.mac = "00:53:45:00:00:00";
  EXPECT_EQ(mac_id(adapters), "");
}

TEST(MachineId, FallsBackToTheClockAndARandomNumber) {
  FixedAdapters adapters;
  adapters.mac = "00:53:45:00:00:00";
  FixedClock clock;
  clock.time = {2011, 2, 21, 9, 5, 3};
  FixedRandom random;
  random.value = 0.4701;  // 0.4701 * 900 = 423.09 -> 523
  const std::string id = machine_id(adapters, clock, random);
  EXPECT_EQ(id, "201122195" "3" "523");
  EXPECT_EQ(id.size(), 13u);
  EXPECT_EQ(random.seeded, 1);
  random.value = 0.0;
  EXPECT_EQ(random_id(clock, random), "2011221953100");
  random.value = 0.99999;
  EXPECT_EQ(random_id(clock, random), "2011221953999");
}

TEST(MachineId, PrefersTheAdapter) {
  FixedAdapters adapters;
  adapters.mac = "AA:BB:CC:DD:EE:FF";
  FixedClock clock;
  FixedRandom random;
  EXPECT_EQ(machine_id(adapters, clock, random), "AA-BB-CC-DD-EE-FF");
  EXPECT_EQ(random.seeded, 0);
}

}  // namespace
}  // namespace tav
