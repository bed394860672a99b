#include "forms/tip.h"

#include "base/attempt.h"
#include "forms/ba1.h"
#include "platform/shell.h"

namespace tav {

namespace {

MenuItem item(const char* name, const char* caption, std::function<void()> action = {}) {
  return MenuItem{name, caption, true, true, std::move(action)};
}

}  // namespace

Tip::Tip(BA1& main_window)
    : Form("tip"),
      main(main_window),
      myMenu(add_menu("myMenu",
                      {item("ht", "后退", [this] { attempt([&] { main.Web1.go_back(); }); }),
                       item("qj", "前进", [this] { attempt([&] { main.Web1.go_forward(); }); }),
                       item("sx", "刷新", [this] { main.Web1.refresh2(); }), item("sss", "-"),
                       item("fz", "复制", [this] { attempt([&] { main.Web1.exec_copy(); }); }),
                       item("zt", "粘贴", [this] { attempt([&] { main.Web1.paste(); }); })})),
      r_m(add_menu("r_m", {item("shezhi", "软件设置", [this] { main.openSettings(1); }),
                           item("about", "关于我们", [this] { main.openSettings(0); }),
                           item("aa122", "-"),
                           item("shengji", "升级检测", [this] { main.shengji(); }),
                           item("guan", "官方主页",
                                [this] { main.pf.shell.open(main.config.vendor_home, "Open"); }),
                           item("xdfg", "-"),
                           item("qsoft", "退出软件", [this] { attempt([&] { main.ttt_v(); }); })})),
      webc(add_menu("webc", {item("c_f", "播放选中", [this] { main.CCC(); }),
                             item("c_shan", "删除选中", [this] { main.ddd(); }), item("ttbn", "-"),
                             item("c_shan2", "删除下载", [this] { main.eee(); }),
                             item("renwub", "删除列表记录", [this] { main.qk_xl(); })})),
      c_fie(add_menu("c_fie", {item("renwubb", "清空历史记录", [this] { main.qk_xl(); }),
                               item("wenjianb", "管理下载文件", [this] { main.qk_xw(); })})) {
  set_caption("菜单");
}

}  // namespace tav
