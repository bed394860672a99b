#include "protocol.h"

#include <vector>

#include "base/percent_encoding.h"
#include "base/text.h"
#include "catalogue.h"
#include "web/text_routines.h"

namespace tsrv {

namespace {

constexpr std::int64_t kCountCap = 1'000'000'000'000'000;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int hex_value(std::string_view s) {
  int v = 0;
  for (const char c : s) {
    const int d = hex_digit(c);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

// Re-encodes a byte string so that every byte sequence that is not UTF-8
// becomes U+FFFD. A surrogate (a lone "%uD83D", or its three bytes) is not
// UTF-8 either.
std::string valid_utf8(std::string_view bytes) {
  std::string out;
  for (char32_t cp : tav::utf8_code_points(bytes)) {
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
    out += tav::utf8_from_code_point(cp);
  }
  return out;
}

}  // namespace

std::optional<std::int64_t> parse_count(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (v < kCountCap) v = v * 10 + (c - '0');
  }
  return v < kCountCap ? v : kCountCap;
}

std::string link_name(std::string_view name) {
  return tav::replace_all(tav::replace_all(tav::urlEscape(name), "-", "%2D"), "/", "%2F");
}

std::string lookup_link(const Series& series, std::size_t episode) {
  return "eebovod://" + std::to_string(series.id) + "-1-" + std::to_string(episode) + "-" +
         link_name(series.name);
}

std::string reply_label(std::string_view label) {
  return tav::replace_all(tav::replace_all(label, "%", "%25"), "&", "%26");
}

std::string path_escape(std::string_view name) {
  static constexpr tav::ByteSet kKept =
      tav::ByteSet().with_range(0x21, 0xFF).without("\x7F%#?\"<>\\^`{}|");
  return tav::percent_encode(name, kKept);
}

std::string media_path(std::string_view file) { return "/media/" + path_escape(file); }

std::string webm_variant(std::string_view file) {
  const std::size_t dot = file.rfind('.');
  const std::string_view stem = dot == std::string_view::npos || dot == 0 ? file : file.substr(0, dot);
  if (tav::ascii_lower(file.substr(stem.size())) == ".webm") return {};
  return std::string(stem) + ".webm";
}

std::string qvod_address(std::string_view file, std::uintmax_t size, std::string_view hash) {
  return "qvod://" + std::to_string(size) + "|" + std::string(hash) + "|" + std::string(file) + "|";
}

std::string episode_reply(const Episode& episode, std::uintmax_t size, std::string_view hash,
                          std::string_view origin) {
  const std::string address = episode.kind == "qvod"
                                  ? qvod_address(episode.file, size, hash)
                                  : std::string(origin) + media_path(episode.file);
  return reply_label(episode.label) + "$" + address + "$" + episode.kind;
}

std::string decode_query_text(std::string_view text) {
  std::string bytes;
  std::u16string units;  // a run of %uXXXX escapes, kept together for surrogate pairs
  auto flush_units = [&] {
    if (!units.empty()) bytes += tav::utf16_to_utf8(units);
    units.clear();
  };
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '%' && i + 5 < text.size() && (text[i + 1] == 'u' || text[i + 1] == 'U')) {
      const int v = hex_value(text.substr(i + 2, 4));
      if (v >= 0) {
        units += static_cast<char16_t>(v);
        i += 6;
        continue;
      }
    }
    flush_units();
    if (text[i] == '%' && i + 2 < text.size()) {
      const int v = hex_value(text.substr(i + 1, 2));
      if (v >= 0) {
        bytes += static_cast<char>(v);
        i += 3;
        continue;
      }
    }
    bytes += text[i];
    ++i;
  }
  flush_units();
  return valid_utf8(bytes);
}

std::optional<EpisodePageQuery> parse_episode_page_query(std::string_view raw_query) {
  // series, v and v1 are the first three fields; last is the final one.
  std::size_t cut[3];
  std::size_t from = 0;
  for (std::size_t& c : cut) {
    c = raw_query.find('-', from);
    if (c == std::string_view::npos) return std::nullopt;
    from = c + 1;
  }
  const auto series = parse_count(raw_query.substr(0, cut[0]));
  const auto v = parse_count(raw_query.substr(cut[0] + 1, cut[1] - cut[0] - 1));
  const auto v1 = parse_count(raw_query.substr(cut[1] + 1, cut[2] - cut[1] - 1));
  if (!series || !v || !v1) return std::nullopt;

  EpisodePageQuery q;
  q.series = *series;
  q.v = *v;
  q.v1 = *v1;
  const std::size_t last_dash = raw_query.rfind('-');
  const std::string_view last = raw_query.substr(last_dash + 1);
  if (last_dash >= from && parse_count(last)) {
    q.name = decode_query_text(raw_query.substr(from, last_dash - from));
    q.last = std::string(last);
  } else {  // cut short by a "#" in the name
    q.name = decode_query_text(raw_query.substr(from));
    q.last = "0";
  }
  return q;
}

std::optional<std::int64_t> last_watched(const EpisodePageQuery& query) {
  const std::string v = std::to_string(query.v);
  if (query.last == "0" || query.last.size() <= v.size() || !tav::starts_with(query.last, v))
    return std::nullopt;
  return parse_count(std::string_view(query.last).substr(v.size()));
}

std::string version_text(const VersionFields& f) {
  return f.exit_notice + "====" + f.floating_ad + "====" + f.ad_strip + "====" + f.newest;
}

}  // namespace tsrv
