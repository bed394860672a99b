// What the player control and the suite's service (QvodTerminal.exe) share:
// the per-user runtime folder with the service's lock and the file that
// says where it listens, and the names of the files a qvod:// download
// works in.
//
// The service answers HTTP on 127.0.0.1:<port>; every path starts with
// /<token>/ (the token is in the endpoint file, which only the user can
// read):
//   ping                 -> "QvodTerminal <pid>"
//   fetch?a=ADDR[&keep=1][&s=SEEDS] starts (or joins) the download, answers
//                         its status
//   status?a=ADDR         the status, starts nothing
//   cancel?a=ADDR         ends the download (its part file is kept)
//   stream?a=ADDR[&s=SEEDS] the film's bytes (with Range), as far as they
//                         are on disk; waits for the ones still coming
// SEEDS is the control's seed source, taken where the service's own
// settings name none.
// A status is one line: "<state> <bytes on disk> <size> <KB/s>", then the
// reason of a failure on a second line; state is none, running, complete
// or failed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "suite/player/address.h"

namespace tav::suite {

inline constexpr char kTerminalProgram[] = "QvodTerminal.exe";
inline constexpr char kPlayerProgram[] = "QvodPlayer.exe";
inline constexpr char kTerminalLockName[] = "QvodTerminal.lock";
inline constexpr char kTerminalEndpointName[] = "QvodTerminal.endpoint";

// $XDG_RUNTIME_DIR/tavori-suite (or /tmp/tavori-suite-<uid>), made private
// to the user when missing; "" when it cannot be made or is not the user's
// own folder.
std::string terminal_runtime_folder();

struct TerminalEndpoint {
  int port = 0;
  std::string token;  // letters and digits
  long pid = 0;
};

std::optional<TerminalEndpoint> read_terminal_endpoint(const std::string& runtime_folder);
// The endpoint file's text: "<port> <token> <pid>"; nullopt when it is not one.
std::optional<TerminalEndpoint> parse_terminal_endpoint(std::string_view text);
// Written whole (a temporary file renamed into place), readable by the user only.
bool write_terminal_endpoint(const std::string& runtime_folder, const TerminalEndpoint& endpoint);

// The files of a qvod:// download next to its final file.
inline std::string part_file_of(const std::string& target) { return target + ".part"; }
inline std::string job_file_of(const std::string& target) { return target + ".part.job"; }

// A job file: the download's qvod:// address on its first line, and
// "paused" on a second one when the download was ended on purpose (it is
// then not taken up again by itself when the service starts).
struct JobRecord {
  std::string address;
  bool paused = false;
};
std::string job_file_text(const JobRecord& job);
// nullopt when the text is not a job file (its first line is no qvod:// address).
std::optional<JobRecord> parse_job_file(std::string_view text);
// The job file at path, read without following a link; nullopt when it is
// missing, not a regular file or not a job file.
std::optional<JobRecord> read_job_file(const std::string& path);
// The job file beside target is there and names the film of q: the part
// file beside it is that film's download.
bool job_names_film(const std::string& target, const QvodAddress& q);
// The SHA-1 of a finished download's bytes (tav::Sha1), read without
// following a link; "" when it cannot be read.
std::string sha1_file(const std::string& path);

// Who listens where a connection to 127.0.0.1:port goes, from the text of
// /proc/net/tcp (v6 false) or /proc/net/tcp6 (v6 true): the uids of the
// listening sockets bound to that port on 127.0.0.1 or on every address
// (0.0.0.0, ::, ::ffff:127.0.0.1).
std::vector<unsigned> loopback_listeners(std::string_view table, int port, bool v6);
// Something listens on 127.0.0.1:port and every socket that could take a
// connection there belongs to uid. Read from /proc/net/tcp and tcp6.
bool loopback_port_owned_by(int port, unsigned uid);

enum class FilmState { None, Running, Complete, Failed };

struct FilmStatus {
  FilmState state = FilmState::None;
  std::int64_t have = 0;  // bytes on disk
  std::int64_t size = 0;
  int speed_kb = 0;
  std::string error;
};

std::string format_film_status(const FilmStatus& status);
// nullopt when the text is not a status.
std::optional<FilmStatus> parse_film_status(const std::string& text);

}  // namespace tav::suite
