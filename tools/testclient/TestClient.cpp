// corvane-testclient: a small X11 client that opens windows the way Corvane's demo, tests and
// benchmarks need them, and records the keys it receives.
//
// Usage: corvane-testclient [options] --window TITLE [[options] --window TITLE ...]
//
// Options set the look of every window created after them (they stick until changed):
//   --class INSTANCE,CLASS  WM_CLASS (default "testclient,TestClient")
//   --pid N                 _NET_WM_PID to claim (default: the real pid); --no-pid sets none.
//                           Corvane prefers the X-Resource client pid, so a fake pid only
//                           shows where the server lacks that extension.
//   --icon SIZE             a SIZE x SIZE _NET_WM_ICON in a colour derived from the title
//   --icon-claim WxH        a _NET_WM_ICON that claims W x H but carries only 16 pixels
//   --no-icon               no icon (default)
//   --minimized / --normal  start iconic (WM_HINTS initial state) or normal (default)
//   --desktop N             _NET_WM_DESKTOP asked for (0xFFFFFFFF: all desktops)
//   --count N               the next --window makes N windows; "{n}" in its title becomes 1..N
// Other options:
//   --keys FILE             append one line per key event the windows receive:
//                           "press|release KEYSYM KEYCODE STATE WINDOW" (KEYSYM at level 0)
//   --window TITLE          creates and maps a window with the current settings
//
// Once every window is mapped it prints each window id in decimal, one per line, then "ready",
// and flushes. It runs until SIGTERM/SIGINT or until the X connection closes.

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) {
    stopRequested = 1;
}

struct WindowSettings {
    std::string instance = "testclient";
    std::string windowClass = "TestClient";
    long pid = -1; // -1: the real pid; -2: none
    int iconSize = 0;
    int claimedWidth = 0, claimedHeight = 0;
    bool minimized = false;
    long desktop = -1;
};

std::uint32_t colourFor(const std::string& title) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : title)
        hash = (hash ^ c) * 16777619u;
    return 0xFF000000u | (hash & 0x00FFFFFFu);
}

class Client {
  public:
    explicit Client(xcb_connection_t* connection) : connection_(connection) {
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        xcb_ewmh_init_atoms_replies(&ewmh_, xcb_ewmh_init_atoms(connection, &ewmh_), nullptr);
    }
    ~Client() {
        xkb_keymap_unref(keymap_);
        xkb_context_unref(context_);
        xcb_ewmh_connection_wipe(&ewmh_);
    }

    xcb_window_t createWindow(const std::string& title, const WindowSettings& settings) {
        xcb_window_t window = xcb_generate_id(connection_);
        std::uint32_t values[] = {colourFor(title) & 0x00FFFFFFu, XCB_EVENT_MASK_KEY_PRESS |
                                                                      XCB_EVENT_MASK_KEY_RELEASE |
                                                                      XCB_EVENT_MASK_FOCUS_CHANGE};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen_->root, 40, 40, 320,
                          200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
        xcb_ewmh_set_wm_name(&ewmh_, window, title.size(), title.data());
        xcb_icccm_set_wm_name(connection_, window, XCB_ATOM_STRING, 8, title.size(), title.data());
        std::string classValue = settings.instance + '\0' + settings.windowClass + '\0';
        xcb_icccm_set_wm_class(connection_, window, classValue.size(), classValue.data());
        long pid = settings.pid == -1 ? getpid() : settings.pid;
        if (settings.pid != -2)
            xcb_ewmh_set_wm_pid(&ewmh_, window, static_cast<std::uint32_t>(pid));
        if (settings.desktop >= 0)
            xcb_ewmh_set_wm_desktop(&ewmh_, window, static_cast<std::uint32_t>(settings.desktop));
        setIcon(window, title, settings);
        xcb_icccm_wm_hints_t hints{};
        xcb_icccm_wm_hints_set_input(&hints, 1);
        if (settings.minimized)
            xcb_icccm_wm_hints_set_iconic(&hints);
        else
            xcb_icccm_wm_hints_set_normal(&hints);
        xcb_icccm_set_wm_hints(connection_, window, &hints);
        xcb_map_window(connection_, window);
        windows_.push_back(window);
        return window;
    }

