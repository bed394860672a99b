#include "pages.h"

#include <cstdio>
#include <vector>

#include "base/text.h"
#include "catalogue.h"
#include "media.h"
#include "protocol.h"

namespace tsrv {

namespace {

// Shared by every page: the client's skin colours (page #070707, text
// #9C9C81, accent #80A8FF, borders #2A2929 / #161616).
constexpr const char* kBaseStyle = R"(
*{box-sizing:border-box;margin:0;padding:0}
html,body{background:#070707;color:#9C9C81}
body{font:12px/1.6 "Noto Sans CJK SC","Source Han Sans SC","Microsoft YaHei","PingFang SC","WenQuanYi Micro Hei",sans-serif;overflow-x:hidden;-webkit-user-select:none;user-select:none}
a{color:inherit;text-decoration:none;outline:none}
::-webkit-scrollbar{width:8px;height:8px}
::-webkit-scrollbar-track{background:#0b0b0b}
::-webkit-scrollbar-thumb{background:#2A2929;border-radius:4px}
::-webkit-scrollbar-thumb:hover{background:#3b3a3a}
.top{position:sticky;top:0;z-index:5;display:flex;align-items:baseline;gap:10px;padding:10px 12px 8px;background:linear-gradient(#111,#070707);border-bottom:1px solid #161616}
.top h1{font-size:15px;font-weight:600;color:#fff;letter-spacing:1px}
.top .sub{color:#66665a}
.top .mark{margin-left:auto;font-weight:700;letter-spacing:1px;color:#80A8FF;font-size:12px}
.poster{position:relative;flex:none;width:84px;height:116px;border-radius:4px;overflow:hidden;background:linear-gradient(155deg,var(--a),var(--b));box-shadow:0 2px 8px rgba(0,0,0,.7),inset 0 0 0 1px rgba(255,255,255,.07)}
.poster::before{content:"";position:absolute;inset:0;background:radial-gradient(circle at 28% 18%,rgba(255,255,255,.28),transparent 52%),repeating-linear-gradient(125deg,rgba(255,255,255,.035) 0 6px,transparent 6px 12px)}
.poster::after{content:"";position:absolute;inset:0;background:linear-gradient(transparent 45%,rgba(0,0,0,.72))}
.poster .glyph{position:absolute;right:-4px;top:-6px;font-size:62px;font-weight:700;line-height:1;color:rgba(255,255,255,.13)}
.poster .pt{position:absolute;left:6px;right:6px;bottom:6px;z-index:1;color:#fff;font-size:12px;font-weight:600;line-height:1.3;text-shadow:0 1px 2px #000;display:-webkit-box;-webkit-line-clamp:3;-webkit-box-orient:vertical;overflow:hidden;word-break:break-all}
.badge{display:inline-block;padding:0 5px;border-radius:2px;font-size:11px;font-weight:400;line-height:17px;vertical-align:1px;white-space:nowrap}
.badge.pending{background:#2a2416;color:#d8b25a}
.badge.score{background:#121a2c;color:#80A8FF}
.ep{display:inline-block;min-width:52px;padding:1px 8px;border:1px solid #2A2929;border-radius:3px;text-align:center;color:#b4b49c;background:#101010;white-space:nowrap;transition:border-color .12s,color .12s}
.ep:hover{border-color:#80A8FF;color:#80A8FF;background:#0f1420}
.empty{padding:40px 16px;text-align:center;color:#55554a}
)";

struct Colours {
  std::string a, b;
};

Colours poster_colours(const Series& s) {
  if (!s.color_a.empty()) return {s.color_a, s.color_b};
  static const Colours kPalette[] = {
      {"#23395d", "#0b1a2e"}, {"#5d2334", "#1e0a12"}, {"#2f4f3a", "#0c1a12"},
      {"#4b3b63", "#160f22"}, {"#60482a", "#1f150a"}, {"#234f57", "#09191c"},
  };
  return kPalette[static_cast<std::size_t>(s.id) % std::size(kPalette)];
}

std::string first_glyph(std::string_view name) {
  const std::vector<char32_t> cps = tav::utf8_code_points(name);
  return cps.empty() ? std::string() : tav::utf8_from_code_point(cps.front());
}

// The first character after " · " in a channel label ("一台 · 综合": 综),
// else the first one.
std::string channel_glyph(std::string_view label) {
  const std::size_t dot = label.find("·");
  if (dot != std::string_view::npos) {
    const std::string rest = tav::trim_spaces(label.substr(dot + std::string_view("·").size()));
    if (!rest.empty()) return first_glyph(rest);
  }
  return first_glyph(label);
}

std::string poster(const Series& s, std::string_view extra_class = {}) {
  const Colours c = poster_colours(s);
  std::string out = "<div class=\"poster";
  if (!extra_class.empty()) {
    out += ' ';
    out += extra_class;
  }
  out += "\" style=\"--a:" + c.a + ";--b:" + c.b + "\" aria-hidden=\"true\">";
  out += "<span class=\"glyph\">" + html_escape(first_glyph(s.name)) + "</span>";
  out += "<span class=\"pt\">" + html_escape(s.name) + "</span></div>";
  return out;
}

std::string meta_line(const Series& s) {
  std::vector<std::string> parts;
  if (!s.genre.empty()) parts.push_back(html_escape(s.genre));
  if (!s.year.empty()) parts.push_back(html_escape(s.year));
  parts.push_back("共 " + std::to_string(s.episodes.size()) + " 集");
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += "<i class=\"dot\">·</i>";
    out += parts[i];
  }
  return out;
}

std::string badges(const Series& s) {
  std::string out;
  if (s.pending) out += " <span class=\"badge pending\">准备中</span>";
  if (!s.rating.empty()) out += " <span class=\"badge score\">" + html_escape(s.rating) + "</span>";
  return out;
}

std::string episode_chips(const Series& s) {
  std::string out = "<div class=\"eps\">";
  for (std::size_t i = 0; i < s.episodes.size(); ++i) {
    out += "<a class=\"ep\" href=\"" + lookup_link(s, i) + "\" title=\"" +
           html_escape(s.name + " " + s.episodes[i].label) + "\">" +
           html_escape(s.episodes[i].label) + "</a>";
  }
  return out + "</div>";
}

// A JavaScript string literal that is also safe inside a <script> element.
std::string js_string(std::string_view text) {
  std::string out = "\"";
  for (const char16_t u : tav::utf8_to_utf16(text)) {
    const bool plain = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                       u == ':' || u == '/' || u == '.' || u == '-' || u == '_' || u == '%' ||
                       u == '@' || u == '*' || u == '+' || u == '=' || u == '?' || u == ' ' ||
                       u == ',';
    if (plain) {
      out += static_cast<char>(u);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(u));
      out += buf;
    }
  }
  return out + "\"";
}

// The clip attributes of an episode: data-src, the file as the catalogue
// names it, and data-src-webm, its WebM variant, each only when the file
// is in the media folder. Nothing for a pending series.
std::string clip_attributes(const Series& s, const Episode& ep, const MediaFolder& media) {
  if (s.pending) return {};
  std::string out;
  if (media.find(ep.file)) out += " data-src=\"" + html_escape(media_path(ep.file)) + "\"";
  const std::string webm = webm_variant(ep.file);
  if (!webm.empty() && media.find(webm))
    out += " data-src-webm=\"" + html_escape(media_path(webm)) + "\"";
  return out;
}

// Plays the clip of an element in a video element. The MP4 clips are
// H.264/AAC, which a browser without those decoders cannot play; the WebM
// variant (VP8/Vorbis) is tried then, or after the MP4 fails to load.
// fail(why) is called with "missing" (no clip), "codec" (none this
// browser plays) or "error" (every playable clip failed).
constexpr const char* kClipScript = R"(
var clipProbe = document.createElement('video');
function clipType(src) {
  return /\.webm$/i.test(src) ? 'video/webm; codecs="vp8, vorbis"' : 'video/mp4; codecs="avc1.64001E, mp4a.40.2"';
}
function clipSources(el) {
  var all = [el.getAttribute('data-src'), el.getAttribute('data-src-webm')], ok = [], any = false;
  for (var i = 0; i < all.length; i++) {
    if (!all[i]) continue;
    any = true;
    if (clipProbe.canPlayType(clipType(all[i]))) ok.push(all[i]);
  }
  return { list: ok, any: any };
}
function startVideo(video) {
  var started = video.play();
  if (started && started.catch) {
    // Autoplay with sound may be refused; start muted rather than not at all.
    started.catch(function () { if (video.error) return; video.muted = true; video.play().catch(function () {}); });
  }
}
function stopVideo(video) {
  video.onerror = null;
  video.pause();
  video.removeAttribute('src');
  video.load();
}
function playClip(video, el, fail) {
  var found = clipSources(el), next = 0;
  stopVideo(video);
  if (!found.list.length) { fail(found.any ? 'codec' : 'missing'); return false; }
  video.onerror = function () {
    if (++next < found.list.length) { video.src = found.list[next]; startVideo(video); }
    else { video.onerror = null; fail('error'); }
  };
  video.src = found.list[0];
  startVideo(video);
  return true;
}
function clipMessage(why) {
  if (why === 'codec') return '当前播放组件不支持这种视频格式';
  if (why === 'error') return '视频加载失败，请稍后重试';
  return '片源暂未上线，请稍后再来';
}
)";

std::string page_head(std::string_view title, std::string_view style) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"color-scheme\" content=\"dark\">\n<title>";
  out += html_escape(title);
  out += "</title>\n<style>";
  out += kBaseStyle;
  out += style;
  out += "</style>\n</head>\n";
  return out;
}

std::size_t episode_total(const std::vector<const Series*>& list) {
  std::size_t n = 0;
  for (const Series* s : list) n += s->episodes.size();
  return n;
}

constexpr const char* kLibraryStyle = R"(
.list{padding:8px 8px 16px}
.card{display:flex;gap:12px;padding:10px;margin-bottom:8px;background:#0d0d0d;border:1px solid #161616;border-radius:6px;transition:border-color .15s}
.card:hover{border-color:#2A2929}
.info{flex:1;min-width:0}
.info h2{font-size:14px;font-weight:600;color:#e4e4d4;line-height:1.4;word-break:break-all}
.info h2 a:hover{color:#80A8FF}
.meta{margin-top:2px;color:#6a6a5a}
.meta .dot{font-style:normal;margin:0 5px;color:#3c3c34}
.about{margin-top:4px;display:-webkit-box;-webkit-line-clamp:2;-webkit-box-orient:vertical;overflow:hidden}
.eps{display:flex;flex-wrap:wrap;gap:5px;margin-top:8px}
.foot{padding:4px 0 12px;text-align:center;color:#3f3f36}
)";

}  // namespace

std::string html_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string library_page(const Catalogue& catalogue, std::string_view follow_link) {
  const std::vector<const Series*> list = catalogue.shelf("library");
  std::string out = page_head("Tavori 片库", kLibraryStyle);
  out += "<body>\n<header class=\"top\"><h1>片库</h1><span class=\"sub\">共 " +
         std::to_string(list.size()) + " 部 · " + std::to_string(episode_total(list)) +
         " 集</span><span class=\"mark\">TAVORI</span></header>\n<main class=\"list\">\n";
  for (const Series* s : list) {
    out += "<article class=\"card\">";
    out += "<a href=\"" + lookup_link(*s, 0) + "\">" + poster(*s) + "</a>";
    out += "<div class=\"info\"><h2><a href=\"" + lookup_link(*s, 0) + "\">" +
           html_escape(s->name) + "</a>" + badges(*s) + "</h2>";
    out += "<p class=\"meta\">" + meta_line(*s) + "</p>";
    if (!s->about.empty()) out += "<p class=\"about\">" + html_escape(s->about) + "</p>";
    out += episode_chips(*s);
    out += "</div></article>\n";
  }
  if (list.empty()) out += "<p class=\"empty\">片库里还没有影片</p>\n";
  out += "<p class=\"foot\">点击剧集即可播放</p>\n</main>\n";
  if (!follow_link.empty()) {
    out += "<script id=\"follow\">window.addEventListener('load',function(){location.href=" +
           js_string(follow_link) + ";});</script>\n";
  }
  out += "</body>\n</html>\n";
  return out;
}

namespace {

constexpr const char* kHotStyle = R"(
.hero{position:relative;display:block;margin:10px 8px 6px;height:150px;border-radius:6px;overflow:hidden;background:linear-gradient(120deg,var(--a),var(--b));box-shadow:inset 0 0 0 1px rgba(255,255,255,.06)}
.hero::before{content:"";position:absolute;inset:0;background:radial-gradient(circle at 85% 20%,rgba(255,255,255,.22),transparent 45%),linear-gradient(90deg,rgba(0,0,0,.75),rgba(0,0,0,.1) 75%)}
.hero .glyph{position:absolute;right:14px;bottom:-6px;font-size:118px;font-weight:700;line-height:1;color:rgba(255,255,255,.1)}
.hero .txt{position:absolute;left:16px;right:120px;top:16px;bottom:14px;display:flex;flex-direction:column}
.hero .kicker{color:#80A8FF;font-size:11px;letter-spacing:2px}
.hero h2{margin-top:2px;color:#fff;font-size:18px;font-weight:600;line-height:1.3;display:-webkit-box;-webkit-line-clamp:2;-webkit-box-orient:vertical;overflow:hidden;word-break:break-all;text-shadow:0 1px 3px #000}
.hero p{margin-top:4px;color:#c9c9b4;display:-webkit-box;-webkit-line-clamp:2;-webkit-box-orient:vertical;overflow:hidden}
.hero .go{margin-top:auto;align-self:flex-start;padding:3px 14px;border-radius:12px;background:#80A8FF;color:#070707;font-weight:600}
.hero:hover .go{background:#a7c2ff}
.ranks{padding:2px 8px 14px}
.rank{display:flex;align-items:center;gap:10px;padding:9px 4px;border-bottom:1px solid #121212}
.rank .no{flex:none;width:24px;text-align:center;font:italic 700 20px/1 Georgia,"DejaVu Serif",serif;color:#3a3a32}
.rank.top3 .no{color:#80A8FF}
.poster.sm{width:54px;height:74px}
.poster.sm .glyph,.sd .poster .glyph{left:0;right:0;top:50%;transform:translateY(-50%);text-align:center;font-size:34px;color:rgba(255,255,255,.2)}
.poster.sm .pt,.sd .poster .pt{display:none}
.rank .info{flex:1;min-width:0}
.rank h3{font-size:13px;font-weight:600;color:#e4e4d4;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.rank h3 a:hover{color:#80A8FF}
.meta{color:#6a6a5a}
.meta .dot{font-style:normal;margin:0 5px;color:#3c3c34}
.eps{display:flex;flex-wrap:wrap;gap:4px;margin-top:5px}
.eps .ep{min-width:44px;padding:0 6px;font-size:11px}
.rank .play{flex:none;width:30px;height:30px;border-radius:50%;border:1px solid #2A2929;display:flex;align-items:center;justify-content:center}
.rank .play::before{content:"";margin-left:3px;border-style:solid;border-width:6px 0 6px 10px;border-color:transparent transparent transparent #9C9C81}
.rank .play:hover{border-color:#80A8FF}
.rank .play:hover::before{border-left-color:#80A8FF}
.dbar{position:sticky;top:0;z-index:5;display:flex;align-items:center;gap:10px;height:36px;padding:0 10px;background:linear-gradient(#111,#070707);border-bottom:1px solid #161616}
.back{flex:none;padding:1px 10px;border:1px solid #2A2929;border-radius:11px;color:#b4b49c}
.back:hover{border-color:#80A8FF;color:#80A8FF}
#dtitle{flex:1;min-width:0;color:#e4e4d4;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.stage{position:relative;background:#000;aspect-ratio:16/9;border-bottom:1px solid #161616}
.stage video{display:block;width:100%;height:100%;background:#000;object-fit:contain;outline:none}
.msg{position:absolute;left:50%;top:50%;transform:translate(-50%,-50%);max-width:86%;padding:9px 16px;border:1px solid #2A2929;border-radius:4px;background:rgba(7,7,7,.92);text-align:center}
.msg b{display:block;color:#C0392B;font-weight:600}
.sd .head{display:flex;gap:12px;padding:12px}
.sd .poster{width:62px;height:86px}
.sd .head .info{flex:1;min-width:0}
.sd h2{font-size:15px;font-weight:600;color:#e8e8d8;line-height:1.4;word-break:break-all}
.sd .about{margin-top:4px;color:#9C9C81}
.notice{margin:0 12px 6px;padding:7px 10px;border:1px dashed #3d3423;border-radius:4px;background:#13100a;color:#d8b25a}
.eplist{padding:2px 0 14px}
.row{display:flex;align-items:center;gap:8px;height:34px;padding:0 12px 0 10px;border-left:2px solid transparent;color:#b4b49c}
.row:hover{background:#0f0f0f;color:#80A8FF}
.row .idx{flex:none;width:22px;color:#46463c;font-variant-numeric:tabular-nums}
.row .lbl{flex:1;min-width:0;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.row .state{flex:none;font-size:11px;color:#55554a}
.row .tag{flex:none;font-size:11px;color:#80A8FF}
.row .tag:empty{display:none}
.row.current{background:linear-gradient(90deg,#101a30,#0a0d14);border-left-color:#80A8FF;color:#fff}
.row.current .idx{color:#80A8FF}
.row.off{color:#5c5c50}
[hidden]{display:none!important}
)";

// Opens a series or plays an episode in the page: the detail view has the
// series' episodes and a video element; at the end of an episode the next
// one follows.
constexpr const char* kHotScript = R"(
var home = document.getElementById('home');
var detail = document.getElementById('detail');
var stage = document.getElementById('stage');
var video = document.getElementById('video');
var msg = document.getElementById('msg');
var dtitle = document.getElementById('dtitle');
var playing = null;
function say(head, text) {
  msg.innerHTML = '';
  var b = document.createElement('b');
  b.textContent = head;
  msg.appendChild(b);
  msg.appendChild(document.createTextNode(text));
  msg.hidden = false;
}
function showSeries(id) {
  var sd = document.getElementById('s' + id);
  if (!sd) return null;
  var all = document.querySelectorAll('.sd');
  for (var i = 0; i < all.length; i++) all[i].hidden = all[i] !== sd;
  if (!playing || playing.getAttribute('data-series') !== id) {
    stopVideo(video);
    stage.hidden = true;
    if (playing) playing.classList.remove('current');
    playing = null;
    dtitle.textContent = sd.getAttribute('data-name');
  }
  home.hidden = true;
  detail.hidden = false;
  window.scrollTo(0, 0);
  return sd;
}
function openSeries(el) {
  showSeries(el.getAttribute('data-series'));
  return false;
}
function playRow(row) {
  var sd = showSeries(row.getAttribute('data-series'));
  if (!sd) return;
  if (playing) { playing.classList.remove('current'); playing.querySelector('.tag').textContent = ''; }
  playing = row;
  row.classList.add('current');
  row.querySelector('.tag').textContent = '▶ 正在播放';
  dtitle.textContent = sd.getAttribute('data-name') + ' · ' + row.getAttribute('data-label');
  stage.hidden = false;
  msg.hidden = true;
  if (sd.hasAttribute('data-pending')) {
    stopVideo(video);
    say('资源准备中', '暂时无法播放，请稍后再来');
    return;
  }
  playClip(video, row, function (why) { say('无法播放', clipMessage(why)); });
}
function playEpisode(el) {
  var row = document.getElementById('e' + el.getAttribute('data-series') + '-' + el.getAttribute('data-ep'));
  if (row) playRow(row);
  return false;
}
function closeSeries() {
  stopVideo(video);
  if (playing) { playing.classList.remove('current'); playing.querySelector('.tag').textContent = ''; }
  playing = null;
  detail.hidden = true;
  home.hidden = false;
  return false;
}
video.addEventListener('playing', function () { msg.hidden = true; });
video.addEventListener('ended', function () {
  var next = playing && playing.nextElementSibling;
  if (next && next.classList.contains('row')) playRow(next);
});
// An address ending in #s<series> opens that series, #e<series>-<episode>
// plays that episode.
(function () {
  var m = /^#([se])(\d+)(?:-(\d+))?$/.exec(location.hash);
  if (!m) return;
  if (m[1] === 's') showSeries(m[2]);
  else if (document.getElementById('e' + m[2] + '-' + m[3])) playRow(document.getElementById('e' + m[2] + '-' + m[3]));
})();
)";

std::string series_attr(const Series& s) { return " data-series=\"" + std::to_string(s.id) + "\""; }

// Each link names the page's own address of what it opens (#e, #s).
std::string play_attrs(const Series& s, std::size_t episode) {
  return " href=\"#e" + std::to_string(s.id) + "-" + std::to_string(episode) + "\"" +
         series_attr(s) + " data-ep=\"" + std::to_string(episode) +
         "\" onclick=\"return playEpisode(this)\"";
}

std::string open_attrs(const Series& s) {
  return " href=\"#s" + std::to_string(s.id) + "\"" + series_attr(s) +
         " onclick=\"return openSeries(this)\"";
}

// The detail view of one series: head, notice, the episode rows.
std::string series_detail(const Series& s, const MediaFolder& media) {
  std::string out = "<article class=\"sd\" id=\"s" + std::to_string(s.id) + "\" data-name=\"" +
                    html_escape(s.name) + "\"" + (s.pending ? " data-pending=\"1\"" : "") +
                    " hidden>";
  out += "<div class=\"head\">" + poster(s) + "<div class=\"info\"><h2>" + html_escape(s.name) +
         badges(s) + "</h2><p class=\"meta\">" + meta_line(s) + "</p>";
  if (!s.about.empty()) out += "<p class=\"about\">" + html_escape(s.about) + "</p>";
  out += "</div></div>";
  if (s.pending) out += "<p class=\"notice\">资源准备中，暂时无法播放，请稍后再来。</p>";
  out += "<nav class=\"eplist\">";
  for (std::size_t i = 0; i < s.episodes.size(); ++i) {
    const Episode& ep = s.episodes[i];
    const std::string clip = clip_attributes(s, ep, media);
    char idx[24];
    std::snprintf(idx, sizeof idx, "%02zu", i + 1);
    out += "<a class=\"row" + std::string(clip.empty() ? " off" : "") + "\" id=\"e" +
           std::to_string(s.id) + "-" + std::to_string(i) + "\"" + play_attrs(s, i) +
           " data-label=\"" + html_escape(ep.label) + "\"" + clip + "><span class=\"idx\">" + idx +
           "</span><span class=\"lbl\">" + html_escape(ep.label) +
           "</span><span class=\"tag\"></span>";
    if (clip.empty()) out += std::string("<span class=\"state\">") + (s.pending ? "准备中" : "未上线") + "</span>";
    out += "</a>";
  }
  return out + "</nav></article>\n";
}

}  // namespace

std::string hot_page(const Catalogue& catalogue, const MediaFolder& media) {
  const std::vector<const Series*> list = catalogue.shelf("hot");
  std::string out = page_head("Tavori 热播", kHotStyle);
  out +=
      "<body>\n<div id=\"home\">\n<header class=\"top\"><h1>热播</h1><span class=\"sub\">本周最受欢迎</span>"
      "<span class=\"mark\">TAVORI</span></header>\n";
  if (list.empty()) {
    out += "<p class=\"empty\">暂时没有热播内容</p>\n</div>\n</body>\n</html>\n";
    return out;
  }
  const Series& first = *list.front();
  const Colours c = poster_colours(first);
  out += "<a class=\"hero\"" + play_attrs(first, 0) + " style=\"--a:" + c.a + ";--b:" + c.b +
         "\"><span class=\"glyph\">" + html_escape(first_glyph(first.name)) +
         "</span><span class=\"txt\"><span class=\"kicker\">本周热播第一</span><h2>" +
         html_escape(first.name) + "</h2>";
  if (!first.about.empty()) out += "<p>" + html_escape(first.about) + "</p>";
  out += "<span class=\"go\">立即播放</span></span></a>\n<section class=\"ranks\">\n";
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Series& s = *list[i];
    out += std::string("<div class=\"rank") + (i < 3 ? " top3" : "") + "\"><span class=\"no\">" +
           std::to_string(i + 1) + "</span>";
    out += "<a" + open_attrs(s) + ">" + poster(s, "sm") + "</a>";
    out += "<div class=\"info\"><h3><a" + open_attrs(s) + " title=\"" + html_escape(s.name) +
           "\">" + html_escape(s.name) + "</a>" + badges(s) + "</h3>";
    out += "<p class=\"meta\">" + meta_line(s) + "</p><div class=\"eps\">";
    for (std::size_t e = 0; e < s.episodes.size(); ++e)
      out += "<a class=\"ep\"" + play_attrs(s, e) + " title=\"" +
             html_escape(s.name + " " + s.episodes[e].label) + "\">" +
             html_escape(s.episodes[e].label) + "</a>";
    out += "</div></div><a class=\"play\"" + play_attrs(s, 0) + " title=\"播放第一集\"></a></div>\n";
  }
  out += "</section>\n</div>\n<div id=\"detail\" hidden>\n<div class=\"dbar\"><a class=\"back\" href=\"#\" "
         "onclick=\"return closeSeries()\">‹ 返回热播</a><span id=\"dtitle\"></span></div>\n"
         "<div class=\"stage\" id=\"stage\" hidden><video id=\"video\" controls playsinline "
         "preload=\"auto\"></video><div class=\"msg\" id=\"msg\" hidden></div></div>\n";
  for (const Series* s : list) out += series_detail(*s, media);
  out += "</div>\n<script>";
  out += kClipScript;
  out += kHotScript;
  out += "</script>\n</body>\n</html>\n";
  return out;
}

namespace {

constexpr const char* kTvStyle = R"(
html,body{height:100%}
body{display:flex;flex-direction:column;overflow:hidden}
.top{padding:10px 18px 8px}
.top h1{font-size:16px}
.clock{margin-left:auto;font:600 15px/1 "DejaVu Sans Mono",monospace;color:#80A8FF;letter-spacing:1px}
.tv{flex:1;min-height:0;display:flex;gap:14px;padding:12px 18px 14px}
.player{flex:1;min-width:0;display:flex;flex-direction:column}
.screen-main{position:relative;flex:1;min-height:0;background:#000;border:1px solid #161616;border-radius:4px;overflow:hidden}
.screen-main video{position:absolute;inset:0;width:100%;height:100%;background:#000;object-fit:contain;outline:none}
.osd{position:absolute;left:14px;top:12px;display:flex;align-items:center;gap:10px;pointer-events:none;transition:opacity .8s}
.osd.quiet{opacity:0}
.osd .num{font:700 34px/1 "DejaVu Sans",sans-serif;color:#fff;text-shadow:0 2px 6px #000}
.osd .name{color:#fff;font-size:15px;text-shadow:0 1px 3px #000}
.live{padding:0 6px;border-radius:2px;background:rgba(0,0,0,.55);color:#fff;font-size:11px;line-height:18px}
.live i{display:inline-block;width:6px;height:6px;margin-right:4px;border-radius:50%;background:#C0392B;vertical-align:1px;animation:blink 1.6s infinite}
@keyframes blink{50%{opacity:.25}}
.nosignal{position:absolute;inset:0;display:flex;flex-direction:column;align-items:center;justify-content:center;gap:6px;background:repeating-linear-gradient(rgba(255,255,255,.03) 0 1px,transparent 1px 3px),#0a0a0a;color:#9C9C81}
.nosignal b{font-size:20px;color:#e4e4d4;letter-spacing:4px}
.controls{flex:none;display:flex;align-items:center;gap:10px;padding-top:10px}
.controls button{flex:none;padding:4px 14px;border:1px solid #2A2929;border-radius:13px;background:#101010;color:#b4b49c;font:inherit;cursor:pointer}
.controls button:hover{border-color:#80A8FF;color:#80A8FF}
.onair{flex:1;min-width:0;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.onair b{color:#e4e4d4;font-weight:600;margin-right:8px}
.channels{flex:none;width:300px;overflow-y:auto;padding-right:4px}
.group h2{display:flex;align-items:baseline;gap:8px;margin:2px 0 8px;font-size:13px;font-weight:600;color:#e4e4d4}
.group h2 small{font-size:11px;font-weight:400;color:#55554a}
.grid{display:flex;flex-direction:column;gap:6px;margin-bottom:12px}
.ch{display:flex;align-items:center;gap:10px;padding:5px;border:1px solid #161616;border-radius:4px;background:#0d0d0d;transition:border-color .12s}
.ch:hover{border-color:#2A2929}
.ch.on{border-color:#80A8FF;background:linear-gradient(90deg,#101a30,#0a0d14)}
.ch.off{opacity:.55}
.thumb{position:relative;flex:none;width:88px;height:50px;border-radius:3px;overflow:hidden}
.thumb .bg{position:absolute;inset:0;background:linear-gradient(135deg,var(--a),var(--b))}
.thumb .num{position:absolute;left:6px;top:4px;font:700 18px/1 "DejaVu Sans",sans-serif;color:rgba(255,255,255,.88);text-shadow:0 1px 4px rgba(0,0,0,.5)}
.thumb .glyph{position:absolute;right:4px;bottom:-8px;font-size:40px;font-weight:700;line-height:1;color:rgba(255,255,255,.14)}
.cap{flex:1;min-width:0}
.cap .name{color:#e4e4d4;font-size:13px;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.ch:hover .cap .name,.ch.on .cap .name{color:#80A8FF}
.cap .now{display:block;color:#66665a}
@media (max-width:720px){
body{overflow:auto;display:block}
.tv{flex-direction:column}
.screen-main{flex:none;aspect-ratio:16/9}
.channels{width:auto;overflow:visible}
}
[hidden]{display:none!important}
)";

// Tunes the player to a channel: the clip loops, started where the clock
// says a broadcast that began at midnight would be.
constexpr const char* kTvScript = R"(
var tv = document.getElementById('tv');
var osd = document.getElementById('osd');
var nosignal = document.getElementById('nosignal');
var channels = document.querySelectorAll('.ch');
var onAir = null, osdTimer = 0;
function tune(ch) {
  if (onAir) onAir.classList.remove('on');
  onAir = ch;
  ch.classList.add('on');
  document.getElementById('osd-num').textContent = ch.getAttribute('data-num');
  document.getElementById('osd-name').textContent = ch.getAttribute('data-name');
  document.getElementById('now-name').textContent = ch.getAttribute('data-num') + ' ' + ch.getAttribute('data-name');
  document.getElementById('now-note').textContent = ch.getAttribute('data-note');
  osd.classList.remove('quiet');
  clearTimeout(osdTimer);
  osdTimer = setTimeout(function () { osd.classList.add('quiet'); }, 4000);
  nosignal.hidden = true;
  playClip(tv, ch, function (why) {
    document.getElementById('nosignal-text').textContent = why === 'missing' ? '该频道暂时没有信号' : clipMessage(why);
    nosignal.hidden = false;
  });
  if (ch.scrollIntoView) ch.scrollIntoView({ block: 'nearest' });
  return false;
}
function stepChannel(step) {
  if (!channels.length) return false;
  var at = Array.prototype.indexOf.call(channels, onAir);
  return tune(channels[(at + step + channels.length) % channels.length]);
}
function toggleSound(button) {
  tv.muted = !tv.muted;
  button.textContent = tv.muted ? '开启声音' : '静音';
  return false;
}
tv.addEventListener('loadedmetadata', function () {
  if (isFinite(tv.duration) && tv.duration > 1) tv.currentTime = (Date.now() / 1000) % tv.duration;
});
tv.addEventListener('volumechange', function () {
  document.getElementById('sound').textContent = tv.muted ? '开启声音' : '静音';
});
// An address ending in #c<number> starts on that channel, else the first.
(function () {
  var m = /^#c(\d+)$/.exec(location.hash);
  var ch = m && document.getElementById('c' + m[1]);
  if (ch) tune(ch);
  else if (channels.length) tune(channels[0]);
})();
(function () {
  var el = document.getElementById('clock');
  function pad(n) { return (n < 10 ? '0' : '') + n; }
  function tick() { var d = new Date(); el.textContent = pad(d.getHours()) + ':' + pad(d.getMinutes()) + ':' + pad(d.getSeconds()); }
  tick();
  setInterval(tick, 1000);
})();
)";

}  // namespace

std::string tv_page(const Catalogue& catalogue, const MediaFolder& media) {
  const std::vector<const Series*> list = catalogue.shelf("tv");
  std::size_t channels = episode_total(list);
  std::string out = page_head("Tavori 电视", kTvStyle);
  out += "<body>\n<header class=\"top\"><h1>电视直播</h1><span class=\"sub\">" +
         std::to_string(channels) +
         " 个频道 · 全天轮播</span><span class=\"clock\" id=\"clock\"></span></header>\n";
  if (list.empty()) {
    out += "<p class=\"empty\">暂时没有可看的频道</p>\n</body>\n</html>\n";
    return out;
  }
  out +=
      "<main class=\"tv\">\n<section class=\"player\"><div class=\"screen-main\"><video id=\"tv\" "
      "autoplay loop playsinline></video><div class=\"osd\" id=\"osd\"><span class=\"num\" "
      "id=\"osd-num\"></span><span class=\"name\" id=\"osd-name\"></span><span "
      "class=\"live\"><i></i>直播</span></div><div class=\"nosignal\" id=\"nosignal\" "
      "hidden><b>无信号</b><span id=\"nosignal-text\"></span></div></div>\n"
      "<div class=\"controls\"><button type=\"button\" onclick=\"return stepChannel(-1)\">‹ "
      "上一台</button><div class=\"onair\"><b id=\"now-name\"></b><span id=\"now-note\"></span></div>"
      "<button type=\"button\" id=\"sound\" onclick=\"return toggleSound(this)\">静音</button>"
      "<button type=\"button\" onclick=\"return stepChannel(1)\">下一台 ›</button></div>"
      "</section>\n<aside class=\"channels\">\n";
  std::size_t number = 0;
  for (const Series* s : list) {
    const Colours c = poster_colours(*s);
    out += "<section class=\"group\"><h2>" + html_escape(s->name) + badges(*s) + "<small>" +
           html_escape(s->about) + "</small></h2><div class=\"grid\">\n";
    for (std::size_t i = 0; i < s->episodes.size(); ++i) {
      const Episode& ep = s->episodes[i];
      ++number;
      char num[24];
      std::snprintf(num, sizeof num, "%02zu", number);
      const std::string note = ep.note.empty() ? std::string("正在播出") : ep.note;
      const std::string clip = clip_attributes(*s, ep, media);
      // Tiles share the series colours, turned a little per channel.
      const int turn = static_cast<int>((i * 47) % 360);
      out += "<a class=\"ch" + std::string(clip.empty() ? " off" : "") + "\" id=\"c" + num +
             "\" href=\"#c" + num + "\" onclick=\"return tune(this)\" data-num=\"" + num +
             "\" data-name=\"" +
             html_escape(ep.label) + "\" data-note=\"" + html_escape(note) + "\"" + clip +
             " title=\"" + html_escape(ep.label) + "\"><span class=\"thumb\"><span class=\"bg\" style=\"--a:" +
             c.a + ";--b:" + c.b + ";filter:hue-rotate(" + std::to_string(turn) +
             "deg)\"></span><span class=\"num\">" + num + "</span><span class=\"glyph\">" +
             html_escape(channel_glyph(ep.label)) + "</span></span>";
      out += "<span class=\"cap\"><span class=\"name\">" + html_escape(ep.label) +
             "</span><span class=\"now\">" + html_escape(note) + "</span></span></a>\n";
    }
    out += "</div></section>\n";
  }
  out += "</aside>\n</main>\n<script>";
  out += kClipScript;
  out += kTvScript;
  out += "</script>\n</body>\n</html>\n";
  return out;
}

namespace {

constexpr const char* kEpisodeStyle = R"(
.head{display:flex;gap:11px;padding:12px;background:linear-gradient(#121212,#070707);border-bottom:1px solid #161616}
.poster{width:62px;height:86px}
.poster .glyph{left:0;right:0;top:50%;transform:translateY(-50%);text-align:center;font-size:40px;color:rgba(255,255,255,.2)}
.poster .pt{display:none}
.head .info{flex:1;min-width:0}
.head h1{font-size:14px;font-weight:600;color:#e8e8d8;line-height:1.4;word-break:break-all}
.head .meta{margin-top:2px;color:#6a6a5a}
.head .meta .dot{font-style:normal;margin:0 5px;color:#3c3c34}
.head .last{margin-top:4px;color:#80A8FF}
.notice{margin:10px 12px 2px;padding:7px 10px;border:1px dashed #3d3423;border-radius:4px;background:#13100a;color:#d8b25a}
.eplist{padding:6px 0 14px}
.row{display:flex;align-items:center;gap:8px;height:34px;padding:0 12px 0 10px;border-left:2px solid transparent;color:#b4b49c}
.row:hover{background:#0f0f0f;color:#80A8FF}
.row .idx{flex:none;width:22px;color:#46463c;font-variant-numeric:tabular-nums}
.row .lbl{flex:1;min-width:0;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.row .kind{flex:none;padding:0 5px;border:1px solid #2A2929;border-radius:2px;font-size:11px;line-height:16px;color:#66665a}
.row .tag{flex:none;font-size:11px;color:#80A8FF}
.row.current{background:linear-gradient(90deg,#101a30,#0a0d14);border-left-color:#80A8FF;color:#fff}
.row.current .idx{color:#80A8FF}
.row.current .kind{border-color:#2c3c5c;color:#80A8FF}
.missing{padding:48px 20px;text-align:center}
.missing b{display:block;margin-bottom:6px;font-size:14px;color:#d6d6c4;word-break:break-all}
)";

}  // namespace

std::string episode_page(const Catalogue& catalogue, const EpisodePageQuery& query, bool& found) {
  const Series* s =
      query.series <= 0x7FFFFFFF ? catalogue.find(static_cast<long>(query.series)) : nullptr;
  found = s != nullptr;
  if (!s) {
    std::string out = page_head("剧集列表", kEpisodeStyle);
    out += "<body>\n<div class=\"missing\"><b>";
    out += query.name.empty() ? std::string("没有找到这部剧")
                              : "没有找到「" + html_escape(query.name) + "」";
    out += "</b>片库里没有这部剧，可能已经下架。</div>\n</body>\n</html>\n";
    return out;
  }
  std::string out = page_head(s->name + " - 剧集列表", kEpisodeStyle);
  out += "<body>\n<header class=\"head\">" + poster(*s) + "<div class=\"info\"><h1>" +
         html_escape(s->name) + badges(*s) + "</h1><p class=\"meta\">" + meta_line(*s) + "</p>";
  const std::optional<std::int64_t> last = last_watched(query);
  if (last && *last >= 0 && static_cast<std::size_t>(*last) < s->episodes.size())
    out += "<p class=\"last\">上次看到 " + html_escape(s->episodes[*last].label) + "</p>";
  out += "</div></header>\n";
  if (s->pending) out += "<p class=\"notice\">资源准备中，暂时无法播放，请稍后再来。</p>\n";
  out += "<nav class=\"eplist\">\n";
  for (std::size_t i = 0; i < s->episodes.size(); ++i) {
    const Episode& ep = s->episodes[i];
    const bool current = static_cast<std::int64_t>(i) == query.v1;
    char idx[24];
    std::snprintf(idx, sizeof idx, "%02zu", i + 1);
    out += std::string("<a class=\"row") + (current ? " current" : "") + "\" href=\"" +
           lookup_link(*s, i) + "\"><span class=\"idx\">" + idx + "</span><span class=\"lbl\">" +
           html_escape(ep.label) + "</span>";
    if (current) out += "<span class=\"tag\">▶ 正在播放</span>";
    out += std::string("<span class=\"kind\">") + (ep.kind == "qvod" ? "高清" : "网页") +
           "</span></a>\n";
  }
  out +=
      "</nav>\n<script>var c=document.querySelector('.row.current');"
      "if(c)c.scrollIntoView({block:'center'});</script>\n</body>\n</html>\n";
  return out;
}

std::string player_page() {
  return R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="color-scheme" content="dark">
<title>Tavori 播放</title>
<style>
html,body{margin:0;width:100%;height:100%;background:#000;overflow:hidden}
body{font:12px/1.6 "Noto Sans CJK SC","Microsoft YaHei",sans-serif;color:#9C9C81}
video{display:block;width:100%;height:100%;background:#000;object-fit:contain;outline:none}
#title{position:absolute;left:0;right:0;top:0;padding:8px 12px 18px;background:linear-gradient(rgba(0,0,0,.7),transparent);color:#e4e4d4;white-space:nowrap;overflow:hidden;text-overflow:ellipsis;pointer-events:none;transition:opacity .6s}
#title.gone{opacity:0}
#msg{position:absolute;left:50%;top:50%;transform:translate(-50%,-50%);padding:10px 18px;border:1px solid #2A2929;border-radius:4px;background:rgba(7,7,7,.9);color:#9C9C81;text-align:center}
#msg b{display:block;color:#C0392B;font-weight:600}
[hidden]{display:none!important}
</style>
</head>
<body>
<video id="video" autoplay controls playsinline preload="auto"></video>
<div id="title" hidden></div>
<div id="msg" hidden></div>
<script>
(function () {
  var video = document.getElementById('video');
  var title = document.getElementById('title');
  var msg = document.getElementById('msg');
  function say(head, text) {
    msg.innerHTML = '';
    var b = document.createElement('b');
    b.textContent = head;
    msg.appendChild(b);
    msg.appendChild(document.createTextNode(text));
    msg.hidden = false;
  }
  // The address comes escaped as JavaScript's escape() writes it. A browser
  // that was handed raw non-ASCII text sends it as UTF-8 bytes instead.
  function decode(text) {
    var plain = unescape(text);
    if (/[\x80-\xff]/.test(plain) && !/%u[0-9a-f]{4}/i.test(text)) {
      try { return decodeURIComponent(text); } catch (e) {}
    }
    return plain;
  }
  var query = location.search.substring(1);
  var cut = query.indexOf('$$$');
  if (cut < 0) { say('无法播放', '播放地址无效'); return; }
  var kind = query.substring(0, cut);
  var address = decode(query.substring(cut + 3));
  var source = '', name = '';
  var qvod = /^qvod:\/\/(\d+)\|([0-9A-Fa-f]{40})\|([^|]*)\|?$/.exec(address);
  if (qvod) {
    source = '/seed/' + qvod[2].toUpperCase();
    name = qvod[3];
  } else if (/^https?:\/\//i.test(address)) {
    source = address;
    name = address.replace(/[?#].*$/, '').replace(/^.*\//, '');
    try { name = decodeURIComponent(name); } catch (e) {}
  }
  if (!source) { say('无法播放', kind === 'qvod' ? '片源地址有误' : '不支持的播放地址'); return; }
  if (name) {
    title.textContent = name;
    title.hidden = false;
    setTimeout(function () { title.className = 'gone'; }, 3000);
  }
  // A clip of this server's media folder may have a WebM copy (VP8/Vorbis)
  // beside it, for browsers without H.264/AAC: tried when the clip cannot
  // be played, or first when this browser says it cannot play MP4 at all.
  var file = '';
  if (qvod) file = name;
  else if (source.indexOf(location.protocol + '//' + location.host + '/media/') === 0)
    file = source.substring((location.protocol + '//' + location.host + '/media/').length).replace(/[?#].*$/, '');
  else file = '';
  var sources = [source];
  if (file && !/\.webm$/i.test(file)) {
    try { file = decodeURIComponent(file); } catch (e) {}
    var webm = '/media/' + encodeURIComponent(file.replace(/\.[^.]*$/, '') + '.webm');
    if (video.canPlayType('video/mp4; codecs="avc1.64001E, mp4a.40.2"')) sources.push(webm);
    else sources.unshift(webm);
  }
  var tried = 0;
  video.addEventListener('error', function () {
    if (++tried < sources.length) { video.src = sources[tried]; video.play().catch(function () {}); return; }
    say('视频加载失败', '请稍后重试或换一集观看');
  });
  video.addEventListener('playing', function () { msg.hidden = true; });
  video.src = sources[0];
  var started = video.play();
  if (started && started.catch) {
    // Autoplay with sound may be refused; start muted rather than not at all.
    started.catch(function () { video.muted = true; video.play().catch(function () {}); });
  }
})();
</script>
</body>
</html>
)";
}

namespace {

constexpr const char* kAdStyle = R"(
html,body{width:300px;height:250px;overflow:hidden}
.ad{position:relative;width:300px;height:250px;overflow:hidden;background:radial-gradient(circle at 80% 10%,#1b2a4a,transparent 60%),linear-gradient(160deg,#101522,#070707 70%);border:1px solid #1d2230}
.ad::before{content:"";position:absolute;inset:0;background:repeating-linear-gradient(135deg,rgba(128,168,255,.035) 0 8px,transparent 8px 16px)}
.brand{position:absolute;left:16px;top:14px;display:flex;align-items:center;gap:7px;font-weight:700;font-size:14px;letter-spacing:2px;color:#fff}
.brand:hover{color:#80A8FF}
.brand i{width:0;height:0;border-style:solid;border-width:7px 0 7px 11px;border-color:transparent transparent transparent #80A8FF}
.label{position:absolute;right:10px;top:14px;padding:0 5px;border:1px solid #2A2929;border-radius:2px;font-size:10px;line-height:15px;color:#5c5c50}
.fudong .label{right:28px}
.tui .label{right:64px}
.body{position:absolute;left:16px;right:16px;top:48px}
.body h2{font-size:18px;font-weight:600;line-height:1.35;color:#e8e8d8}
.body h2 em{font-style:normal;color:#80A8FF}
.body p{margin-top:6px;color:#8c8c76}
.feature{position:absolute;left:16px;right:16px;bottom:16px;display:flex;align-items:center;gap:10px}
.poster.sm{width:44px;height:60px}
.poster.sm .glyph{left:0;right:0;top:50%;transform:translateY(-50%);text-align:center;font-size:28px;color:rgba(255,255,255,.2)}
.poster.sm .pt{display:none}
.feature .info{flex:1;min-width:0}
.feature .info b{display:block;color:#e4e4d4;font-weight:600;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.feature .info span{color:#66665a}
.go{flex:none;padding:4px 12px;border-radius:13px;background:#80A8FF;color:#070707;font-weight:600}
.go:hover{background:#a7c2ff}
.picks{position:absolute;left:16px;right:16px;top:84px}
.pick{display:flex;align-items:center;gap:8px;height:46px;border-bottom:1px solid #151821}
.pick .n{width:16px;color:#80A8FF;font-weight:700;text-align:center}
.pick .t{flex:1;min-width:0;color:#d6d6c4;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.pick:hover .t{color:#80A8FF}
.pick .m{color:#5c5c50}
.poster.xs{width:28px;height:38px;border-radius:3px}
.poster.xs .glyph{left:0;right:0;top:50%;transform:translateY(-50%);text-align:center;font-size:18px;color:rgba(255,255,255,.25)}
.poster.xs .pt{display:none}
.pv{position:absolute;inset:0;z-index:3;background:#000}
.pv video{position:absolute;left:0;top:0;width:300px;height:218px;background:#000;object-fit:contain;outline:none}
.pvbar{position:absolute;left:0;right:0;bottom:0;height:32px;display:flex;align-items:center;gap:8px;padding:0 8px 0 12px;background:#0d0d0d;border-top:1px solid #161616}
.pvbar span{flex:1;min-width:0;color:#e4e4d4;white-space:nowrap;overflow:hidden;text-overflow:ellipsis}
.pvbar a{flex:none;padding:0 10px;border:1px solid #2A2929;border-radius:10px;color:#b4b49c;line-height:18px}
.pvbar a:hover{border-color:#80A8FF;color:#80A8FF}
.pvmsg{position:absolute;left:20px;right:20px;top:90px;text-align:center;color:#9C9C81}
[hidden]{display:none!important}
)";

// The card's buttons play a short muted preview of the series in the card.
constexpr const char* kAdScript = R"(
var pv = document.getElementById('pv');
var pvVideo = document.getElementById('pv-video');
var pvMsg = document.getElementById('pv-msg');
function preview(el) {
  document.getElementById('pv-title').textContent = '预告 · ' + el.getAttribute('data-name');
  pv.hidden = false;
  pvMsg.hidden = true;
  pvVideo.muted = true;
  playClip(pvVideo, el, function (why) { pvMsg.textContent = clipMessage(why); pvMsg.hidden = false; });
  return false;
}
function closePreview() {
  stopVideo(pvVideo);
  pv.hidden = true;
  return false;
}
pvVideo.addEventListener('playing', function () { pvMsg.hidden = true; });
)";

std::string preview_attrs(const Series& s, const MediaFolder& media) {
  return " href=\"#\" onclick=\"return preview(this)\" data-name=\"" + html_escape(s.name) + "\"" +
         clip_attributes(s, s.episodes.front(), media);
}

}  // namespace

std::string ad_page(std::string_view which, const Catalogue& catalogue, const MediaFolder& media) {
  // Series that can be watched now, popular ones first.
  std::vector<const Series*> picks;
  for (const Series* s : catalogue.shelf("hot"))
    if (!s->pending) picks.push_back(s);
  for (const Series& s : catalogue.series)
    if (!s.pending && !s.on_shelf("hot") && !s.on_shelf("tv")) picks.push_back(&s);
  std::string out = page_head("Tavori", kAdStyle);
  out +=
      "<body>\n<div class=\"ad " + html_escape(which) +
      "\"><a class=\"brand\" href=\"/box/yy\" target=\"_blank\"><i></i>TAVORI</a>"
      "<span class=\"label\">推广</span>";
  if (which == "tui") {
    out += "<div class=\"body\"><h2>今日<em>推荐</em></h2></div><div class=\"picks\">";
    for (std::size_t i = 0; i < picks.size() && i < 3; ++i) {
      const Series& s = *picks[i];
      out += "<a class=\"pick\"" + preview_attrs(s, media) + "><span class=\"n\">" +
             std::to_string(i + 1) + "</span>" + poster(s, "xs") + "<span class=\"t\">" +
             html_escape(s.name) + "</span><span class=\"m\">" + std::to_string(s.episodes.size()) +
             " 集</span></a>";
    }
    out += "</div>";
  } else {
    if (which == "fudong") {
      out +=
          "<div class=\"body\"><h2>新剧抢先看<br><em>高清</em>不等待</h2>"
          "<p>每周更新 · 随点随看 · 不限速</p></div>";
    } else {
      out +=
          "<div class=\"body\"><h2>休息一下<br>精彩<em>马上继续</em></h2>"
          "<p>Tavori 影视，好片看不停</p></div>";
    }
    if (!picks.empty()) {
      const Series& s = *picks[which == "fudong" && picks.size() > 1 ? 1 : 0];
      out += "<div class=\"feature\">" + poster(s, "sm") + "<div class=\"info\"><b>" +
             html_escape(s.name) + "</b><span>" +
             html_escape(s.genre.empty() ? "热播中" : s.genre) + " · 共 " +
             std::to_string(s.episodes.size()) + " 集</span></div><a class=\"go\"" +
             preview_attrs(s, media) + ">看预告</a></div>";
    }
  }
  out +=
      "<div class=\"pv\" id=\"pv\" hidden><video id=\"pv-video\" muted loop playsinline "
      "controls></video><p class=\"pvmsg\" id=\"pv-msg\" hidden></p><div class=\"pvbar\"><span "
      "id=\"pv-title\"></span><a href=\"#\" onclick=\"return closePreview()\">关闭</a></div></div>";
  out += "</div>\n<script>";
  out += kClipScript;
  out += kAdScript;
  out += "</script>\n</body>\n</html>\n";
  return out;
}

std::string suite_page() {
  std::string out = page_head("Tavori 播放组件", R"(
.suite{max-width:560px;margin:40px auto;padding:24px 28px;background:#101010;border:1px solid #2A2929;border-radius:8px}
.suite h1{font-size:18px;color:#FFFFFF;margin-bottom:12px}
.suite p{margin:8px 0;line-height:1.8}
.suite code{color:#80A8FF}
)");
  out += "<body>\n<div class=\"suite\"><h1>Tavori 播放组件</h1>"
         "<p>播放组件随 Tavori 一同安装，位于程序文件夹的 <code>Qvod/QvodInsert.dll</code>。</p>"
         "<p>若提示未安装播放器，请在程序文件夹中运行 "
         "<code>regsvr32 \"Qvod/QvodInsert.dll\"</code> 完成注册，然后重新启动 Tavori。</p>"
         "</div>\n</body>\n</html>\n";
  return out;
}

std::string error_page(int status, std::string_view message) {
  std::string out = page_head("Tavori", R"(
.err{padding:60px 20px;text-align:center}
.err b{display:block;font:700 40px/1 "DejaVu Sans",sans-serif;color:#2A2929;margin-bottom:10px}
)");
  out += "<body>\n<div class=\"err\"><b>" + std::to_string(status) + "</b>" + html_escape(message) +
         "</div>\n</body>\n</html>\n";
  return out;
}

}  // namespace tsrv
