// The single instance: a second start's command line handed to the running
// window, and l_com, which plays a command line as a local film.
#include "base/attempt.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "platform/files.h"
#include "web/text_routines.h"

namespace tav {

void BA1::Form_LinkExecute(const std::string& command) {
  Timer3.set_enabled(true);  // the suite's processes are checked again
  attempt([&] {
    hide();
    show();  // to the front
  });
  attempt([&] {
    if (window_state() == WindowState::Minimized) set_window_state(WindowState::Normal);
  });
  if (command.empty()) return;
  attempt([&] {
    if (miniMode == 1) jbi_Click();
  });
  attempt([&] {
    if (webPlayMode == 0) bo_but_Click(1);  // records the film's position
  });
  attempt([&] { l_com(command); });
}

void BA1::playingLocalFilm(const std::string& path, int resumeAt) {
  resumeDone = 0;
  resumePos = resumeAt;
  filmKey = "0";  // no episode data for a local film
  nextLink = "0";
  nextMedia = "0";
  nextBuffering = 0;
  itemKey = path;
  itemKind = 2;
  webPlayMode = 0;
}

void BA1::l_com(const std::string& command) {
  // The command line's double quotes only enclose a path with a space, as
  // no file name can hold one on Windows; here a name may. A command line
  // that is one existing file in quotes is taken whole, quotes inside and all.
  std::string text = replace_all(command, "\"", "");
  if (command.size() > 2 && command.front() == '"' && command.back() == '"' &&
      pf.files.exists(command.substr(1, command.size() - 2)))
    text = command.substr(1, command.size() - 2);
  text = drop_trailing_slash(text);
  // A failing player call ends the routine here.
  player.set_address(text);
  player.play();
  if (!Timer1.enabled()) Timer1.set_enabled(true);
  bo_name.set_caption(fit_width(pf.code_page, file_part(text), 40));
  playingLocalFilm(text, 0);
  lists.add_local_film(file_part(text), text, 0);
  npc_Click(14);
  npc_Click(9);
}

}  // namespace tav
