// The X11 tests' desktop with Corvane's backend (see X11TestDesktop.h).

#include "harness/X11TestDesktop.h"

#include "platform/x11/X11Replies.h"

#include <algorithm>
#include <cstdlib>
#include <poll.h>
#include <xcb/xtest.h>

namespace corvane::testing {

std::unique_ptr<X11TestDesktop> X11TestDesktop::create(bool withWindowManager, std::string& failure,
                                                       int heads, const std::string& logDir) {
    std::unique_ptr<X11TestDesktop> desktop(new X11TestDesktop());
    if (!desktop->start(withWindowManager, failure, heads, logDir))
        return nullptr;
    auto connection = X11Connection::open(desktop->log_, desktop->display().c_str());
    if (!connection) {
        failure = "Corvane cannot connect to " + desktop->display();
        return nullptr;
    }
    desktop->backend_ = std::make_unique<X11Backend>(std::move(connection));
    return desktop;
}

std::vector<WindowInfo> X11TestDesktop::enumerate() {
    connection().drain();
    return enumerateWindows(catalogue());
}

bool X11TestDesktop::pumpUntil(const std::function<bool()>& condition,
                               std::chrono::milliseconds timeout) {
    return waitUntil(
        [&] {
            pollfd descriptor{connection().fileDescriptor(), POLLIN, 0};
            poll(&descriptor, 1, 5);
            connection().drain();
            return condition();
        },
        timeout);
}

xcb_window_t X11TestDesktop::activeWindow() {
    xcb_window_t active = 0;
    xcb_ewmh_get_active_window_reply(&helperEwmh(), xcb_ewmh_get_active_window(&helperEwmh(), 0),
                                     &active, nullptr);
    return active;
}

std::uint32_t X11TestDesktop::currentDesktop() {
    std::uint32_t desktop = 0;
    xcb_ewmh_get_current_desktop_reply(
        &helperEwmh(), xcb_ewmh_get_current_desktop(&helperEwmh(), 0), &desktop, nullptr);
    return desktop;
}

bool X11TestDesktop::isViewable(xcb_window_t window) {
    auto* reply = xcb_get_window_attributes_reply(
        helper(), xcb_get_window_attributes(helper(), window), nullptr);
    const bool viewable = reply != nullptr && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
}

void X11TestDesktop::setProperty(xcb_window_t window, const char* property, xcb_atom_t type,
                                 int format, const void* data, std::size_t count) {
    xcb_change_property(helper(), XCB_PROP_MODE_REPLACE, window, atom(property), type,
                        static_cast<std::uint8_t>(format), static_cast<std::uint32_t>(count), data);
    syncHelper();
}

void X11TestDesktop::playWindowManager(const std::vector<xcb_window_t>& windows, int depth) {
    xcb_connection_t* c = helper();
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    for (xcb_window_t window : windows) {
        xcb_window_t parent = screen->root;
        for (int level = 0; level < depth; ++level) {
            const xcb_window_t frame = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, frame, parent, 0, 0, 400, 300, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
            xcb_map_window(c, frame);
            if (level == 0)
                frames_[window] = frame;
            parent = frame;
        }
        xcb_reparent_window(c, window, parent, 0, 0);
    }
    const xcb_window_t check = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, check, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    setProperty(check, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 32, &check, 1);
    setProperty(check, "_NET_WM_NAME", atom("UTF8_STRING"), 8, "Corvane test manager", 20);
    setProperty(screen->root, "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, 32, &check, 1);
    const xcb_atom_t supported[] = {atom("_NET_ACTIVE_WINDOW"), atom("_NET_CLIENT_LIST_STACKING")};
    setProperty(screen->root, "_NET_SUPPORTED", XCB_ATOM_ATOM, 32, supported, 2);
    setProperty(screen->root, "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW, 32, windows.data(),
                windows.size());
}

void X11TestDesktop::stackFrames(const std::vector<xcb_window_t>& bottomToTop) {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    for (xcb_window_t window : bottomToTop)
        xcb_configure_window(helper(), frames_.at(window), XCB_CONFIG_WINDOW_STACK_MODE, &above);
    syncHelper();
}

void X11TestDesktop::announceActive(xcb_window_t window) {
    setProperty(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 32, &window, 1);
}

void X11TestDesktop::listenToRoot() {
    const std::uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(helper(), root(), XCB_CW_EVENT_MASK, &events);
    syncHelper();
}

std::vector<std::pair<xcb_atom_t, xcb_window_t>> X11TestDesktop::rootMessages() {
    // Corvane's requests are handled before the helper's next one is answered.
    xcb_connection_t* corvane = connection().xcb();
    std::free(xcb_get_input_focus_reply(corvane, xcb_get_input_focus(corvane), nullptr));
    syncHelper();
    std::vector<std::pair<xcb_atom_t, xcb_window_t>> messages;
    while (xcb_generic_event_t* event = xcb_poll_for_event(helper())) {
        const auto& message = *reinterpret_cast<xcb_client_message_event_t*>(event);
        if ((event->response_type & 0x7F) == XCB_CLIENT_MESSAGE)
            messages.emplace_back(message.type, message.window);
        std::free(event);
    }
    return messages;
}

namespace {

struct KeyboardMapping {
    XcbReply<xcb_get_keyboard_mapping_reply_t> reply;
    int perKey = 0;
    const xcb_keysym_t* syms = nullptr;
};

KeyboardMapping keyboardMapping(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    KeyboardMapping mapping;
    mapping.reply.reset(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr));
    if (mapping.reply) {
        mapping.perKey = mapping.reply->keysyms_per_keycode;
        mapping.syms = xcb_get_keyboard_mapping_keysyms(mapping.reply.get());
    }
    return mapping;
}

} // namespace

std::uint8_t X11TestDesktop::keycodeFor(std::uint32_t keysym) {
    const KeyboardMapping mapping = keyboardMapping(helper());
    const xcb_setup_t* setup = xcb_get_setup(helper());
    for (int key = setup->min_keycode; mapping.reply && key <= setup->max_keycode; ++key) {
        if (mapping.syms[(key - setup->min_keycode) * mapping.perKey] == keysym)
            return static_cast<std::uint8_t>(key);
    }
    return 0;
}

std::uint8_t X11TestDesktop::spareKeycode() {
    const KeyboardMapping mapping = keyboardMapping(helper());
    const xcb_setup_t* setup = xcb_get_setup(helper());
    for (int key = setup->max_keycode; mapping.reply && key >= setup->min_keycode; --key) {
        const xcb_keysym_t* row = mapping.syms + (key - setup->min_keycode) * mapping.perKey;
        if (std::all_of(row, row + mapping.perKey, [](xcb_keysym_t sym) { return sym == 0; }))
            return static_cast<std::uint8_t>(key);
    }
    return 0;
}

void X11TestDesktop::bindKeycode(std::uint8_t keycode, std::uint32_t keysym) {
    const KeyboardMapping mapping = keyboardMapping(helper());
    std::vector<xcb_keysym_t> row(static_cast<std::size_t>(std::max(mapping.perKey, 1)), 0);
    row[0] = keysym;
    xcb_change_keyboard_mapping(helper(), 1, keycode, static_cast<std::uint8_t>(row.size()),
                                row.data());
    syncHelper();
}

void X11TestDesktop::fakeKey(std::uint8_t type, std::uint32_t keysym) {
    xcb_test_fake_input(helper(), type, keycodeFor(keysym), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    syncHelper();
}

const WindowInfo* findTitle(const std::vector<WindowInfo>& list, const std::string& title) {
    auto at = std::find_if(list.begin(), list.end(),
                           [&](const WindowInfo& w) { return w.windowTitle == title; });
    return at == list.end() ? nullptr : &*at;
}

} // namespace corvane::testing
