// The demo server's parsers: the catalogue file and the client's queries.
//
// The whole input is a catalogue file; its first line is also a query.
// Invariants:
// - parse_catalogue either throws CatalogueError or gives a catalogue whose
//   every series has a positive unique id, a name and episodes with plain
//   file names and a known kind; written out again it parses to the same;
// - decode_query_text gives valid UTF-8;
// - a media file name escaped for a path decodes back to itself;
// - a parsed episode-page query, written again with its name escaped,
//   parses to the same fields (escaped as a browser does); parse_count stays within its cap.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "base/percent_encoding.h"
#include "base/text.h"
#include "catalogue.h"
#include "fuzz_support.h"
#include "protocol.h"
#include "web/text_routines.h"

namespace {

using tav::fuzz::violated;

std::string write_catalogue(const tsrv::Catalogue& cat) {
  std::string out;
  for (const tsrv::Series& s : cat.series) {
    out += "series " + std::to_string(s.id) + "\nname " + s.name + "\n";
    if (!s.shelves.empty()) {
      out += "shelf";
      for (const std::string& w : s.shelves) out += " " + w;
      out += "\n";
    }
    for (const auto& [key, value] : {std::pair<const char*, const std::string&>{"genre", s.genre},
                                     {"year", s.year},
                                     {"rating", s.rating},
                                     {"about", s.about}})
      if (!value.empty()) out += std::string(key) + " " + value + "\n";
    if (!s.color_a.empty()) out += "colors " + s.color_a + " " + s.color_b + "\n";
    if (s.pending) out += "status pending\n";
    for (const tsrv::Episode& e : s.episodes) {
      out += "episode " + e.label + " | " + e.file + " | " + e.kind;
      if (!e.note.empty()) out += " | " + e.note;
      out += "\n";
    }
  }
  return out;
}

bool same(const tsrv::Series& a, const tsrv::Series& b) {
  if (a.id != b.id || a.name != b.name || a.shelves != b.shelves || a.genre != b.genre ||
      a.year != b.year || a.rating != b.rating || a.about != b.about || a.color_a != b.color_a ||
      a.color_b != b.color_b || a.pending != b.pending || a.episodes.size() != b.episodes.size())
    return false;
  for (std::size_t i = 0; i < a.episodes.size(); ++i) {
    const tsrv::Episode &x = a.episodes[i], &y = b.episodes[i];
    if (x.label != y.label || x.file != y.file || x.kind != y.kind || x.note != y.note) return false;
  }
  return true;
}

// Percent-escapes the UTF-8 bytes as a browser sends a query.
std::string browser_escape(std::string_view text) {
  return tav::percent_encode(text, tav::kAsciiAlphanumerics.with("-"));
}

bool valid_utf8(const std::string& text) {
  std::string again;
  for (const char32_t cp : tav::utf8_code_points(text)) {
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    again += tav::utf8_from_code_point(cp);
  }
  return again == text;
}

void check_catalogue(std::string_view text) {
  tsrv::Catalogue cat;
  try {
    cat = tsrv::parse_catalogue(text);
  } catch (const tsrv::CatalogueError&) {
    return;
  }
  if (cat.series.empty()) violated("a catalogue lists a series");
  std::set<long> ids;
  for (const tsrv::Series& s : cat.series) {
    if (s.id <= 0 || !ids.insert(s.id).second) violated("series ids are positive and unique");
    if (s.name.empty() || s.episodes.empty()) violated("a series has a name and episodes");
    if (cat.find(s.id) != &s) violated("find gives the series of the id");
    for (const tsrv::Episode& e : s.episodes) {
      if (!tsrv::is_plain_file_name(e.file)) violated("episode files are plain names", e.file);
      if (e.kind != "qvod" && e.kind != "web") violated("episode kinds are known", e.kind);
      if (e.label.empty() || tav::contains(e.label, "$")) violated("episode labels", e.label);
    }
    const std::string link = tsrv::lookup_link(s, 0);
    if (!tav::starts_with(link, "eebovod://" + std::to_string(s.id) + "-1-0-"))
      violated("lookup link", link);
  }
  const std::string again = write_catalogue(cat);
  tsrv::Catalogue reread;
  try {
    reread = tsrv::parse_catalogue(again);
  } catch (const tsrv::CatalogueError& e) {
    violated("a parsed catalogue written out parses again", std::string(e.what()) + "\n" + again);
  }
  if (reread.series.size() != cat.series.size()) violated("the same series again", again);
  for (std::size_t i = 0; i < cat.series.size(); ++i)
    if (!same(cat.series[i], reread.series[i])) violated("the same series again", again);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The media addresses: a file name escaped for a path decodes back to
// itself and leaves nothing a path may not hold; its WebM variant.
void check_media_names(std::string_view name) {
  const std::string escaped = tsrv::path_escape(name);
  std::string back;
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7F || std::string_view("#?\"<>\\^`{}|").find(c) != std::string_view::npos)
      violated("an escaped path holds no character that needs an escape", escaped);
    if (c == '%') {
      if (i + 2 >= escaped.size() || hex_digit(escaped[i + 1]) < 0 || hex_digit(escaped[i + 2]) < 0)
        violated("every % starts an escape", escaped);
      back += static_cast<char>(hex_digit(escaped[i + 1]) * 16 + hex_digit(escaped[i + 2]));
      i += 2;
    } else {
      back += c;
    }
  }
  if (back != name) violated("an escaped path decodes to the name", escaped);
  if (tsrv::media_path(name) != "/media/" + escaped) violated("media path", escaped);
  const std::string webm = tsrv::webm_variant(name);
  if (!webm.empty() && !tav::ends_with(webm, ".webm")) violated("the WebM variant ends in .webm", webm);
}

void check_queries(std::string_view text) {
  const std::string decoded = tsrv::decode_query_text(text);
  if (!valid_utf8(decoded)) violated("decoded query text is valid UTF-8", decoded);

  if (const auto count = tsrv::parse_count(text)) {
    if (*count < 0 || *count > 1'000'000'000'000'000) violated("parse_count stays within its cap");
  }

  const auto q = tsrv::parse_episode_page_query(text);
  if (!q) return;
  if (!valid_utf8(q->name)) violated("the query's name is valid UTF-8", q->name);
  (void)tsrv::last_watched(*q);
  const std::string again = std::to_string(q->series) + "-" + std::to_string(q->v) + "-" +
                            std::to_string(q->v1) + "-" + browser_escape(q->name) + "-" + q->last;
  const auto r = tsrv::parse_episode_page_query(again);
  if (!r || r->series != q->series || r->v != q->v || r->v1 != q->v1 || r->name != q->name ||
      r->last != q->last)
    violated("an episode-page query written again parses to the same", again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  check_catalogue(text);
  // A query is one line of an address: the first line, at most 1 KiB.
  const std::string_view first_line = text.substr(0, std::min<std::size_t>(text.find('\n'), 1024));
  check_queries(first_line);
  check_media_names(first_line);
  return 0;
}
