#include "platform/headless/headless.h"

#include <algorithm>
#include <chrono>

#include "base/player_control.h"
#include "base/text.h"
#include "forms/browser.h"
#include "forms/player_site.h"

namespace tav {

// VirtualClock ---------------------------------------------------------------

LocalTime VirtualClock::now() const {
  using namespace std::chrono;
  const sys_days day = year_month_day{year{base_.year}, month{static_cast<unsigned>(base_.month)},
                                      std::chrono::day{static_cast<unsigned>(base_.day)}};
  const auto t = day + hours{base_.hour} + minutes{base_.minute} + seconds{base_.second} +
                 milliseconds{ms_ - base_ms_};
  const sys_days d = floor<days>(t);
  const year_month_day ymd{d};
  const hh_mm_ss hms{floor<seconds>(t - d)};
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(hms.hours().count()),
          static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count())};
}

double ScriptedRandom::next() {
  if (values.empty()) return fallback;
  const double v = values.front();
  values.pop_front();
  return v;
}

// HeadlessHttp ---------------------------------------------------------------

std::string HeadlessHttp::get(std::string_view url) {
  requests.emplace_back(url);
  const std::string* best = nullptr;
  std::size_t best_len = 0;
  for (const auto& [prefix, body] : rules_) {
    if (starts_with(url, prefix) && (!best || prefix.size() >= best_len)) {
      best = &body;
      best_len = prefix.size();
    }
  }
  std::string body = best ? *best : (real_ ? real_->get(url) : std::string());
  log_.add("fetch " + std::string(url) + " -> " + quoted(body.size() > 80 ? body.substr(0, 80) + "..." : body));
  return body;
}

// HeadlessDialogs ------------------------------------------------------------

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

// HeadlessShell ----------------------------------------------------------------

bool HeadlessShell::open(std::string_view target, std::string_view verb) {
  opened.emplace_back(target);
  log_.add("shell-open " + quoted(target) + " verb=" + std::string(verb));
  return true;
}

bool HeadlessShell::start(std::string_view command_line, WindowStyle style) {
  started.emplace_back(command_line);
  log_.add("start " + quoted(command_line) + " style=" + to_text(static_cast<int>(style)) +
           (start_succeeds ? "" : " -> failed"));
  return start_succeeds;
}

// HeadlessProcesses ------------------------------------------------------------

bool HeadlessProcesses::terminate(std::uint32_t id) {
  const auto it = std::find_if(entries.begin(), entries.end(),
                               [&](const ProcessEntry& e) { return e.id == id; });
  if (it == entries.end()) return false;
  log_.add("terminate " + to_text(id) + " " + it->image_name);
  entries.erase(it);
  return true;
}

void HeadlessProcesses::add(std::string image_name, std::string path) {
  entries.push_back({next_id_++, std::move(image_name), std::move(path)});
}

// HeadlessAdapters -------------------------------------------------------------

std::string HeadlessAdapters::first_ip_enabled_mac() const {
  for (const Adapter& a : adapters)
    if (a.up && !a.loopback && a.ipv4) return a.mac;
  return {};
}

void HeadlessAdapters::set_only(const std::string& mac) {
  adapters.clear();
  if (!mac.empty()) adapters.push_back({mac});
}

// HeadlessInstance -------------------------------------------------------------

void HeadlessInstance::serve(std::function<void(const std::string&)> on_execute) {
  handler_ = std::move(on_execute);
  serving = true;
  log_.add("instance serve");
}

void HeadlessInstance::withdraw() {
  serving = false;
  handler_ = nullptr;
  log_.add("instance withdraw");
}

void HeadlessInstance::leave() {
  serving = false;
  handler_ = nullptr;
  log_.add("instance leave");
}

bool HeadlessInstance::send(std::string_view command_line) {
  sent.emplace_back(command_line);
  log_.add("instance send " + quoted(command_line));
  return true;
}

