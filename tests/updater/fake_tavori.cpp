// A stand-in for tavori in the updater's tests: it does what tavori does
// first (the recovery of an interrupted update, tav::update::recover_at_start),
// then says which version it is and stays a while.
//
// Its version is written after the end of the executable itself:
// "\nTAVORI-FAKE-VERSION <v>\n" (the tests append it to a copy). A version
// "broken" ends at once with status 3, as a program that cannot start.
// TAVORI_FAKE_SECONDS: how long it stays (default 5). TAVORI_FAKE_LOG: a
// file it appends "<version> <pid>" to.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "release/swap.h"

int main(int, char** argv) {
  tav::update::recover_at_start(argv);
  std::ifstream self("/proc/self/exe", std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(self), {}};
  const std::string mark = "\nTAVORI-FAKE-VERSION ";
  const std::size_t at = bytes.rfind(mark);
  std::string version = "unknown";
  if (at != std::string::npos) {
    version = bytes.substr(at + mark.size());
    version = version.substr(0, version.find('\n'));
  }
  std::printf("tavori %s\n", version.c_str());
  std::fflush(stdout);
  if (const char* log = std::getenv("TAVORI_FAKE_LOG")) {
    std::ofstream out(log, std::ios::app);
    out << version << " " << ::getpid() << "\n";
  }
  if (version == "broken") return 3;
  const char* seconds = std::getenv("TAVORI_FAKE_SECONDS");
  const double wait = seconds ? std::atof(seconds) : 5.0;
  std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long long>(wait * 1000)));
  return 0;
}
