// The settings dialog: eight two-state settings in config.ini and the player
// suite's download folder in its own settings file.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "forms/ba3.h"
#include "platform/code_page.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/processes.h"
#include "platform/shell.h"
#include "platform/text_file.h"
#include "platform/window_system.h"
#include "playback/processes.h"
#include "web/link_protocol.h"

namespace tav {

namespace {

constexpr std::string_view kMarker = "Defaultsavepath=\"";
constexpr std::string_view kDefaultFolder = "D:\\Media\\";
constexpr std::string_view kPlayerFile = "QvodPlayer.xml";
// A player settings file larger than this is not the suite's: left alone.
constexpr std::size_t kMaxPlayerFile = 1u << 20;

struct BoxKey {
  int box;
  const char* key;
};
// In the order Apply writes them.
constexpr BoxKey kBoxKeys[] = {{5, "quit"}, {6, "qvodk"}, {0, "s_size"}, {1, "s_h"},
                               {2, "s_bo"}, {3, "s_jd"},  {7, "qvodqi"}, {8, "s_pao"}};
constexpr const char* kTabTitles[] = {"关于软件", "软件设置", "缓存设置"};

// A folder as the suite wants it: ending with its separator (a backslash for
// a folder with a drive letter or backslashes in it, else the platform's).
std::string with_folder_end(std::string folder) {
  if (ends_with(folder, "\\") || ends_with(folder, "/")) return folder;
  const bool windows_style = contains(folder, ":") || contains(folder, "\\") || folder.empty();
  return folder + (windows_style ? '\\' : kPathSeparator);
}

// A folder the suite can use: one with a drive letter, or on POSIX an
// absolute path; anything else (a bare name) is not.
bool usable_folder(const std::string& folder) {
  return contains(folder, ":") || (kPathSeparator == '/' && starts_with(folder, "/"));
}

}  // namespace

std::string choose_folder(BA1& main, const std::string& initial_folder,
                          const std::string& prompt) {
  return main.pf.dialogs.choose_folder(initial_folder, prompt.empty() ? "请选择文件夹" : prompt);
}

void BA3::Form_Load() {
  dialogSettingsPath = join_path(main.config.app_folder, "config.ini");
  for (const auto& [i, tab] : d_z.items()) tab->set_caption("\r\n" + tab->caption());
  d_z_Click(0);
  const SettingsFile store{main.pf.files, main.pf.code_page};
  auto read = [&](const char* key) { return read_setting(store, dialogSettingsPath, "S_q", key, "0"); };
  for (const BoxKey& b : kBoxKeys) Check1(b.box).set_value(parse_number(read(b.key)) == 1.0 ? 0 : 1);
  dialogQvodDir = read("qvodw");
  xmlText.clear();
  savedPath.clear();
  savedRaw.clear();
  const std::string file = dialogQvodDir + std::string(kPlayerFile);
  attempt([&] {
    if (!main.pf.files.is_file(file)) return;
    const auto bytes = main.pf.files.read(file, kMaxPlayerFile);
    if (!bytes) return;
    // Kept as it is, so that Apply changes the folder and no other byte.
    xmlText = main.pf.code_page.to_utf8(*bytes);
    savedRaw = text_between(xmlText, kMarker, "\"", 2);
    savedPath = xml_unescape(savedRaw);
  });
  Text1.set_text(savedPath.empty() ? std::string(kDefaultFolder) : savedPath);
  show();
}

void BA3::Form_Resize() {
  for (const auto& [i, page] : p1.items()) page->move(16, 40, 298, 218);
}

void BA3::d_z_Click(int index) {
  for (const auto& [i, tab] : d_z.items()) {
    tab->set_back_color(i == index ? kSystemHighlightColor : 0xFFFFFF);
    tab->set_fore_color(i == index ? 0xFFFFFF : 0x000000);
  }
  for (const auto& [i, page] : p1.items()) page->set_visible(i == index);
  if (index >= 0 && index <= 2) bb.set_caption(kTabTitles[index]);
}

void BA3::Command1_Click() {
  std::string folder = choose_folder(main, Text1.text(), "请选择影片下载存放的文件夹");
  if (folder.empty() && !savedPath.empty()) folder = savedPath;
  Text1.set_text(with_folder_end(folder));
}

void BA3::cmdApply_Click() {
  const SettingsFile store{main.pf.files, main.pf.code_page};
  for (const BoxKey& b : kBoxKeys)
    write_setting(store, dialogSettingsPath, "S_q", b.key, Check1(b.box).value() == 0 ? "1" : "2");
  if (Text1.text() == savedPath) return;

  attempt([&] {
    for (const std::string_view name : {kQvodPlayer, kQvodTerminal})
      for (const ProcessEntry& p : main.pf.processes.list())
        if (iequals_ascii(p.image_name, name)) attempt([&] { main.pf.processes.terminate(p.id); });
  });
  std::string folder = Text1.text();
  if (!usable_folder(folder)) folder = std::string(kDefaultFolder);
  folder = with_folder_end(folder);
  Text1.set_text(folder);

  // Without the suite's settings file there is nothing to change the folder
  // in: say so rather than claim success.
  const std::string file = dialogQvodDir + std::string(kPlayerFile);
  if (xmlText.empty()) {
    main.pf.dialogs.message_box("没有找到快播(Qvod)的设置文件，下载路径未修改！", "Tavori",
                                MsgButtons::Ok, MsgIcon::None);
    return;
  }
  const std::string marker(kMarker);
  // Escaped: a folder name with a quote in it stays one attribute's value.
  const std::string raw = xml_escape(folder);
  xmlText = replace_all(xmlText, marker + savedRaw + "\"", marker + raw + "\"");
  attempt([&] { write_text_file(main.pf.files, main.pf.code_page, file, xmlText); });
  if (!dialogQvodDir.empty()) {
    attempt([&] {
      main.pf.loop.do_events();
      main.pf.shell.start(command_for(dialogQvodDir + std::string(kQvodTerminal)),
                          WindowStyle::MinimizedFocus);
    });
  }
  savedPath = folder;
  savedRaw = raw;
  main.pf.dialogs.message_box("接受路径修改成功，可能部分电脑需要重启才能生效！", "Tavori",
                              MsgButtons::Ok, MsgIcon::None);
}

void BA3::cmdOK_Click() {
  cmdApply_Click();
  if (on_unload) on_unload();
}

void BA3::cmdCancel_Click() {
  if (on_unload) on_unload();
}

void BA1::openSettings(int page) {
  const bool pinned = top_most();
  if (pinned) zhi_d(0);
  if (!visible()) show();
  if (window_state() == WindowState::Minimized) set_window_state(WindowState::Normal);
  if (!ba3_) {
    ba3_ = std::make_unique<BA3>(*this);
    ba3_->on_unload = [this] { unload_ba3(); };
    pf.windows.attach(*ba3_);
    ba3_->Form_Load();
  } else {
    ba3_->show();
  }
  if (pinned) zhi_d(1);
  ba3_->d_z_Click(page);
}

void BA1::unload_ba3() {
  if (ba3_) retire(std::move(ba3_));
}

}  // namespace tav
