// The one file that includes httplib.h.
#include "http_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>

#include "base/text.h"
#include "catalogue.h"
#include "media.h"
#include "options.h"
#include "pages.h"
#include "protocol.h"
#include "release/manifest.h"

namespace tsrv {

namespace fs = std::filesystem;
using httplib::Request;
using httplib::Response;

namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";
constexpr auto kHangLimit = std::chrono::seconds(60);

std::string utc_now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms.count()));
  return buf;
}

// Control characters and tabs would break the one-line-per-ping log.
std::string log_safe(std::string_view text, std::size_t limit) {
  std::string out;
  for (const char c : text.substr(0, limit)) {
    const auto b = static_cast<unsigned char>(c);
    out += (b < 0x20 || b == 0x7F) ? '?' : c;
  }
  if (text.size() > limit) out += "...";
  return out;
}

bool port_of(const sockaddr_storage& a, int& port, std::string& host) {
  char buf[INET6_ADDRSTRLEN] = {};
  if (a.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
    port = ntohs(in->sin_port);
    inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf);
  } else if (a.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&a);
    port = ntohs(in6->sin6_port);
    inet_ntop(AF_INET6, &in6->sin6_addr, buf, sizeof buf);
  } else {
    return false;
  }
  host = buf;
  return true;
}

// Ends the TCP connection a request came on without a reply. httplib keeps
// the socket to itself, so it is found among the process's descriptors by
// its two ports; shutdown() leaves closing the descriptor to httplib.
void drop_connection(const Request& req) {
  std::error_code ec;
  for (fs::directory_iterator it("/proc/self/fd", ec), end; !ec && it != end; it.increment(ec)) {
    const auto fd = tav::parse_int32(it->path().filename().string());
    if (!fd) continue;
    sockaddr_storage local{}, peer{};
    socklen_t local_len = sizeof local, peer_len = sizeof peer;
    if (getsockname(*fd, reinterpret_cast<sockaddr*>(&local), &local_len) != 0) continue;
    if (getpeername(*fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0) continue;
    int local_port = 0, peer_port = 0;
    std::string local_host, peer_host;
    if (!port_of(local, local_port, local_host) || !port_of(peer, peer_port, peer_host)) continue;
    if (local_port == req.local_port && peer_port == req.remote_port &&
        peer_host == req.remote_addr) {
      ::shutdown(*fd, SHUT_RDWR);
      return;
    }
  }
}

bool has_prefix(const std::vector<std::string>& prefixes, const std::string& path) {
  for (const std::string& p : prefixes)
    if (tav::starts_with(path, p)) return true;
  return false;
}

class PingLog {
 public:
  bool open(const std::string& path) {
    out_.open(path, std::ios::app | std::ios::binary);
    return static_cast<bool>(out_);
  }
  void record(std::string_view id, const std::string& from) {
    const std::string line = utc_now() + "\t" + log_safe(id, 200) + "\t" + from + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    out_ << line;
    out_.flush();
  }

 private:
  std::mutex mutex_;
  std::ofstream out_;
};

}  // namespace

struct ContentServer::Impl {
  const Options& options;
  const Catalogue& catalogue;
  MediaFolder media;
  httplib::Server http;
  PingLog pings;
  std::string address_host;  // host part of the web addresses
  int port = 0;
  std::atomic<bool> follow_pending;
  std::atomic<bool> stopping{false};
  std::mutex wait_mutex;
  std::condition_variable wake;
  std::mutex stderr_mutex;

  Impl(const Options& o, const Catalogue& c)
      : options(o), catalogue(c), media(o.media), follow_pending(!o.follow.empty()) {}

  // Sleeps, but no longer than the server keeps running.
  void pause(std::chrono::milliseconds span) {
    std::unique_lock<std::mutex> lock(wait_mutex);
    wake.wait_for(lock, span, [this] { return stopping.load(); });
  }

  void say(const std::string& line) {
    std::lock_guard<std::mutex> lock(stderr_mutex);
    std::cerr << line << std::endl;
  }