    void recordKeysTo(const char* path) {
        keys_ = std::fopen(path, "a");
        xkb_x11_setup_xkb_extension(
            connection_, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr);
        context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection_);
        if (context_ && device >= 0)
            keymap_ = xkb_x11_keymap_new_from_device(context_, connection_, device,
                                                     XKB_KEYMAP_COMPILE_NO_FLAGS);
    }

    // Waits for events until asked to stop; records keys when a file was given.
    int run() {
        pollfd descriptor{xcb_get_file_descriptor(connection_), POLLIN, 0};
        while (!stopRequested) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                handle(event);
                std::free(event);
            }
            if (xcb_connection_has_error(connection_))
                return 1;
            poll(&descriptor, 1, 200);
        }
        return 0;
    }

  private:
    void setIcon(xcb_window_t window, const std::string& title, const WindowSettings& settings) {
        if (settings.claimedWidth > 0) {
            std::vector<std::uint32_t> data = {std::uint32_t(settings.claimedWidth),
                                               std::uint32_t(settings.claimedHeight)};
            data.resize(2 + 16, colourFor(title));
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, ewmh_._NET_WM_ICON,
                                XCB_ATOM_CARDINAL, 32, data.size(), data.data());
        } else if (settings.iconSize > 0) {
            std::vector<std::uint32_t> pixels(std::size_t(settings.iconSize) * settings.iconSize,
                                              colourFor(title));
            std::vector<std::uint32_t> data = {std::uint32_t(settings.iconSize),
                                               std::uint32_t(settings.iconSize)};
            data.insert(data.end(), pixels.begin(), pixels.end());
            xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, ewmh_._NET_WM_ICON,
                                XCB_ATOM_CARDINAL, 32, data.size(), data.data());
        }
    }

    void handle(xcb_generic_event_t* event) {
        int type = event->response_type & 0x7F;
        if ((type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) || !keys_)
            return;
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        char name[64] = "unknown";
        const xkb_keysym_t* syms = nullptr;
        if (keymap_ && xkb_keymap_key_get_syms_by_level(keymap_, key->detail, 0, 0, &syms) > 0)
            xkb_keysym_get_name(syms[0], name, sizeof name);
        // One line per event: press|release, the key's base keysym, keycode, modifier state,
        // window.
        std::fprintf(keys_, "%s %s %u %u %u\n", type == XCB_KEY_PRESS ? "press" : "release", name,
                     unsigned(key->detail), unsigned(key->state), unsigned(key->event));
        std::fflush(keys_);
    }

    xcb_connection_t* connection_;
    xcb_screen_t* screen_;
    xcb_ewmh_connection_t ewmh_{};
    std::vector<xcb_window_t> windows_;
    std::FILE* keys_ = nullptr;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
};

bool parseSize(const char* text, int& width, int& height) {
    return std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0;
}

constexpr const char* kUsage =
    "usage: corvane-testclient [options] --window TITLE [[options] --window TITLE ...]\n"
    "  sticky window options: --class INSTANCE,CLASS  --pid N | --no-pid  --icon SIZE\n"
    "                         --icon-claim WxH  --no-icon  --minimized | --normal\n"
    "                         --desktop N  --count N (\"{n}\" in the next title: 1..N)\n"
    "  --keys FILE  append \"press|release KEYSYM KEYCODE STATE WINDOW\" per key event\n"
    "Prints each window id, then \"ready\"; runs until SIGTERM or the display closes.\n";

int usage(const char* problem) {
    std::fprintf(stderr, "corvane-testclient: %s\n%s", problem, kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        return usage("cannot open the display");
    Client client(connection);
    WindowSettings settings;
    int count = 1;
    std::vector<xcb_window_t> created;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needsValue = [&] { return value != nullptr && (++i, true); };
        if (option == "--minimized") {
            settings.minimized = true;
        } else if (option == "--normal") {
            settings.minimized = false;
        } else if (option == "--no-pid") {
            settings.pid = -2;
        } else if (option == "--no-icon") {
            settings.iconSize = settings.claimedWidth = 0;
        } else if (!needsValue()) {
            return usage(("unknown option or missing value: " + option).c_str());
        } else if (option == "--class") {
            std::string text = value;
            auto comma = text.find(',');
            settings.instance = text.substr(0, comma);
            settings.windowClass = comma == std::string::npos ? text : text.substr(comma + 1);
        } else if (option == "--pid") {
            settings.pid = std::strtol(value, nullptr, 10);
        } else if (option == "--icon") {
            settings.iconSize = std::atoi(value);
            settings.claimedWidth = 0;
        } else if (option == "--icon-claim") {
            if (!parseSize(value, settings.claimedWidth, settings.claimedHeight))
                return usage("--icon-claim wants WxH");
        } else if (option == "--desktop") {
            settings.desktop = std::strtol(value, nullptr, 0);
        } else if (option == "--count") {
            count = std::max(1, std::atoi(value));
        } else if (option == "--keys") {
            client.recordKeysTo(value);
        } else if (option == "--window") {
            for (int n = 1; n <= count; ++n) {
                std::string title = value;
                if (auto at = title.find("{n}"); at != std::string::npos)
                    title.replace(at, 3, std::to_string(n));
                created.push_back(client.createWindow(title, settings));
            }
            count = 1;
        } else {
            return usage(("unknown option: " + option).c_str());
        }
    }
    // A round trip makes sure the server has every window before anyone is told about it.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    for (xcb_window_t window : created)
        std::printf("%u\n", unsigned(window));
    std::printf("ready\n");
    std::fflush(stdout);
    int status = client.run();
    xcb_disconnect(connection);
    return status;
}
