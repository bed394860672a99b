// The list panel's commands: open:// and delk:// of the list pages, the
// list context menu's operations, and the list actions of the label qk.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "forms/tip.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "platform/text_file.h"
#include "platform/window_system.h"
#include "playback/processes.h"
#include "startup/startup.h"
#include "tray/tray_icon.h"
#include "web/link_protocol.h"
#include "web/text_routines.h"

namespace tav {

namespace {

constexpr std::string_view kOpenCommand = "open://";
constexpr std::string_view kDeleteCommand = "delk://";
// Where the player suite keeps its downloads when its settings file is
// missing.
constexpr std::string_view kDefaultDownloadFolder = "C:\\Media\\";

// Line n of a text (counting every line from 1), or nothing.
std::optional<std::string> line_of(const std::string& text, std::int32_t n) {
  const std::vector<std::string> lines = split_lines(text);
  if (n < 1 || static_cast<std::size_t>(n) > lines.size()) return std::nullopt;
  return lines[static_cast<std::size_t>(n) - 1];
}

// Half the length, halves to even.
std::size_t half_to_even(std::size_t length) {
  return length / 2 + ((length % 2 == 1 && (length / 2) % 2 == 1) ? 1 : 0);
}

}  // namespace

std::string_view BA1::currentList() const {
  return contains(qk.caption(), "列表") ? kLocalList : kHistoryList;
}

std::optional<std::string> BA1::downloadFolder() {
  if (qvodDir.empty()) qvodDir = setting("S_q", "qvodw");
  const std::string xml = qvodDir + "QvodPlayer.xml";
  if (!pf.files.exists(xml)) return std::nullopt;
  const auto text = read_text_file(pf.files, pf.code_page, xml);
  for (const std::string& line : split_lines(text.value_or("")))
    if (contains(line, "Defaultsavepath="))
      return xml_unescape(text_between(line, "Defaultsavepath=\"", "\"", 2));
  return std::string();
}

void BA1::Web3_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (starts_with(url, kDeleteCommand)) {
    cancel = true;
    // Every "/" goes before the number is read; a text that is no number
    // names no line, and nothing is deleted.
    const auto n = parse_int32(replace_all(replace_all(url, kDeleteCommand, ""), "/", ""));
    if (n) lists.delete_list_line(currentList(), *n);
  } else if (starts_with(url, kOpenCommand)) {
    cancel = true;
    openListEntry(drop_trailing_slash(replace_all(url, kOpenCommand, "")));
  }
}

void BA1::openListEntry(const std::string& number) {
  // A line the list does not have (a page older than its list) or one that
  // is no record plays nothing, and what plays goes on playing.
  const std::string_view list = currentList();
  const auto n = parse_int32(number);
  const auto content = read_text_file(pf.files, pf.code_page, lists.path_of(list));
  if (!n || !content) return;
  const auto line = line_of(*content, *n);
  if (!line || !contains(*line, "|")) return;

  attempt([&] { bo_but_Click(1); });
  const std::vector<std::string> f = split(*line, "|");
  if (list == kLocalList) {
    const std::string name = field(f, 0), path = field(f, 1);
    if (!pf.files.exists(path)) {
      pf.dialogs.message_box(path + "不存在", kNoticeTitle, MsgButtons::Ok, MsgIcon::None);
      lists.delete_list_line(kLocalList, *n);
      return;
    }
    attempt([&] {
      player.set_address(path);
      player.play();
    });
    Timer1.set_enabled(true);
    bo_name.set_caption(fit_width(pf.code_page, urlUnescape(name), 30));
    playingLocalFilm(path, to_int32(field(f, 2)));
  } else {
    const std::string series = field(f, 0), name = field(f, 1), label = field(f, 2);
    const std::string address = field(f, 3), v = field(f, 4), v1 = field(f, 5);
    if (!starts_with(address, "qvod")) {
      webPlayMode = 1;
      itemKey = "0";
      navigateOwn(Web4, server.base() + "pp.htm?" + series + "-" + v + "-" + v1 + "-" + name +
                            "-" + v + v1);
    } else {
      if (findProcessId(pf.processes, kQvodTerminal) == 0 && !qvodDir.empty()) {
        pf.loop.do_events();
        pf.shell.start(command_for(qvodDir + std::string(kQvodTerminal)),
                       WindowStyle::MinimizedFocus);
      }
      attempt([&] {
        player.set_address(urlUnescape(address));
        player.play();
      });
      if (!Timer1.enabled()) Timer1.set_enabled(true);
      bo_name.set_caption(fit_width(pf.code_page, urlUnescape(name), 30) + "-" +
                          urlUnescape(label));
      resumeDone = 0;
      resumePos = to_int32(field(f, 6));
      navigateOwn(Web4, server.episode_page(series, v, v1, name));
      filmKey = series + "-" + v + "-" + v1 + "-" + name;
      nextLink = "0";
      nextBuffering = 0;
      nextMedia = "0";
      itemKey = series;
      webPlayMode = 0;
      npc_Click(12);
    }
    itemKind = 1;
  }
  if (webPlayMode == 1) {
    qvod.set_visible(false);
    Web2.set_visible(true);
    Pic2.set_visible(true);
  } else {
    qvod.set_visible(true);
    Pic2.set_visible(false);
    Web2.navigate("about:blank");
  }
}

