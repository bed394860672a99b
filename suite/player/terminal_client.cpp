#include "suite/player/terminal_client.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "base/percent_encoding.h"
#include "platform/posix/spawn.h"
#include "suite/player/qvod_settings.h"

namespace tav::suite {

namespace {
constexpr int kStartWaitMs = 5000;  // for a service just started to answer
constexpr int kPollMs = 250;
}  // namespace

TerminalClient::TerminalClient(std::string suite_folder, std::function<void()> changed,
                               std::optional<unsigned> owner)
    : folder_(std::move(suite_folder)),
      seed_source_(program_seed_source()),
      changed_(std::move(changed)),
      owner_(owner.value_or(static_cast<unsigned>(::getuid()))) {
  thread_ = std::thread([this] { run(); });
}

TerminalClient::~TerminalClient() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TerminalClient::fetch(const std::string& address) {
  {
    std::lock_guard lock(mutex_);
    asks_.emplace_back(Ask::Fetch, address);
    // Asked again, a film that failed is followed again from scratch.
    if (Film& film = films_[address]; film.heard && film.status.state == FilmState::Failed) film = Film{};
    if (link_ == Link::Unavailable) link_ = Link::Unknown;  // try again
  }
  wake_.notify_all();
}

void TerminalClient::cancel(const std::string& address) {
  {
    std::lock_guard lock(mutex_);
    asks_.emplace_back(Ask::Cancel, address);
    films_.erase(address);
  }
  wake_.notify_all();
}

TerminalClient::Link TerminalClient::link() const {
  std::lock_guard lock(mutex_);
  return link_;
}

std::string TerminalClient::link_error() const {
  std::lock_guard lock(mutex_);
  return link_error_;
}

std::string TerminalClient::stream_url(const std::string& address) const {
  std::lock_guard lock(mutex_);
  if (!endpoint_ || link_ != Link::Up) return {};
  return "http://127.0.0.1:" + std::to_string(endpoint_->port) + "/" + endpoint_->token +
         "/stream" + query(address, true);
}

std::string TerminalClient::query(const std::string& address, bool starts) const {
  std::string text = "?a=" + percent_encode(address, kUrlUnreserved);
  if (starts && !seed_source_.empty()) text += "&s=" + percent_encode(seed_source_, kUrlUnreserved);
  return text;
}

TerminalClient::Film TerminalClient::film(const std::string& address) const {
  std::lock_guard lock(mutex_);
  const auto it = films_.find(address);
  return it == films_.end() ? Film{} : it->second;
}

bool TerminalClient::stopping() const {
  std::lock_guard lock(mutex_);
  return stop_;
}

void TerminalClient::run() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  for (;;) {
    std::deque<std::pair<Ask, std::string>> asks;
    std::vector<std::string> followed;
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, std::chrono::milliseconds(kPollMs),
                     [this] { return stop_ || !asks_.empty(); });
      if (stop_) return;
      asks.swap(asks_);
      for (const auto& [address, film] : films_)
        if (!film.heard || film.status.state == FilmState::Running ||
            film.status.state == FilmState::None)
          followed.push_back(address);
      if (asks.empty() && followed.empty()) continue;
      if (link_ == Link::Unavailable) continue;  // until the next fetch
    }
    bool changed = false;
    if (!connect()) {
      if (stopping()) return;
      std::lock_guard lock(mutex_);
      link_ = Link::Unavailable;
      changed = true;
    } else {
      bool lost = false;
      for (const auto& [ask, address] : asks) {
        if (stopping()) return;
        if (!request(ask == Ask::Fetch ? "fetch" : "cancel", address)) lost = true;
      }
      for (const std::string& address : followed) {
        if (stopping()) return;
        const auto text = request("status", address);
        if (!text) {
          lost = true;
          break;
        }
        const auto status = parse_film_status(*text);
        std::lock_guard lock(mutex_);
        const auto it = films_.find(address);
        if (!status || it == films_.end()) continue;
        Film& film = it->second;
        if (!film.heard || film.status.state != status->state || film.status.have != status->have ||
            film.status.speed_kb != status->speed_kb || film.status.error != status->error)
          changed = true;
        film.heard = true;
        film.status = *status;
        // A download that ended without the service (it was ended meanwhile)
        // is asked for again.
        if (status->state == FilmState::None) asks_.emplace_back(Ask::Fetch, address);
      }
      if (lost) {
        // The service went away: asked again once it is back.
        std::lock_guard lock(mutex_);
        endpoint_.reset();
        link_ = Link::Unknown;
        for (const auto& [ask, address] : asks)
          if (ask == Ask::Fetch && films_.count(address)) asks_.emplace_back(ask, address);
        for (const std::string& address : followed) asks_.emplace_back(Ask::Fetch, address);
      }
    }
    if (changed && changed_) changed_();
  }
}

