// Every page tavori-server serves, walked as the client's panels show them:
// each link, source and event handler must lead somewhere the panel that
// shows the page can follow. A link-protocol address only works in a panel
// whose navigation handler acts on that scheme; in the others a click on
// it does nothing at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/percent_encoding.h"
#include "base/text.h"
#include "server_process.h"
#include "web/text_routines.h"

namespace tav {
namespace {

using test::raw_get;
using test::ServerProcess;

// --- Panels ---------------------------------------------------------------

// A panel (or window) that shows server pages, and the link-protocol
// schemes its navigation handler acts on.
struct Panel {
  std::string name;
  std::set<std::string> schemes;
};

const Panel kLibraryPanel{"Web1 (library)", {"eebovod", "eeqvod", "jilux", "tvx"}};
const Panel kHotPanel{"Webz3 (热播)", {}};
const Panel kTvPanel{"Webz2 (电视)", {}};
const Panel kEpisodePanel{"Web4 (episode list)", {"eebovod", "eeqvod"}};
const Panel kPlayerPanel{"Web2 (player page)", {}};
const Panel kAdPanel{"Web7 (ad strip)", {}};
const Panel kAdWindow{"ad window", {}};
const Panel kDesktopBrowser{"desktop browser", {}};

const std::set<std::string> kLinkSchemes = {"eebovod", "eeqvod", "open", "delk", "jilux", "tvx"};

// --- A small HTML reader ---------------------------------------------------

struct Element {
  std::string tag;
  std::map<std::string, std::string> attrs;  // names in lower case, values decoded
  bool has(const std::string& name) const { return attrs.count(name) != 0; }
  std::string get(const std::string& name) const {
    const auto it = attrs.find(name);
    return it == attrs.end() ? std::string() : it->second;
  }
};

struct Page {
  std::vector<Element> elements;
  std::string scripts;  // the text of every script element
  std::string styles;   // the text of every style element
  std::set<std::string> ids;
  std::set<std::string> functions;  // named functions the scripts define
};

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string decode_entities(const std::string& text) {
  static const std::map<std::string, std::string> kNamed = {
      {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::size_t semi = text[i] == '&' ? text.find(';', i) : std::string::npos;
    if (semi == std::string::npos || semi - i > 10) {
      out += text[i];
      continue;
    }
    const std::string name = text.substr(i + 1, semi - i - 1);
    if (kNamed.count(name)) {
      out += kNamed.at(name);
    } else if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      out += utf8_from_code_point(
          static_cast<char32_t>(std::strtoul(name.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10)));
    } else {
      out += text[i];
      continue;
    }
    i = semi;
  }
  return out;
}

// Reads start tags and their attributes; the contents of script and style
// elements are kept apart, comments skipped.
Page read_page(const std::string& html) {
  Page page;
  std::size_t at = 0;
  while ((at = html.find('<', at)) != std::string::npos) {
    if (html.compare(at, 4, "<!--") == 0) {
      const std::size_t end = html.find("-->", at + 4);
      at = end == std::string::npos ? html.size() : end + 3;
      continue;
    }
    std::size_t i = at + 1;
    if (i >= html.size() || !std::isalpha(static_cast<unsigned char>(html[i]))) {
      at = i;
      continue;
    }
    Element el;
    while (i < html.size() && (std::isalnum(static_cast<unsigned char>(html[i])) || html[i] == '-'))
      el.tag += static_cast<char>(std::tolower(static_cast<unsigned char>(html[i++])));
    while (i < html.size() && html[i] != '>') {
      if (std::isspace(static_cast<unsigned char>(html[i])) || html[i] == '/') {
        ++i;
        continue;
      }
      std::string name;
      while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
             html[i] != '=' && html[i] != '>' && html[i] != '/')
        name += html[i++];
      std::string value;
      if (i < html.size() && html[i] == '=') {
        ++i;
        if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
          const char quote = html[i++];
          const std::size_t end = html.find(quote, i);
          value = html.substr(i, end - i);
          i = end == std::string::npos ? html.size() : end + 1;
        } else {
          while (i < html.size() && !std::isspace(static_cast<unsigned char>(html[i])) &&
                 html[i] != '>')
            value += html[i++];
        }
      }
      el.attrs[lower(name)] = decode_entities(value);
    }
    at = i;
    if (el.has("id")) page.ids.insert(el.get("id"));
    if (el.tag == "script" || el.tag == "style") {
      const std::size_t body = std::min(at + 1, html.size());
      const std::size_t end = lower(html).find("</" + el.tag, body);
      const std::string text = html.substr(body, end == std::string::npos ? std::string::npos : end - body);
      (el.tag == "script" ? page.scripts : page.styles) += text + "\n";
      at = end == std::string::npos ? html.size() : end;
    }
    page.elements.push_back(std::move(el));
  }
  static const std::regex kFunction(R"((?:function\s+([A-Za-z_$][\w$]*)\s*\()|(?:([A-Za-z_$][\w$]*)\s*=\s*function\b))");
  for (std::sregex_iterator it(page.scripts.begin(), page.scripts.end(), kFunction), end; it != end;
       ++it)
    page.functions.insert((*it)[1].matched ? (*it)[1].str() : (*it)[2].str());
  return page;
}

