#include "suite/player/download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace tav::suite {

namespace {

constexpr int kMaxFailures = 5;          // in a row, without new bytes
constexpr long kConnectTimeoutS = 15;
constexpr long kStallTimeoutS = 30;      // less than 1 byte/s for this long

std::int64_t now_us() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t file_size(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

std::string folder_of(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : file.substr(0, slash);
}

// Folders made here are the user's alone.
bool make_folders_for(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  const std::string folder = file.substr(0, slash);
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i != folder.size() && folder[i] != '/') continue;
    const std::string part = folder.substr(0, i);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists_here(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Gives the finished file its name, never in place of a file that is
// there: an atomic rename that does not replace, else (a file system
// without it) a second link and the first one removed, else (no hard links
// either) a rename when nothing was there a moment before. 0 or an errno.
int rename_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS && errno != EMLINK) return errno;
  if (exists_here(to)) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string byte_count(std::int64_t n) { return std::to_string(n) + " bytes"; }

void init_curl_once() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

void set_transfer_options(void* handle, const std::string& url, long connect_timeout_s) {
  CURL* easy = static_cast<CURL*>(handle);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connect_timeout_s);
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Tavori-Suite/1.0");
}

std::int64_t free_bytes(const std::string& folder) {
  struct statvfs fs {};
  if (::statvfs(folder.c_str(), &fs) != 0) return -1;
  const unsigned long long bytes = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
  return static_cast<std::int64_t>(std::min<unsigned long long>(bytes, INT64_MAX));
}

// One HTTP request, resuming at `offset`.
struct Download::Attempt {
  Download* self = nullptr;
  CURL* easy = nullptr;
  const std::string* path = nullptr;
  int fd = -1;                   // -1 until the file exists
  std::int64_t offset = 0;       // bytes in the file when the answer began
  std::int64_t written = 0;      // file size now
  long status = 0;
  bool body_started = false;
  bool reached_size = false;     // stopped on purpose at the expected size
  bool permanent = false;        // no point in trying again
  bool too_large = false;        // the answer does not fit: its bytes are not kept
  std::int64_t limit = -1;       // without a size: where the file must end at the latest
  std::int64_t range_start = -1, range_total = -1;  // from Content-Range
  std::string failure;
};

Download::Download(DownloadRequest request, std::function<void()> on_finished)
    : request_(std::move(request)), on_finished_(std::move(on_finished)) {
  total_ = request_.size;
  // Already here in full: nothing to fetch.
  const std::int64_t have = file_size(request_.target);
  if (have >= 0 && (request_.part_file || have == request_.size)) {
    bytes_ = have;
    total_ = have;
    state_ = State::Complete;
    return;
  }
  init_curl_once();
  thread_ = std::thread([this] { run(); });
}

Download::~Download() {
  cancel();
  wait();
}

void Download::cancel() {
  cancelled_ = true;
  std::lock_guard lock(mutex_);
  if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
  wake_.notify_all();
}

void Download::wait() {
  if (thread_.joinable()) thread_.join();
}

int Download::per_mille() const {
  if (state() == State::Complete) return 1000;
  const std::int64_t t = total(), b = bytes();
  if (t <= 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(1000, b * 1000 / t));
}

int Download::speed_kb() const {
  return state() == State::Running ? static_cast<int>(speed_bps_.load() / 1024) : 0;
}

std::string Download::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void Download::finish(State state, std::string error) {
  {
    std::lock_guard lock(mutex_);
    error_ = std::move(error);
  }
  speed_bps_ = 0;
  state_ = state;
  if (state != State::Cancelled && on_finished_) on_finished_();
}

void Download::update_speed(bool force) {
  const std::int64_t t = now_us();
  const std::int64_t elapsed = t - sample_time_us_;
  if (!force && elapsed < 200000) return;
  if (elapsed > 0) {
    const std::int64_t delta = bytes_.load() - sample_bytes_;
    const std::int64_t current = std::max<std::int64_t>(0, delta) * 1000000 / elapsed;
    // A little smoothing so the figure does not jump with every packet.
    speed_bps_ = (speed_bps_.load() + current * 3) / 4;
  }
  sample_bytes_ = bytes_.load();
  sample_time_us_ = t;
}

bool Download::sleep_for(int seconds) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return cancelled_.load(); });
  return !cancelled_;
}

