#include "suite/player/mpv_api.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>

namespace tav::suite {

namespace {

// libmpv's run-time name (the major version of its interface).
constexpr char kLibrary[] = "libmpv.so.2";

MpvApi g_api{};

template <class F>
bool resolve(void* library, const char* name, F& slot) {
  slot = reinterpret_cast<F>(::dlsym(library, name));
  if (!slot) std::fprintf(stderr, "QvodInsert: %s has no %s\n", kLibrary, name);
  return slot != nullptr;
}

const MpvApi* load() {
  // TAVORI_LIBMPV names another file to load in its place (for a test of a
  // machine without it).
  const char* name = std::getenv("TAVORI_LIBMPV");
  if (!name || !*name) name = kLibrary;
  void* library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = ::dlerror();
    std::fprintf(stderr, "QvodInsert: cannot load %s: %s\n", name, why ? why : "unknown error");
    return nullptr;
  }
  // Never closed: mpv's threads and handles live as long as the process.
  MpvApi api{};
  bool ok = true;
  ok &= resolve(library, "mpv_create", api.create);
  ok &= resolve(library, "mpv_initialize", api.initialize);
  ok &= resolve(library, "mpv_terminate_destroy", api.terminate_destroy);
  ok &= resolve(library, "mpv_set_option_string", api.set_option_string);
  ok &= resolve(library, "mpv_request_log_messages", api.request_log_messages);
  ok &= resolve(library, "mpv_observe_property", api.observe_property);
  ok &= resolve(library, "mpv_set_wakeup_callback", api.set_wakeup_callback);
  ok &= resolve(library, "mpv_wait_event", api.wait_event);
  ok &= resolve(library, "mpv_error_string", api.error_string);
  ok &= resolve(library, "mpv_command_async", api.command_async);
  ok &= resolve(library, "mpv_set_property", api.set_property);
  ok &= resolve(library, "mpv_set_property_async", api.set_property_async);
  ok &= resolve(library, "mpv_set_property_string", api.set_property_string);
  ok &= resolve(library, "mpv_get_property_string", api.get_property_string);
  ok &= resolve(library, "mpv_free", api.free);
  ok &= resolve(library, "mpv_render_context_create", api.render_context_create);
  ok &= resolve(library, "mpv_render_context_free", api.render_context_free);
  ok &= resolve(library, "mpv_render_context_render", api.render_context_render);
  ok &= resolve(library, "mpv_render_context_set_update_callback",
                api.render_context_set_update_callback);
  ok &= resolve(library, "mpv_render_context_update", api.render_context_update);
  if (!ok) return nullptr;
  g_api = api;  // published to other threads through the future
  return &g_api;
}

struct Loading {
  std::once_flag started;
  std::shared_future<const MpvApi*> result;
};

// Never destroyed: the loading thread may still run when the process ends
// (the library itself is never unloaded, see its link options).
Loading& loading() {
  static Loading* const state = new Loading;
  return *state;
}

}  // namespace

void start_loading_mpv() {
  Loading& state = loading();
  std::call_once(state.started, [&state] {
    std::packaged_task<const MpvApi*()> task(&load);
    state.result = task.get_future().share();
    try {
      std::thread(std::move(task)).detach();
    } catch (const std::system_error&) {
      // No thread to be had: the first caller loads it.
      std::packaged_task<const MpvApi*()> now(&load);
      state.result = now.get_future().share();
      now();
    }
  });
}

const MpvApi* load_mpv() {
  start_loading_mpv();
  return loading().result.get();
}

const MpvApi& mpv_api() { return g_api; }

}  // namespace tav::suite
