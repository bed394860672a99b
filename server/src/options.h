// The command line of tavori-server.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "protocol.h"

namespace tsrv {

struct Options {
  std::string host = "127.0.0.1";
  int port = 8080;  // 0: any free port
  std::string port_file;
  std::string catalogue;  // empty: the default catalogue
  std::string media;      // empty: the default media folder
  std::string log = "tavori-pings.log";
  bool verbose = false;
  VersionFields version_fields;
  std::optional<std::string> version_text;  // --wen, served as given
  int delay_ms = 0;
  std::vector<std::string> hang_prefixes;
  std::vector<std::string> garbage_prefixes;
  std::size_t garbage_bytes = 4u << 20;
  std::string follow;
  // The release offered under /box/update/ (updater/): the folder with
  // release.txt and its archive; the version the version file names.
  std::string release;
  bool newest_given = false;  // --wen-version or --offer-version
  std::size_t throttle = 0;   // bytes per second for the release archive; 0: no limit
  // --export DIR: the whole site written as static files into DIR (see
  // export.h) instead of being served.
  std::string export_dir;
  // --origin URL: scheme, host and port the export is served at, which the
  // web addresses of its episode replies name; empty: http://HOST:PORT.
  std::string origin;
};

enum class ParseResult { run, help, bad };

// On bad, error says why.
ParseResult parse_options(int argc, char** argv, Options& options, std::string& error);
std::string usage_text();

// The default catalogue: catalogue.txt next to the executable, else the
// one in the source tree. The default media folder: "media" next to the
// executable when there is one, else server/media in the source tree.
std::string default_catalogue_path();
std::string default_media_dir();

// The origin of the web addresses in episode replies: --origin, else
// http://HOST:PORT with a wildcard host taken as 127.0.0.1.
std::string web_origin(const Options& options);

}  // namespace tsrv
