#include "forms/tip.h"

namespace tav {

namespace {

MenuItem item(const char* name, const char* caption) { return MenuItem{name, caption, true, true, {}}; }

}  // namespace

Tip::Tip(BA1& main_window)
    : Form("tip"),
      main(main_window),
      myMenu(add_menu("myMenu", {item("ht", "后退"), item("qj", "前进"), item("sx", "刷新"),
                                 item("sss", "-"), item("fz", "复制"), item("zt", "粘贴")})),
      r_m(add_menu("r_m", {item("shezhi", "软件设置"), item("about", "关于我们"),
                           item("aa122", "-"), item("shengji", "升级检测"),
                           item("guan", "官方主页"), item("xdfg", "-"),
                           item("qsoft", "退出软件")})),
      webc(add_menu("webc", {item("c_f", "播放选中"), item("c_shan", "删除选中"),
                             item("ttbn", "-"), item("c_shan2", "删除下载"),
                             item("renwub", "删除列表记录")})),
      c_fie(add_menu("c_fie", {item("renwubb", "清空历史记录"), item("wenjianb", "管理下载文件")})) {
  set_caption("菜单");
}

}  // namespace tav
