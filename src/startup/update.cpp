// The update check: the version file 6 s after start, its advertisement
// switches, the question, and the updater.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "startup/startup.h"
#include "web/link_protocol.h"

namespace tav {

namespace {

constexpr std::string_view kSeparator = "====";
constexpr std::string_view kUpdateTitle = "Tavori提示：";

// A switch is on only when it is a number equal to 1.
bool switched_on(const std::string& text) { return parse_number(text) == 1.0; }

std::string update_question(const std::string& version) {
  return "检测到最新版本 " + version + " ,你需要现在升级吗？";
}

}  // namespace

void BA1::Timer5_Timer() {
  Timer5.set_enabled(false);
  std::string reply;
  attempt([&] { reply = pf.http.get(server.version_file()); });
  if (reply.empty() || !contains(reply, kSeparator)) return;
  const std::vector<std::string> f = split(reply, kSeparator);
  exitNotice = field(f, 0);
  const std::string floating = field(f, 1), strip = field(f, 2);
  latestVersion = field(f, 3);
  attempt([&] {
    if (switched_on(strip) && adFailed != 1) {
      ad_huan.set_visible(true);
      adp.set_visible(false);
    }
  });
  latestVersion = replace_all(latestVersion, "\r\n", "");
  const std::optional<double> latest = parse_number(latestVersion);
  if (latest && *latest != 0 && trim_spaces(installedVersion) != latestVersion) {
    if (pf.dialogs.message_box(update_question(latestVersion), kUpdateTitle, MsgButtons::YesNo,
                               MsgIcon::None) == MsgAnswer::Yes) {
      updateAction(true);
      return;
    }
  }
  if (switched_on(floating)) Timer6.set_enabled(true);
}

void BA1::shengji() {
  if (!latestVersion.empty() && trim_spaces(installedVersion) != latestVersion) {
    if (pf.dialogs.message_box(update_question(latestVersion), kUpdateTitle, MsgButtons::YesNo,
                               MsgIcon::None) == MsgAnswer::Yes)
      updateAction(false);
    return;
  }
  pf.dialogs.message_box("你现在使用的是最新版本，无需升级！", kNoticeTitle, MsgButtons::Ok,
                         MsgIcon::None);
}

void BA1::updateAction(bool automatic) {
  attempt([&] {
    const std::string local = join_path(config.app_folder, "update.exe");
    if (pf.files.exists(local)) {
      pf.shell.start(command_for(local), WindowStyle::MinimizedFocus);
    } else {
      pf.shell.open(server.updater(), "Open");
    }
  });
  if (automatic) exitNotice = "0";
  ttt_v();
}

}  // namespace tav
