// The headless backend: deterministic fakes of every outside service, on a
// virtual clock. Each records what the program asked of it in an EffectLog
// and can be scripted (replies, answers, player state, processes).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/component_registry.h"
#include "base/player_control.h"
#include "forms/form.h"
#include "platform/browser_panel.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/dialogs.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/headless/effect_log.h"
#include "platform/http.h"
#include "platform/images.h"
#include "platform/media_controls.h"
#include "platform/network_adapters.h"
#include "platform/platform.h"
#include "platform/processes.h"
#include "platform/screen.h"
#include "platform/screen_saver.h"
#include "platform/shell.h"
#include "platform/single_instance.h"
#include "platform/tray.h"
#include "platform/window_system.h"

namespace tav {

class Browser;

class VirtualClock final : public Clock {
 public:
  LocalTime now() const override;
  long long monotonic_ms() const override { return ms_; }
  void set_time(LocalTime t) { base_ = t, base_ms_ = ms_; }
  void advance_to(long long ms) { ms_ = ms; }

 private:
  LocalTime base_{2026, 12, 7, 12, 0, 0};
  long long base_ms_ = 0;
  long long ms_ = 0;
};

class ScriptedRandom final : public Random {
 public:
  void seed_from_clock() override { ++seeds; }
  double next() override;
  std::deque<double> values;
  double fallback = 0.5;
  int seeds = 0;
};

class HeadlessHttp final : public Http {
 public:
  explicit HeadlessHttp(EffectLog& log) : log_(log) {}
  std::string get(std::string_view url) override;
  bool still_executing() const override { return false; }
  void cancel() override {}
  // Requests that start with the prefix get the reply; the last rule added
  // for a prefix wins, and longer prefixes win over shorter ones.
  void reply(std::string prefix, std::string body) { rules_[std::move(prefix)] = std::move(body); }
  // Forward requests without a rule to a real client.
  void forward_to(Http* real) { real_ = real; }
  std::vector<std::string> requests;

 private:
  EffectLog& log_;
  std::map<std::string, std::string> rules_;
  Http* real_ = nullptr;
};

class HeadlessDialogs final : public Dialogs {
 public:
  explicit HeadlessDialogs(EffectLog& log) : log_(log) {}
  MsgAnswer message_box(std::string_view text, std::string_view title, MsgButtons buttons,
                        MsgIcon icon) override;
  std::string open_file(std::string_view filter, std::string_view title) override;
  std::string choose_folder(std::string_view initial_folder, std::string_view prompt) override;
  // Answers given in turn; without one a box answers OK or No, a chooser
  // is cancelled.
  std::deque<MsgAnswer> answers;
  std::deque<std::string> files;
  std::deque<std::string> folders;

 private:
  EffectLog& log_;
};

class HeadlessShell final : public Shell {
 public:
  explicit HeadlessShell(EffectLog& log) : log_(log) {}
  bool open(std::string_view target, std::string_view verb) override;
  bool start(std::string_view command_line, WindowStyle style) override;
  bool start_succeeds = true;
  std::vector<std::string> started;
  std::vector<std::string> opened;

 private:
  EffectLog& log_;
};

class HeadlessProcesses final : public Processes {
 public:
  explicit HeadlessProcesses(EffectLog& log) : log_(log) {}
  std::vector<ProcessEntry> list() const override { return entries; }
  bool terminate(std::uint32_t id) override;
  void add(std::string image_name, std::string path);
  std::vector<ProcessEntry> entries;

