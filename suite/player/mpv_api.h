// libmpv, loaded at run time: the player library itself links no part of
// it, so loading the library costs nothing of libmpv's (it and the decoders
// behind it are a few hundred libraries). libmpv loads on a thread of its
// own, started by the first player, and the first call that needs it waits
// for that load.
//
// The headers give the types and constants; the functions the player calls
// come from this table.
#pragma once

#include <mpv/client.h>
#include <mpv/render.h>

namespace tav::suite {

struct MpvApi {
  decltype(&::mpv_create) create;
  decltype(&::mpv_initialize) initialize;
  decltype(&::mpv_terminate_destroy) terminate_destroy;
  decltype(&::mpv_set_option_string) set_option_string;
  decltype(&::mpv_request_log_messages) request_log_messages;
  decltype(&::mpv_observe_property) observe_property;
  decltype(&::mpv_set_wakeup_callback) set_wakeup_callback;
  decltype(&::mpv_wait_event) wait_event;
  decltype(&::mpv_error_string) error_string;
  decltype(&::mpv_command_async) command_async;
  decltype(&::mpv_set_property) set_property;
  decltype(&::mpv_set_property_async) set_property_async;
  decltype(&::mpv_set_property_string) set_property_string;
  decltype(&::mpv_get_property_string) get_property_string;
  decltype(&::mpv_free) free;
  decltype(&::mpv_render_context_create) render_context_create;
  decltype(&::mpv_render_context_free) render_context_free;
  decltype(&::mpv_render_context_render) render_context_render;
  decltype(&::mpv_render_context_set_update_callback) render_context_set_update_callback;
  decltype(&::mpv_render_context_update) render_context_update;
};

// Starts loading libmpv in the background; only the first call does.
void start_loading_mpv();

// libmpv's functions, once loaded: waits for the load under way (starting
// it if need be). nullptr when libmpv cannot be loaded; why is said on
// stderr once.
const MpvApi* load_mpv();

// The table of a load that succeeded: only after load_mpv() returned it
// (every mpv_handle there is comes after that).
const MpvApi& mpv_api();

}  // namespace tav::suite
