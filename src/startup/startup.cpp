#include "startup/startup.h"

#include "base/attempt.h"
#include "base/component_registry.h"
#include "base/player_control.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "lists/list_files.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "startup/machine_id.h"
#include "startup/settings.h"

namespace tav {

namespace {

// First-run values, in the order they are written.
struct Entry {
  const char* section;
  const char* key;
  const char* value;
};
constexpr Entry kFirstRun[] = {
    {"S_q", "ts", "3"},      {"S_q", "quit", "2"},   {"S_q", "qvodk", "2"},
    {"S_q", "s_size", "2"},  {"S_q", "h_w", "14235"}, {"S_q", "h_h", "7200"},
    {"S_q", "s_h", "2"},     {"S_q", "s_bo", "2"},   {"S_q", "s_jd", "2"},
    {"S_q", "qvodqi", "2"},  {"S_q", "s_pao", "2"},
};

// As a whole number: a text that is none, or one too large, counts as 0.
bool is_zero(const std::string& text) { return to_int32(text) == 0; }

}  // namespace

bool check_player(Platform& pf, const AppConfig& config) {
  if (pf.registry.can_create(kPlayerClassId)) return true;
  const std::string library = join_path(join_path(config.app_folder, "Qvod"), "QvodInsert.dll");
  if (pf.files.exists(library)) {
    pf.shell.start("regsvr32 \"" + library + "\" /s", WindowStyle::MinimizedFocus);
    return true;
  }
  const MsgAnswer answer =
      pf.dialogs.message_box(kPlayerMissingQuestion, kNoticeTitle, MsgButtons::YesNo,
                             MsgIcon::Question);
  if (answer == MsgAnswer::Yes) pf.shell.open(config.vendor_home, "Open");
  return false;
}

void prepare_settings(Platform& pf, const AppConfig& config, std::string_view version) {
  const SettingsFile store{pf.files, pf.code_page};
  const std::string path = join_path(config.app_folder, "config.ini");
  auto put = [&](const char* section, const char* key, const std::string& value) {
    write_setting(store, path, section, key, value);
  };
  auto get = [&](const char* section, const char* key) {
    return read_setting(store, path, section, key, "0");
  };
  auto new_id = [&] { return machine_id(pf.adapters, pf.clock, pf.random); };

  if (!pf.files.exists(path)) {
    const std::string id = new_id();
    put("main", "Name", "Tavori");
    put("User", "Name", id);
    put("Skin", "Num", "1");
    put("Ver", "Name", std::string(version));
    for (const Entry& e : kFirstRun) put(e.section, e.key, e.value);
  }

  const std::string user = get("user", "Name");
  const std::string stored_version = get("ver", "Name");
  const int ts = to_int32(get("S_q", "ts"));
  const std::string quit = get("S_q", "quit");
  const std::string qvodk = get("S_q", "qvodk");
  const int numbers[] = {to_int32(get("S_q", "s_size")), to_int32(get("S_q", "h_w")),
                         to_int32(get("S_q", "h_h")),    to_int32(get("S_q", "s_h")),
                         to_int32(get("S_q", "s_bo")),   to_int32(get("S_q", "s_jd"))};
  const std::string qvodqi = get("S_q", "qvodqi");
  const std::string s_pao = get("S_q", "s_pao");

  if (user == "0" || user.empty()) put("User", "Name", new_id());
  // The installed program's version, whatever an older one left there.
  if (stored_version != version) put("Ver", "Name", std::string(version));
  if (ts != 1 && ts != 2) put("S_q", "ts", "3");
  if (is_zero(quit)) put("S_q", "quit", "2");
  if (is_zero(qvodk)) put("S_q", "qvodk", "2");
  const Entry repairs[] = {{"S_q", "s_size", "2"}, {"S_q", "h_w", "13260"}, {"S_q", "h_h", "8790"},
                           {"S_q", "s_h", "2"},    {"S_q", "s_bo", "2"},    {"S_q", "s_jd", "2"}};
  for (std::size_t i = 0; i < std::size(repairs); ++i)
    if (numbers[i] == 0) put(repairs[i].section, repairs[i].key, repairs[i].value);
  if (is_zero(qvodqi)) put("S_q", "qvodqi", "2");
  if (is_zero(s_pao)) put("S_q", "s_pao", "2");
}

void prepare_lists(Platform& pf, const AppConfig& config) {
  ListFiles lists(pf.files, pf.code_page, config.app_folder);
  lists.create_list(kHistoryList);
  lists.create_list(kLocalList);
  if (!pf.files.exists(lists.path_of(kHistoryPage))) lists.render_list_page(kHistoryList);
  if (!pf.files.exists(lists.path_of(kLocalPage))) lists.render_list_page(kLocalList);
}

std::unique_ptr<BA1> start_program(Platform& pf, const AppConfig& config, std::string_view version) {
  if (!check_player(pf, config)) return nullptr;
  attempt([&] { prepare_settings(pf, config, version); });
  attempt([&] { prepare_lists(pf, config); });

  auto window = std::make_unique<BA1>(pf, config);
  window->Form_Load();
  if (window->ended()) return nullptr;
  window->show();
  window->resize_event();  // a window that is shown lays itself out
  return window;
}

}  // namespace tav
