// What the player suite reads from others: addresses (qvod://, file:// and
// paths, from any page), the Range header of the service's stream, the
// service's status lines and endpoint file, its job files, and the socket
// tables of /proc/net.
//
// The first line is an address, a Range header, a port and a size; the
// whole input is also a status, an endpoint file, a job file and a socket
// table. Invariants:
// - a parsed qvod:// address has a positive size, a hash of letters and
//   digits, and a file name that is one harmless name in a folder; it is
//   the same film as itself;
// - a local address is an absolute path without a NUL byte, or nothing;
//   an http(s) or qvod:// address is never a local one;
// - a byte range lies inside the film, or is the whole film, or is past
//   its end;
// - a status and an endpoint written again parse to the same; an address
//   as the service writes it (also into a job file) is the same film.
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "fuzz_support.h"
#include "suite/player/address.h"
#include "suite/player/terminal_link.h"
#include "suite/terminal/byte_range.h"

namespace {

using tav::fuzz::violated;
using namespace tav::suite;

bool alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void check_address(std::string_view text) {
  if (const auto q = parse_qvod(text)) {
    if (q->size <= 0) violated("a qvod size is positive", text);
    if (q->hash.empty() || q->hash.size() > 128) violated("a qvod hash is there", text);
    for (char c : q->hash)
      if (!alnum(c)) violated("a qvod hash is letters and digits", q->hash);
    const std::string& name = q->file_name;
    if (name.empty() || name == "." || name == ".." || name.size() > 200)
      violated("a qvod file name is one name", name);
    for (char c : name) {
      const auto b = static_cast<unsigned char>(c);
      if (c == '/' || c == '\\' || b < 0x20 || b == 0x7F) violated("a qvod file name has no separator", name);
    }
    for (const std::string_view tail : {".part", ".part.job", ".part.job.new"})
      if (name.size() >= tail.size() && tav::ascii_lower(name.substr(name.size() - tail.size())) == tail)
        violated("a qvod file name is no work file's", name);
    if (!same_film(*q, *q)) violated("a film is itself");
    const auto again = parse_qvod(qvod_text(*q));
    if (!again || !same_film(*again, *q) || again->file_name != q->file_name)
      violated("an address written again is the same film", qvod_text(*q));
    for (const bool paused : {false, true}) {
      const auto job = parse_job_file(job_file_text({qvod_text(*q), paused}));
      if (!job || job->address != qvod_text(*q) || job->paused != paused)
        violated("a job file of the film parses to it", qvod_text(*q));
    }
    if (address_kind(text) != AddressKind::Qvod) violated("a qvod address is of its kind", text);
  }
  const std::string path = local_path(text);
  if (!path.empty()) {
    if (path[0] != '/') violated("a local path is absolute", path);
    if (path.find('\0') != std::string::npos) violated("a local path has no NUL", path);
    if (address_kind(text) != AddressKind::Local) violated("a local path comes of a local address", text);
  }
  const AddressKind kind = address_kind(text);
  if ((kind == AddressKind::Http || kind == AddressKind::Qvod) && !path.empty())
    violated("a network address is no local path", text);
}

void check_range(std::string_view header, std::int64_t size) {
  const ByteRange r = byte_range(header, size);
  if (!r.ok) return;  // past the end
  if (!r.part) {
    if (r.first != 0 || r.length != size) violated("no range is the whole film", header);
    return;
  }
  if (r.first < 0 || r.first >= size || r.length < 1 || r.length > size - r.first)
    violated("a range lies inside the film", header);
}

void check_status(std::string_view text) {
  const auto s = parse_film_status(std::string(text));
  if (!s) return;
  const std::string again = format_film_status(*s);
  const auto t = parse_film_status(again);
  if (!t || t->state != s->state || t->have != s->have || t->size != s->size ||
      t->speed_kb != s->speed_kb)
    violated("a status written again parses to the same", again);
  if (t->error.find('\n') != std::string::npos) violated("a status's reason is one line", again);
}

void check_endpoint(std::string_view text) {
  const auto e = parse_terminal_endpoint(text);
  if (!e) return;
  if (e->port <= 0 || e->port > 65535 || e->pid <= 0 || e->token.empty())
    violated("an endpoint has a port, a token and a process", text);
  for (char c : e->token)
    if (!alnum(c)) violated("an endpoint's token is letters and digits", e->token);
  const std::string again = std::to_string(e->port) + " " + e->token + " " + std::to_string(e->pid) + "\n";
  const auto f = parse_terminal_endpoint(again);
  if (!f || f->port != e->port || f->token != e->token || f->pid != e->pid)
    violated("an endpoint written again parses to the same", again);
}

void check_job(std::string_view text) {
  const auto job = parse_job_file(text);
  if (!job) return;
  if (!parse_qvod(job->address)) violated("a job names a qvod address", job->address);
  if (job->address.find('\n') != std::string::npos) violated("a job's address is one line", job->address);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string_view first = text.substr(0, std::min(text.find('\n'), text.size()));
  check_address(first);
  std::int64_t number = 0;
  for (char c : first.substr(0, 12))
    if (c >= '0' && c <= '9') number = number * 10 + (c - '0');
  for (const std::int64_t film : {std::int64_t{1}, std::int64_t{1000}, number + 1})
    check_range(first, film);
  check_status(text);
  check_endpoint(text);
  check_job(text);
  const int port = static_cast<int>(number % 65536);
  for (const unsigned uid : loopback_listeners(text, port, false)) (void)uid;
  for (const unsigned uid : loopback_listeners(text, port, true)) (void)uid;
  return 0;
}
