#include "sim/runner.h"

#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

#include "base/text.h"
#include "forms/ba1.h"
#include "forms/tip.h"
#include "platform/headless/headless.h"
#include "platform/paths.h"
#include "platform/posix/curl_http.h"
#include "platform/posix/iconv_code_page.h"
#include "platform/posix/posix_files.h"
#include "platform/text_file.h"
#include "sim/inspect.h"
#include "startup/settings.h"
#include "startup/startup.h"

namespace tav::sim {

std::vector<std::string> split_words(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, in_quotes = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (in_quotes) {
      if (c == '"') {
        in_quotes = false;
      } else if (c == '\\' && i + 1 < line.size()) {
        const char n = line[++i];
        word += n == 'n' ? '\n' : n == 'r' ? '\r' : n == 't' ? '\t' : n;
      } else {
        word += c;
      }
    } else if (c == '"') {
      in_quotes = in_word = true;
    } else if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

namespace {

using Words = std::vector<std::string>;

std::string rest_of_line(const std::string& line, std::size_t words_to_skip) {
  std::size_t i = 0;
  for (std::size_t w = 0; w < words_to_skip; ++w) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  }
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return line.substr(i);
}

// Literal escapes in texts written by scripts: \r \n \t \\ .
std::string unescape_text(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char n = s[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n == 't' ? '\t' : n;
    } else {
      out += s[i];
    }
  }
  return out;
}

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace

struct Runner::State {
  Options options;
  std::ostream& out;
  PosixFiles disk;
  IconvCodePage code_page;
  HeadlessPlatform hp{disk, code_page};
  std::unique_ptr<CurlHttp> curl;
  AppConfig config;
  std::unique_ptr<BA1> window;
  std::string temp_folder;
  std::size_t expect_from = 0;

  State(Options o, std::ostream& os) : options(std::move(o)), out(os) {
    if (options.app_folder.empty()) {
      std::random_device rd;
      temp_folder = (std::filesystem::temp_directory_path() /
                     ("tavori-sim-" + std::to_string(rd()) + std::to_string(rd())))
                        .string();
      std::filesystem::create_directories(temp_folder);
      options.app_folder = temp_folder;
    }
    config.app_folder = options.app_folder;
    config.server_base = options.server_base;
    config.vendor_home = "http://127.0.0.1:8080/player/";
    if (options.real_http) {
      curl = std::make_unique<CurlHttp>(code_page);
      hp.http.forward_to(curl.get());
    }
    hp.log.sink = [this](const std::string& line) { out << "  " << line << "\n"; };
  }

  ~State() {
    window.reset();
    if (!temp_folder.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(temp_folder, ec);
    }
  }

  BA1& main() {
    if (!window) throw Failure("the main window is not loaded (use start)");
    return *window;
  }

  Form& form_named(const std::string& name) {
    if (name == "BA1" || name == "form") return main();
    if (name == "tip") return main().tip();
    throw Failure("no form " + name);
  }

  Control& control(const std::string& id) {
    if (Control* c = main().find(id)) return *c;
    if (main().tip_loaded())
      if (Control* c = main().tip().find(id)) return *c;
    throw Failure("no control " + id);
  }

  Browser& browser(const std::string& id) {
    if (auto* b = dynamic_cast<Browser*>(&control(id))) return *b;
    throw Failure(id + " is not a browser");
  }

  FakePlayer& player() {
    FakePlayer* p = hp.windows.player();
    if (!p) throw Failure("no player control (not registered?)");
    return *p;
  }

  std::string app_path(const std::string& name) { return join_path(config.app_folder, name); }

  void print(const std::string& text) { out << "  = " << text << "\n"; }

  static int number(const std::string& s) {
    const auto v = parse_int32(s);
    if (!v) throw Failure("not a number: " + s);
    return *v;
  }

  static const std::string& arg(const Words& w, std::size_t i) {
    if (i >= w.size()) throw Failure("missing argument " + std::to_string(i));
    return w[i];
  }