void HeadlessInstance::deliver(const std::string& command_line) {
  log_.add("instance receive " + quoted(command_line));
  if (handler_) handler_(command_line);
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

// HeadlessLoop -----------------------------------------------------------------

void HeadlessLoop::end_process() {
  ended_ = true;
  log_.add("process end");
}

void HeadlessLoop::quit() {
  quit_ = true;
  log_.add("quit");
}

void HeadlessLoop::track(Timer& t) {
  slots_.push_back({&t, -1, order_++});
  timer_changed(t);
}

void HeadlessLoop::untrack(Form& f) {
  std::erase_if(slots_, [&](const Slot& s) { return &s.timer->form() == &f; });
}

void HeadlessLoop::timer_changed(Timer& t) {
  for (Slot& s : slots_) {
    if (s.timer != &t) continue;
    s.due = (t.enabled() && t.interval() > 0) ? now() + t.interval() : -1;
  }
}

void HeadlessLoop::advance(long long ms) {
  const long long target = now() + std::max(0LL, ms);
  while (!ended_) {
    Slot* next = nullptr;
    for (Slot& s : slots_) {
      if (s.due < 0 || s.due > target) continue;
      if (!next || s.due < next->due || (s.due == next->due && s.order < next->order)) next = &s;
    }
    if (!next) break;
    Timer* timer = next->timer;
    clock_.advance_to(next->due);
    next->due = now() + timer->interval();  // the next tick counts from this one
    timer->tick();                          // may add, change or remove slots
  }
  clock_.advance_to(target);
}

// FakeBrowserPanel -------------------------------------------------------------

void FakeBrowserPanel::load(std::string_view url) {
  if (at_ + 1 < static_cast<int>(history_.size())) history_.resize(at_ + 1);
  history_.emplace_back(url);
  at_ = static_cast<int>(history_.size()) - 1;
  document_.clear();
  log_.add("navigate " + name_ + " " + std::string(url));
}

void FakeBrowserPanel::write_document(std::string_view html) {
  document_ = html;
  log_.add("document " + name_ + " " + quoted(html));
}

void FakeBrowserPanel::reload() { log_.add("refresh " + name_); }

void FakeBrowserPanel::back() {
  if (at_ > 0) log_.add("back " + name_ + " " + history_[--at_]);
}

void FakeBrowserPanel::forward() {
  if (at_ + 1 < static_cast<int>(history_.size())) log_.add("forward " + name_ + " " + history_[++at_]);
}

void FakeBrowserPanel::copy() { log_.add("copy " + name_); }
void FakeBrowserPanel::paste() { log_.add("paste " + name_); }

std::string FakeBrowserPanel::location() const { return at_ >= 0 ? history_[at_] : std::string(); }

// FakePlayer -------------------------------------------------------------------

FakePlayer::FakePlayer(const Clock& clock, EffectLog& log, const PlayerFaults& faults)
    : clock_(clock), log_(log), faults_(faults) {}

int FakePlayer::duration() const {
  if (address_.empty()) return 0;
  int found = 0;
  std::size_t longest = 0;
  for (const auto& [prefix, d] : durations) {
    if (starts_with(address_, prefix) && prefix.size() >= longest) {
      found = d;
      longest = prefix.size();
    }
  }
  return found;
}

int FakePlayer::position_now() const {
  const int duration = this->duration();
  if (playing_since_ < 0) return base_position_;
  const long long p = base_position_ + (clock_.monotonic_ms() - playing_since_) / 1000;
  return static_cast<int>(duration > 0 ? std::min<long long>(p, duration) : p);
}

Variant FakePlayer::get(int dispid) {
  if (faults_.fails(dispid)) {
    log_.add("player failed get " + to_text(dispid));
    throw AutomationError("the player refused to report " + to_text(dispid));
  }
  if (const auto it = fixed_.find(dispid); it != fixed_.end()) return it->second;
  switch (dispid) {
    case dispid::kAddress: return Variant(address_);
    case dispid::kVolume: return Variant(volume_);
    case dispid::kDuration: return Variant(duration());
    case dispid::kPosition: return Variant(position_now());
    case dispid::kPlayState: {
      // A film that played to its end is finished: state 0, address kept.
      const int d = duration();
      if (state_ == play_state::kPlaying && d > 0 && position_now() >= d) return Variant(0);
      return Variant(state_);
    }
    case dispid::kDownloadProgress: return Variant(address_.empty() ? 0 : 1000);
    case dispid::kDownloadSpeed:
    case dispid::kBitRate: return Variant(0);
    default: return Variant(0);
  }
}

void FakePlayer::put(int dispid, const Variant& value) {
  if (faults_.fails(dispid)) {
    log_.add("player failed put " + to_text(dispid) + " " + quoted(value.to_text()));
    throw AutomationError("the player refused to set " + to_text(dispid));
  }
  log_.add("player put " + to_text(dispid) + " " + quoted(value.to_text()));
  switch (dispid) {
    case dispid::kAddress:
      address_ = value.to_text();
      base_position_ = 0;
      playing_since_ = -1;
      state_ = 0;
      break;
    case dispid::kVolume: volume_ = std::clamp(value.to_int(), 0, 100); break;
    case dispid::kMute: muted_ = value.to_int() != 0; break;
    case dispid::kPosition:
      base_position_ = std::max(0, value.to_int());
      if (playing_since_ >= 0) playing_since_ = clock_.monotonic_ms();
      break;
    case dispid::kAdPage: ad_page_ = value.to_text(); break;
    default: break;
  }
}

void FakePlayer::invoke(int dispid, const std::vector<Variant>& args) {
  std::string arguments;
  for (const Variant& a : args) arguments += " " + quoted(a.to_text());
  if (faults_.fails(dispid)) {
    log_.add("player failed call " + to_text(dispid) + arguments);
    throw AutomationError("the player refused the call " + to_text(dispid));
  }
  log_.add("player call " + to_text(dispid) + arguments);
  switch (dispid) {
    case dispid::kPlay:
      if (address_.empty()) break;
      if (playing_since_ < 0) playing_since_ = clock_.monotonic_ms();
      state_ = play_state::kPlaying;
      break;
    case dispid::kPause:
      base_position_ = position_now();
      playing_since_ = -1;
      state_ = play_state::kPaused;
      break;
    case dispid::kStop:
      base_position_ = 0;
      playing_since_ = -1;
      state_ = play_state::kStopped;
      break;
    default: break;
  }
}

void FakePlayer::set(int dispid, Variant value) { fixed_[dispid] = std::move(value); }

// FaultyFiles ------------------------------------------------------------------

namespace {

std::string base_name(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::size_t size_on_disk(const Files& files, std::string_view path) {
  if (!files.is_file(path)) return 0;
  const auto content = files.read(path, Files::kDefaultReadLimit);
  return content ? content->size() : 0;
}

}  // namespace

void FaultyFiles::heal() {
  read_only = false;
  free_bytes.reset();
  failing_names.clear();
}

bool FaultyFiles::replace(std::string_view path, std::string_view content) {
  last_fault_.clear();
  if (read_only) {
    last_fault_ = "read-only";
    return false;
  }
  if (failing_names.count(base_name(path)) != 0) {
    last_fault_ = "failing";
    return false;
  }
  const std::size_t old_size = free_bytes ? size_on_disk(inner_, path) : 0;
  bool ok = false;
  if (free_bytes && content.size() > *free_bytes) {
    // The new content goes beside the old file before it replaces it: it
    // needs its whole size free.
    const std::size_t fits = *free_bytes;
    if (fits > 0 && limited_replace) ok = limited_replace(inner_, path, content, fits);
    if (!ok) {
      last_fault_ = "disk full";
      if (fits > 0 && limited_replace)
        last_fault_ += " after " + to_text(static_cast<long long>(fits)) + " of " +
                       to_text(static_cast<long long>(content.size())) + " bytes";
      return false;
    }
  } else {
    ok = inner_.replace(path, content);
  }
  if (ok && free_bytes) {
    const std::size_t total = *free_bytes + old_size;
    *free_bytes = total > content.size() ? total - content.size() : 0;
  }
  return ok;
}

bool FaultyFiles::remove(std::string_view path) {
  last_fault_.clear();
  if (read_only) {
    last_fault_ = "read-only";
    return false;
  }
  const std::size_t size = free_bytes ? size_on_disk(inner_, path) : 0;
  const bool ok = inner_.remove(path);
  if (ok && free_bytes) *free_bytes += size;
  return ok;
}

// RecordingFiles ---------------------------------------------------------------

std::string RecordingFiles::failure(std::string_view what, std::string_view path) const {
  std::string line = "file " + std::string(what) + " failed " + base_name(path);
  if (faults_ && !faults_->last_fault().empty()) line += " (" + faults_->last_fault() + ")";
  return line;
}

bool RecordingFiles::replace(std::string_view path, std::string_view content) {
  const bool ok = inner_.replace(path, content);
  log_.add(ok ? "file written " + base_name(path) : failure("write", path));
  return ok;
}

bool RecordingFiles::remove(std::string_view path) {
  const bool ok = inner_.remove(path);
  log_.add(ok ? "file removed " + base_name(path) : failure("remove", path));
  return ok;
}

// HeadlessWindows --------------------------------------------------------------

void HeadlessWindows::attach(Form& form) {
  forms_.push_back(&form);
  form.set_observer(this);
  for (const auto& c : form.controls()) {
    if (auto* b = dynamic_cast<Browser*>(c.get())) {
      auto panel = std::make_unique<FakeBrowserPanel>(b->name(), log_);
      b->set_panel(panel.get());
      panels_[b] = std::move(panel);
    } else if (auto* site = dynamic_cast<PlayerSite*>(c.get())) {
      if (registry_.can_create(kPlayerClassId)) {
        players_.emplace_back(site, std::make_unique<FakePlayer>(clock_, log_, player_faults));
        site->set_control(players_.back().second.get());
      }
    }
  }
  for (const auto& t : form.timers()) loop_.track(*t);
}

void HeadlessWindows::detach(Form& form) {
  loop_.untrack(form);
  for (const auto& c : form.controls()) {
    if (auto* b = dynamic_cast<Browser*>(c.get())) {
      b->set_panel(nullptr);
      panels_.erase(b);
    } else if (auto* site = dynamic_cast<PlayerSite*>(c.get())) {
      site->set_control(nullptr);
      std::erase_if(players_, [&](const auto& p) { return p.first == site; });
    }
    if (captured_ == c.get()) captured_ = nullptr;
  }
  form.set_observer(nullptr);
  std::erase(forms_, &form);
}

void HeadlessWindows::form_changed(Form& form, Change what) {
  if (what == Change::Caption) log_.add("caption " + form.name() + " " + quoted(form.caption()));
}

void HeadlessWindows::control_changed(Control& control, Change what) {
  if (what == Change::Caption) log_.add("caption " + control.id() + " " + quoted(control.caption()));
}

void HeadlessWindows::set_capture(Control& control) {
  if (captured_ == &control) return;
  captured_ = &control;
  log_.add("capture " + control.id());
}

void HeadlessWindows::release_capture() {
  if (!captured_) return;
  captured_ = nullptr;
  log_.add("release capture");
}

void HeadlessWindows::start_system_move(Form& form) { log_.add("system move " + form.name()); }

void HeadlessWindows::start_system_resize(Form& form, HitCode edge,
                                          std::function<void()> finished) {
  log_.add("system resize " + form.name() + " " + to_text(static_cast<int>(edge)));
  resize_finished_ = std::move(finished);
}

void HeadlessWindows::finish_system_resize() {
  auto finished = std::move(resize_finished_);
  resize_finished_ = nullptr;
  if (finished) finished();
}

void HeadlessWindows::popup_menu(Form&, Menu& menu, std::optional<Point> at) {
  log_.add("popup " + menu.name +
           (at ? " at " + to_text(at->x) + "," + to_text(at->y) : std::string(" at mouse")));
}

FakePlayer* HeadlessWindows::player() const {
  return players_.empty() ? nullptr : players_.back().second.get();
}

FakeBrowserPanel* HeadlessWindows::panel(const Browser& browser) const {
  const auto it = panels_.find(&browser);
  return it == panels_.end() ? nullptr : it->second.get();
}

// HeadlessImages ---------------------------------------------------------------

Picture HeadlessImages::load_resource(int number) const {
  static const Point kSizes[] = {{106, 57}, {130, 20}, {130, 20}, {5, 18},  {48, 19}, {4, 31},
                                 {84, 20},  {6, 40},   {308, 50}, {180, 87}, {100, 25}};
  if (number < 101 || number > 111 || missing.count(number)) return {};
  const Point size = kSizes[number - 101];
  return {"ppt" + to_text(number - 101), size.x, size.y};
}

// HeadlessScreenSaver ------------------------------------------------------------

void HeadlessScreenSaver::inhibit(bool on) {
  if (on != inhibited) ++changes;
  inhibited = on;
  log_.add(on ? "screen saver inhibited" : "screen saver released");
}

// HeadlessPlatform -------------------------------------------------------------

HeadlessPlatform::HeadlessPlatform(Files& disk, const CodePage& cp)
    : faulty_files(disk),
      files(faulty_files, log, &faulty_files),
      code_page(cp),
      http(log),
      dialogs(log),
      shell(log),
      processes(log),
      instance(log),
      tray(log),
      loop(clock, log),
      windows(loop, registry, clock, log),
      screen_saver(log) {
  registry.registered.insert(std::string(kPlayerClassId));
  platform_.reset(new Platform{code_page, files,   http,   dialogs, shell, processes,
                               registry,  adapters, instance, tray, screen, clock,
                               random,    loop,     windows, metrics, images,
                               media,     screen_saver});
}

HeadlessPlatform::~HeadlessPlatform() = default;

}  // namespace tav
