#include "options.h"

#include <filesystem>
#include <system_error>

#include "startup/version.h"

namespace tsrv {

namespace fs = std::filesystem;

namespace {

bool parse_number(const std::string& text, long long max, long long& out) {
  if (text.empty() || text.size() > 12) return false;
  long long v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > max) return false;
  out = v;
  return true;
}

fs::path executable_dir() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : exe.parent_path();
}

}  // namespace

std::string usage_text() {
  return R"(Usage: tavori-server [options]

Serves the Tavori demo catalogue on http://HOST:PORT/box/.

  --host ADDR          address to listen on (default 127.0.0.1)
  --port N             port (default 8080; 0 picks a free port)
  --port-file PATH     write the port there once listening
  --catalogue PATH     catalogue file (default: catalogue.txt next to the program)
  --media DIR          folder of the media files (see make_media.sh)
  --log PATH           usage ping log (default tavori-pings.log)
  --verbose            print one line per request to stderr
  --wen TEXT           lib/wen.txt served exactly as given
  --wen-exit X         exit-notice switch of lib/wen.txt (default 0)
  --wen-float X        floating-ad switch (default 0)
  --wen-strip X        ad-strip switch (default 0)
  --wen-version X      newest version (default )" +
         std::string(tav::program_version()) + R"(, this build's, or the --release's)
Updates (see server/README.md):
  --release DIR        offer the release in DIR (release.txt and its archive,
                       made by tavori-release) under /box/update/
  --offer-version V    the version file names V as the newest version
  --throttle N         send the release archive at N bytes per second
Fault modes for tests:
  --delay-ms N         delay every reply by N milliseconds
  --hang PREFIX        hold requests whose path starts with PREFIX without
                       answer for up to 60 s, then close the connection
  --garbage PREFIX     answer such requests with 200 and pseudo-random bytes
  --garbage-bytes N    size of those answers (default 4194304)
  --follow LINK        the first library page served opens LINK by itself
  --help               this text
Options that take a prefix may be given more than once.
)";
}

ParseResult parse_options(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::optional<std::string> inline_value;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        inline_value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    if (arg == "--help" || arg == "-h") return ParseResult::help;
    if (arg == "--verbose") {
      o.verbose = true;
      continue;
    }
    auto value = [&](std::string& out) {
      if (inline_value) {
        out = *inline_value;
        return true;
      }
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string v;
    long long n = 0;
    if (arg == "--host") {
      if (!value(o.host)) return ParseResult::bad;
    } else if (arg == "--port") {
      if (!value(v)) return ParseResult::bad;
      if (!parse_number(v, 65535, n)) {
        error = "--port needs a number from 0 to 65535, not \"" + v + "\"";
        return ParseResult::bad;
      }
      o.port = static_cast<int>(n);
    } else if (arg == "--port-file") {
      if (!value(o.port_file)) return ParseResult::bad;
    } else if (arg == "--catalogue") {
      if (!value(o.catalogue)) return ParseResult::bad;
    } else if (arg == "--media") {
      if (!value(o.media)) return ParseResult::bad;
    } else if (arg == "--log") {
      if (!value(o.log)) return ParseResult::bad;
    } else if (arg == "--wen") {
      if (!value(v)) return ParseResult::bad;
      o.version_text = v;
    } else if (arg == "--wen-exit") {
      if (!value(o.version_fields.exit_notice)) return ParseResult::bad;
    } else if (arg == "--wen-float") {
      if (!value(o.version_fields.floating_ad)) return ParseResult::bad;
    } else if (arg == "--wen-strip") {
      if (!value(o.version_fields.ad_strip)) return ParseResult::bad;
    } else if (arg == "--wen-version" || arg == "--offer-version") {
      if (!value(o.version_fields.newest)) return ParseResult::bad;
      o.newest_given = true;
    } else if (arg == "--release") {
      if (!value(o.release)) return ParseResult::bad;
    } else if (arg == "--throttle") {
      if (!value(v)) return ParseResult::bad;
      if (!parse_number(v, 1LL << 32, n) || n == 0) {
        error = "--throttle needs a number of bytes per second, not \"" + v + "\"";
        return ParseResult::bad;
      }
      o.throttle = static_cast<std::size_t>(n);
    } else if (arg == "--delay-ms") {
      if (!value(v)) return ParseResult::bad;
      if (!parse_number(v, 600000, n)) {
        error = "--delay-ms needs a number of milliseconds up to 600000, not \"" + v + "\"";
        return ParseResult::bad;
      }
      o.delay_ms = static_cast<int>(n);
    } else if (arg == "--hang") {
      if (!value(v)) return ParseResult::bad;
      o.hang_prefixes.push_back(v);
    } else if (arg == "--garbage") {
      if (!value(v)) return ParseResult::bad;
      o.garbage_prefixes.push_back(v);
    } else if (arg == "--garbage-bytes") {
      if (!value(v)) return ParseResult::bad;
      if (!parse_number(v, 1LL << 32, n)) {
        error = "--garbage-bytes needs a number up to 4294967296, not \"" + v + "\"";
        return ParseResult::bad;
      }
      o.garbage_bytes = static_cast<std::size_t>(n);
    } else if (arg == "--follow") {
      if (!value(o.follow)) return ParseResult::bad;
    } else {
      error = "unknown option \"" + arg + "\"";
      return ParseResult::bad;
    }
    if ((arg == "--port-file" && o.port_file.empty()) || (arg == "--log" && o.log.empty()) ||
        (arg == "--catalogue" && o.catalogue.empty()) || (arg == "--media" && o.media.empty()) ||
        (arg == "--release" && o.release.empty())) {
      error = arg + " needs a path";
      return ParseResult::bad;
    }
  }
  for (const auto* list : {&o.hang_prefixes, &o.garbage_prefixes})
    for (const std::string& p : *list)
      if (p.empty() || p[0] != '/') {
        error = "a request prefix starts with \"/\", such as /box/h.asp (got \"" + p + "\")";
        return ParseResult::bad;
      }
  return ParseResult::run;
}

std::string default_catalogue_path() {
  std::error_code ec;
  const fs::path near = executable_dir() / "catalogue.txt";
  if (fs::is_regular_file(near, ec)) return near.string();
  return std::string(TAVORI_SERVER_SOURCE_DIR) + "/catalogue.txt";
}

std::string default_media_dir() {
  std::error_code ec;
  const fs::path near = executable_dir() / "media";
  if (fs::is_directory(near, ec)) return near.string();
  return std::string(TAVORI_SERVER_SOURCE_DIR) + "/media";
}

}  // namespace tsrv