 private:
  EffectLog& log_;
  std::uint32_t next_id_ = 1000;
};

class HeadlessRegistry final : public ComponentRegistry {
 public:
  bool can_create(std::string_view class_id) const override {
    return registered.count(std::string(class_id)) != 0;
  }
  std::set<std::string> registered;
};

// The machine's network adapters, in the system's order.
class HeadlessAdapters final : public NetworkAdapters {
 public:
  struct Adapter {
    std::string mac;
    bool up = true;
    bool loopback = false;
    bool ipv4 = true;
  };
  // The first adapter that is up, is not the loopback and has an IPv4
  // address; the empty text when there is none.
  std::string first_ip_enabled_mac() const override;
  // One adapter, up, with IPv4; none for the empty text.
  void set_only(const std::string& mac);
  std::vector<Adapter> adapters{{"00:16:3E:5A:00:01"}};
};

class HeadlessInstance final : public SingleInstance {
 public:
  explicit HeadlessInstance(EffectLog& log) : log_(log) {}
  bool another_running() override { return another; }
  void serve(std::function<void(const std::string&)> on_execute) override;
  void withdraw() override;
  void leave() override;
  bool send(std::string_view command_line) override;
  // A second start hands this command line over.
  void deliver(const std::string& command_line);
  bool another = false;
  bool serving = false;
  std::vector<std::string> sent;

 private:
  EffectLog& log_;
  std::function<void(const std::string&)> handler_;
};

class HeadlessTray final : public TrayIcon {
 public:
  explicit HeadlessTray(EffectLog& log) : log_(log) {}
  void add(std::string_view tip) override;
  void modify(std::string_view tip) override;
  void show_balloon(std::string_view title, std::string_view text) override;
  void remove() override;
  void sweep_dead_icons() override;
  bool shown() const override { return present && host; }
  bool present = false;
  bool host = true;  // the desktop has a tray
  std::string tip;

 private:
  EffectLog& log_;
};

class HeadlessScreen final : public Screen {
 public:
  WorkArea work_area() const override { return area; }
  int width_px() const override { return width; }
  int height_px() const override { return height; }
  WorkArea area{0, 0, 1366, 728};
  int width = 1366, height = 768;
};

// The desktop's media controls: keeps what was published; requests are
// made by calling the callbacks.
class HeadlessMediaControls final : public MediaControls {
 public:
  void publish(const MediaState& s) override { state = s, ++publishes, offered = true; }
  void seeked(int position_s) override { seeks.push_back(position_s); }
  void withdraw() override { offered = false; }
  MediaState state;
  int publishes = 0;
  bool offered = false;
  std::vector<int> seeks;  // positions announced after seeks
};

// Logs "screen saver inhibited" and "screen saver released".
class HeadlessScreenSaver final : public ScreenSaver {
 public:
  explicit HeadlessScreenSaver(EffectLog& log) : log_(log) {}
  void inhibit(bool on) override;
  bool inhibited = false;
  int changes = 0;

 private:
  EffectLog& log_;
};

// Runs the forms' timers on the virtual clock.
class HeadlessLoop final : public EventLoop {
 public:
  HeadlessLoop(VirtualClock& clock, EffectLog& log) : clock_(clock), log_(log) {}
  void do_events() override {}
  void end_process() override;
  void quit() override;
  bool ended() const override { return ended_; }
  bool quit_requested() const { return quit_; }

  void track(Timer& t);
  void untrack(Form& f);
  void timer_changed(Timer& t);
  // Moves the clock forward, running every timer that comes due on the way,
  // in the order they come due.
  void advance(long long ms);
  long long now() const { return clock_.monotonic_ms(); }

 private:
  VirtualClock& clock_;
  EffectLog& log_;
  struct Slot {
    Timer* timer;
    long long due;  // < 0 when not running
    long long order;
  };
  std::vector<Slot> slots_;
  long long order_ = 0;
  bool ended_ = false;
  bool quit_ = false;
};

class FakeBrowserPanel final : public BrowserPanel {
 public:
  FakeBrowserPanel(std::string name, EffectLog& log) : name_(std::move(name)), log_(log) {}
  void load(std::string_view url) override;
  void write_document(std::string_view html) override;
  void reload() override;
  void back() override;
  void forward() override;
  void copy() override;
  void paste() override;
  void set_silent(bool silent) override { silent_ = silent; }
  std::string location() const override;
  const std::string& document() const { return document_; }
  bool silent() const { return silent_; }

