// Corvane's own xcb connection (see X11Connection.h).

#include "platform/x11/X11Connection.h"

#include "platform/SystemLog.h"
#include "platform/x11/X11Replies.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <xcb/res.h>
#include <xkbcommon/xkbcommon-x11.h>

namespace corvane {

std::unique_ptr<X11Connection> X11Connection::open(SystemLog& log, const char* displayName) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(displayName, &screenNumber);
    const char* shown = displayName ? displayName : std::getenv("DISPLAY");
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        log.log(std::string("Corvane: cannot connect to the X display ") +
                (shown ? shown : "(DISPLAY is not set)"));
        return nullptr;
    }
    std::unique_ptr<X11Connection> result(new X11Connection(connection, screenNumber, log));
    result->displayName_ = shown ? shown : "";
    if (result->screen_ == nullptr) {
        log.log("Corvane: the X display reports no screen");
        return nullptr;
    }
    return result;
}

X11Connection::X11Connection(xcb_connection_t* connection, int screenNumber, SystemLog& log)
    : connection_(connection), screenNumber_(screenNumber), log_(log) {
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; screens.rem > 0; ++i, xcb_screen_next(&screens)) {
        if (i == screenNumber)
            screen_ = screens.data;
    }
    xcb_ewmh_init_atoms_replies(&ewmh_, xcb_ewmh_init_atoms(connection, &ewmh_), nullptr);
    setUpExtensions();
}

X11Connection::~X11Connection() {
    xcb_ewmh_connection_wipe(&ewmh_);
    xcb_disconnect(connection_);
}

void X11Connection::setUpExtensions() {
    xcb_prefetch_extension_data(connection_, &xcb_res_id);
    std::uint16_t major = 0, minor = 0;
    std::uint8_t firstError = 0;
    hasXkb_ = xkb_x11_setup_xkb_extension(connection_, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                          XKB_X11_MIN_MINOR_XKB_VERSION,
                                          XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, &major, &minor,
                                          &xkbFirstEvent_, &firstError) == 1;
    if (hasXkb_)
        xkbDeviceId_ = xkb_x11_get_core_keyboard_device_id(connection_);
    hasXkb_ = hasXkb_ && xkbDeviceId_ >= 0;
    const auto* res = xcb_get_extension_data(connection_, &xcb_res_id);
    hasXRes_ = res != nullptr && res->present;
}

int X11Connection::fileDescriptor() const {
    return xcb_get_file_descriptor(connection_);
}

void X11Connection::drain() {
    ++generation_;
    if (isLost_)
        return;
    while (auto event = XcbReply<xcb_generic_event_t>(xcb_poll_for_event(connection_))) {
        tellListeners([&](X11EventListener& listener) { listener.handleX11Event(*event); });
    }
    checkAlive();
    if (!hasSettled_ || isDrainingForSettle_)
        return;
    hasSettled_ = false;
    tellListeners([](X11EventListener& listener) { listener.settleHasPassed(); });
}

void X11Connection::tellListeners(const std::function<void(X11EventListener&)>& tell) {
    // A listener may remove itself (or another) while it is told.
    const auto listeners = listeners_;
    for (X11EventListener* listener : listeners) {
        if (std::find(listeners_.begin(), listeners_.end(), listener) != listeners_.end())
            tell(*listener);
    }
}

void X11Connection::settle() {
    if (isLost_)
        return;
    if (settleAhead_) {
        const XcbReply<xcb_get_input_focus_reply_t> answer(
            xcb_get_input_focus_reply(connection_, *settleAhead_, nullptr));
        settleAhead_.reset();
    } else {
        awaitAllReplies(connection_);
    }
    isDrainingForSettle_ = true;
    drain();
    isDrainingForSettle_ = false;
    hasSettled_ = true;
}

void X11Connection::settleAhead() {
    if (isLost_)
        return;
    if (settleAhead_)
        xcb_discard_reply(connection_, settleAhead_->sequence);
    settleAhead_ = xcb_get_input_focus(connection_);
}

bool X11Connection::checkAlive() {
    if (isLost_)
        return false;
    const int error = xcb_connection_has_error(connection_);
    if (error == 0)
        return true;
    isLost_ = true;
    log_.log("Corvane: lost the connection to the X server (xcb error " + std::to_string(error) +
             "); keyboard interception has ended, exiting");
    if (onConnectionLost)
        onConnectionLost();
    return false;
}

void X11Connection::addListener(X11EventListener* listener) {
    listeners_.push_back(listener);
}

void X11Connection::removeListener(X11EventListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

} // namespace corvane
