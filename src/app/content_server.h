// Which content server the desktop client talks to, and the demo server an
// installed copy starts for its user when nothing of theirs answers at the
// built-in address.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace tav::app {

// Where a server base comes from, most important first.
struct ServerSources {
  std::optional<std::string> option;  // --server-base=
  std::string user_file;              // $XDG_CONFIG_HOME/tavori/server
  std::string system_file;            // /etc/tavori/server
  std::string built_in;
};

struct ServerChoice {
  std::string base;     // what the program uses
  bool built_in = false;
  std::string warning;  // set when a value was not a server base
};

// The user's setting file ($XDG_CONFIG_HOME, else ~/.config) and the
// distributor's.
ServerSources default_server_sources(std::optional<std::string> option, std::string built_in);

// The first source that names a server. A value is one line, an http(s)
// address with a host (a missing final "/" is added); anything else is not
// used as an address: the program then talks to an address that answers
// nothing, and the library shows that it cannot be reached.
ServerChoice choose_server(const ServerSources& sources);

// A value that is a server base, made whole; nothing when it is not one.
std::optional<std::string> server_base_of(const std::string& value);

// The address that answers nothing, for a setting that is no address.
inline constexpr const char* kNoServer = "http://127.0.0.1:1/box/";

// The installed demo server, run for this user while the program runs.
class DemoServer {
 public:
  DemoServer() = default;
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;
  // Ends the server it started.
  ~DemoServer();

  // When base is a loopback address and no server of this user listens
  // there, starts program (the installed tavori-server) on that port, or on
  // a free one when another user's program holds it, keeping its log in
  // log_folder; waits a moment for it to listen. Returns the base to use:
  // the one given, or the started server's.
  std::string start_if_needed(const std::string& program, const std::string& base,
                              const std::string& log_folder);

 private:
  // Starts program on port (0: any free one); the port it listens on, or 0.
  int start(const std::string& program, int port, const std::string& runtime_folder,
            const std::string& log_folder);

  pid_t pid_ = -1;
};

}  // namespace tav::app
