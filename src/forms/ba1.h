// BA1, the main window: its control tree, timers and shared state, and the
// handlers that the program's subsystems define (each in its own folder).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "forms/browser.h"
#include "forms/form.h"
#include "forms/player_site.h"
#include "lists/list_files.h"
#include "platform/platform.h"
#include "platform/screen.h"
#include "playback/player.h"
#include "startup/settings.h"
#include "web/server_addresses.h"

namespace tav {

class Tip;
class BA3;
class Adsb;
class Ba4;

// The placeholder pages written into the TV and episode panels at load.
std::string placeholder_page_a();
std::string placeholder_page_b();

class BA1 final : public Form, public ListPageView {
 public:
  BA1(Platform& platform, AppConfig config);
  ~BA1() override;

  Platform& pf;
  const AppConfig config;
  const ServerAddresses server;
  const SettingsFile store;
  ListFiles lists;

  // The control tree, in declaration order. Positions are pixels.
  Control& p1;
  Control& bo_tip;
  ControlArray ppt;
  ControlArray npc;
  Control& zz2;
  Browser& Webz2;
  Control& tj;
  Browser& Web6;
  Control& dde;
  Control& Inet1;
  Control& CommonDialog1;
  Control& L1;
  Control& bo_foot;
  ControlArray bo_but;
  Control& yin;
  Control& bo_v;
  Control& bo_y;
  Control& Pic2;
  Browser& Web2;
  Control& qvod;
  Control& bo_zt;
  Control& zhun;
  Control& times;
  Control& bo_ad;
  Control& ad_huan;
  Browser& Web7;
  Control& adp;
  Control& next_s;
  Control& gunt;
  Control& gunt1;
  Control& huan;
  PlayerSite& QvodC;
  Control& l2;
  Control& zz3;
  Browser& Webz3;
  Control& zz1;
  Control& ppw1;
  Control& s3;
  Browser& Web5;
  Control& s2;
  Browser& Web4;
  Control& s1;
  Browser& Web3;
  Control& qk;
  Control& lfoot;
  Control& l3;
  Control& Pic1;
  Browser& Web1;
  Control& wait;
  Control& jia1;
  Control& jia;
  Control& ttt;
  Control& jbi;
  ControlArray but;
  Control& bo_name;
  Control& ni_bo1;
  Control& ni_name;

  Timer& Timer1;
  Timer& Timer2;
  Timer& Timer3;
  Timer& Timer4;
  Timer& Timer5;
  Timer& Timer6;

  // The player control in QvodC, by its dispatch ids.
  Player player;

  // Shared state.
  // Playback and next episode.
  int webPlayMode = 0;
  int lastPos = 0;
  int resumePos = 0;
  int resumeDone = 0;
  std::string nextLink;
  std::string nextMedia;
  int nextBuffering = 0;
  int retryTicks = 0;
  std::string filmKey;
  std::string itemKey;
  int itemKind = 0;
  // Player housekeeping and exit.
  std::string qvodDir;
  std::string exitNotice;
  bool exitRan = false;  // the exit sequence has run
  // Panels.
  int libraryFailed = 0;
  int adFailed = 0;
  std::string menuLink;
  // Window modes.
  int miniMode = 0;
  int tvMode = 0;
  int buttonsPainted = 0;
  int currentTab = 0;
  int currentSection = 0;
  // Start-up.
  WorkArea workArea;
  std::string settingsPath;
  std::string installedVersion;
  std::string latestVersion;
  int sizeMode = 0;
  int savedWidth = 0;
  int savedHeight = 0;

  // The other windows, created on first use.
  Tip& tip();
  bool tip_loaded() const { return tip_ != nullptr; }
  void unload_tip();
  // The settings dialog on page 0 (about) or 1 (software settings), in front
  // of the main window; null unless open.
  void openSettings(int page);
  BA3* ba3() const { return ba3_.get(); }
  void unload_ba3();
  // The advertisement windows: null unless shown.
  Adsb* adsb() const { return adsb_.get(); }
  Ba4* ba4() const { return ba4_.get(); }
  void unload_adsb();
  // Unloading the notice window ends the program.
  void unload_ba4();

  // Settings of config.ini through settingsPath.
  std::string setting(const std::string& section, const std::string& key);
  void put_setting(const std::string& section, const std::string& key, const std::string& value);

  // Handlers and operations.
  void Form_Load();
  // A command line handed over by a second start.
  void Form_LinkExecute(const std::string& command);
  bool ended() const;
  void l_com(const std::string& command);
  // The state of a local film that starts playing: its path is its key, it
  // resumes at resumeAt seconds, and nothing is prepared as a next episode.
  void playingLocalFilm(const std::string& path, int resumeAt);
  void ttt_v();
  // The desktop session ends, or the program is told to end (a signal):
  // the exit sequence's recording and clean-up steps, without the notice
  // window or anything else that waits on the user; the program then ends.
  void endSession();
  void bo_but_Click(int index);

  // Layout.
  void Form_Resize();
  void paintFrame();
  void paintCaptionButtons();
  void layoutPanels();
  void layoutPlayerArea();
  void layoutMiniMode();
  // The side bar's state is the tooltip of npc(7).
  bool sideBarShown() const;

  // Chrome and caption buttons.
  void npc_Click(int index);
  void npc_MouseMove(int index, const MouseEvent& e);
  void Form_MouseMove(const MouseEvent& e);
  void Form_MouseDown(const MouseEvent& e);
  void Form_DblClick();
  void ni_name_DblClick();
  void jbi_Click();
  void zhi_d(int flag);
  void hitTestBorder(int mode, int x, int y);
  void switchTab(int index);
  void switchSection(int index);
  // Paints caption button 0 to 5 with its normal or pointer-over image.
  void paintCaptionButton(int index, bool hover);

