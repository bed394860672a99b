// The suite's background service: the qvod:// downloads of every player of
// the user, each into <save folder>/<name>.part (with the address in
// <name>.part.job), checked against the address's hash and only then
// renamed to <name>; and the films' bytes, as far as they are on disk, for
// the players' streams. Qt-free.
//
// Whatever the address, the service never adopts, truncates, replaces or
// removes a file it did not make: a name that is taken by anything but the
// film itself is refused, with the reason in the film's status.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "suite/player/address.h"
#include "suite/player/download.h"
#include "suite/player/terminal_link.h"

namespace httplib {
class Server;
}

namespace tav::suite {

class Terminal {
 public:
  // suite_folder: where QvodPlayer.xml is.
  explicit Terminal(std::string suite_folder);
  // Ends the downloads; their part and job files stay for the next start.
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Starts again the downloads that have a job file in the save folder.
  void resume_jobs();
  // seed_source: where the asking player's program takes its seeds from,
  // for a settings file that names none ("": this process's own).
  FilmStatus fetch(const std::string& address, const std::string& seed_source = {});
  FilmStatus status(const std::string& address);
  void cancel(const std::string& address);
  // Removes the job files of downloads that are over.
  void tidy();
  // The routes under /<token>/ (see terminal_link.h).
  void add_routes(httplib::Server& http, const std::string& token);
  // Ends the streams that wait for bytes (before the server stops).
  void stop_streams() { stopping_ = true; }

 private:
  struct Job {
    QvodAddress q;
    std::string address;    // as the job file holds it
    std::string target;
    bool on_disk = false;   // the final file was there from the start
    std::string refused;    // why nothing is fetched (the name is taken, no room...)
    std::unique_ptr<Download> download;
    std::string seed;       // the seed's URL
    // Why no byte has come, once a stream found none: the seed looked at.
    mutable std::mutex stall_mutex;
    bool stall_checked = false;
    std::string stalled;
    std::string stall_reason() const;
  };
  std::shared_ptr<Job> start(const std::string& address, const std::string& seed_source);
  // A stream gives up on a download that has no byte yet: the reason is
  // found once, for the status.
  static void note_stall(Job& job);
  std::string target_of(const QvodAddress& q);
  static FilmStatus status_of(const Job& job);
  static std::int64_t available(const Job& job);
  static bool failed(const Job& job);

  const std::string folder_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Job>> jobs_;  // by target file
  std::atomic<bool> stopping_{false};
};

// True when the file at part holds the film of q: its SHA-1 is the
// address's hash (case aside).
bool film_matches(const QvodAddress& q, const std::string& part, std::string& why);

}  // namespace tav::suite