void Download::run() {
  const std::string path = request_.part_file ? request_.target + ".part" : request_.target;
  if (!make_folders_for(path)) {
    finish(State::Failed, "cannot create the folder of " + path);
    return;
  }
  // A file this download made and never wrote to is removed again when
  // the download ends without success.
  struct RemoveIfEmpty {
    const std::string& path;
    const bool& created;
    bool armed = true;
    ~RemoveIfEmpty() {
      if (armed && created && file_size(path) == 0) ::unlink(path.c_str());
    }
  } cleanup{path, created_};
  int failures = 0;
  while (!cancelled_) {
    Attempt a;
    a.self = this;
    // The file is made when the first byte of the film comes, not before.
    a.path = &path;
    if (request_.resume || created_) {
      // Never through a link, never waiting on a FIFO.
      a.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
      if (a.fd < 0 && errno != ENOENT) {
        finish(State::Failed, "cannot open " + path + ": " + std::strerror(errno));
        return;
      }
    } else if (exists_here(path)) {
      finish(State::Failed, path + " was not made by this download; it is left untouched");
      return;
    }
    struct stat st {};
    if (a.fd >= 0 && (::fstat(a.fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(a.fd);
      finish(State::Failed, path + " is not a file; it is left untouched");
      return;
    }
    a.offset = a.written = st.st_size;
    if (request_.size >= 0 && a.offset > request_.size) {
      // Longer than the film can be: some other file of that name, which
      // is left as it is.
      if (a.fd >= 0) ::close(a.fd);
      finish(State::Failed, path + " is larger than the film; it is left untouched");
      return;
    }
    bytes_ = a.written;
    sample_bytes_ = a.written;
    sample_time_us_ = now_us();
    const std::int64_t before = a.written;
    bool done = request_.size >= 0 && a.written == request_.size;
    if (!done) done = attempt(a);
    const bool closed = a.fd < 0 || ::close(a.fd) == 0;
    if (cancelled_) break;
    if (done && closed) {
      cleanup.armed = false;
      if (request_.part_file && request_.verify) {
        std::string why;
        if (!request_.verify(path, why)) {
          ::unlink(path.c_str());
          bytes_ = 0;
          finish(State::Failed, why);
          return;
        }
        if (cancelled_) break;
      }
      if (request_.part_file) {
        if (const int error = rename_no_replace(path, request_.target); error != 0) {
          finish(State::Failed,
                 error == EEXIST
                     ? request_.target + " appeared meanwhile; it is left untouched and the film stays in " + path
                     : "cannot rename " + path + ": " + std::strerror(error));
          return;
        }
      }
      bytes_ = file_size(request_.target);
      total_ = bytes_.load();
      finish(State::Complete);
      return;
    }
    speed_bps_ = 0;  // nothing comes in while it waits to try again
    if (a.too_large && (request_.part_file || created_)) {
      ::unlink(path.c_str());
      bytes_ = 0;
    }
    if (a.permanent) {
      finish(State::Failed, a.failure);
      return;
    }
    failures = bytes_.load() > before ? 1 : failures + 1;
    failures_ = failures;
    if (failures >= kMaxFailures) {
      finish(State::Failed, a.failure);
      return;
    }
    // 1, 2, 4, 8 s between attempts.
    if (!sleep_for(1 << (failures - 1))) break;
  }
  finish(State::Cancelled);
}

// Runs one request; true when the file is complete afterwards.
bool Download::attempt(Attempt& a) {
  CURL* easy = curl_easy_init();
  CURLM* multi = curl_multi_init();
  if (!easy || !multi) {
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
    a.failure = "libcurl cannot start";
    return false;
  }
  a.easy = easy;

  auto on_header = +[](char* data, size_t size, size_t n, void* user) -> size_t {
    auto& at = *static_cast<Attempt*>(user);
    const std::string_view line(data, size * n);
    if (line.rfind("HTTP/", 0) == 0) {  // a new answer (after a redirect, say)
      at.range_start = at.range_total = -1;
    } else if (line.size() > 14 && strncasecmp(line.data(), "content-range:", 14) == 0) {
      long long start = -1, end = -1, total = -1;
      const std::string value(line.substr(14));
      if (std::sscanf(value.c_str(), " bytes %lld-%lld/%lld", &start, &end, &total) >= 2) {
        at.range_start = start;
        at.range_total = total;
      }
    }
    return size * n;
  };
  auto on_body = +[](char* data, size_t size, size_t n, void* user) -> size_t {
    auto& at = *static_cast<Attempt*>(user);
    Download& self = *at.self;
    const std::size_t len = size * n;
    if (!at.body_started) {
      at.body_started = true;
      curl_easy_getinfo(at.easy, CURLINFO_RESPONSE_CODE, &at.status);
      if (at.status != 200 && at.status != 206) return 0;  // an error page: not the film
      if (at.status == 206 && at.range_start != at.offset) {
        at.failure = "the server answered another range";
        return 0;
      }
      const std::int64_t from = at.status == 200 ? 0 : at.offset;  // 200: the whole file again
      std::int64_t whole = self.request_.size;
      if (whole < 0) {
        curl_off_t length = -1;
        curl_easy_getinfo(at.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (at.status == 206 && at.range_total > 0)
          whole = at.range_total;
        else if (length >= 0)
          whole = from + length;
      }
      // What the answer needs must fit, before a byte of it is written.
      const std::int64_t room = free_bytes(folder_of(*at.path));
      if (self.request_.size < 0 && whole > self.request_.max_bytes) {
        at.failure = self.request_.url + " is " + byte_count(whole) + ", more than the " +
                     byte_count(self.request_.max_bytes) + " a download may take";
        at.permanent = at.too_large = true;
        return 0;
      }
      if (whole >= 0 && room >= 0 && whole - at.offset > room) {
        at.failure = "not enough free space for " + *at.path + ": it needs " +
                     byte_count(whole - at.offset) + ", " + byte_count(room) + " are free";
        at.permanent = true;
        return 0;
      }
      if (self.request_.size < 0) {
        // An answer of unknown length ends at the cap, and leaves a tenth
        // of the free space free.
        at.limit = self.request_.max_bytes;
        if (whole < 0 && room >= 0) at.limit = std::min(at.limit, from + room - room / 10);
      }
      if (at.fd < 0) {
        at.fd = ::open(at.path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (at.fd < 0) {
          at.failure = "cannot create " + *at.path + ": " + std::strerror(errno);
          at.permanent = true;
          return 0;
        }
        self.created_ = true;
      }
      if (at.status == 200 && at.offset > 0) {  // the server ignores ranges: start again from 0
        if (::ftruncate(at.fd, 0) != 0 || ::lseek(at.fd, 0, SEEK_SET) != 0) {
          at.failure = "cannot truncate the file";
          at.permanent = true;
          return 0;
        }
        at.offset = at.written = 0;
        self.bytes_ = 0;
      }
      if (self.request_.size < 0 && whole >= 0) self.total_ = whole;
      ::lseek(at.fd, at.written, SEEK_SET);
    }
    if (at.limit >= 0 && at.written + static_cast<std::int64_t>(len) > at.limit) {
      at.failure = self.request_.url + " goes on past " + byte_count(at.limit) + "; it is not kept";
      at.permanent = at.too_large = true;
      return 0;
    }
    std::size_t take = len;
    if (self.request_.size >= 0 && at.written + static_cast<std::int64_t>(len) > self.request_.size)
      take = static_cast<std::size_t>(self.request_.size - at.written);
    for (std::size_t done = 0; done < take;) {
      const ssize_t w = ::write(at.fd, data + done, take - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        at.failure = std::string("cannot write the file: ") + std::strerror(errno);
        at.permanent = true;
        return 0;
      }
      done += static_cast<std::size_t>(w);
      at.written += w;
    }
    self.bytes_ = at.written;
    if (self.request_.size >= 0 && at.written >= self.request_.size) {
      at.reached_size = true;
      return take == len ? len : 0;  // more than the file holds: stop here
    }
    return len;
  };

  set_transfer_options(easy, request_.url, kConnectTimeoutS);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, kStallTimeoutS);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &a);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &a);
  const std::string range = std::to_string(a.offset) + "-";
  if (a.offset > 0) curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
  // The status is needed before the first byte of the body is written.
  curl_easy_setopt(easy, CURLOPT_FAILONERROR, 0L);
  auto on_progress = +[](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
    auto& at = *static_cast<Attempt*>(user);
    return at.self->cancelled_ ? 1 : 0;
  };
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &a);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

  curl_multi_add_handle(multi, easy);
  {
    std::lock_guard lock(mutex_);
    multi_ = multi;
  }
  CURLcode result = CURLE_OK;
  bool running = true;
  while (running && !cancelled_) {
    int still = 0;
    if (curl_multi_perform(multi, &still) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
      if (msg->msg == CURLMSG_DONE) {
        result = msg->data.result;
        running = false;
      }
    }
    update_speed(false);
    if (running) curl_multi_poll(multi, nullptr, 0, 500, nullptr);
  }
  {
    std::lock_guard lock(mutex_);
    multi_ = nullptr;
  }
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_off_t length = -1;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  curl_multi_remove_handle(multi, easy);
  curl_easy_cleanup(easy);
  curl_multi_cleanup(multi);
  update_speed(true);

  if (cancelled_) return false;
  if (request_.size >= 0) {
    if (a.written == request_.size) return true;
  } else if (result == CURLE_OK && (status == 200 || status == 206)) {
    if (length < 0 || a.written - a.offset == length) return true;
  } else if (status == 416 && a.offset > 0) {
    return true;  // nothing after what we have: the file is whole
  }
  if (a.failure.empty()) {
    if (status >= 400)
      a.failure = "the server answered HTTP " + std::to_string(status) + " for " + request_.url;
    else if (result != CURLE_OK)
      a.failure = std::string(curl_easy_strerror(result)) + " (" + request_.url + ")";
    else
      a.failure = "the answer ended early (" + request_.url + ")";
  }
  // Client errors do not mend themselves; 408 and 429 may.
  if (status >= 400 && status < 500 && status != 408 && status != 429 && status != 416)
    a.permanent = true;
  return false;
}

}  // namespace tav::suite