 private:
  std::string name_;
  EffectLog& log_;
  std::vector<std::string> history_;
  int at_ = -1;
  std::string document_;
  bool silent_ = false;
};

// Calls on the player control that fail (the control raises an automation
// error), by dispatch id or all of them.
struct PlayerFaults {
  std::set<int> dispids;
  bool all = false;
  bool fails(int dispid) const { return all || dispids.count(dispid) != 0; }
};

// A player control that plays by the virtual clock: Play runs the position
// forward a second a second up to the duration; every value can be set.
// A call named in the faults logs "player failed …" and throws
// AutomationError without changing anything.
class FakePlayer final : public PlayerControl {
 public:
  FakePlayer(const Clock& clock, EffectLog& log, const PlayerFaults& faults);
  Variant get(int dispid) override;
  void put(int dispid, const Variant& value) override;
  void invoke(int dispid, const std::vector<Variant>& args) override;
  // What the player reports for a dispid, overriding the simulation.
  void set(int dispid, Variant value);
  void clear(int dispid) { fixed_.erase(dispid); }
  // Durations of media addresses (by prefix, the longest matching one
  // wins); 0 for unknown ones.
  std::map<std::string, int> durations;

 private:
  int duration() const;
  int position_now() const;
  const Clock& clock_;
  EffectLog& log_;
  const PlayerFaults& faults_;
  std::map<int, Variant> fixed_;
  std::string address_;
  int state_ = 0;
  int volume_ = 50;
  bool muted_ = false;
  int base_position_ = 0;
  long long playing_since_ = -1;
  std::string ad_page_;
};

// Files that fail on command, in front of the real ones: a read-only folder
// (every replacement and removal fails), a full disk (a replacement larger
// than the free space fails, after writing as much as fits when a limited
// writer is given), or the replacement of one named file. A failed
// replacement never reaches the file, which keeps its old content.
class FaultyFiles final : public Files {
 public:
  explicit FaultyFiles(Files& inner) : inner_(inner) {}
  bool exists(std::string_view path) const override { return inner_.exists(path); }
  bool is_file(std::string_view path) const override { return inner_.is_file(path); }
  bool is_directory(std::string_view path) const override { return inner_.is_directory(path); }
  std::optional<std::string> read(std::string_view path, std::size_t max_bytes) const override {
    return inner_.read(path, max_bytes);
  }
  bool replace(std::string_view path, std::string_view content) override;
  bool remove(std::string_view path) override;
  std::vector<FolderEntry> list(std::string_view folder) const override {
    return inner_.list(folder);
  }

  // Every fault off.
  void heal();
  bool read_only = false;
  // The free space in bytes while the disk is full-limited; nothing for a
  // disk without limit. Replacements use it up and removals give it back.
  std::optional<std::size_t> free_bytes;
  // File names (the last part of the path) whose replacement fails.
  std::set<std::string> failing_names;
  // Replaces the file the real way but lets it grow to at most `limit`
  // bytes, so that writing its content fails part way; false when it
  // failed. Without it a full disk fails before writing anything.
  std::function<bool(Files& inner, std::string_view path, std::string_view content,
                     std::size_t limit)>
      limited_replace;
  // Why the last replacement or removal failed ("read-only", "disk full
  // after 10 of 24 bytes", …); empty when it was not one of these faults.
  const std::string& last_fault() const { return last_fault_; }

