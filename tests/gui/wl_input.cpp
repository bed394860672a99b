// A pointer and a keyboard for the desktop tests under a Wayland
// compositor that has no input devices of its own (headless): a virtual
// pointer (zwlr_virtual_pointer_v1) and a virtual keyboard
// (zwp_virtual_keyboard_v1, a US layout) that stay while this program runs,
// driven by lines on standard input. Devices that came and went with each
// action would take the seat's pointer or keyboard away from the windows
// every time. Each line is answered with "ok" once the compositor has the
// events, or "error" for a line it does not know.
//
//   move X Y        the pointer to X, Y on the screen given at the start
//   press [BUTTON]  BUTTON down (1 left, 2 middle, 3 right; 1 when none)
//   release [BUTTON]
//   wheel N         N notches towards the user (negative: away)
//   key NAME...     types the keys, by their keysym names (space, Left,
//                   Escape, Return, a ...)
//
// Usage: wl_input SCREEN_WIDTH SCREEN_HEIGHT (WAYLAND_DISPLAY names the
// compositor).
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

namespace {

// The protocol's interfaces, as its description has them (only the
// requests are used here).
extern const wl_interface virtual_pointer_interface;

const wl_interface* create_types[] = {&wl_seat_interface, &virtual_pointer_interface};
const wl_interface* create_with_output_types[] = {&wl_seat_interface, &wl_output_interface,
                                                  &virtual_pointer_interface};
const wl_message manager_requests[] = {
    {"create_virtual_pointer", "?on", create_types},
    {"destroy", "", nullptr},
    {"create_virtual_pointer_with_output", "2?o?on", create_with_output_types},
};
const wl_interface* no_types[] = {nullptr, nullptr, nullptr, nullptr, nullptr};
const wl_message pointer_requests[] = {
    {"motion", "uff", no_types},
    {"motion_absolute", "uuuuu", no_types},
    {"button", "uuu", no_types},
    {"axis", "uuf", no_types},
    {"frame", "", no_types},
    {"axis_source", "u", no_types},
    {"axis_stop", "uu", no_types},
    {"axis_discrete", "uufi", no_types},
    {"destroy", "", no_types},
};
const wl_interface manager_interface = {"zwlr_virtual_pointer_manager_v1", 2, 3, manager_requests,
                                        0, nullptr};
const wl_interface virtual_pointer_interface = {"zwlr_virtual_pointer_v1", 2, 9, pointer_requests,
                                                0, nullptr};

extern const wl_interface virtual_keyboard_interface;
const wl_interface* keyboard_create_types[] = {&wl_seat_interface, &virtual_keyboard_interface};
const wl_message keyboard_manager_requests[] = {
    {"create_virtual_keyboard", "on", keyboard_create_types},
};
const wl_message keyboard_requests[] = {
    {"keymap", "uhu", no_types},
    {"key", "uuu", no_types},
    {"modifiers", "uuuu", no_types},
    {"destroy", "", no_types},
};
const wl_interface keyboard_manager_interface = {"zwp_virtual_keyboard_manager_v1", 1, 1,
                                                 keyboard_manager_requests, 0, nullptr};
const wl_interface virtual_keyboard_interface = {"zwp_virtual_keyboard_v1", 1, 4, keyboard_requests,
                                                 0, nullptr};
enum KeyboardRequest : std::uint32_t { kKeymap = 0, kKey = 1 };

enum Request : std::uint32_t { kMotionAbsolute = 1, kButton = 2, kAxis = 3, kFrame = 4, kAxisSource = 5,
                               kAxisDiscrete = 7 };

wl_seat* seat = nullptr;
wl_proxy* manager = nullptr;
std::uint32_t manager_version = 1;
wl_proxy* keyboard_manager = nullptr;

void global(void*, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
  if (std::strcmp(interface, "wl_seat") == 0 && !seat)
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  if (std::strcmp(interface, manager_interface.name) == 0) {
    manager_version = version < 2 ? version : 2;
    manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &manager_interface, manager_version));
  }
  if (std::strcmp(interface, keyboard_manager_interface.name) == 0)
    keyboard_manager = static_cast<wl_proxy*>(wl_registry_bind(registry, name, &keyboard_manager_interface, 1));
}
void global_remove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener registry_listener = {global, global_remove};