  // Playback: the status tick, the end-of-play tick, the retry tick.
  void Timer1_Timer();
  // A film was handed to the player: the status tick watches for its
  // first picture.
  void watchFilmStart();
  void Timer2_Timer();
  void Timer4_Timer();
  // The player suite's processes, once after start.
  void Timer3_Timer();
  // The update check, 6 s after start; the floating advertisement, once.
  void Timer5_Timer();
  void Timer6_Timer();
  // The update check of the tray menu.
  void shengji();
  // Starts the updater (the local one, else the remote one through the
  // shell) and quits; the automatic check shows no notice on the way out.
  void updateAction(bool automatic);
  // The exit sequence's end: the notice window when the version file asked
  // for one, else the program ends.
  void showNotice();
  // Transport buttons: pointer over a button.
  void bo_but_MouseMove(int index, const MouseEvent& e);
  // The face of a transport button for its state, normal or pointer-over.
  void paintTransportButton(int index, bool hover);

  // Seek bar, volume slider and keys.
  enum class SeekFrom { Track, Thumb, Buffered };
  // Seeks to the thumb's place; from the thumb (when not at the very left)
  // and from the buffered bar two seconds early.
  void seek(SeekFrom from);
  void gunt_MouseDown(const MouseEvent& e);
  void gunt1_MouseMove(const MouseEvent& e);
  void huan_MouseDown(const MouseEvent& e);
  void yin_MouseDown(const MouseEvent& e);
  void bo_y_MouseDown(const MouseEvent& e);
  void bo_v_MouseMove(const MouseEvent& e);
  void setVolumeAt(int x);
  int volumeOfKnob(int left);
  void unmute();
  void showVolume();
  void redrawSeekBar();
  void Form_KeyDown(int key, int shift);
  // The seek keys' step by any number of seconds (back to 0 at the most,
  // forward to two seconds before the end), with the seek bar redrawn; it
  // stops the status tick, which the caller starts again.
  void seekBy(int seconds);
  // The volume keys' setting: sound on, the volume, its text and knob.
  void applyVolume(int percent);

  // The desktop's media controls and screen saver (the status tick's last
  // step and every request): what plays, and the screen saver held off
  // while a film plays in the player.
  void publishMediaState();

  // Link protocol: the panels' before-navigate handlers.
  void Web1_BeforeNavigate2(const std::string& url, bool& cancel);
  void Web2_BeforeNavigate2(const std::string& url, bool& cancel);
  void Web4_BeforeNavigate2(const std::string& url, bool& cancel);
  void Web5_BeforeNavigate2(const std::string& url, bool& cancel);
  void lookupLink(const std::string& url);
  void playLink(const std::string& url);
  // Navigates a panel to an address the program built itself (a play link
  // from a reply, the episode page, the web player page). Its handler takes
  // it for what it is, whatever text its fields carry: a label holding
  // "eebovod://" must not turn the program's own play link into a new
  // lookup, nor the episode page into a forwarded link.
  void navigateOwn(Browser& panel, const std::string& url);
  // Starts the player suite's service when it does not run.
  void ensureQvodTerminal();

  // List panel commands.
  void Web3_BeforeNavigate2(const std::string& url, bool& cancel);
  // Plays line number (a text) of the current list.
  void openListEntry(const std::string& number);
  void CCC();
  void ddd();
  void eee();
  void qk_Click();
  void qk_xl();
  void qk_xw();
  // The list the list commands work on, by the caption of qk.
  std::string_view currentList() const;
  // The player suite's download folder from its settings file in qvodDir
  // (loaded from the settings when empty); nothing when that file is
  // missing.
  std::optional<std::string> downloadFolder();

  // Episode data service.
  void stepEpisode(int direction);
  void prefetchNextEpisode();

  // Unloads the window: hidden, its timers stopped, its panels and player
  // released.
  void unload();
  bool unloaded() const { return unloaded_; }

  // ListPageView: a list page was written anew; refresh the panel showing it.
  void list_page_written(std::string_view list_file) override;

 private:
  Control& pb(Control* parent, const std::string& name, Rect r, bool visible = true);
  Control& label(Control* parent, const std::string& name, Rect r, const std::string& caption,
                 bool auto_size);
  Control& image(Control* parent, const std::string& name, int index, const std::string& picture,
                 Rect r, bool visible);
  Browser& browser(Control* parent, const std::string& name);
  PlayerSite& player_site(Control* parent, const std::string& name, Rect r);
  Control& other(const std::string& name);
  ControlArray array(Control* parent, const std::string& name, int first, int last, Rect r,
                     bool visible);
  void add_npc(Control* parent, int first, int last, Rect r);
  void wire_events();
  void wire_panel_events();
  void wire_slider_events();
  void wire_media_controls();
  void unwire_media_controls();

  // True, once, when the handler of the panel sees the navigation that
  // navigateOwn started.
  bool takeOwnNavigation(const Browser& panel, const std::string& url);

  // A window unloaded from inside one of its own handlers is detached at
  // once and destroyed only with the main window.
  void retire(std::unique_ptr<Form> form);

  std::unique_ptr<Tip> tip_;
  std::unique_ptr<BA3> ba3_;
  std::unique_ptr<Adsb> adsb_;
  std::unique_ptr<Ba4> ba4_;
  std::vector<std::unique_ptr<Form>> retired_;
  bool unloaded_ = false;
  bool mediaOffered_ = false;
  bool screenInhibited_ = false;
  const Browser* ownPanel_ = nullptr;
  std::string ownUrl_;
};

}  // namespace tav
