// The series the server offers, read from a plain-text catalogue file.
//
// The file is UTF-8. "#" starts a comment line; blank lines are ignored.
// "series <number>" starts a record; the lines after it, up to the next
// "series", are "<key> <value>" pairs that describe it:
//
//   name     the series name (required)
//   shelf    pages that list it: any of "library", "hot", "tv"
//   genre, year, rating, about    shown on the pages (optional)
//   colors   two "#rrggbb" colours for the generated poster (optional)
//   status   "ready" (default) or "pending" (the episode data is not ready)
//   episode  <label> | <media file> | <kind> [| <note>], one line per
//            episode in order; kind is "qvod" or "web"
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tsrv {

struct Episode {
  std::string label;  // "第1集"
  std::string file;   // a file name inside the media folder
  std::string kind;   // "qvod" or "web"
  std::string note;   // what a channel is showing, for the TV page
};

struct Series {
  long id = 0;
  std::string name;
  std::vector<std::string> shelves;
  std::string genre;
  std::string year;
  std::string rating;
  std::string about;
  std::string color_a;
  std::string color_b;
  bool pending = false;
  std::vector<Episode> episodes;

  bool on_shelf(std::string_view shelf) const;
};

struct Catalogue {
  std::vector<Series> series;

  const Series* find(long id) const;
  std::vector<const Series*> shelf(std::string_view name) const;
};

class CatalogueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws CatalogueError naming the line of the first fault.
Catalogue parse_catalogue(std::string_view text);
// Reads and parses a file; throws CatalogueError when it cannot be read.
Catalogue load_catalogue(const std::string& path);

// A name that may stand for a file directly inside the media folder: no
// folder separators, no "." or ".." and no leading dot, no control
// characters, no "|" or "$" (they separate fields of the episode reply).
bool is_plain_file_name(std::string_view name);

}  // namespace tsrv
