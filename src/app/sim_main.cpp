// tavori-sim: runs the program's logic on the headless backend from a script.
#include <fstream>
#include <iostream>
#include <string>

#include "sim/runner.h"

namespace {

void usage() {
  std::cerr << "usage: tavori-sim [--app-folder DIR] [--server BASE-URL] [--real-http] [--quiet] "
               "[SCRIPT]\n"
               "Runs SCRIPT (or standard input) on the headless backend; see docs/sim.md.\n"
               "Without --app-folder a fresh temporary folder is used and removed afterwards.\n";
}

}  // namespace

int main(int argc, char** argv) {
  tav::sim::Options options;
  options.server_base = TAVORI_SERVER_BASE;
  std::string script;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--app-folder" && i + 1 < argc) {
      options.app_folder = argv[++i];
    } else if (a == "--server" && i + 1 < argc) {
      options.server_base = argv[++i];
    } else if (a == "--real-http") {
      options.real_http = true;
    } else if (a == "--quiet") {
      options.echo = false;
    } else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else if (!a.empty() && a[0] == '-') {
      usage();
      return 2;
    } else {
      script = a;
    }
  }
  tav::sim::Runner runner(options, std::cout);
  int failures = 0;
  if (script.empty()) {
    failures = runner.run(std::cin);
  } else {
    std::ifstream in(script);
    if (!in) {
      std::cerr << "tavori-sim: cannot read " << script << "\n";
      return 2;
    }
    failures = runner.run(in);
  }
  if (failures > 0) std::cout << failures << " check(s) failed\n";
  return failures > 0 ? 1 : 0;
}