 private:
  Files& inner_;
  std::string last_fault_;
};

// Files that log every replacement and removal: "file written NAME",
// "file removed NAME", or on failure "file write failed NAME" and "file
// remove failed NAME", followed by the fault in brackets when it was one.
class RecordingFiles final : public Files {
 public:
  RecordingFiles(Files& inner, EffectLog& log, const FaultyFiles* faults = nullptr)
      : inner_(inner), log_(log), faults_(faults) {}
  bool exists(std::string_view path) const override { return inner_.exists(path); }
  bool is_file(std::string_view path) const override { return inner_.is_file(path); }
  bool is_directory(std::string_view path) const override { return inner_.is_directory(path); }
  std::optional<std::string> read(std::string_view path, std::size_t max_bytes) const override {
    return inner_.read(path, max_bytes);
  }
  bool replace(std::string_view path, std::string_view content) override;
  bool remove(std::string_view path) override;
  std::vector<FolderEntry> list(std::string_view folder) const override {
    return inner_.list(folder);
  }

 private:
  std::string failure(std::string_view what, std::string_view path) const;
  Files& inner_;
  EffectLog& log_;
  const FaultyFiles* faults_;
};

// Mirrors forms without a display: engines for browsers and the player,
// timers on the loop, a record of capture, moves and menus.
class HeadlessWindows final : public WindowSystem, public FormObserver {
 public:
  HeadlessWindows(HeadlessLoop& loop, const ComponentRegistry& registry, const Clock& clock,
                  EffectLog& log)
      : loop_(loop), registry_(registry), clock_(clock), log_(log) {}
  // Faults of every player control, present and future.
  PlayerFaults player_faults;
  void attach(Form& form) override;
  void detach(Form& form) override;
  void set_capture(Control& control) override;
  void release_capture() override;
  void start_system_move(Form& form) override;
  void start_system_resize(Form& form, HitCode edge, std::function<void()> finished) override;
  // The user lets go of the mouse button: a running system resize ends.
  void finish_system_resize();
  void popup_menu(Form& owner, Menu& menu, std::optional<Point> at) override;

  // Caption changes are logged: "caption ID "TEXT"".
  void form_changed(Form& form, Change what) override;
  void control_changed(Control& control, Change what) override;
  void timer_changed(Timer& timer) override { loop_.timer_changed(timer); }
  void menu_changed(Menu&) override {}

  FakeBrowserPanel* panel(const Browser& browser) const;
  // The player of the main window attached last.
  FakePlayer* player() const;
  Control* captured() const { return captured_; }
  std::vector<Form*> forms() const { return forms_; }

 private:
  HeadlessLoop& loop_;
  const ComponentRegistry& registry_;
  const Clock& clock_;
  EffectLog& log_;
  std::vector<Form*> forms_;
  std::map<const Browser*, std::unique_ptr<FakeBrowserPanel>> panels_;
  std::vector<std::pair<const Control*, std::unique_ptr<FakePlayer>>> players_;
  Control* captured_ = nullptr;
  std::function<void()> resize_finished_;
};

// Fixed sizes of the skin images, as the artwork has them.
class HeadlessImages final : public Images {
 public:
  Picture load_resource(int number) const override;
  std::set<int> missing;
};

// Everything together.
class HeadlessPlatform {
 public:
  // Files and the code page are real ones, given by the caller; files are
  // used through a recorder, in front of the faults.
  HeadlessPlatform(Files& disk, const CodePage& code_page);
  ~HeadlessPlatform();
  Platform& platform() { return *platform_; }

  EffectLog log;
  VirtualClock clock;
  ScriptedRandom random;
  FaultyFiles faulty_files;
  RecordingFiles files;
  const CodePage& code_page;
  HeadlessHttp http;
  HeadlessDialogs dialogs;
  HeadlessShell shell;
  HeadlessProcesses processes;
  HeadlessRegistry registry;
  HeadlessAdapters adapters;
  HeadlessInstance instance;
  HeadlessTray tray;
  HeadlessScreen screen;
  HeadlessLoop loop;
  HeadlessWindows windows;
  FixedTextMetrics metrics;
  HeadlessImages images;
  HeadlessMediaControls media;
  HeadlessScreenSaver screen_saver;

 private:
  std::unique_ptr<Platform> platform_;
};

}  // namespace tav
