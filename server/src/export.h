// tavori-server --export DIR: the whole site as static files, for a web
// server of one's choice (packaging/nginx/tavori.conf serves them so that
// every address answers as tavori-server does).
//
//   DIR/box/index.html                  /box/
//   DIR/box/yy.html, tv.html            /box//yy, /box//tv
//   DIR/box/play.htm                    /box/play.htm?... (the page reads its query itself)
//   DIR/box/h/<id>/<v1>.txt             /box/h.asp?id=<id>&v=...&v1=<v1>
//   DIR/box/h/<id>/all.txt              every episode of a pending series ("0")
//   DIR/box/h/none.txt                  any other series or episode ("1")
//   DIR/box/pp/<id>/e<v1>-l<last>.html  /box/pp.htm?<id>-<v>-<v1>-<name>-<last>, for every
//                                       episode v1 and every episode last watched; an
//                                       empty e or l: none of the series' episodes
//   DIR/box/pp/none.html                pp.htm of a series the catalogue does not have (404)
//   DIR/box/lib/wen.txt                 the version file
//   DIR/box/update/                     release.txt and the archive of --release, update.exe
//   DIR/box/js/ads/<which>.html         the three advertisement cards
//   DIR/player/index.html               /player/
//   DIR/media/<file>                    a copy of every file of the media folder
//   DIR/seed/<HASH>, DIR/seed/<hash>    links to ../media/<file>, by the SHA-1 of its bytes
//   DIR/errors/<name>.html              the pages of the error statuses
//   DIR/.tavori-export                  says what made the folder
//
// Episode numbers and series numbers are written without leading zeros;
// the web server takes them off the request's (the nginx map does).
#pragma once

#include <string>

namespace tsrv {

struct Catalogue;
struct Options;

// Writes the site of the options' catalogue, media and release into
// options.export_dir. The folder is made whole beside DIR first and then
// put in DIR's place, so a web server serving DIR sees the old site or the
// new one, never half of one: DIR must be missing, empty, or an earlier
// export (it has .tavori-export). On failure nothing is changed and
// message says why; on success it says what was written.
bool export_site(const Options& options, const Catalogue& catalogue, std::string& message);

// The name of the marker file at the top of an export.
inline constexpr const char* kExportMarker = ".tavori-export";

}  // namespace tsrv