bool TerminalClient::connect() {
  {
    std::lock_guard lock(mutex_);
    if (endpoint_ && link_ == Link::Up) return true;
  }
  const std::string runtime = terminal_runtime_folder();
  if (runtime.empty()) {
    std::lock_guard lock(mutex_);
    link_error_ = "no private runtime folder";
    return false;
  }
  auto found = read_terminal_endpoint(runtime);
  if (!found || !ping(*found)) {
    const std::string program = folder_ + "/" + kTerminalProgram;
    if (::access(program.c_str(), X_OK) != 0) {
      std::lock_guard lock(mutex_);
      link_error_ = program + " is missing";
      return false;
    }
    // Started on its own (a session of its own, no open files of this
    // process), so that it outlives the player. One that does not start is
    // told by its silence, as one that hangs is.
    spawn_detached({program}, {.quiet_errors = std::getenv("TAVORI_SUITE_LOG") == nullptr,
                               .close_descriptors = true});
    found.reset();
    for (int waited = 0; waited < kStartWaitMs && !stopping(); waited += 50) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      auto e = read_terminal_endpoint(runtime);
      if (e && ping(*e)) {
        found = e;
        break;
      }
    }
    if (!found) {
      std::lock_guard lock(mutex_);
      link_error_ = program + " does not answer";
      return false;
    }
  }
  std::lock_guard lock(mutex_);
  endpoint_ = found;
  link_ = Link::Up;
  link_error_.clear();
  return true;
}

bool TerminalClient::ping(const TerminalEndpoint& endpoint) {
  // The process the endpoint file names is the owner's (the port itself is
  // checked before every request).
  struct stat st {};
  const std::string process = "/proc/" + std::to_string(endpoint.pid);
  if (::stat(process.c_str(), &st) != 0 || st.st_uid != owner_) return false;
  {
    std::lock_guard lock(mutex_);
    endpoint_ = endpoint;
  }
  const auto text = request("ping", {});
  return text && *text == "QvodTerminal " + std::to_string(endpoint.pid) + "\n";
}

std::optional<std::string> TerminalClient::request(const std::string& what,
                                                   const std::string& address) {
  std::string url;
  {
    std::lock_guard lock(mutex_);
    if (!endpoint_) return std::nullopt;
    url = "http://127.0.0.1:" + std::to_string(endpoint_->port) + "/" + endpoint_->token + "/" + what;
  }
  if (!address.empty()) url += query(address, what == "fetch");
  CURL* easy = curl_easy_init();
  if (!easy) return std::nullopt;
  std::string body;
  auto on_body = +[](char* data, size_t size, size_t n, void* user) -> size_t {
    auto& out = *static_cast<std::string*>(user);
    if (out.size() > 65536) return 0;
    out.append(data, size * n);
    return size * n;
  };
  auto on_progress = +[](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
    return static_cast<TerminalClient*>(user)->stopping() ? 1 : 0;
  };
  // Once connected, before a byte of the request (the token is in its
  // path): whatever listens on the port must be the owner's. Another user
  // may have taken the port of a service that is gone.
  auto on_connected = +[](void* user, char*, char*, int port, int) -> int {
    const auto* self = static_cast<const TerminalClient*>(user);
    return loopback_port_owned_by(port, self->owner_) ? CURL_PREREQFUNC_OK : CURL_PREREQFUNC_ABORT;
  };
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, on_connected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 1000L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 3000L);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  const CURLcode result = curl_easy_perform(easy);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(easy);
  if (result != CURLE_OK || status != 200) return std::nullopt;
  return body;
}

}  // namespace tav::suite