std::uint32_t now_ms() {
  using namespace std::chrono;
  return static_cast<std::uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Linux's codes of the buttons.
std::uint32_t button_code(int button) {
  switch (button) {
    case 2: return 0x112;  // BTN_MIDDLE
    case 3: return 0x111;  // BTN_RIGHT
    default: return 0x110;  // BTN_LEFT
  }
}

// The US layout, handed to the compositor as the keyboard's keymap; the
// keys are found in it by their keysyms.
struct Keys {
  xkb_context* context = nullptr;
  xkb_keymap* keymap = nullptr;

  bool make() {
    context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names = {"evdev", "pc105", "us", "", ""};
    keymap = context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
    return keymap != nullptr;
  }
  // Sends the keymap through a file of its own.
  bool hand_to(wl_proxy* keyboard) const {
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!text) return false;
    const std::size_t size = std::strlen(text) + 1;
    const int fd = memfd_create("keymap", MFD_CLOEXEC);
    const bool written = fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size);
    std::free(text);
    if (!written) return false;
    wl_proxy_marshal_flags(keyboard, kKeymap, nullptr, 1, 0, XKB_KEYMAP_FORMAT_TEXT_V1, fd,
                           static_cast<std::uint32_t>(size));
    close(fd);
    return true;
  }
  // The evdev code of the key that gives the keysym without modifiers; -1
  // when no key does.
  int code_of(const std::string& name) const {
    const xkb_keysym_t wanted = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS);
    if (wanted == XKB_KEY_NoSymbol) return -1;
    for (xkb_keycode_t code = xkb_keymap_min_keycode(keymap); code <= xkb_keymap_max_keycode(keymap); ++code) {
      const xkb_keysym_t* syms = nullptr;
      const int n = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &syms);
      for (int i = 0; i < n; ++i)
        if (syms[i] == wanted) return static_cast<int>(code) - 8;
    }
    return -1;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SCREEN_WIDTH SCREEN_HEIGHT\n", argv[0]);
    return 2;
  }
  const std::uint32_t width = static_cast<std::uint32_t>(std::atoi(argv[1]));
  const std::uint32_t height = static_cast<std::uint32_t>(std::atoi(argv[2]));
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "wl_input: no Wayland compositor\n");
    return 1;
  }
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, nullptr);
  wl_display_roundtrip(display);
  if (!manager || !keyboard_manager || !seat) {
    std::fprintf(stderr, "wl_input: the compositor has no virtual pointers or keyboards\n");
    return 1;
  }
  wl_proxy* pointer = wl_proxy_marshal_flags(manager, 0, &virtual_pointer_interface,
                                             manager_version, 0, seat, nullptr);
  Keys keys;
  if (!keys.make()) {
    std::fprintf(stderr, "wl_input: no US keymap (xkb-data)\n");
    return 1;
  }
  wl_proxy* keyboard = wl_proxy_marshal_flags(keyboard_manager, 0, &virtual_keyboard_interface, 1,
                                              0, seat, nullptr);
  if (!keys.hand_to(keyboard)) return 1;
  wl_display_roundtrip(display);
  std::cout << "ready" << std::endl;

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string what;
    in >> what;
    const std::uint32_t version = wl_proxy_get_version(pointer);
    bool known = true;
    if (what == "move") {
      int x = 0, y = 0;
      in >> x >> y;
      wl_proxy_marshal_flags(pointer, kMotionAbsolute, nullptr, version, 0, now_ms(),
                             static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), width, height);
    } else if (what == "press" || what == "release") {
      int button = 1;
      in >> button;
      wl_proxy_marshal_flags(pointer, kButton, nullptr, version, 0, now_ms(), button_code(button),
                             what == "press" ? 1u : 0u);
    } else if (what == "wheel") {
      int notches = 0;
      in >> notches;
      wl_proxy_marshal_flags(pointer, kAxisSource, nullptr, version, 0, 0u /* wheel */);
      wl_proxy_marshal_flags(pointer, kAxisDiscrete, nullptr, version, 0, now_ms(), 0u /* vertical */,
                             wl_fixed_from_int(15 * notches), notches);
    } else if (what == "key") {
      for (std::string name; in >> name;) {
        const int code = keys.code_of(name);
        if (code < 0) {
          known = false;
          break;
        }
        for (std::uint32_t state : {1u, 0u})
          wl_proxy_marshal_flags(keyboard, kKey, nullptr, 1, 0, now_ms(),
                                 static_cast<std::uint32_t>(code), state);
        wl_display_roundtrip(display);
      }
    } else {
      known = false;
    }
    if (known) {
      wl_proxy_marshal_flags(pointer, kFrame, nullptr, version, 0);
      wl_display_roundtrip(display);
    }
    std::cout << (known ? "ok" : "error") << std::endl;
  }
  wl_display_disconnect(display);
  return 0;
}
