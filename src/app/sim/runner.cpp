#include "sim/runner.h"

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

#include "base/command_line.h"
#include "base/text.h"
#include "forms/ba1.h"
#include "forms/tip.h"
#include "platform/headless/headless.h"
#include "platform/paths.h"
#include "platform/posix/curl_http.h"
#include "platform/posix/iconv_code_page.h"
#include "platform/posix/posix_files.h"
#include "platform/text_file.h"
#include "sim/bytes.h"
#include "sim/inspect.h"
#include "startup/settings.h"
#include "startup/startup.h"

namespace tav::sim {

std::vector<std::string> split_words(const std::string& line) {
  return split_command_line(line, QuotedEscapes::backslash);
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

// Player dispatch ids by name.
const std::map<std::string, int>& player_names() {
  static const std::map<std::string, int> names = {
      {"address", 1},  {"mute", 3},   {"fullscreen", 5}, {"volume", 6},     {"duration", 7},
      {"speed", 8},    {"position", 10}, {"play", 12},   {"pause", 13},     {"stop", 14},
      {"state", 16},   {"bitrate", 20}, {"progress", 26}, {"prebuffer", 30}, {"adpage", 31}};
  return names;
}

// Replaces a file the real way while files may grow to at most `limit`
// bytes: the write stops part way with EFBIG, as on a full disk.
bool replace_within(Files& files, std::string_view path, std::string_view content,
                    std::size_t limit) {
  rlimit old{};
  if (::getrlimit(RLIMIT_FSIZE, &old) != 0) return false;
  rlimit capped = old;
  capped.rlim_cur = static_cast<rlim_t>(limit);
  if (old.rlim_max != RLIM_INFINITY && capped.rlim_cur > old.rlim_max) capped.rlim_cur = old.rlim_max;
  if (::setrlimit(RLIMIT_FSIZE, &capped) != 0) return false;
  const bool ok = files.replace(path, content);
  ::setrlimit(RLIMIT_FSIZE, &old);
  return ok;
}

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
  // Where the next expect searches: after the effect the previous one
  // matched, or after the mark.
  std::size_t expect_from = 0;
  // The effects a mark left behind; expect-not and count look only after it.
  std::optional<std::size_t> mark;

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
    // A write beyond the file size limit fails with EFBIG instead of
    // ending the process.
    ::signal(SIGXFSZ, SIG_IGN);
    hp.faulty_files.limited_replace = replace_within;
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
    if (Form* f = find_target(main(), name).form) return *f;
    throw Failure(name + " is not a form");
  }

  Control& control(const std::string& id) {
    if (Control* c = find_target(main(), id).control) return *c;
    throw Failure(id + " is not a control");
  }

  // A control the user can reach with the mouse: shown on the screen, and
  // enabled with every container it is in. A click anywhere else does not
  // reach the program on the desktop either.
  Control& reachable(const std::string& id) {
    Control& c = control(id);
    if (!c.shown()) throw Failure(id + " is not shown: the user cannot reach it");
    for (const Control* p = &c; p; p = p->parent())
      if (!p->enabled()) throw Failure(id + " is disabled: the user cannot reach it");
    return c;
  }

  Form& reachable_form(const std::string& name) {
    Form& f = form_named(name);
    if (!f.visible()) throw Failure(name + " is not shown: the user cannot reach it");
    return f;
  }

