#include "suite/terminal/terminal.h"

#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <httplib.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "suite/player/qvod_settings.h"
#include "suite/terminal/byte_range.h"

namespace tav::suite {

namespace {

// What is under a name in the save folder, the name itself (a link is a
// link, not what it leads to).
struct Entry {
  bool exists = false;
  bool regular = false;
  std::int64_t size = -1;  // of a regular file
};

Entry entry_of(const std::string& path) {
  struct stat st {};
  Entry e;
  if (::lstat(path.c_str(), &st) != 0) return e;
  e.exists = true;
  e.regular = S_ISREG(st.st_mode);
  if (e.regular) e.size = st.st_size;
  return e;
}

// Folders made here are the user's alone.
bool make_folders(const std::string& folder) {
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i != folder.size() && folder[i] != '/') continue;
    const std::string part = folder.substr(0, i);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A job file's temporary ("<job>.new") that this service left behind when
// it was ended: a small regular file that holds a qvod:// address, or the
// start of one (a write cut short), or nothing yet.
bool own_leftover(const std::string& temp) {
  const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  char text[4096];
  ssize_t n = -1;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= static_cast<off_t>(sizeof text))
    n = ::read(fd, text, sizeof text);
  ::close(fd);
  if (n < 0) return false;
  const std::string_view head(text, std::min<std::size_t>(static_cast<std::size_t>(n), 7));
  return strncasecmp(head.data(), "qvod://", head.size()) == 0;
}

// Written whole or not at all: a temporary file of its own, renamed into
// place. The caller has made sure the job file is missing or its own.
bool write_job_file(const std::string& path, const JobRecord& record) {
  const std::string temp = path + ".new";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0 && errno == EEXIST && own_leftover(temp) && ::unlink(temp.c_str()) == 0)
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const std::string text = job_file_text(record);
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (::close(fd) != 0 || !ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A range that starts this far beyond the download's end is fetched from
// the seed for the stream alone (a seek ahead, the index at a film's end)
// instead of waiting for the download to get there.
constexpr std::int64_t kMinAhead = 64 * 1024;
constexpr std::int64_t kAheadSeconds = 2;

// Sends bytes [at, at + length) of the seed to the sink; false when they
// did not all come.
bool relay_from_seed(const std::string& url, std::int64_t at, std::int64_t length,
                     httplib::DataSink& sink, const std::atomic<bool>& stopping) {
  struct Relay {
    httplib::DataSink* sink;
    const std::atomic<bool>* stopping;
    CURL* easy;
    std::int64_t at, left;
    bool checked = false, ok = true;
    long long range_start = -1;
  } relay{&sink, &stopping, curl_easy_init(), at, length};
  if (!relay.easy) return false;
  auto on_header = +[](char* data, size_t size, size_t n, void* user) -> size_t {
    auto& r = *static_cast<Relay*>(user);
    const std::string line(data, size * n);
    if (line.rfind("HTTP/", 0) == 0) r.range_start = -1;
    if (line.size() > 14 && strncasecmp(line.c_str(), "content-range:", 14) == 0)
      std::sscanf(line.c_str() + 14, " bytes %lld-", &r.range_start);
    return size * n;
  };
  auto on_body = +[](char* data, size_t size, size_t n, void* user) -> size_t {
    auto& r = *static_cast<Relay*>(user);
    if (!r.checked) {
      r.checked = true;
      long status = 0;
      curl_easy_getinfo(r.easy, CURLINFO_RESPONSE_CODE, &status);
      // Only the part asked for, never an error page.
      if (status != 206 || r.range_start != r.at) r.ok = false;
    }
    if (!r.ok || r.stopping->load()) return 0;
    const std::size_t take = static_cast<std::size_t>(std::min<std::int64_t>(r.left, size * n));
    if (take > 0 && !r.sink->write(data, take)) {
      r.ok = false;
      return 0;
    }
    r.left -= static_cast<std::int64_t>(take);
    return r.left > 0 ? size * n : 0;
  };
  auto on_progress = +[](void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
    auto& r = *static_cast<Relay*>(user);
    return r.stopping->load() || !r.sink->is_writable() ? 1 : 0;
  };
  const std::string range = std::to_string(at) + "-" + std::to_string(at + length - 1);
  CURL* easy = relay.easy;
  set_transfer_options(easy, url, 15L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 30L);
  curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &relay);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &relay);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, on_progress);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &relay);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_perform(easy);
  curl_easy_cleanup(easy);
  return relay.ok && relay.left == 0;
}

