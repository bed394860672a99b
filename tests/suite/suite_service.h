// The player suite's service (QvodTerminal.exe) as the tests set it up and
// ask it, whatever else they run it with: a suite folder of its own and
// the asks of the player control. Plain C++: the nginx test takes it too.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "base/percent_encoding.h"

namespace suite_test {

// base/Qvod with a copy of the service and its settings (QvodPlayer.xml
// naming the save folder base/save and the seed source), and base/run, a
// runtime folder only the user may enter.
struct ServiceFolders {
  std::filesystem::path folder, save, runtime;

  ServiceFolders(const std::filesystem::path& base, const std::filesystem::path& service,
                 const std::string& seed_source)
      : folder(base / "Qvod"), save(base / "save"), runtime(base / "run") {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    fs::copy_file(service, folder / "QvodTerminal.exe");
    std::ofstream(folder / "QvodPlayer.xml", std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<QvodPlayer Defaultsavepath=\""
        << save.string() << "/\" Seedsource=\"" << seed_source << "\" />\n";
  }
  // Where the service keeps its lock and endpoint file.
  std::filesystem::path runtime_folder() const { return runtime / "tavori-suite"; }
  std::string environment() const { return "XDG_RUNTIME_DIR=" + runtime.string(); }
};

// The path of an ask: "/<token>/<what>", then "?a=" and the address and
// "&s=" and the seed source when given, escaped as the player control
// escapes them.
inline std::string service_ask(const std::string& token, const std::string& what,
                               const std::string& address = {}, const std::string& seed = {}) {
  std::string path = "/" + token + "/" + what;
  if (!address.empty()) path += "?a=" + tav::percent_encode(address, tav::kUrlUnreserved);
  if (!seed.empty()) path += "&s=" + tav::percent_encode(seed, tav::kUrlUnreserved);
  return path;
}

}  // namespace suite_test
