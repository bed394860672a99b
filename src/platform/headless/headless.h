// The headless backend: deterministic fakes of every outside service, on a
// virtual clock. Each records what the program asked of it in an EffectLog
// and can be scripted (replies, answers, player state, processes). One
// file per service group; this header holds them all together.
#pragma once

#include <memory>

#include "forms/form.h"
#include "platform/code_page.h"
#include "platform/headless/effect_log.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_http.h"
#include "platform/headless/headless_loop.h"
#include "platform/headless/headless_media.h"
#include "platform/headless/headless_network_adapters.h"
#include "platform/headless/headless_player.h"
#include "platform/headless/headless_services.h"
#include "platform/headless/headless_single_instance.h"
#include "platform/headless/headless_system.h"
#include "platform/headless/headless_windows.h"
#include "platform/platform.h"

namespace tav {

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