  MouseEvent mouse(const Words& w, std::size_t at) {
    MouseEvent e;
    e.x = number(arg(w, at));
    e.y = number(arg(w, at + 1));
    e.button = at + 2 < w.size() ? number(w[at + 2]) : 0;
    return e;
  }

  std::string property_of(const std::string& target, const std::string& property) {
    if (target == "form" || target == "BA1" || target == "tip") {
      if (auto v = form_property(form_named(target), property)) return *v;
    } else if (auto v = control_property(control(target), property)) {
      return *v;
    }
    throw Failure("no property " + property + " of " + target);
  }

  std::string field(const std::string& name) {
    if (auto v = field_value(main(), name)) return *v;
    throw Failure("no field " + name);
  }

  std::string setting(const std::string& section, const std::string& key) {
    return read_setting(SettingsFile{disk, code_page}, app_path("config.ini"), section, key, "0");
  }

  std::string file_text(const std::string& name) {
    const auto text = read_text_file(disk, code_page, app_path(name));
    if (!text) throw Failure("cannot read " + name);
    return *text;
  }

  void expect(const std::string& text, bool present) {
    // Expectations match in order: each one searches the effects after the
    // one the previous expectation matched.
    const auto& lines = hp.log.lines();
    std::size_t at = expect_from;
    while (at < lines.size() && lines[at].find(text) == std::string::npos) ++at;
    const bool found = at < lines.size();
    if (found != present)
      throw Failure((present ? "expected an effect containing " : "did not expect ") +
                    tav::quoted(text));
    if (present) expect_from = at + 1;
  }

  void check(const std::string& what, const std::string& actual, const std::string& wanted) {
    if (actual != wanted)
      throw Failure(what + " is " + tav::quoted(actual) + ", expected " + tav::quoted(wanted));
  }