  static void text(Response& res, const std::string& body, int status = 200) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body, kText);
  }
  static void page(Response& res, const std::string& body, int status = 200) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(body, kHtml);
  }

  // Runs before routing: the fault modes.
  httplib::Server::HandlerResponse before_routing(const Request& req, Response& res) {
    // Pages and texts are always answered whole (httplib would cut them yet
    // keep status 200); send_file() answers ranges from the header itself.
    // httplib's Request object is not const, only the reference to it.
    const_cast<Request&>(req).ranges.clear();
    if (options.delay_ms > 0) pause(std::chrono::milliseconds(options.delay_ms));
    if (has_prefix(options.hang_prefixes, req.path)) {
      pause(kHangLimit);
      drop_connection(req);
      res.status = 500;
      return httplib::Server::HandlerResponse::Handled;
    }
    if (has_prefix(options.garbage_prefixes, req.path)) {
      const std::size_t total = options.garbage_bytes;
      res.status = 200;
      if (total == 0) {
        res.set_content("", "text/plain");
        return httplib::Server::HandlerResponse::Handled;
      }
      res.set_content_provider(total, "text/plain",
                               [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 // xorshift on the offset: the same bytes on every request.
                                 std::uint64_t x = 0x9E3779B97F4A7C15ull ^ offset;
                                 char buf[16384];
                                 const std::size_t n = std::min(length, sizeof buf);
                                 for (std::size_t i = 0; i < n; ++i) {
                                   x ^= x << 13;
                                   x ^= x >> 7;
                                   x ^= x << 17;
                                   buf[i] = static_cast<char>(x >> 24);
                                 }
                                 return sink.write(buf, n);
                               });
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  }

  void episode_reply(const Request& req, Response& res) {
    if (!req.has_param("id") || !req.has_param("v") || !req.has_param("v1"))
      return text(res, "id, v and v1 are required", 400);
    const auto id = parse_count(req.get_param_value("id"));
    const auto v = parse_count(req.get_param_value("v"));
    const auto v1 = parse_count(req.get_param_value("v1"));
    if (!id || !v || !v1) return text(res, "id, v and v1 are numbers", 400);
    const Series* s = *id <= 0x7FFFFFFF ? catalogue.find(static_cast<long>(*id)) : nullptr;
    if (!s) return text(res, "1");
    if (s->pending) return text(res, "0");
    if (*v1 >= static_cast<std::int64_t>(s->episodes.size())) return text(res, "1");
    const Episode& ep = s->episodes[static_cast<std::size_t>(*v1)];
    const std::optional<MediaFile> file = media.find(ep.file);
    if (!file) return text(res, "0");  // the media file is not there yet
    const std::string hash = ep.kind == "qvod" ? media.content_hash(*file) : std::string();
    const std::string origin = "http://" + address_host + ":" + std::to_string(port);
    text(res, tsrv::episode_reply(ep, file->size, hash, origin));
  }

  void episode_list(const Request& req, Response& res) {
    const std::size_t q = req.target.find('?');
    const std::string raw = q == std::string::npos ? std::string() : req.target.substr(q + 1);
    const std::optional<EpisodePageQuery> query = parse_episode_page_query(raw);
    if (!query) return page(res, error_page(400, "剧集地址有误"), 400);
    bool found = false;
    const std::string body = episode_page(catalogue, *query, found);
    page(res, body, found ? 200 : 404);
  }

  void ping(const Request& req, Response& res) {
    if (!req.has_param("id")) return text(res, "id is required", 400);
    pings.record(req.get_param_value("id"), req.remote_addr);
    text(res, "");
  }

  // Serves a file of the media folder with byte ranges.
  void send_file(const Request& req, Response& res, const MediaFile& file, const char* type) {
    // The range is answered here; req.ranges was cleared before routing, so
    // httplib does not cut the body again.
    const ByteRange range = byte_range(req.get_header_value("Range"), file.size);
    res.set_header("Accept-Ranges", "bytes");
    if (range.kind == ByteRange::Kind::unsatisfiable) {
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(file.size));
      res.set_content("", kText);
      return;
    }
    std::shared_ptr<std::FILE> in(std::fopen(file.path.c_str(), "rb"), [](std::FILE* f) {
      if (f) std::fclose(f);
    });
    if (!in) return page(res, error_page(404, "文件不存在"), 404);
    res.status = range.kind == ByteRange::Kind::part ? 206 : 200;
    if (range.kind == ByteRange::Kind::part) {
      res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                          std::to_string(range.first + range.length - 1) + "/" +
                                          std::to_string(file.size));
    }
    if (range.length == 0) {
      res.set_content("", type);
      return;
    }
    const std::uintmax_t first = range.first;
    res.set_content_provider(
        range.length, type,
        [in, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          char buf[65536];
          if (fseeko(in.get(), static_cast<off_t>(first + offset), SEEK_SET) != 0) return false;
          const std::size_t got = std::fread(buf, 1, std::min(length, sizeof buf), in.get());
          return got > 0 && sink.write(buf, got);
        });
  }

  void media_file(const Request& req, Response& res) {
    const std::string name = req.matches[1].str();
    if (!is_plain_file_name(name)) return page(res, error_page(403, "不允许访问该文件"), 403);
    const std::optional<MediaFile> file = media.find(name);
    if (!file) return page(res, error_page(404, "文件不存在"), 404);
    send_file(req, res, *file, media_type(name));
  }

  void seed(const Request& req, Response& res) {
    const std::string hash = tav::ascii_lower(req.matches[1].str());
    if (hash.size() != 40 || hash.find_first_not_of("0123456789abcdef") != std::string::npos)
      return page(res, error_page(400, "片源标识有误"), 400);
    std::string upper = hash;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // The episode file with those bytes (each file is hashed once).
    for (const Series& s : catalogue.series) {
      for (const Episode& e : s.episodes) {
        const std::optional<MediaFile> file = media.find(e.file);
        if (file && media.content_hash(*file) == upper) return send_file(req, res, *file, "video/mp4");
      }
    }
    page(res, error_page(404, "片源不存在"), 404);
  }

  // The manifest of the offered release, when it reads as one (it is
  // served whatever it holds; the updater checks it).
  std::optional<tav::update::Manifest> release_manifest() const {
    std::ifstream in(fs::path(options.release) / tav::update::kServerManifest, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes(tav::update::kMaxManifestBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return tav::update::parse_manifest(bytes);
  }

  // /box/update/: the release's manifest and archive from --release, and
  // update.exe (the updater the shell fallback downloads): from the
  // release folder, else the one beside this program, else a placeholder.
  void update_file(const Request& req, Response& res) {
    const std::string name = req.matches[1].str();
    res.set_header("Cache-Control", "no-store");
    const bool archive = name.size() > 4 && name.compare(name.size() - 4, 4, ".tvr") == 0;
    const bool wanted = name == "update.exe" || name == tav::update::kServerManifest || archive;
    if (!wanted || !is_plain_file_name(name)) return page(res, error_page(404, "文件不存在"), 404);
    std::vector<fs::path> places;
    if (!options.release.empty()) places.push_back(fs::path(options.release) / name);
    if (name == "update.exe") places.push_back(executable_folder() / name);
    for (const fs::path& place : places) {
      std::error_code ec;
      if (!fs::is_regular_file(place, ec)) continue;
      MediaFile file{place, fs::file_size(place, ec)};
      if (ec) continue;
      if (name == "update.exe")
        res.set_header("Content-Disposition", "attachment; filename=\"update.exe\"");
      if (name == tav::update::kServerManifest) return send_file(req, res, file, "text/plain; charset=utf-8");
      if (archive && options.throttle > 0) return send_throttled(res, file);
      return send_file(req, res, file, "application/octet-stream");
    }
    if (name == "update.exe") {
      static const std::string kBytes =
          std::string("MZ\x90\0\x03\0\0\0", 8) + "Tavori demo updater placeholder\r\n";
      res.set_header("Content-Disposition", "attachment; filename=\"update.exe\"");
      res.set_content(kBytes, "application/octet-stream");
      return;
    }
    page(res, error_page(404, "文件不存在"), 404);
  }

  static fs::path executable_folder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
  }

  // The whole file at options.throttle bytes per second (in slices of a
  // tenth of a second), for the updater's progress window.
  void send_throttled(Response& res, const MediaFile& file) {
    std::shared_ptr<std::FILE> in(std::fopen(file.path.c_str(), "rb"), [](std::FILE* f) {
      if (f) std::fclose(f);
    });
    if (!in) return page(res, error_page(404, "文件不存在"), 404);
    const std::size_t slice = std::max<std::size_t>(1, options.throttle / 10);
    res.status = 200;
    res.set_content_provider(
        static_cast<std::size_t>(file.size), "application/octet-stream",
        [this, in, slice](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          std::vector<char> buf(std::min(length, slice));
          if (fseeko(in.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
          const std::size_t got = std::fread(buf.data(), 1, buf.size(), in.get());
          if (got == 0) return false;
          pause(std::chrono::milliseconds(100));
          return !stopping && sink.write(buf.data(), got);
        });
  }

  void routes() {
    http.set_pre_routing_handler(
        [this](const Request& req, Response& res) { return before_routing(req, res); });
    http.Get("/", [](const Request&, Response& res) { res.set_redirect("/box/", 302); });
    http.Get("/box", [](const Request&, Response& res) { res.set_redirect("/box/", 301); });
    http.Get("/box/", [this](const Request&, Response& res) {
      const bool follow = follow_pending.exchange(false);
      page(res, library_page(catalogue, follow ? options.follow : std::string()));
    });
    http.Get("/box/+yy", [this](const Request&, Response& res) { page(res, hot_page(catalogue, media)); });
    http.Get("/box/+tv", [this](const Request&, Response& res) { page(res, tv_page(catalogue, media)); });
    http.Get("/box/+h\\.asp",
             [this](const Request& req, Response& res) { episode_reply(req, res); });
    http.Get("/box/+play\\.htm", [](const Request&, Response& res) { page(res, player_page()); });
    http.Get("/box/+pp\\.htm",
             [this](const Request& req, Response& res) { episode_list(req, res); });
    http.Get("/box/+lib/wen\\.txt", [this](const Request&, Response& res) {
      if (options.version_text) return text(res, *options.version_text);
      VersionFields fields = options.version_fields;
      if (!options.newest_given && !options.release.empty())
        if (const auto m = release_manifest()) fields.newest = m->version;
      text(res, version_text(fields));
    });
    http.Get("/box/+update/([^/]*)", [this](const Request& req, Response& res) { update_file(req, res); });
    http.Get("/box/+tj/tj\\.asp", [this](const Request& req, Response& res) { ping(req, res); });
    http.Get("/box/+js/ads/(qvodad|fudong|tui)\\.html", [this](const Request& req, Response& res) {
      page(res, ad_page(req.matches[1].str(), catalogue, media));
    });
    http.Get("/player/", [](const Request&, Response& res) { page(res, suite_page()); });
    http.Get("/media/(.*)", [this](const Request& req, Response& res) { media_file(req, res); });
    http.Get("/seed/(.*)", [this](const Request& req, Response& res) { seed(req, res); });

    const httplib::Server::HandlerWithResponse error_pages = [](const Request&, Response& res) {
      if (!res.body.empty() || res.status == 416 || (res.status >= 300 && res.status < 400))
        return httplib::Server::HandlerResponse::Unhandled;
      const char* message = res.status == 404 ? "页面不存在" : "请求有误";
      res.set_content(error_page(res.status, message), kHtml);
      return httplib::Server::HandlerResponse::Handled;
    };
    http.set_error_handler(error_pages);
    http.set_exception_handler([this](const Request& req, Response& res, std::exception_ptr ep) {
      std::string what = "unknown error";
      try {
        if (ep) std::rethrow_exception(ep);
      } catch (const std::exception& e) {
        what = e.what();
      } catch (...) {
      }
      say("tavori-server: " + req.path + ": " + what);
      res.status = 500;
      res.set_content(error_page(500, "服务器出错了"), kHtml);
    });
    if (options.verbose) {
      http.set_logger([this](const Request& req, const Response& res) {
        const std::size_t bytes = res.body.empty() ? res.content_length_ : res.body.size();
        say(utc_now() + " " + req.remote_addr + ":" + std::to_string(req.remote_port) + " " +
            req.method + " " + log_safe(req.target, 300) + " " + std::to_string(res.status) + " " +
            std::to_string(bytes));
      });
    }
  }
};

ContentServer::ContentServer(const Options& options, const Catalogue& catalogue)
    : impl_(std::make_unique<Impl>(options, catalogue)) {}

ContentServer::~ContentServer() = default;

int ContentServer::run() {
  Impl& s = *impl_;
  const Options& o = s.options;
  if (!s.pings.open(o.log)) {
    s.say("tavori-server: cannot open the ping log " + o.log);
    return 1;
  }
  // Hung requests each hold a worker; keep enough for the other requests.
  s.http.new_task_queue = [] { return new httplib::ThreadPool(32); };
  s.http.set_payload_max_length(64 * 1024);
  s.routes();

  const int port = o.port == 0 ? s.http.bind_to_any_port(o.host)
                               : (s.http.bind_to_port(o.host, o.port) ? o.port : -1);
  if (port <= 0) {
    s.say("tavori-server: cannot listen on " + o.host + ":" + std::to_string(o.port) +
          " (is the port in use?)");
    return 1;
  }
  s.port = port;
  s.address_host = (o.host == "0.0.0.0" || o.host == "::" || o.host.empty()) ? "127.0.0.1" : o.host;
  if (s.address_host.find(':') != std::string::npos) s.address_host = "[" + s.address_host + "]";

  if (!o.port_file.empty()) {
    // Written whole under another name first, so a reader never sees half.
    const std::string temp = o.port_file + ".part";
    {
      std::ofstream out(temp, std::ios::trunc);
      out << port << "\n";
      if (!out.flush()) {
        s.say("tavori-server: cannot write " + temp);
        return 1;
      }
    }
    std::error_code ec;
    fs::rename(temp, o.port_file, ec);
    if (ec) {
      s.say("tavori-server: cannot write " + o.port_file + ": " + ec.message());
      return 1;
    }
  }

  std::size_t files = 0, present = 0;
  for (const Series& series : s.catalogue.series)
    for (const Episode& e : series.episodes) {
      ++files;
      if (s.media.find(e.file)) ++present;
    }
  s.say("tavori-server: serving http://" + s.address_host + ":" + std::to_string(port) + "/box/ (" +
        std::to_string(s.catalogue.series.size()) + " series; media " + std::to_string(present) +
        " of " + std::to_string(files) + " files in " + o.media + ")");
  if (present < files)
    s.say(
        "tavori-server: episodes without their media file answer \"0\"; run server/make_media.sh " +
        o.media);

  if (!o.release.empty()) {
    const auto m = s.release_manifest();
    if (!m)
      s.say("tavori-server: " + o.release + "/release.txt is missing or not a release manifest; served as it is");
    else if (o.newest_given && o.version_fields.newest != m->version)
      s.say("tavori-server: the version file names " + o.version_fields.newest + " but the release in " +
            o.release + " is " + m->version + " (make one with tavori-release pack --version " +
            o.version_fields.newest + ")");
    else
      s.say("tavori-server: offering release " + m->version + " from " + o.release);
  }

  if (s.stopping) return 0;
  s.http.listen_after_bind();
  return 0;
}

void ContentServer::stop() {
  Impl& s = *impl_;
  {
    std::lock_guard<std::mutex> lock(s.wait_mutex);
    s.stopping = true;
  }
  s.wake.notify_all();
  s.http.stop();
}

}  // namespace tsrv
