#include "catalogue.h"

#include <fstream>
#include <iterator>
#include <set>

#include "base/text.h"

namespace tsrv {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && is_blank(s[b])) ++b;
  while (e > b && is_blank(s[e - 1])) --e;
  return std::string(s.substr(b, e - b));
}

bool is_colour(std::string_view s) {
  if (s.size() != 7 || s[0] != '#') return false;
  for (std::size_t i = 1; i < 7; ++i) {
    const char c = s[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

bool has_control(std::string_view s) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  return false;
}

std::vector<std::string> words(std::string_view s) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && is_blank(s[i])) ++i;
    const std::size_t start = i;
    while (i < s.size() && !is_blank(s[i])) ++i;
    if (i > start) out.emplace_back(s.substr(start, i - start));
  }
  return out;
}

[[noreturn]] void fail(std::size_t line, const std::string& message) {
  throw CatalogueError("line " + std::to_string(line) + ": " + message);
}

Episode parse_episode(std::string_view value, std::size_t line) {
  const std::vector<std::string> parts = tav::split(value, "|");
  if (parts.size() < 3 || parts.size() > 4)
    fail(line, "an episode is \"<label> | <media file> | <kind>\" with an optional \"| <note>\"");
  Episode ep;
  ep.label = trim(parts[0]);
  ep.file = trim(parts[1]);
  ep.kind = trim(parts[2]);
  if (parts.size() == 4) ep.note = trim(parts[3]);
  if (ep.label.empty()) fail(line, "the episode label is empty");
  if (tav::contains(ep.label, "$")) fail(line, "an episode label may not contain \"$\"");
  if (!is_plain_file_name(ep.file))
    fail(line, "\"" + ep.file + "\" is not a plain file name inside the media folder");
  if (ep.kind != "qvod" && ep.kind != "web")
    fail(line, "the kind must be \"qvod\" or \"web\", not \"" + ep.kind + "\"");
  return ep;
}

}  // namespace

bool Series::on_shelf(std::string_view shelf) const {
  for (const std::string& s : shelves)
    if (s == shelf) return true;
  return false;
}

const Series* Catalogue::find(long id) const {
  for (const Series& s : series)
    if (s.id == id) return &s;
  return nullptr;
}

std::vector<const Series*> Catalogue::shelf(std::string_view name) const {
  std::vector<const Series*> out;
  for (const Series& s : series)
    if (s.on_shelf(name)) out.push_back(&s);
  return out;
}

bool is_plain_file_name(std::string_view name) {
  if (name.empty() || name.size() > 255 || name[0] == '.') return false;
  if (has_control(name)) return false;
  for (const char c : name)
    if (c == '/' || c == '\\' || c == '|' || c == '$') return false;
  for (const char32_t cp : tav::utf8_code_points(name))
    if (cp == 0xFFFD) return false;
  return true;
}

Catalogue parse_catalogue(std::string_view text) {
  if (tav::starts_with(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  Catalogue cat;
  std::set<long> ids;
  Series* current = nullptr;
  const std::vector<std::string> lines = tav::split_lines(text);
  auto finish = [&](std::size_t line) {
    if (!current) return;
    if (current->name.empty()) fail(line, "series " + std::to_string(current->id) + " has no name");
    if (current->episodes.empty())
      fail(line, "series " + std::to_string(current->id) + " has no episode");
  };
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::size_t line = n + 1;
    const std::string row = trim(lines[n]);
    if (row.empty() || row[0] == '#') continue;
    for (const char32_t cp : tav::utf8_code_points(row))
      if (cp == 0xFFFD) fail(line, "the text is not UTF-8");
    if (has_control(trim(tav::replace_all(row, "\t", " "))))
      fail(line, "control characters are not allowed");

    std::size_t gap = 0;
    while (gap < row.size() && !is_blank(row[gap])) ++gap;
    const std::string key = row.substr(0, gap);
    const std::string value = trim(std::string_view(row).substr(gap));

    if (key == "series") {
      finish(line);
      const auto id = tav::parse_int32(value);
      if (!id || *id <= 0 || value.find_first_not_of("0123456789") != std::string::npos)
        fail(line, "\"series\" needs a positive number, not \"" + value + "\"");
      if (!ids.insert(*id).second) fail(line, "series " + value + " is listed twice");
      cat.series.emplace_back();
      current = &cat.series.back();
      current->id = *id;
      continue;
    }
    if (!current) fail(line, "\"" + key + "\" comes before the first \"series\" line");
    if (key == "name") {
      if (value.empty()) fail(line, "the name is empty");
      current->name = value;
    } else if (key == "shelf") {
      current->shelves = words(value);
      for (const std::string& s : current->shelves)
        if (s != "library" && s != "hot" && s != "tv")
          fail(line, "unknown shelf \"" + s + "\" (library, hot, tv)");
    } else if (key == "genre") {
      current->genre = value;
    } else if (key == "year") {
      current->year = value;
    } else if (key == "rating") {
      current->rating = value;
    } else if (key == "about") {
      current->about = value;
    } else if (key == "colors") {
      const std::vector<std::string> c = words(value);
      if (c.size() != 2 || !is_colour(c[0]) || !is_colour(c[1]))
        fail(line, "\"colors\" needs two colours such as \"#203a43 #2c5364\"");
      current->color_a = c[0];
      current->color_b = c[1];
    } else if (key == "status") {
      if (value != "ready" && value != "pending")
        fail(line, "the status is \"ready\" or \"pending\", not \"" + value + "\"");
      current->pending = value == "pending";
    } else if (key == "episode") {
      current->episodes.push_back(parse_episode(value, line));
    } else {
      fail(line, "unknown key \"" + key + "\"");
    }
  }
  finish(lines.size());
  if (cat.series.empty()) throw CatalogueError("the catalogue lists no series");
  return cat;
}

Catalogue load_catalogue(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CatalogueError("cannot read " + path);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  try {
    return parse_catalogue(text);
  } catch (const CatalogueError& e) {
    throw CatalogueError(path + ", " + e.what());
  }
}

}  // namespace tsrv