  void run_command(const std::string& line, const Words& w);
};

void Runner::State::run_command(const std::string& line, const Words& w) {
  const std::string& cmd = w[0];
  Platform& pf = hp.platform();
  if (cmd == "start") {
    window.reset();
    config.command_line = rest_of_line(line, 1);
    window = start_program(pf, config);
    if (!window) print("the program ended");
  } else if (cmd == "advance") {
    hp.loop.advance(number(arg(w, 1)));
  } else if (cmd == "tick") {
    Timer* t = main().find_timer(arg(w, 1));
    if (!t) throw Failure("no timer " + w[1]);
    t->tick();
  } else if (cmd == "navigate") {
    const bool go_on = browser(arg(w, 1)).page_navigation(rest_of_line(line, 2));
    print(go_on ? "navigation proceeds" : "navigation cancelled");
  } else if (cmd == "loaded") {
    Browser& b = browser(arg(w, 1));
    b.download_begin();
    b.download_complete();
  } else if (cmd == "failed") {
    browser(arg(w, 1)).navigate_error(arg(w, 2), w.size() > 3 ? number(w[3]) : 404);
  } else if (cmd == "newwindow") {
    print(browser(arg(w, 1)).new_window() ? "new window opens" : "new window cancelled");
  } else if (cmd == "contextmenu") {
    print(browser(arg(w, 1)).context_menu(w.size() > 2 ? w[2] : "") ? "browser menu"
                                                                     : "own menu");
  } else if (cmd == "click") {
    control(arg(w, 1)).click();
  } else if (cmd == "dblclick") {
    if (arg(w, 1) == "form") main().dbl_click();
    else control(w[1]).dbl_click();
  } else if (cmd == "mousedown" || cmd == "mousemove" || cmd == "mouseup") {
    const MouseEvent e = mouse(w, 2);
    // Letting go of the button ends a system resize the press started.
    if (cmd == "mouseup") hp.windows.finish_system_resize();
    if (arg(w, 1) == "form") {
      if (cmd == "mousedown") main().mouse_down(e);
      else if (cmd == "mousemove") main().mouse_move(e);
      else main().mouse_up(e);
    } else {
      Control& c = control(w[1]);
      if (cmd == "mousedown") c.mouse_down(e);
      else if (cmd == "mousemove") c.mouse_move(e);
      else c.mouse_up(e);
    }
  } else if (cmd == "key") {
    main().key_down(number(arg(w, 1)), w.size() > 2 ? number(w[2]) : 0);
  } else if (cmd == "menu") {
    Menu* m = main().tip().find_menu(arg(w, 1));
    if (!m) throw Failure("no menu " + w[1]);
    const MenuItem* item = m->find(arg(w, 2));
    if (!item) throw Failure("no item " + w[2] + " in " + w[1]);
    item->click();
  } else if (cmd == "tray") {
    const std::string& which = arg(w, 1);
    auto& handler = which == "left" ? hp.tray.on_left_click : hp.tray.on_right_click;
    if (handler) handler();
    else print("no tray icon handler");
  } else if (cmd == "resize") {
    const Form& f = main();
    main().backend_resized(f.left() / 15, f.top() / 15, number(arg(w, 1)), number(arg(w, 2)));
  } else if (cmd == "state") {
    const std::string& s = arg(w, 1);
    main().backend_state_changed(s == "maximized"   ? WindowState::Maximized
                                 : s == "minimized" ? WindowState::Minimized
                                                    : WindowState::Normal);
  } else if (cmd == "answer") {
    const std::string& a = arg(w, 1);
    if (a == "yes") hp.dialogs.answers.push_back(MsgAnswer::Yes);
    else if (a == "no") hp.dialogs.answers.push_back(MsgAnswer::No);
    else if (a == "ok") hp.dialogs.answers.push_back(MsgAnswer::Ok);
    else throw Failure("answer yes, no or ok");
  } else if (cmd == "answer-file") {
    hp.dialogs.files.push_back(w.size() > 1 && w[1] != "-" ? rest_of_line(line, 1) : "");
  } else if (cmd == "answer-folder") {
    hp.dialogs.folders.push_back(w.size() > 1 && w[1] != "-" ? rest_of_line(line, 1) : "");
  } else if (cmd == "reply") {
    hp.http.reply(arg(w, 1), unescape_text(rest_of_line(line, 2)));
  } else if (cmd == "player") {
    static const std::map<std::string, int> names = {
        {"address", 1},  {"volume", 6},  {"duration", 7}, {"speed", 8},     {"position", 10},
        {"state", 16},   {"bitrate", 20}, {"progress", 26}};
    const std::string& key = arg(w, 1);
    const auto it = names.find(key);
    const int id = it != names.end() ? it->second : number(key);
    if (arg(w, 2) == "auto") {
      player().clear(id);
    } else if (const auto n = parse_int32(w[2])) {
      player().set(id, Variant(*n));
    } else {
      player().set(id, Variant(rest_of_line(line, 2)));
    }
  } else if (cmd == "media") {
    player().durations[arg(w, 1)] = number(arg(w, 2));
  } else if (cmd == "process") {
    const std::string& sub = arg(w, 1);
    if (sub == "add") hp.processes.add(arg(w, 2), w.size() > 3 ? rest_of_line(line, 3) : "");
    else if (sub == "clear") hp.processes.entries.clear();
    else throw Failure("process add NAME PATH | process clear");
  } else if (cmd == "registry") {
    if (arg(w, 1) == "on") hp.registry.registered.insert(std::string(kPlayerClassId));
    else hp.registry.registered.clear();
  } else if (cmd == "mac") {
    hp.adapters.mac = w.size() > 1 ? w[1] : "";
  } else if (cmd == "clock") {
    const auto d = split(arg(w, 1), "-");
    const auto t = split(arg(w, 2), ":");
    hp.clock.set_time({to_int32(tav::field(d, 0)), to_int32(tav::field(d, 1)), to_int32(tav::field(d, 2)),
                       to_int32(tav::field(t, 0)), to_int32(tav::field(t, 1)), to_int32(tav::field(t, 2))});
  } else if (cmd == "random") {
    hp.random.values.push_back(std::stod(arg(w, 1)));
  } else if (cmd == "another") {
    hp.instance.another = arg(w, 1) == "on";
  } else if (cmd == "handover") {
    hp.instance.deliver(rest_of_line(line, 1));
  } else if (cmd == "screen") {
    hp.screen.width = number(arg(w, 1));
    hp.screen.height = number(arg(w, 2));
    hp.screen.area = {0, 0, hp.screen.width, hp.screen.height - (w.size() > 3 ? number(w[3]) : 40)};
  } else if (cmd == "set") {
    write_setting(SettingsFile{disk, code_page}, app_path("config.ini"), arg(w, 1), arg(w, 2),
                  rest_of_line(line, 3));
  } else if (cmd == "write") {
    write_text_file(disk, code_page, app_path(arg(w, 1)), unescape_text(rest_of_line(line, 2)));
  } else if (cmd == "remove") {
    std::error_code ec;
    std::filesystem::remove_all(app_path(arg(w, 1)), ec);
  } else if (cmd == "mkdir") {
    std::filesystem::create_directories(app_path(arg(w, 1)));
  } else if (cmd == "print") {
    const std::string& what = arg(w, 1);
    if (what == "field") {
      for (std::size_t i = 2; i < w.size(); ++i) print(w[i] + " " + tav::quoted(field(w[i])));
    } else if (what == "setting") {
      print(arg(w, 2) + "/" + arg(w, 3) + " " + tav::quoted(setting(w[2], w[3])));
    } else if (what == "file") {
      print(arg(w, 2) + " " + tav::quoted(file_text(w[2])));
    } else if (what == "layout") {
      print("form " + to_text(main().scale_width()) + "x" + to_text(main().scale_height()) +
            " state " + *form_property(main(), "state"));
      for (const auto& c : main().controls())
        if (c->kind() != ControlKind::Timerless) print(layout_line(*c));
    } else if (what == "timers") {
      for (const auto& t : main().timers())
        print(t->name() + " " + to_text(t->interval()) + " " + (t->enabled() ? "on" : "off"));
    } else {
      for (std::size_t i = 2; i < w.size(); ++i)
        print(what + "." + w[i] + " " + tav::quoted(property_of(what, w[i])));
    }
  } else if (cmd == "expect") {
    expect(rest_of_line(line, 1), true);
  } else if (cmd == "expect-not") {
    expect(rest_of_line(line, 1), false);
  } else if (cmd == "check") {
    const std::string& what = arg(w, 1);
    if (what == "field") {
      check(arg(w, 2), field(w[2]), rest_of_line(line, 3));
    } else if (what == "setting") {
      check(arg(w, 2) + "/" + arg(w, 3), setting(w[2], w[3]), rest_of_line(line, 4));
    } else if (what == "file") {
      const std::string text = file_text(arg(w, 2));
      const std::string part = unescape_text(rest_of_line(line, 3));
      if (text.find(part) == std::string::npos)
        throw Failure(w[2] + " does not contain " + tav::quoted(part));
    } else if (what == "exists") {
      if (!disk.exists(app_path(arg(w, 2)))) throw Failure(w[2] + " does not exist");
    } else if (what == "missing") {
      if (disk.exists(app_path(arg(w, 2)))) throw Failure(w[2] + " exists");
    } else if (what == "ended") {
      if (window && !window->ended()) throw Failure("the program has not ended");
    } else if (what == "running") {
      if (!window) throw Failure("the program is not running");
    } else {
      check(what + "." + arg(w, 2), property_of(what, w[2]), rest_of_line(line, 3));
    }
  } else {
    throw Failure("unknown command " + cmd);
  }
}

Runner::Runner(Options options, std::ostream& out)
    : s_(std::make_unique<State>(std::move(options), out)) {}

Runner::~Runner() = default;

bool Runner::execute(const std::string& line, int number) {
  const Words w = split_words(line);
  if (w.empty() || w[0][0] == '#') return true;
  if (s_->options.echo) s_->out << "> " << line << "\n";
  try {
    s_->run_command(line, w);
    return true;
  } catch (const std::exception& e) {
    s_->out << "FAIL line " << number << ": " << e.what() << "\n";
    return false;
  }
}

int Runner::run(std::istream& script) {
  int failures = 0, number = 0;
  std::string line;
  while (std::getline(script, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (trim_spaces(line) == "quit") break;
    if (!execute(line, number)) ++failures;
  }
  return failures;
}

}  // namespace tav::sim
