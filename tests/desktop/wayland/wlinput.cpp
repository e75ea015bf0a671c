// A pointer and a keyboard for the Wayland desktop scenarios, as a person has them: plugged into
// the compositor's seat through its virtual-pointer and virtual-keyboard interfaces (a headless
// compositor has no input devices of its own), used once, unplugged.
//   wlinput click X Y WIDTH HEIGHT   left click at X,Y of a WIDTH x HEIGHT output layout
//   wlinput key NAME...              press and release each key (Escape, Return, space, Tab)
// WAYLAND_DISPLAY names the compositor. Exit status 0 when the compositor took every request.
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "input-emulation-client-protocol.h"

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboards = nullptr;
};

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* g = static_cast<Globals*>(data);
    if (!g->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        g->pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        g->keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}
void OnGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

void Nap(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint32_t Now() {
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

int KeyCode(const std::string& name) {
    if (name == "Escape") return KEY_ESC;
    if (name == "Return") return KEY_ENTER;
    if (name == "space") return KEY_SPACE;
    if (name == "Tab") return KEY_TAB;
    return -1;
}

// An ordinary keymap (the defaults: evdev rules, pc105, us): with it Return and space press
// toolkit buttons, which a keymap of bare keysyms does not.
bool UploadKeymap(zwp_virtual_keyboard_v1* keyboard) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) return false;
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    bool ok = false;
    if (text) {
        const size_t size = std::strlen(text) + 1;
        const int fd = memfd_create("keymap", MFD_CLOEXEC);
        if (fd >= 0 && write(fd, text, size) == ssize_t(size)) {
            zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, uint32_t(size));
            ok = true;
        }
        if (fd >= 0) close(fd);
        std::free(text);
    }
    if (keymap) xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return ok;
}

int Fail(const char* what) {
    std::fprintf(stderr, "wlinput: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Fail("usage: wlinput click X Y WIDTH HEIGHT | wlinput key NAME...");
    const std::string command = argv[1];
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return Fail("cannot connect to the compositor");
    Globals g;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, &g);
    if (wl_display_roundtrip(display) < 0 || !g.seat) return Fail("no seat");

    if (command == "click") {
        if (argc != 6) return Fail("click X Y WIDTH HEIGHT");
        if (!g.pointers) return Fail("the compositor offers no virtual pointer");
        const uint32_t x = uint32_t(std::atoi(argv[2])), y = uint32_t(std::atoi(argv[3]));
        const uint32_t w = uint32_t(std::atoi(argv[4])), h = uint32_t(std::atoi(argv[5]));
        zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.pointers, g.seat);
        wl_display_roundtrip(display);
        // As with the keyboard, the first event of a pointer just plugged in can be lost while the
        // seat takes it up (the press then lands where the pointer was): the motion goes twice.
        Nap(100);
        for (int k = 0; k < 2; ++k) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, Now(), x, y, w, h);
            zwlr_virtual_pointer_v1_frame(pointer);
            wl_display_roundtrip(display);
            Nap(20);
        }
        // The toolkit sees the pointer enter before the press, as with a hand on a mouse.
        Nap(60);
        zwlr_virtual_pointer_v1_button(pointer, Now(), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        Nap(40);
        zwlr_virtual_pointer_v1_button(pointer, Now(), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        zwlr_virtual_pointer_v1_destroy(pointer);
    } else if (command == "key") {
        if (!g.keyboards) return Fail("the compositor offers no virtual keyboard");
        zwp_virtual_keyboard_v1* keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g.keyboards, g.seat);
        if (!UploadKeymap(keyboard)) return Fail("no keymap");
        wl_display_roundtrip(display);
        // The first key after a keyboard is plugged in can be lost while the seat takes it up.
        Nap(300);
        for (int i = 2; i < argc; ++i) {
            const int code = KeyCode(argv[i]);
            if (code < 0) return Fail("unknown key name");
            zwp_virtual_keyboard_v1_key(keyboard, Now(), uint32_t(code), WL_KEYBOARD_KEY_STATE_PRESSED);
            wl_display_roundtrip(display);
            Nap(40);
            zwp_virtual_keyboard_v1_key(keyboard, Now(), uint32_t(code), WL_KEYBOARD_KEY_STATE_RELEASED);
            wl_display_roundtrip(display);
            Nap(40);
        }
        zwp_virtual_keyboard_v1_destroy(keyboard);
    } else {
        return Fail("unknown command");
    }
    const bool ok = wl_display_roundtrip(display) >= 0;
    // Every proxy goes before the connection (a leak checker counts them otherwise).
    if (g.pointers) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(g.pointers));
    if (g.keyboards) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(g.keyboards));
    wl_proxy_destroy(reinterpret_cast<wl_proxy*>(g.seat));
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return ok ? 0 : Fail("the compositor closed the connection");
}
