#include "platform/headless/headless_services.h"

#include "base/text.h"

namespace tav {

// HeadlessDialogs --------------------------------------------------------------

MsgAnswer HeadlessDialogs::message_box(std::string_view text, std::string_view title,
                                       MsgButtons buttons, MsgIcon icon) {
  MsgAnswer answer = buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  static const char* kButtons[] = {"OK", "YesNo"};
  static const char* kIcons[] = {"none", "question", "information"};
  static const char* kAnswers[] = {"OK", "Yes", "No"};
  log_.add("msgbox title=" + quoted(title) + " text=" + quoted(text) +
           " buttons=" + kButtons[static_cast<int>(buttons)] +
           " icon=" + kIcons[static_cast<int>(icon)] + " -> " + kAnswers[static_cast<int>(answer)]);
  return answer;
}

std::string HeadlessDialogs::open_file(std::string_view filter, std::string_view title) {
  std::string chosen;
  if (!files.empty()) {
    chosen = files.front();
    files.pop_front();
  }
  log_.add("open-file title=" + quoted(title) + " filter=" + quoted(filter) + " -> " + quoted(chosen));
  return chosen;
}

std::string HeadlessDialogs::choose_folder(std::string_view initial_folder,
                                           std::string_view prompt) {
  std::string chosen;
  if (!folders.empty()) {
    chosen = folders.front();
    folders.pop_front();
  }
  log_.add("choose-folder prompt=" + quoted(prompt) + " initial=" + quoted(initial_folder) +
           " -> " + quoted(chosen));
  return chosen;
}

// HeadlessTray -----------------------------------------------------------------

void HeadlessTray::add(std::string_view t) {
  present = true;
  tip = t;
  log_.add("tray add " + quoted(t));
}

void HeadlessTray::modify(std::string_view t) { tip = t; }

void HeadlessTray::show_balloon(std::string_view title, std::string_view text) {
  log_.add("balloon title=" + quoted(title) + " text=" + quoted(text));
}

void HeadlessTray::remove() {
  present = false;
  log_.add("tray remove");
}

void HeadlessTray::sweep_dead_icons() { log_.add("tray sweep"); }

// HeadlessImages ---------------------------------------------------------------

Picture HeadlessImages::load_resource(int number) const {
  static const Point kSizes[] = {{106, 57}, {130, 20}, {130, 20}, {5, 18},  {48, 19}, {4, 31},
                                 {84, 20},  {6, 40},   {308, 50}, {180, 87}, {100, 25}};
  if (number < 101 || number > 111 || missing.count(number)) return {};
  const Point size = kSizes[number - 101];
  return {"ppt" + to_text(number - 101), size.x, size.y};
}

}  // namespace tav