  // A click on a control or a menu item. A check box changes its value
  // before its handler runs, as the desktop's check box does when clicked;
  // a menu item runs when it could be chosen from its menu.
  void click(const std::string& name) {
    const Target t = find_target(main(), name);
    if (t.item) {
      if (!t.item->visible || !t.item->enabled || t.item->caption == "-")
        throw Failure(name + " cannot be chosen: the menu shows it " +
                      (t.item->caption == "-" ? "as a separator"
                       : t.item->visible      ? "disabled"
                                              : "not at all"));
      t.item->click();
      return;
    }
    Control& c = reachable(name);
    if (c.kind() == ControlKind::CheckBox) c.set_value(c.value() != 0 ? 0 : 1);
    c.click();
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
    // Whether a window is loaded can be asked of one that is not.
    if (property == "loaded" && is_form_name(target))
      return form_loaded(main(), target) ? "true" : "false";
    const Target t = find_target(main(), target);
    const auto v = t.form      ? form_property(*t.form, property)
                   : t.control ? control_property(*t.control, property)
                               : item_property(*t.item, property);
    if (v) return *v;
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

  std::string file_bytes(const std::string& name) {
    const auto bytes = disk.read(app_path(name));
    if (!bytes) throw Failure("cannot read " + name);
    return *bytes;
  }

  // Fails unless the file holds exactly these bytes.
  void check_bytes(const std::string& name, const std::string& wanted, bool as_hex) {
    const std::string actual = file_bytes(name);
    if (actual == wanted) return;
    const auto differ = std::mismatch(actual.begin(), actual.end(), wanted.begin(), wanted.end());
    const auto show = [&](const std::string& b) {
      return as_hex ? "[" + hex_dump(b) + "]" : tav::quoted(escape_bytes(b, code_page));
    };
    throw Failure(name + " differs from byte " + std::to_string(differ.first - actual.begin()) +
                  ": it has " + std::to_string(actual.size()) + " bytes " + show(actual) +
                  ", expected " + std::to_string(wanted.size()) + " bytes " + show(wanted));
  }

  std::vector<std::string> folder_names(const std::string& folder) {
    const std::string path = folder == "." ? config.app_folder : app_path(folder);
    if (!disk.is_directory(path)) throw Failure("no folder " + folder);
    std::vector<std::string> names;
    for (const FolderEntry& e : disk.list(path)) names.push_back(e.name + (e.directory ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
  }

  void expect(const std::string& text, bool present) {
    // Expectations match in order: each one searches the effects after the
    // one the previous expectation matched (or after the mark). Without a
    // mark, expect-not looks where the next expect would; after one it looks
    // at everything since the mark.
    const auto& lines = hp.log.lines();
    std::size_t at = present || !mark ? expect_from : *mark;
    while (at < lines.size() && lines[at].find(text) == std::string::npos) ++at;
    const bool found = at < lines.size();
    if (found != present)
      throw Failure((present ? "expected an effect containing " : "did not expect ") +
                    tav::quoted(text) + (present ? "" : ", found " + tav::quoted(lines[at])));
    if (present) expect_from = at + 1;
  }

  void expect_line(const std::string& text) {
    const auto& lines = hp.log.lines();
    std::size_t at = expect_from;
    while (at < lines.size() && lines[at] != text) ++at;
    if (at == lines.size()) throw Failure("expected the effect line " + tav::quoted(text));
    expect_from = at + 1;
  }

  void count(const std::string& text, std::size_t wanted) {
    const auto& lines = hp.log.lines();
    std::size_t n = 0;
    for (std::size_t at = mark.value_or(0); at < lines.size(); ++at)
      if (lines[at].find(text) != std::string::npos) ++n;
    if (n != wanted)
      throw Failure(std::to_string(n) + " effects contain " + tav::quoted(text) + ", expected " +
                    std::to_string(wanted));
  }

  void fail(const Words& w);
  void adapter(const Words& w);

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
    Timer* t = find_timer(main(), arg(w, 1));
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
    click(arg(w, 1));
  } else if (cmd == "dblclick") {
    if (is_form_name(arg(w, 1))) reachable_form(w[1]).dbl_click();
    else reachable(w[1]).dbl_click();
  } else if (cmd == "close") {
    // The window manager's close command (Alt+F4, the task bar's menu).
    Form& f = reachable_form(arg(w, 1));
    if (f.on_close_request) f.on_close_request();
    else print("no close handler");
  } else if (cmd == "type") {
    Control& c = reachable(arg(w, 1));
    if (c.kind() != ControlKind::TextBox) throw Failure(w[1] + " is not a text box");
    c.set_text(rest_of_line(line, 2));
  } else if (cmd == "mousedown" || cmd == "mousemove" || cmd == "mouseup") {
    const MouseEvent e = mouse(w, 2);
    // Letting go of the button ends a system resize the press started.
    if (cmd == "mouseup") hp.windows.finish_system_resize();
    if (is_form_name(arg(w, 1))) {
      Form& f = cmd == "mousedown" ? reachable_form(w[1]) : form_named(w[1]);
      if (cmd == "mousedown") f.mouse_down(e);
      else if (cmd == "mousemove") f.mouse_move(e);
      else f.mouse_up(e);
    } else {
      // A press starts only where the user can reach; moves and the release
      // follow the control that has the mouse.
      Control& c = cmd == "mousedown" ? reachable(w[1]) : control(w[1]);
      if (cmd == "mousedown") c.mouse_down(e);
      else if (cmd == "mousemove") c.mouse_move(e);
      else c.mouse_up(e);
    }
  } else if (cmd == "key") {
    main().key_down(number(arg(w, 1)), w.size() > 2 ? number(w[2]) : 0);
  } else if (cmd == "menu") {
    Menu* m = main().tip().find_menu(arg(w, 1));
    if (!m) throw Failure("no menu " + w[1]);
    if (!m->find(arg(w, 2))) throw Failure("no item " + w[2] + " in " + w[1]);
    click("tip." + w[2]);
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
    const auto& names = player_names();
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
    hp.adapters.set_only(w.size() > 1 ? w[1] : "");
  } else if (cmd == "adapter") {
    adapter(w);
  } else if (cmd == "fail") {
    fail(w);
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
    if (!disk.replace(app_path(arg(w, 1)), script_bytes(rest_of_line(line, 2), code_page)))
      throw Failure("cannot write " + w[1]);
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
    } else if (what == "bytes") {
      const std::string bytes = file_bytes(arg(w, 2));
      print(w[2] + " bytes " + hex_dump(bytes));
      print(w[2] + " exact " + escape_bytes(bytes, code_page));
    } else if (what == "folder") {
      const std::string folder = w.size() > 2 ? w[2] : ".";
      std::string names;
      for (const std::string& n : folder_names(folder)) names += " " + n;
      print(folder + names);
    } else if (what == "adapters") {
      for (const auto& a : hp.adapters.adapters)
        print("adapter " + (a.mac.empty() ? std::string("\"\"") : a.mac) + (a.up ? " up" : " down") +
              (a.loopback ? " loopback" : "") + (a.ipv4 ? " ipv4" : " noipv4"));
    } else if (what == "layout") {
      const Form& f = form_named(w.size() > 2 ? w[2] : "form");
      print((&f == window.get() ? std::string("form") : f.name()) + " " +
            to_text(f.scale_width()) + "x" + to_text(f.scale_height()) + " state " +
            *form_property(f, "state"));
      for (const auto& c : f.controls())
        if (c->kind() != ControlKind::Timerless) print(layout_line(*c));
    } else if (what == "timers") {
      for (const auto& t : form_named(w.size() > 2 ? w[2] : "form").timers())
        print(t->name() + " " + to_text(t->interval()) + " " + (t->enabled() ? "on" : "off"));
    } else {
      for (std::size_t i = 2; i < w.size(); ++i)
        print(what + "." + w[i] + " " + tav::quoted(property_of(what, w[i])));
    }
  } else if (cmd == "expect") {
    expect(rest_of_line(line, 1), true);
  } else if (cmd == "expect-not") {
    expect(rest_of_line(line, 1), false);
  } else if (cmd == "expect-line") {
    expect_line(rest_of_line(line, 1));
  } else if (cmd == "mark") {
    mark = expect_from = hp.log.lines().size();
  } else if (cmd == "count") {
    // count TEXT N: the text is everything between the command and the
    // last word.
    const std::string rest = rest_of_line(line, 1);
    const std::size_t end = rest.find_last_not_of(" \t");
    const std::size_t space = end == std::string::npos ? end : rest.find_last_of(" \t", end);
    if (space == std::string::npos) throw Failure("count TEXT N");
    const int n = number(rest.substr(space + 1, end - space));
    if (n < 0) throw Failure("count TEXT N: N is not negative");
    count(rest.substr(0, rest.find_last_not_of(" \t", space) + 1), static_cast<std::size_t>(n));
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
    } else if (what == "bytes") {
      const auto bytes = parse_hex(rest_of_line(line, 3));
      if (!bytes) throw Failure("not a hex dump: " + rest_of_line(line, 3));
      check_bytes(arg(w, 2), *bytes, true);
    } else if (what == "exact") {
      check_bytes(arg(w, 2), script_bytes(rest_of_line(line, 3), code_page), false);
    } else if (what == "folder") {
      std::vector<std::string> wanted(w.begin() + std::min<std::size_t>(3, w.size()), w.end());
      std::sort(wanted.begin(), wanted.end());
      const auto actual = folder_names(arg(w, 2));
      if (actual != wanted) {
        std::string names;
        for (const std::string& n : actual) names += " " + n;
        throw Failure(w[2] + " holds" + (names.empty() ? std::string(" nothing") : names));
      }
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

void Runner::State::fail(const Words& w) {
  const std::string& what = arg(w, 1);
  FaultyFiles& files = hp.faulty_files;
  if (what == "read-only") {
    files.read_only = true;
  } else if (what == "disk-full") {
    files.free_bytes = w.size() > 2 ? static_cast<std::size_t>(std::max(0, number(w[2]))) : 0;
  } else if (what == "write") {
    files.failing_names.insert(arg(w, 2));
  } else if (what == "player") {
    const std::string& key = arg(w, 2);
    if (key == "all") {
      hp.windows.player_faults.all = true;
    } else {
      const auto it = player_names().find(key);
      hp.windows.player_faults.dispids.insert(it != player_names().end() ? it->second : number(key));
    }
  } else if (what == "off") {
    const std::string part = w.size() > 2 ? w[2] : "";
    if (part.empty() || part == "files") files.heal();
    if (part.empty() || part == "player") hp.windows.player_faults = {};
    if (!part.empty() && part != "files" && part != "player") throw Failure("fail off [files|player]");
  } else {
    throw Failure("fail read-only | disk-full [FREE] | write NAME | player DISPID|all | off");
  }
}

void Runner::State::adapter(const Words& w) {
  const std::string& what = arg(w, 1);
  if (what == "clear") {
    hp.adapters.adapters.clear();
  } else if (what == "add") {
    HeadlessAdapters::Adapter a;
    a.mac = arg(w, 2);
    for (std::size_t i = 3; i < w.size(); ++i) {
      if (w[i] == "up") a.up = true;
      else if (w[i] == "down") a.up = false;
      else if (w[i] == "loopback") a.loopback = true;
      else if (w[i] == "ipv4") a.ipv4 = true;
      else if (w[i] == "noipv4") a.ipv4 = false;
      else throw Failure("adapter add MAC [up|down] [loopback] [ipv4|noipv4]");
    }
    hp.adapters.adapters.push_back(std::move(a));
  } else {
    throw Failure("adapter add MAC [up|down] [loopback] [ipv4|noipv4] | adapter clear");
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
  } catch (const AutomationError& e) {
    // The program let a failing player call through to its event loop.
    s_->out << "FAIL line " << number << ": the program did not handle a player failure: "
            << e.what() << "\n";
    return false;
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
