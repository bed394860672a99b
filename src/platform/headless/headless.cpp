#include "platform/headless/headless.h"

#include <string>

#include "base/player_control.h"

namespace tav {

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
