#include "forms/ba3.h"

#include "forms/ba1.h"

namespace tav {

namespace {

struct Box {
  int index;
  const char* caption;
  Rect place;  // in its page (or in Frame3)
};

// The settings' check boxes: 1 to 3 in the playback frame, the others below.
constexpr Box kBoxes[] = {
    {0, "保存软件界面大小", {12, 104, 260, 18}},
    {1, "自动缓冲下一集", {12, 20, 240, 18}},
    {2, "自动播放下一集", {12, 42, 240, 18}},
    {3, "记录影片播放进度", {12, 64, 240, 18}},
    {5, "关闭软件最小化到托盘", {12, 126, 260, 18}},
    {6, "关闭软件同时关闭快播(Qvod)", {12, 148, 260, 18}},
    {7, "启动软件不启动快播(Qvod)", {12, 170, 260, 18}},
    {8, "托盘显示气泡提示", {12, 192, 260, 18}},
};

constexpr const char* kTabs[] = {"关于软件", "软件设置", "缓存设置"};

}  // namespace

Control& BA3::control(Control* parent, const std::string& name, int index, ControlKind kind,
                      Rect r, const std::string& caption) {
  Control& c = add(parent, name, index, kind, r);
  c.set_caption(caption);
  return c;
}

BA3::BA3(BA1& main_window)
    : Form("BA3"),
      main(main_window),
      Frame1(control(nullptr, "Frame1", -1, ControlKind::Frame, {16, 4, 298, 32}, "")),
      d_z([this] {
        ControlArray a;
        for (int i = 0; i < 3; ++i)
          a.add(i, control(&Frame1, "d_z", i, ControlKind::Label, {4 + 72 * i, 4, 70, 26},
                           kTabs[i]));
        return a;
      }()),
      bb(control(nullptr, "bb", -1, ControlKind::Label, {16, 286, 100, 16}, "播放设置")),
      p1([this] {
        ControlArray a;
        for (int i = 0; i < 3; ++i)
          a.add(i, control(nullptr, "p1", i, ControlKind::PictureBox, {16, 40, 298, 218}, ""));
        return a;
      }()),
      Frame3(control(&p1(1), "Frame3", -1, ControlKind::Frame, {8, 8, 282, 90}, "播放设置")),
      Check1([this] {
        ControlArray a;
        for (const Box& b : kBoxes) {
          Control* parent = (b.index >= 1 && b.index <= 3) ? &Frame3 : &p1(1);
          a.add(b.index,
                control(parent, "Check1", b.index, ControlKind::CheckBox, b.place, b.caption));
        }
        return a;
      }()),
      L1([this] {
        ControlArray a;
        a.add(0, control(&p1(2), "L1", 0, ControlKind::Label, {12, 20, 270, 16},
                         "设置影片接收下载路径："));
        return a;
      }()),
      Text1(control(&p1(2), "Text1", -1, ControlKind::TextBox, {12, 44, 210, 22}, "")),
      Command1(control(&p1(2), "Command1", -1, ControlKind::CommandButton, {228, 43, 60, 24},
                       "浏览")),
      cmdOK(control(nullptr, "cmdOK", -1, ControlKind::CommandButton, {126, 282, 60, 24}, "确定")),
      cmdCancel(control(nullptr, "cmdCancel", -1, ControlKind::CommandButton, {190, 282, 60, 24},
                        "取消")),
      cmdApply(control(nullptr, "cmdApply", -1, ControlKind::CommandButton, {254, 282, 60, 24},
                       "应用(&A)")) {
  set_caption("软件设置");
  set_size(4980, 4800);
  // The About page: the program, its version, and the libraries it ships
  // with under their licences.
  const char* about[] = {"Tavori 1.0",
                         "网络影视点播客户端　版本 1.0",
                         "",
                         "本软件使用了以下开源软件：",
                         "Qt 6 与 Qt WebEngine — LGPL 3.0",
                         "Chromium（随 Qt WebEngine）— BSD 许可证",
                         "mpv / libmpv — LGPL 2.1 或更高版本",
                         "FFmpeg（随 libmpv）— LGPL 2.1 或更高版本",
                         "libcurl — curl 许可证（MIT 类）",
                         "cpp-httplib（演示服务器）— MIT 许可证"};
  int top = 12;
  for (const char* line : about) {
    control(&p1(0), "about", top, ControlKind::Label, {12, top, 276, 16}, line);
    top += 19;
  }
  for (const auto& [i, tab] : d_z.items()) {
    const int index = i;
    tab->on_click = [this, index] { d_z_Click(index); };
  }
  Command1.on_click = [this] { Command1_Click(); };
  cmdApply.on_click = [this] { cmdApply_Click(); };
  cmdOK.on_click = [this] { cmdOK_Click(); };
  cmdCancel.on_click = [this] { cmdCancel_Click(); };
  on_resize = [this] { Form_Resize(); };
  on_close_request = [this] { cmdCancel_Click(); };
}

}  // namespace tav