// Why a seed gives no bytes: one request of its first byte, with short
// time-outs. "" when it answers as a seed does.
std::string seed_problem(const std::string& url) {
  CURL* easy = curl_easy_init();
  if (!easy) return {};
  auto first_bytes = +[](char*, size_t, size_t, void*) -> size_t { return 0; };  // enough
  set_transfer_options(easy, url, 5L);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(easy, CURLOPT_RANGE, "0-0");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, first_bytes);
  const CURLcode result = curl_easy_perform(easy);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(easy);
  // The words of the download's own failure, which comes after its retries.
  if (status >= 400) return "the server answered HTTP " + std::to_string(status) + " for " + url;
  if (result != CURLE_OK && result != CURLE_WRITE_ERROR)
    return std::string(curl_easy_strerror(result)) + " (" + url + ")";
  return {};
}

}  // namespace

bool film_matches(const QvodAddress& q, const std::string& part, std::string& why) {
  const std::string sum = sha1_file(part);
  if (sum.empty()) {
    why = "cannot read " + part + " to check it";
    return false;
  }
  if (strcasecmp(sum.c_str(), q.hash.c_str()) == 0) return true;
  why = "the bytes fetched do not match the address's hash " + q.hash + " (SHA-1 " + sum + ")";
  return false;
}

Terminal::Terminal(std::string suite_folder) : folder_(std::move(suite_folder)) {}

Terminal::~Terminal() {
  stopping_ = true;
  std::map<std::string, std::shared_ptr<Job>> jobs;
  {
    std::lock_guard lock(mutex_);
    jobs.swap(jobs_);
  }
  for (auto& [target, job] : jobs)
    if (job->download) job->download->cancel();
  for (auto& [target, job] : jobs)
    if (job->download) job->download->wait();
}

std::string Terminal::target_of(const QvodAddress& q) {
  return load_qvod_settings(folder_).save_folder + q.file_name;
}

std::shared_ptr<Terminal::Job> Terminal::start(const std::string& address,
                                               const std::string& seed_source) {
  const auto q = parse_qvod(address);
  if (!q) return nullptr;
  const QvodSettings settings = load_qvod_settings(folder_, seed_source);
  const std::string target = settings.save_folder + q->file_name;
  const std::string part = part_file_of(target);
  const std::string job_path = job_file_of(target);
  std::lock_guard lock(mutex_);
  std::shared_ptr<Job>& slot = jobs_[target];
  if (slot && slot->download && !slot->download->finished()) {
    if (same_film(slot->q, *q)) return slot;
    // Another film is on its way into that file: this one waits its turn.
    auto busy = std::make_shared<Job>();
    busy->q = *q;
    busy->target = target;
    busy->refused = "another film is being downloaded into " + target;
    return busy;
  }
  const Entry final_file = entry_of(target);
  if (slot && slot->on_disk && final_file.regular && final_file.size == q->size) return slot;
  auto job = std::make_shared<Job>();
  job->q = *q;
  job->address = qvod_text(*q);  // one line, whatever the address held
  job->target = target;
  slot = job;
  const auto refuse = [&](std::string why) {
    job->refused = std::move(why);
    return slot;
  };
  // Only files this service made are resumed, replaced or removed: the
  // part file whose job file names this very film.
  const std::optional<JobRecord> recorded = read_job_file(job_path);
  const auto recorded_film = recorded ? parse_qvod(recorded->address) : std::nullopt;
  const bool ours = recorded_film && same_film(*recorded_film, *q);
  if (final_file.regular && final_file.size == q->size) {
    // Saved already (perhaps by a service killed before it tidied up).
    job->on_disk = true;
    if (ours) {
      ::unlink(part.c_str());
      ::unlink(job_path.c_str());
    }
    return slot;
  }
  if (final_file.exists)
    return refuse(target + " is there already and is not this film; it is left untouched");
  const Entry part_file = entry_of(part);
  if (part_file.exists && !(part_file.regular && ours))
    return refuse(part + " is not a download of this film; it is left untouched");
  // A job file of another film may only be replaced when that film has no
  // part file (then it never got a byte); anything else of that name stays.
  if (entry_of(job_path).exists && !recorded)
    return refuse(job_path + " is not a job file of this service; it is left untouched");
  if (!make_folders(settings.save_folder)) return refuse("cannot create " + settings.save_folder);
  const std::int64_t need = q->size - std::max<std::int64_t>(0, part_file.size);
  const std::int64_t room = free_bytes(settings.save_folder);
  if (room >= 0 && need > room)
    return refuse("not enough free space in " + settings.save_folder + " for " + q->file_name +
                  ": it needs " + std::to_string(need) + " bytes, " + std::to_string(room) +
                  " are free");
  if (!write_job_file(job_path, JobRecord{job->address, false}))
    return refuse("cannot write " + job_path + ": " + std::strerror(errno));
  DownloadRequest request;
  request.url = settings.seed_source + q->hash;
  job->seed = request.url;
  request.target = target;
  request.size = q->size;
  request.part_file = true;
  request.resume = part_file.exists;
  request.verify = [q = *q](const std::string& path, std::string& why) {
    return film_matches(q, path, why);
  };
  job->download = std::make_unique<Download>(std::move(request));
  return slot;
}

