// One integration test's private X desktop (see X11TestDesktop.h).

#include "harness/X11TestDesktop.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace corvane::testing {

std::unique_ptr<X11TestDesktop> X11TestDesktop::create(bool withWindowManager,
                                                       std::string& failure) {
    std::unique_ptr<X11TestDesktop> desktop(new X11TestDesktop());
    desktop->session_ = XvfbSession::start();
    if (!desktop->session_) {
        failure = "Xvfb could not be started (is it installed? scripts/install-deps.sh test)";
        return nullptr;
    }
    if (withWindowManager && !desktop->session_->startWindowManager()) {
        failure = "openbox did not come up (scripts/install-deps.sh test)";
        return nullptr;
    }
    const std::string& display = desktop->session_->display();
    desktop->connection_ = X11Connection::open(desktop->log_, display.c_str());
    desktop->helper_ = xcb_connect(display.c_str(), nullptr);
    if (!desktop->connection_ || xcb_connection_has_error(desktop->helper_)) {
        failure = "cannot connect to " + display;
        return nullptr;
    }
    xcb_ewmh_init_atoms_replies(&desktop->helperEwmh_,
                                xcb_ewmh_init_atoms(desktop->helper_, &desktop->helperEwmh_),
                                nullptr);
    desktop->reader_ = std::make_unique<X11DesktopReader>(*desktop->connection_);
    desktop->windowServer_ = std::make_unique<X11WindowServer>(*desktop->reader_);
    desktop->accessibility_ = std::make_unique<X11Accessibility>(*desktop->reader_);
    desktop->workspace_ = std::make_unique<X11Workspace>(*desktop->reader_);
    xkb_x11_setup_xkb_extension(desktop->helper_, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                nullptr, nullptr, nullptr, nullptr);
    desktop->xkbContext_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    desktop->keymap_ = xkb_x11_keymap_new_from_device(
        desktop->xkbContext_, desktop->helper_,
        xkb_x11_get_core_keyboard_device_id(desktop->helper_), XKB_KEYMAP_COMPILE_NO_FLAGS);
    return desktop;
}

X11TestDesktop::~X11TestDesktop() {
    xkb_keymap_unref(keymap_);
    xkb_context_unref(xkbContext_);
    workspace_.reset();
    accessibility_.reset();
    windowServer_.reset();
    reader_.reset();
    connection_.reset();
    if (helper_ != nullptr) {
        xcb_ewmh_connection_wipe(&helperEwmh_);
        xcb_disconnect(helper_);
    }
}

xcb_window_t X11TestDesktop::root() const {
    return xcb_setup_roots_iterator(xcb_get_setup(helper_)).data->root;
}

bool X11TestDesktop::pumpUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) {
    return XvfbSession::waitUntil(
        [&] {
            pollfd descriptor{connection_->fileDescriptor(), POLLIN, 0};
            poll(&descriptor, 1, 5);
            connection_->drain();
            return condition();
        },
        timeout);
}

bool X11TestDesktop::waitUntilManaged(const std::vector<std::uint32_t>& windows) {
    return XvfbSession::waitUntil(
        [&] {
            xcb_ewmh_get_windows_reply_t list{};
            if (!xcb_ewmh_get_client_list_stacking_reply(
                    &helperEwmh_, xcb_ewmh_get_client_list_stacking(&helperEwmh_, 0), &list,
                    nullptr))
                return false;
            std::size_t found = 0;
            for (std::uint32_t window : windows) {
                for (std::uint32_t i = 0; i < list.windows_len; ++i)
                    found += list.windows[i] == window;
            }
            xcb_ewmh_get_windows_reply_wipe(&list);
            return found == windows.size();
        },
        std::chrono::seconds(20)); // openbox can be slow on a loaded machine
}

xcb_window_t X11TestDesktop::activeWindow() {
    xcb_window_t active = 0;
    xcb_ewmh_get_active_window_reply(&helperEwmh_, xcb_ewmh_get_active_window(&helperEwmh_, 0),
                                     &active, nullptr);
    return active;
}

std::uint32_t X11TestDesktop::currentDesktop() {
    std::uint32_t desktop = 0;
    xcb_ewmh_get_current_desktop_reply(&helperEwmh_, xcb_ewmh_get_current_desktop(&helperEwmh_, 0),
                                       &desktop, nullptr);
    return desktop;
}

bool X11TestDesktop::isViewable(xcb_window_t window) {
    auto* reply = xcb_get_window_attributes_reply(
        helper_, xcb_get_window_attributes(helper_, window), nullptr);
    const bool viewable = reply != nullptr && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
}

void X11TestDesktop::setProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                 int format, const void* data, std::uint32_t count) {
    xcb_change_property(helper_, XCB_PROP_MODE_REPLACE, window, property, type,
                        static_cast<std::uint8_t>(format), count, data);
    syncHelper();
}

xcb_atom_t X11TestDesktop::atom(const char* name) {
    auto* reply = xcb_intern_atom_reply(
        helper_, xcb_intern_atom(helper_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return result;
}

std::uint8_t X11TestDesktop::keycodeFor(std::uint32_t keysym) {
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_);
         key <= xkb_keymap_max_keycode(keymap_); ++key) {
        const xkb_keysym_t* syms = nullptr;
        if (xkb_keymap_key_get_syms_by_level(keymap_, key, 0, 0, &syms) > 0 && syms[0] == keysym)
            return static_cast<std::uint8_t>(key);
    }
    return 0;
}

void X11TestDesktop::press(std::uint32_t keysym) {
    xcb_test_fake_input(helper_, XCB_KEY_PRESS, keycodeFor(keysym), XCB_CURRENT_TIME, XCB_NONE, 0,
                        0, 0);
    syncHelper();
}

void X11TestDesktop::release(std::uint32_t keysym) {
    xcb_test_fake_input(helper_, XCB_KEY_RELEASE, keycodeFor(keysym), XCB_CURRENT_TIME, XCB_NONE, 0,
                        0, 0);
    syncHelper();
}

void X11TestDesktop::tap(std::uint32_t keysym) {
    press(keysym);
    release(keysym);
}

void X11TestDesktop::syncHelper() {
    std::free(xcb_get_input_focus_reply(helper_, xcb_get_input_focus(helper_), nullptr));
}

std::vector<std::string> readLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

} // namespace corvane::testing
