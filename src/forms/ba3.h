// BA3, the settings dialog: an About page, the software settings (eight
// two-state settings) and the cache settings (the player suite's download
// folder).
#pragma once

#include <string>

#include "forms/form.h"

namespace tav {

class BA1;

class BA3 final : public Form {
 public:
  explicit BA3(BA1& main);

  BA1& main;
  Control& Frame1;
  ControlArray d_z;  // the page tabs
  Control& bb;       // the current page's title
  ControlArray p1;   // the pages
  Control& Frame3;
  ControlArray Check1;  // 0..3 and 5..8
  ControlArray L1;
  Control& Text1;
  Control& Command1;
  Control& cmdOK;
  Control& cmdCancel;
  Control& cmdApply;

  // Dialog state, read anew at every load.
  std::string dialogSettingsPath;
  std::string dialogQvodDir;
  std::string savedPath;  // the folder QvodPlayer.xml names
  std::string savedRaw;   // as the file writes it (XML-escaped)
  std::string xmlText;

  void Form_Load();
  void Form_Resize();
  void d_z_Click(int index);
  void Command1_Click();
  void cmdApply_Click();
  void cmdOK_Click();
  void cmdCancel_Click();
  // Closes the dialog (OK and Cancel).
  std::function<void()> on_unload;

 private:
  Control& control(Control* parent, const std::string& name, int index, ControlKind kind, Rect r,
                   const std::string& caption);
};

// The folder chooser with its prompt ("请选择文件夹" when empty); the empty
// text when the user cancels.
std::string choose_folder(BA1& main, const std::string& initial_folder, const std::string& prompt);

}  // namespace tav