// The functions a piece of script calls by name (not methods of objects).
std::vector<std::string> called_functions(const std::string& code) {
  static const std::set<std::string> kKeywords = {"if", "for", "while", "switch", "return",
                                                  "function", "typeof", "new", "catch", "void"};
  static const std::regex kCall(R"((^|[^.\w$])([A-Za-z_$][\w$]*)\s*\()");
  std::vector<std::string> out;
  for (std::sregex_iterator it(code.begin(), code.end(), kCall), end; it != end; ++it)
    if (!kKeywords.count((*it)[2].str())) out.push_back((*it)[2].str());
  return out;
}

// Addresses that scripts navigate to: location = "...", location.href =
// "...", location.assign/replace("..."), window.open("...").
std::vector<std::string> script_targets(const std::string& code) {
  static const std::regex kTarget(
      R"((?:location(?:\.href)?\s*=\s*|location\.(?:assign|replace)\(\s*|window\.open\(\s*)(["'])((?:\\.|(?!\1).)*)\1)");
  std::vector<std::string> out;
  for (std::sregex_iterator it(code.begin(), code.end(), kTarget), end; it != end; ++it)
    out.push_back((*it)[2].str());
  return out;
}

// "scheme" of "scheme:...", lower case; empty for relative addresses.
std::string scheme_of(const std::string& address) {
  static const std::regex kScheme(R"(^([A-Za-z][A-Za-z0-9+.\-]*):)");
  std::smatch m;
  return std::regex_search(address, m, kScheme) ? lower(m[1].str()) : std::string();
}

// Request targets carry non-ASCII and spaces percent-encoded, as a browser sends them.
std::string as_request_target(const std::string& path) {
  return percent_encode(path, ByteSet().with_range(0x21, 0x7F));
}

// --- The walk -------------------------------------------------------------

class LinkWalk {
 public:
  explicit LinkWalk(const ServerProcess& server) : server_(server) {}

  // A page as the client opens it in a panel; pages it links to on the
  // server are walked in the same panel.
  void start(const std::string& target, const Panel& panel) { queue_.push_back({target, &panel, 0}); }

  void run() {
    while (!queue_.empty()) {
      const Pending p = queue_.front();
      queue_.pop_front();
      if (!walked_.insert(p.panel->name + " " + p.target).second) continue;
      if (walked_.size() > kMaxPages) {
        problem(p.target, "more than " + std::to_string(kMaxPages) + " pages; the walk stops");
        return;
      }
      const test::RawReply reply = raw_get(server_.port(), as_request_target(p.target));
      if (reply.status / 100 != 2) {
        problem(p.target, "answers " + std::to_string(reply.status));
        continue;
      }
      ++pages_;
      check_page(p, reply.body);
    }
  }

  // Checks one page's text as the panel would show it at that address.
  void check_html(const std::string& target, const Panel& panel, const std::string& html) {
    check_page({target, &panel, 0}, html);
  }

  // The address of an episode reply, as the player page plays it: a qvod
  // address from /seed/<hash>, an http address as it is.
  void check_player_source(const std::string& address, const std::string& where) {
    ++links_;
    const std::vector<std::string> f = split(address, "|");
    std::string target;
    if (address.rfind("qvod://", 0) == 0 && f.size() >= 3)
      check_media("/seed/" + f[1], where);
    else if (server_path(address, "/box/", target) && is_media(target))
      check_media(target, where);
    else
      problem(where, address + " is no media address of this server");
  }

  std::size_t pages() const { return pages_; }
  std::size_t links() const { return links_; }
  const std::vector<std::string>& problems() const { return problems_; }
  std::string report() const {
    std::ostringstream out;
    for (const std::string& p : problems_) out << "  " << p << "\n";
    return out.str();
  }

 private:
  static constexpr std::size_t kMaxPages = 200;
  static constexpr int kMaxDepth = 4;

  struct Pending {
    std::string target;  // path and query on the server
    const Panel* panel;
    int depth;
  };

  void problem(const std::string& where, const std::string& what) {
    problems_.push_back(where + ": " + what);
  }

  void check_page(const Pending& p, const std::string& html) {
    const Page page = read_page(html);
    const std::string where = p.target + " in " + p.panel->name;
    for (const Element& el : page.elements) {
      for (const auto& [name, value] : el.attrs) {
        if (name == "href" || name == "action") {
          check_navigation(p, page, el, value, where + " <" + el.tag + " " + name + ">");
        } else if (name == "src" || name == "poster" || name.rfind("data-src", 0) == 0) {
          check_resource(value, where + " <" + el.tag + " " + name + ">");
        } else if (name.size() > 2 && name.rfind("on", 0) == 0) {
          check_handler(p, page, value, where + " <" + el.tag + " " + name + ">");
        } else if (name == "style") {
          check_style(value, where + " <" + el.tag + " style>");
        }
      }
    }
    check_style(page.styles, where + " <style>");
    for (const std::string& target : script_targets(page.scripts)) {
      ++links_;
      Element none;
      check_navigation(p, page, none, target, where + " script location");
    }
  }

  // Script in an event handler or a javascript: address: it must call a
  // function the page defines, and only such functions; where it sets the
  // location, that address must work too.
  void check_handler(const Pending& p, const Page& page, const std::string& code,
                     const std::string& where) {
    ++links_;
    const std::vector<std::string> calls = called_functions(code);
    if (calls.empty()) problem(where, "\"" + code + "\" calls no function of the page");
    for (const std::string& f : calls)
      if (!page.functions.count(f))
        problem(where, "\"" + code + "\" calls " + f + "(), which the page does not define");
    for (const std::string& target : script_targets(code))
      check_navigation(p, page, Element{}, target, where + " location");
  }

  void check_style(const std::string& css, const std::string& where) {
    static const std::regex kUrl(R"(url\(\s*['"]?([^'")]*))");
    for (std::sregex_iterator it(css.begin(), css.end(), kUrl), end; it != end; ++it)
      check_resource((*it)[1].str(), where);
  }

  void check_navigation(const Pending& p, const Page& page, const Element& el,
                        const std::string& raw, const std::string& where) {
    ++links_;
    const std::string address = trim_spaces(raw);
    const bool scripted = el.has("onclick");
    if (address.empty()) return problem(where, "an empty address reloads the page");
    if (address[0] == '#') {
      if (scripted) return;  // the handler is checked on its own
      if (address == "#") return problem(where, "\"#\" without a handler does nothing");
      if (!page.ids.count(address.substr(1)))
        problem(where, address + " names no element of the page");
      return;
    }
    const std::string scheme = scheme_of(address);
    if (scheme == "javascript") return check_handler(p, page, address.substr(11), where);
    if (kLinkSchemes.count(scheme)) {
      if (!p.panel->schemes.count(scheme))
        return problem(where, address + ": " + p.panel->name + " has no handler for " + scheme +
                                  "://, the click does nothing");
      if (scheme == "eebovod") check_lookup(address, where);
      return;
    }
    std::string target;
    if (!server_path(address, p.target, target))
      return problem(where, address + " is not an address of this server");
    if (is_media(target)) return check_media(target, where);
    const test::RawReply reply = raw_get(server_.port(), as_request_target(target));
    if (reply.status / 100 != 2) return problem(where, address + " answers " + std::to_string(reply.status));
    if (lower(reply.header("Content-Type")).rfind("text/html", 0) == 0 && p.depth < kMaxDepth)
      queue_.push_back({target, p.panel, p.depth + 1});
  }

  void check_resource(const std::string& raw, const std::string& where) {
    ++links_;
    const std::string address = trim_spaces(raw);
    std::string target;
    if (address.rfind("data:", 0) == 0) return;  // inline
    if (!server_path(address, "/box/", target))
      return problem(where, address + " is not an address of this server");
    if (is_media(target)) return check_media(target, where);
    const int status = raw_get(server_.port(), as_request_target(target)).status;
    if (status / 100 != 2) problem(where, address + " answers " + std::to_string(status));
  }

  // Media answer a byte range, as a video element asks for them.
  void check_media(const std::string& target, const std::string& where) {
    const test::RawReply reply = raw_get(server_.port(), as_request_target(target), "Range: bytes=0-1\r\n");
    if (reply.status != 206)
      problem(where, target + " answers " + std::to_string(reply.status) + " to a range");
  }

  // The library panel turns a lookup link into an h.asp request.
  void check_lookup(const std::string& address, const std::string& where) {
    std::string payload = address.substr(std::string("eebovod://").size());
    if (!payload.empty() && payload.back() == '/') payload.pop_back();
    const std::vector<std::string> f = split(payload, "-");
    if (f.size() < 4) return problem(where, address + " is not series-v-v1-name");
    const std::string query = "/box/h.asp?id=" + f[0] + "&v=" + f[1] + "&v1=" + f[2];
    const test::RawReply reply = raw_get(server_.port(), query);
    if (reply.status != 200 || reply.body == "1")
      problem(where, address + ": " + query + " answers " + std::to_string(reply.status) + " \"" +
                         reply.body + "\"");
  }

  static bool is_media(const std::string& target) {
    return target.rfind("/media/", 0) == 0 || target.rfind("/seed/", 0) == 0;
  }

  // The path and query on this server that an address of a page at
  // page_target leads to; false for other hosts and other schemes.
  bool server_path(const std::string& address, const std::string& page_target,
                   std::string& target) const {
    std::string rest = address;
    const std::string scheme = scheme_of(address);
    if (!scheme.empty()) {
      const std::string origin = server_.origin();
      if ((scheme != "http" && scheme != "https") || lower(address).rfind(origin, 0) != 0)
        return false;
      rest = address.substr(origin.size());
      if (!rest.empty() && rest[0] != '/') return false;  // a longer port number
      if (rest.empty()) rest = "/";
    } else if (address.rfind("//", 0) == 0) {
      return false;
    }
    const std::size_t hash = rest.find('#');
    if (hash != std::string::npos) rest.erase(hash);
    if (rest.empty()) {
      target = page_target;
    } else if (rest[0] == '/') {
      target = rest;
    } else if (rest[0] == '?') {
      target = page_target.substr(0, page_target.find('?')) + rest;
    } else {
      const std::string dir = page_target.substr(0, page_target.find('?'));
      target = dir.substr(0, dir.rfind('/') + 1) + rest;
    }
    return true;
  }

  const ServerProcess& server_;
  std::deque<Pending> queue_;
  std::set<std::string> walked_;
  std::size_t pages_ = 0;
  std::size_t links_ = 0;
  std::vector<std::string> problems_;
};

// --- Catalogues and their media --------------------------------------------

struct CatalogueEpisode {
  std::string file;
};
struct CatalogueSeries {
  std::string id, name;
  std::vector<CatalogueEpisode> episodes;
};

std::vector<CatalogueSeries> read_catalogue(const std::string& text) {
  std::vector<CatalogueSeries> out;
  for (const std::string& raw : split_lines(text)) {
    const std::string line = trim_spaces(raw);
    if (line.empty() || line[0] == '#') continue;
    const std::size_t gap = line.find_first_of(" \t");
    const std::string key = line.substr(0, gap);
    const std::string value = gap == std::string::npos ? "" : trim_spaces(line.substr(gap));
    if (key == "series") out.push_back({value, "", {}});
    if (out.empty()) continue;
    if (key == "name") out.back().name = value;
    if (key == "episode") out.back().episodes.push_back({trim_spaces(split(value, "|").at(1))});
  }
  return out;
}

std::string source_text(const std::string& relative) {
  std::ifstream in(std::string(TAVORI_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The addresses the client opens on the server, each in its panel:
// the library, the second library, the TV page, the episode page of every
// series, the player page of every episode the server can answer for, the
// ad pages and the player suite's page.
void start_everywhere(LinkWalk& walk, const ServerProcess& server,
                      const std::vector<CatalogueSeries>& catalogue) {
  walk.start("/box/", kLibraryPanel);
  walk.start("/box//yy", kHotPanel);
  walk.start("/box//tv", kTvPanel);
  walk.start("/box/js/ads/qvodad.html", kAdPanel);
  walk.start("/box/js/ads/fudong.html", kAdWindow);
  walk.start("/box/js/ads/tui.html", kAdWindow);
  walk.start("/player/", kDesktopBrowser);
  for (const CatalogueSeries& s : catalogue) {
    for (std::size_t e = 0; e < s.episodes.size(); ++e) {
      const std::string v1 = std::to_string(e);
      walk.start("/box/pp.htm?" + s.id + "-1-" + v1 + "-" + s.name + "-0", kEpisodePanel);
      const test::RawReply reply =
          raw_get(server.port(), "/box/h.asp?id=" + s.id + "&v=1&v1=" + v1);
      const std::vector<std::string> parts = split(reply.body, "$");
      if (parts.size() != 3) continue;
      const std::string player = "/box/play.htm?" + parts[2] + "$$$" + urlEscape(parts[1]);
      walk.start(player, kPlayerPanel);
      walk.check_player_source(parts[1], player);
    }
  }
}

// A server on a catalogue, with a stand-in file for each episode except
// the ones named missing, and a WebM copy of those named in webm.
class CatalogueServer {
 public:
  CatalogueServer(const std::string& catalogue, const std::set<std::string>& missing,
                  const std::set<std::string>& webm)
      : process_(ServerProcess::later), series_(read_catalogue(catalogue)) {
    const test::TempDir& dir = process_.folder();
    std::filesystem::create_directories(dir.file("media"));
    dir.write("catalogue.txt", catalogue);
    for (const CatalogueSeries& s : series_)
      for (const CatalogueEpisode& e : s.episodes) {
        if (missing.count(e.file)) continue;
        dir.write("media/" + e.file, "stand-in clip " + e.file);
        if (webm.count(e.file))
          dir.write("media/" + e.file.substr(0, e.file.rfind('.')) + ".webm", "webm " + e.file);
      }
    process_.start({"--catalogue", "catalogue.txt", "--media", "media", "--log", "pings.log"});
  }
  ServerProcess& process() { return process_; }
  const std::vector<CatalogueSeries>& series() const { return series_; }

 private:
  ServerProcess process_;
  std::vector<CatalogueSeries> series_;
};

// --- Tests ----------------------------------------------------------------

TEST(PageLinks, EveryLinkOfTheShippedCatalogueWorksInItsPanel) {
  const std::string catalogue = source_text("server/catalogue.txt");
  ASSERT_FALSE(catalogue.empty());
  CatalogueServer server(catalogue, {}, {"山海长歌第1集.mp4", "tv-02.mp4", "kcity-01.mp4"});
  ASSERT_TRUE(server.process().ready()) << server.process().output();
  LinkWalk walk(server.process());
  start_everywhere(walk, server.process(), server.series());
  walk.run();
  EXPECT_TRUE(walk.problems().empty()) << walk.report();
  // Library, hot, TV, 3 ads, the suite page, one episode page per
  // episode and a player page per ready episode.
  std::size_t episodes = 0;
  for (const CatalogueSeries& s : server.series()) episodes += s.episodes.size();
  EXPECT_GE(walk.pages(), 7 + episodes + 20) << "pages walked";
  EXPECT_GE(walk.links(), 200u) << "links checked";
  std::printf("[ walked %zu pages, %zu links ]\n", walk.pages(), walk.links());
}

TEST(PageLinks, PagesWithMissingMediaAndPendingSeriesStillWork) {
  constexpr const char* kCatalogue = R"(
series 31
name    测试-剧 "引号" <b>
shelf   library hot
episode 第1集 | a b#1.mp4 | qvod
episode 第2集 | gone.mp4 | web

series 32
name    等待中
shelf   hot library
status  pending
episode 第1集 | p-01.mp4 | qvod

series 33
name    频道
shelf   tv
episode 一台 | tv-1.mp4 | web | 正在播出：晚间新闻
episode 二台 | tv-off.mp4 | qvod
)";
  CatalogueServer server(kCatalogue, {"gone.mp4", "tv-off.mp4"}, {"tv-1.mp4"});
  ASSERT_TRUE(server.process().ready()) << server.process().output();
  LinkWalk walk(server.process());
  start_everywhere(walk, server.process(), server.series());
  walk.run();
  EXPECT_TRUE(walk.problems().empty()) << walk.report();
  EXPECT_GE(walk.pages(), 7u + 5u + 2u);
}

TEST(PageLinks, EmptyShelvesLeavePagesWithoutDeadLinks) {
  CatalogueServer server("series 1\nname 只有\nshelf library\nepisode 一 | one.mp4 | web\n", {}, {});
  ASSERT_TRUE(server.process().ready()) << server.process().output();
  LinkWalk walk(server.process());
  start_everywhere(walk, server.process(), server.series());
  walk.run();
  EXPECT_TRUE(walk.problems().empty()) << walk.report();
}

// The walk's own judgement, on pages written for it.
TEST(PageLinks, TheWalkFindsLinksThatDoNothingInTheirPanel) {
  CatalogueServer server(source_text("server/catalogue.txt"), {"kcity-02.mp4"}, {});
  ASSERT_TRUE(server.process().ready()) << server.process().output();
  const auto problems_of = [&](const Panel& panel, const std::string& body) {
    LinkWalk walk(server.process());
    walk.check_html("/box//yy", panel,
                    "<!DOCTYPE html><html><body>" + body +
                        "<script>function play(el){return false;}\nvar stop = function(){};</script></body></html>");
    return walk.problems();
  };
  const std::string lookup = "<a href=\"eebovod://1001-1-0-%u5C71%u6D77%u957F%u6B4C\">看</a>";
  EXPECT_EQ(problems_of(kLibraryPanel, lookup).size(), 0u);
  EXPECT_EQ(problems_of(kEpisodePanel, lookup).size(), 0u);
  for (const Panel* panel : {&kHotPanel, &kTvPanel, &kAdPanel, &kPlayerPanel}) {
    const std::vector<std::string> found = problems_of(*panel, lookup);
    ASSERT_EQ(found.size(), 1u) << panel->name;
    EXPECT_NE(found[0].find("has no handler for eebovod://"), std::string::npos) << found[0];
  }
  EXPECT_EQ(problems_of(kEpisodePanel, "<a href='tvx://'>电视</a>").size(), 1u) << "Web4 forwards only lookups and plays";
  EXPECT_EQ(problems_of(kLibraryPanel, "<a href='tvx://'>电视</a>").size(), 0u);
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"#\" onclick=\"location.href='eeqvod://qvod&&&x'\">x</a>").size(),
            2u) << "the handler calls nothing of the page and navigates to a link-protocol address";
  EXPECT_EQ(problems_of(kLibraryPanel, "<a href=\"eebovod://1001-1-99-x\">x</a>").size(), 1u)
      << "past the last episode: the lookup answers 1";

  // In-page actions.
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"#\" onclick=\"return play(this)\">x</a>").size(), 0u);
  EXPECT_EQ(problems_of(kHotPanel, "<button onclick=\"stop()\">x</button>").size(), 0u);
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"javascript:play(this)\">x</a>").size(), 0u);
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"#\">x</a>").size(), 1u) << "does nothing";
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"\">x</a>").size(), 1u);
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"#\" onclick=\"return playAll(this)\">x</a>").size(), 1u)
      << "an undefined function";
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"javascript:void(0)\">x</a>").size(), 1u);
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"#top\">x</a><div id=\"top\"></div>").size(), 0u);
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"#nowhere\">x</a>").size(), 1u);

  // Addresses on the server and elsewhere.
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"/box/js/ads/tui.html\">x</a>").size(), 0u);
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"js/ads/none.html\">x</a>").size(), 1u) << "404";
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"http://example.com/\">x</a>").size(), 1u);
  EXPECT_EQ(problems_of(kHotPanel, "<img src=\"//example.com/x.png\">").size(), 1u);
  EXPECT_EQ(problems_of(kHotPanel, "<a href=\"about:blank\">x</a>").size(), 1u);
  EXPECT_EQ(problems_of(kHotPanel, "<i style=\"background:url(https://example.com/a.png)\"></i>").size(), 1u);
  EXPECT_EQ(problems_of(kHotPanel, "<a data-src=\"/media/kcity-01.mp4\">x</a>").size(), 0u);
  EXPECT_EQ(problems_of(kHotPanel, "<video src=\"/media/kcity-02.mp4\"></video>").size(), 1u)
      << "a missing media file";
  EXPECT_EQ(problems_of(kHotPanel, "<a data-src-webm=\"/media/kcity-01.webm\">x</a>").size(), 1u);
}