void BA1::CCC() {
  if (contains(menuLink, "//")) Web3.navigate(menuLink);
}

void BA1::ddd() {
  if (contains(menuLink, "//"))
    Web3.navigate(std::string(kDeleteCommand) + replace_all(menuLink, kOpenCommand, ""));
}

void BA1::eee() {
  if (!contains(menuLink, "//")) return;
  const std::string n = drop_trailing_slash(
      replace_all(replace_all(menuLink, kOpenCommand, ""), kDeleteCommand, ""));
  const auto history = read_text_file(pf.files, pf.code_page, lists.path_of(kHistoryList));
  if (!history) return;

  // The downloaded files of the entry: names that begin like the file the
  // suite stores the address under.
  const auto number = parse_int32(n);
  const std::string line = number ? line_of(*history, *number).value_or("") : "";
  const std::string address = urlUnescape(field(split(line, "|"), 3));
  std::u16string key;
  if (contains(address, "|")) key = utf8_to_utf16(strip_extension(urlUnescape(field(split(address, "|"), 2))));
  std::size_t h = half_to_even(key.size());
  if (h < 3) h = key.size();
  key.resize(h);

  std::string folder;
  std::vector<std::string> matches;
  if (!key.empty()) folder = downloadFolder().value_or("");
  std::vector<std::string> names;
  if (!folder.empty() && list_folder_files(pf.files, folder, "*.*", names)) {
    for (const std::string& name : names)
      if (utf8_to_utf16(name).substr(0, h) == key) matches.push_back(name);
  }
  if (!matches.empty()) {
    std::string question = "确定要删除 [" + folder + "] 下面的这些文件吗？\r\n\r\n";
    for (const std::string& name : matches) question += name + "\r\n";
    if (pf.dialogs.message_box(question, kNoticeTitle, MsgButtons::YesNo, MsgIcon::None) ==
        MsgAnswer::Yes) {
      bool failed = false;
      for (const std::string& name : matches) {
        const std::string path = join_path(folder, name);
        if (!pf.files.exists(path)) continue;
        pf.files.remove(path);
        failed = failed || pf.files.exists(path);
      }
      if (failed) showBalloon(*this, "部分文件可能正在使用中，未删除成功！请手动删除！");
    } else if (pf.files.is_directory(folder)) {
      pf.shell.open(folder, "explore");
    }
  }
  Web3.navigate(std::string(kDeleteCommand) + n);
}

void BA1::qk_Click() {
  if (contains(qk.caption(), "列表")) {
    if (pf.dialogs.message_box("确定要删除全部[本机影片]列表吗？", kNoticeTitle,
                               MsgButtons::YesNo, MsgIcon::None) == MsgAnswer::Yes &&
        pf.files.exists(lists.path_of(kLocalList)))
      lists.clear_list(kLocalList);
  } else if (contains(qk.caption(), "任务")) {
    pf.windows.popup_menu(*this, tip().c_fie, std::nullopt);
  } else {
    npc_Click(8);
  }
  qk.set_fore_color(kSystemWindowColor);
}

void BA1::qk_xl() {
  if (contains(qk.caption(), "列表")) {
    qk_Click();
    return;
  }
  if (pf.dialogs.message_box("确定要删除全部[历史观看]列表吗？", kNoticeTitle, MsgButtons::YesNo,
                             MsgIcon::None) == MsgAnswer::Yes &&
      pf.files.exists(lists.path_of(kHistoryList)))
    lists.clear_list(kHistoryList);
}

void BA1::qk_xw() {
  const std::string folder = downloadFolder().value_or(std::string(kDefaultDownloadFolder));
  std::vector<std::string> names;
  if (folder.empty() || !list_folder_files(pf.files, folder, "*.*", names)) return;
  if (npc(5).tooltip() == "取消置顶") npc_Click(5);
  pf.shell.open(folder, "explore");
}

}  // namespace tav