std::string Terminal::Job::stall_reason() const {
  std::lock_guard lock(stall_mutex);
  return stalled;
}

void Terminal::note_stall(Job& job) {
  if (!job.download || job.download->finished() || job.download->failures() == 0) return;
  {
    std::lock_guard lock(job.stall_mutex);
    if (job.stall_checked) return;
    job.stall_checked = true;
  }
  std::string why = seed_problem(job.seed);
  if (why.empty()) why = "nothing has come from " + job.seed + " yet";
  std::lock_guard lock(job.stall_mutex);
  job.stalled = std::move(why);
}

std::int64_t Terminal::available(const Job& job) {
  if (job.on_disk) return job.q.size;
  if (!job.download) return 0;
  if (job.download->state() == Download::State::Complete) return job.q.size;
  return job.download->bytes();
}

bool Terminal::failed(const Job& job) {
  if (job.on_disk) return false;
  if (!job.download) return true;
  const Download::State s = job.download->state();
  return s == Download::State::Failed || s == Download::State::Cancelled;
}

FilmStatus Terminal::status_of(const Job& job) {
  FilmStatus s;
  s.size = job.q.size;
  s.have = available(job);
  if (job.on_disk) {
    s.state = FilmState::Complete;
  } else if (!job.download) {
    s.state = FilmState::Failed;
    s.error = job.refused;
  } else {
    switch (job.download->state()) {
      case Download::State::Running:
        s.state = FilmState::Running;
        s.speed_kb = job.download->speed_kb();
        // Still trying, with nothing so far: what stands in the way.
        if (s.have == 0) s.error = job.stall_reason();
        break;
      case Download::State::Complete:
        s.state = FilmState::Complete;
        break;
      case Download::State::Failed:
        s.state = FilmState::Failed;
        s.error = job.download->error();
        break;
      case Download::State::Cancelled:
        s.state = FilmState::None;
        break;
    }
  }
  return s;
}

FilmStatus Terminal::fetch(const std::string& address, const std::string& seed_source) {
  const std::shared_ptr<Job> job = start(address, seed_source);
  if (!job) {
    FilmStatus s;
    s.state = FilmState::Failed;
    s.error = "not a qvod address";
    return s;
  }
  return status_of(*job);
}

FilmStatus Terminal::status(const std::string& address) {
  FilmStatus s;
  const auto q = parse_qvod(address);
  if (!q) {
    s.state = FilmState::Failed;
    s.error = "not a qvod address";
    return s;
  }
  const std::string target = target_of(*q);
  {
    std::lock_guard lock(mutex_);
    if (const auto it = jobs_.find(target); it != jobs_.end()) {
      s = status_of(*it->second);
      if (s.state != FilmState::None) return s;
    }
  }
  s.state = FilmState::None;
  s.size = q->size;
  const Entry final_file = entry_of(target);
  if (final_file.regular && final_file.size == q->size) {
    s.state = FilmState::Complete;
    s.have = q->size;
  } else if (job_names_film(target, *q)) {
    s.have = std::max<std::int64_t>(0, entry_of(part_file_of(target)).size);
  }
  return s;
}

void Terminal::cancel(const std::string& address) {
  const auto q = parse_qvod(address);
  if (!q) return;
  const std::string target = target_of(*q);
  std::shared_ptr<Job> job;
  {
    std::lock_guard lock(mutex_);
    const auto it = jobs_.find(target);
    if (it == jobs_.end() || !same_film(it->second->q, *q)) return;
    job = it->second;
    jobs_.erase(it);
  }
  if (job->download && !job->download->finished()) {
    job->download->cancel();
    job->download->wait();
    // Kept for a later fetch of the film, which goes on from the part
    // file; not taken up by itself when the service starts.
    write_job_file(job_file_of(target), JobRecord{job->address, true});
  }
}

void Terminal::tidy() {
  std::lock_guard lock(mutex_);
  for (auto& [target, job] : jobs_) {
    if (!job->download || !job->download->finished()) continue;
    // Over for good: complete, or nothing left to go on from.
    if (job->download->state() == Download::State::Complete || !entry_of(part_file_of(target)).exists)
      ::unlink(job_file_of(target).c_str());
  }
}

