// The player control's side of the suite's service (QvodTerminal.exe): a
// thread of its own talks to the service, starting it from the suite's
// folder when it does not run; the control only reads what the thread last
// heard and leaves it requests, so no call of the control ever waits for
// the service.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "suite/player/terminal_link.h"

namespace tav::suite {

class TerminalClient {
 public:
  // suite_folder holds QvodTerminal.exe. changed is called from the client's
  // thread whenever what it knows changes. Only a service of owner (this
  // process's user when not given) is talked to: before anything is sent,
  // the socket that listens on the endpoint's port and the process the
  // endpoint file names must be that user's. The service may have been
  // started for another server: the films are asked for with the seed
  // source of the program's server (program_seed_source()), which the
  // service takes where its settings file names none.
  TerminalClient(std::string suite_folder, std::function<void()> changed,
                 std::optional<unsigned> owner = std::nullopt);
  // Returns within milliseconds; the service and its downloads go on.
  ~TerminalClient();
  TerminalClient(const TerminalClient&) = delete;
  TerminalClient& operator=(const TerminalClient&) = delete;

  // Asks the service to download the address (and keeps following it).
  void fetch(const std::string& address);
  // Asks the service to end the address's download.
  void cancel(const std::string& address);

  enum class Link { Unknown, Up, Unavailable };
  struct Film {
    bool heard = false;  // the service has answered for it
    FilmStatus status;
  };
  Link link() const;
  std::string link_error() const;  // why the service is unavailable
  // The address's stream from the service; "" until the service answers.
  std::string stream_url(const std::string& address) const;
  Film film(const std::string& address) const;

 private:
  enum class Ask { Fetch, Cancel };
  void run();
  bool connect();            // finds or starts the service
  bool ping(const TerminalEndpoint& endpoint);
  std::optional<std::string> request(const std::string& what, const std::string& address);
  // "?a=" and the escaped address, with the seed source for asks that may
  // start a download.
  std::string query(const std::string& address, bool starts) const;
  bool stopping() const;

  const std::string folder_;
  const std::string seed_source_;  // "" when the program names no server
  const std::function<void()> changed_;
  const unsigned owner_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::deque<std::pair<Ask, std::string>> asks_;
  std::map<std::string, Film> films_;      // followed addresses
  std::optional<TerminalEndpoint> endpoint_;
  Link link_ = Link::Unknown;
  std::string link_error_;
  std::thread thread_;
};

}  // namespace tav::suite
