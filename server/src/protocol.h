// The texts of the client protocol: lookup links, episode replies, the
// episode page query, the version file. Nothing here knows about HTTP.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tsrv {

struct Episode;
struct Series;

// A decimal count made of digits only ("007" is 7); values beyond 10^15
// are held at 10^15, which is past any real series or episode.
std::optional<std::int64_t> parse_count(std::string_view text);

// A series name as the links carry it: urlEscape's escapes, and "-" and
// "/" escaped too ("%2D", "%2F"). The client takes a lookup link apart at
// every dash and drops a slash that ends it; urlUnescape gives the name
// back whole.
std::string link_name(std::string_view name);
// "eebovod://" id "-1-" episode "-" link_name(name).
std::string lookup_link(const Series& series, std::size_t episode);
// An episode label as the episode reply carries it. The client puts it
// into its play link as it is, where "&&&" separates the fields, and reads
// it back through urlUnescape: "%" and "&" are written as their escapes,
// every other character as it is.
std::string reply_label(std::string_view label);

// What may not stand in the path of a web address as it is gets a
// percent escape ("%", "#", "?", spaces, quotes, ...); Chinese stays.
std::string path_escape(std::string_view name);
// "/media/" and the escaped file name: the file's address on this server.
std::string media_path(std::string_view file);
// The WebM file that make_media.sh --webm makes beside a clip: the name
// with ".webm" in place of its extension. Empty for a WebM file itself.
std::string webm_variant(std::string_view file);

// "qvod://" size "|" hash "|" file "|", hash being the SHA-1 of the
// file's bytes (upper-case hex).
std::string qvod_address(std::string_view file, std::uintmax_t size, std::string_view hash);

// The episode reply for an episode whose media file is there:
// reply_label(label) "$" address "$" kind. A qvod episode's address is the
// qvod:// address of the file's size and hash, any other's the file's web
// address under origin ("http://host:port").
std::string episode_reply(const Episode& episode, std::uintmax_t size, std::string_view hash,
                          std::string_view origin);

// Percent escapes as a browser or the client sends them: "%XX" are UTF-8
// bytes, "%uXXXX" UTF-16 code units. Other text stays; bytes that are not
// UTF-8 come out as U+FFFD.
std::string decode_query_text(std::string_view text);

// pp.htm?<series>-<v>-<v1>-<name>-<last>. The name lies between the third
// dash and the last one, so it may itself contain dashes. The client writes
// the name as it is, so a "#" in it ends the query there: what follows the
// third dash is then all name, and last is "0".
struct EpisodePageQuery {
  std::int64_t series = 0;
  std::int64_t v = 0;
  std::int64_t v1 = 0;
  std::string name;  // decoded
  std::string last;  // "0", or v and v1 run together
};
std::optional<EpisodePageQuery> parse_episode_page_query(std::string_view raw_query);
// The episode last watched, from "last": v followed by v1. Nothing for "0"
// or when it does not start with v.
std::optional<std::int64_t> last_watched(const EpisodePageQuery& query);

// The four fields of lib/wen.txt.
struct VersionFields {
  std::string exit_notice = "0";
  std::string floating_ad = "0";
  std::string ad_strip = "0";
  std::string newest = "1.0";
};
std::string version_text(const VersionFields& fields);

}  // namespace tsrv