void Terminal::resume_jobs() {
  const std::string folder = load_qvod_settings(folder_).save_folder;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> jobs, leftovers;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (ends_with(name, ".part.job")) jobs.push_back(folder + name);
    if (ends_with(name, ".part.job.new")) leftovers.push_back(folder + name);
  }
  ::closedir(dir);
  // Temporaries of job files this service was writing when it ended.
  for (const std::string& path : leftovers)
    if (own_leftover(path)) ::unlink(path.c_str());
  for (const std::string& path : jobs) {
    const auto record = read_job_file(path);
    const auto q = record ? parse_qvod(record->address) : std::nullopt;
    // A job file names the film it is named after; anything else is not
    // this service's and stays as it is.
    if (!q || job_file_of(folder + q->file_name) != path) continue;
    if (record->paused) continue;  // until the film is asked for again
    start(record->address, {});
  }
}

void Terminal::add_routes(httplib::Server& http, const std::string& token) {
  const std::string prefix = "/" + token + "/";
  const auto text = [](httplib::Response& res, const std::string& body) {
    res.set_header("Cache-Control", "no-store");
    res.set_content(body, "text/plain; charset=utf-8");
  };
  http.Get(prefix + "ping", [text](const httplib::Request&, httplib::Response& res) {
    text(res, "QvodTerminal " + std::to_string(::getpid()) + "\n");
  });
  http.Get(prefix + "fetch", [this, text](const httplib::Request& req, httplib::Response& res) {
    text(res, format_film_status(fetch(req.get_param_value("a"), req.get_param_value("s"))));
  });
  http.Get(prefix + "status", [this, text](const httplib::Request& req, httplib::Response& res) {
    text(res, format_film_status(status(req.get_param_value("a"))));
  });
  http.Get(prefix + "cancel", [this, text](const httplib::Request& req, httplib::Response& res) {
    cancel(req.get_param_value("a"));
    text(res, "ok\n");
  });
  http.Get(prefix + "stream", [this](const httplib::Request& req, httplib::Response& res) {
    // The range is answered here, not by the server library.
    const std::string range_header = req.get_header_value("Range");
    const_cast<httplib::Request&>(req).ranges.clear();
    const std::shared_ptr<Job> job = start(req.get_param_value("a"), req.get_param_value("s"));
    if (!job) {
      res.status = 404;
      return;
    }
    // Up to the first bytes, or until it is plain there will be none soon.
    for (int i = 0; i < 1000 && !stopping_; ++i) {
      if (available(*job) > 0 || failed(*job)) break;
      if (job->download && job->download->failures() > 0) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (available(*job) == 0) {
      note_stall(*job);
      res.status = 502;
      return;
    }
    const std::int64_t size = job->q.size;
    const ByteRange range = byte_range(range_header, size);
    res.set_header("Accept-Ranges", "bytes");
    if (!range.ok) {
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(size));
      return;
    }
    res.status = range.part ? 206 : 200;
    if (range.part)
      res.set_header("Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                          std::to_string(range.first + range.length - 1) + "/" +
                                          std::to_string(size));
    struct Reader {
      int fd = -1;
      ~Reader() {
        if (fd >= 0) ::close(fd);
      }
    };
    auto reader = std::make_shared<Reader>();
    const std::int64_t first = range.first;
    res.set_content_provider(
        static_cast<std::size_t>(range.length), "video/mp4",
        [this, job, reader, first](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          const std::int64_t at = first + static_cast<std::int64_t>(offset);
          if (job->download && !job->download->finished() && !job->seed.empty()) {
            const std::int64_t ahead = at - available(*job);
            const std::int64_t far =
                std::max<std::int64_t>(kMinAhead, job->download->speed_kb() * 1024 * kAheadSeconds);
            if (ahead > far)
              return relay_from_seed(job->seed, at, static_cast<std::int64_t>(length), sink, stopping_);
          }
          char buffer[65536];
          for (;;) {
            if (stopping_ || !sink.is_writable()) return false;
            const std::int64_t have = available(*job);
            if (have > at) {
              if (reader->fd < 0) {
                // The part file, or the final one once it has its name.
                reader->fd = ::open(part_file_of(job->target).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
                if (reader->fd < 0)
                  reader->fd = ::open(job->target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
                if (reader->fd < 0) return false;
              }
              const std::size_t want = static_cast<std::size_t>(
                  std::min<std::int64_t>({static_cast<std::int64_t>(length),
                                          static_cast<std::int64_t>(sizeof buffer), have - at}));
              const ssize_t n = ::pread(reader->fd, buffer, want, at);
              if (n > 0) return sink.write(buffer, static_cast<std::size_t>(n));
              if (n < 0 && errno != EINTR) return false;
            } else if (failed(*job)) {
              return false;  // it will not come
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
        });
  });
}

}  // namespace tav::suite