// The pages' markup, beyond the walk: what each panel gets.
TEST(PageLinks, HotAndTvPagesPlayInThePageWithAWebmFallback) {
  CatalogueServer server(source_text("server/catalogue.txt"), {"tv-03.mp4"}, {"tv-01.mp4"});
  ASSERT_TRUE(server.process().ready()) << server.process().output();
  const std::string tv = raw_get(server.process().port(), "/box//tv").body;
  EXPECT_NE(tv.find("<video id=\"tv\""), std::string::npos);
  EXPECT_NE(tv.find("data-src=\"/media/tv-01.mp4\" data-src-webm=\"/media/tv-01.webm\""),
            std::string::npos);
  EXPECT_EQ(tv.find("/media/tv-02.webm"), std::string::npos) << "only WebM files that are there";
  EXPECT_NE(tv.find("class=\"ch off\""), std::string::npos) << "tv-03 has no file";
  EXPECT_EQ(tv.find("://"), std::string::npos) << "no absolute addresses at all";

  const std::string hot = raw_get(server.process().port(), "/box/yy").body;
  EXPECT_NE(hot.find("<video id=\"video\""), std::string::npos);
  EXPECT_NE(hot.find("id=\"e1001-5\""), std::string::npos) << "every episode of a series has a row";
  EXPECT_NE(hot.find("id=\"s1004\" data-name=\"云端来信\" data-pending=\"1\""), std::string::npos);
  EXPECT_EQ(hot.find("eebovod://"), std::string::npos);
  EXPECT_EQ(hot.find("eeqvod://"), std::string::npos);
  EXPECT_NE(hot.find("canPlayType"), std::string::npos);

  // The library and the episode page keep the link protocol.
  EXPECT_NE(raw_get(server.process().port(), "/box/").body.find("href=\"eebovod://1001-1-0-"),
            std::string::npos);
  EXPECT_NE(raw_get(server.process().port(), "/box/pp.htm?1002-1-0-K-0").body.find("href=\"eebovod://1002-1-1-"),
            std::string::npos);
}

}  // namespace
}  // namespace tav
