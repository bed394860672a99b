#include "options.h"

#include <cctype>
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

// "http(s)://" and a host (a name, an IPv4 address or a bracketed IPv6
// one) with an optional port; a final "/" is dropped. Nothing else: the
// origin is put in front of "/media/..." as it is.
std::optional<std::string> origin_of(std::string text) {
  if (!text.empty() && text.back() == '/') text.pop_back();
  std::size_t at = 0;
  if (text.rfind("http://", 0) == 0) at = 7;
  else if (text.rfind("https://", 0) == 0) at = 8;
  else return std::nullopt;
  std::size_t host_end = at;
  if (at < text.size() && text[at] == '[') {
    host_end = text.find(']', at);
    if (host_end == std::string::npos || host_end == at + 1) return std::nullopt;
    for (std::size_t i = at + 1; i < host_end; ++i)
      if (!std::isxdigit(static_cast<unsigned char>(text[i])) && text[i] != ':' && text[i] != '.')
        return std::nullopt;
    ++host_end;
  } else {
    while (host_end < text.size() && (std::isalnum(static_cast<unsigned char>(text[host_end])) ||
                                      text[host_end] == '.' || text[host_end] == '-'))
      ++host_end;
    if (host_end == at) return std::nullopt;
  }
  if (host_end == text.size()) return text;
  if (text[host_end] != ':' || host_end + 1 == text.size() || text.size() - host_end > 6)
    return std::nullopt;
  long long port = 0;
  if (!parse_number(text.substr(host_end + 1), 65535, port) || port == 0) return std::nullopt;
  return text;
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
Static site (see server/README.md):
  --export DIR         write the whole site into DIR as static files for a
                       web server (packaging/nginx/tavori.conf), then exit
  --origin URL         where the export is served, http(s)://HOST[:PORT]:
                       its episode replies name their web films there
                       (default http://HOST:PORT of the options above)
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
    } else if (arg == "--export") {
      if (!value(o.export_dir)) return ParseResult::bad;
    } else if (arg == "--origin") {
      if (!value(v)) return ParseResult::bad;
      const std::optional<std::string> origin = origin_of(v);
      if (!origin) {
        error = "--origin needs an address such as http://vod.example.org or http://127.0.0.1:8081, not \"" + v + "\"";
        return ParseResult::bad;
      }
      o.origin = *origin;
    } else {
      error = "unknown option \"" + arg + "\"";
      return ParseResult::bad;
    }
    if ((arg == "--port-file" && o.port_file.empty()) || (arg == "--log" && o.log.empty()) ||
        (arg == "--catalogue" && o.catalogue.empty()) || (arg == "--media" && o.media.empty()) ||
        (arg == "--release" && o.release.empty()) || (arg == "--export" && o.export_dir.empty())) {
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
  if (!o.origin.empty() && o.export_dir.empty()) {
    error = "--origin names where an export is served: it goes with --export";
    return ParseResult::bad;
  }
  if (!o.export_dir.empty()) {
    // A static site has no fault modes and no pace of its own.
    if (o.delay_ms > 0 || !o.hang_prefixes.empty() || !o.garbage_prefixes.empty() ||
        !o.follow.empty() || o.throttle > 0 || !o.port_file.empty()) {
      error = "--export writes a static site: --delay-ms, --hang, --garbage, --follow, --throttle "
              "and --port-file are for the running server";
      return ParseResult::bad;
    }
    if (o.origin.empty() && o.port == 0) {
      error = "--export with --port 0 needs --origin: the episode replies name the port";
      return ParseResult::bad;
    }
  }
  return ParseResult::run;
}

std::string web_origin(const Options& o) {
  if (!o.origin.empty()) return o.origin;
  std::string host = (o.host == "0.0.0.0" || o.host == "::" || o.host.empty()) ? "127.0.0.1" : o.host;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  return "http://" + host + ":" + std::to_string(o.port);
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
