// The running instance's selection (see X11InstanceSelection.h).

#include "platform/x11/X11InstanceSelection.h"

#include "platform/SystemLog.h"
#include "platform/x11/X11Replies.h"

#include <cstring>
#include <string>
#include <unistd.h>

namespace corvane {

namespace {

xcb_window_t selectionOwner(xcb_connection_t* c, xcb_atom_t selection) {
    XcbReply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    return reply ? reply->owner : xcb_window_t{XCB_WINDOW_NONE};
}

void logAlreadyRunning(X11Connection& connection, xcb_window_t owner) {
    xcb_connection_t* c = connection.xcb();
    const auto pid =
        cardinalOf(takeProperty(c, requestProperty(c, owner, connection.ewmh()._NET_WM_PID, 1)));
    connection.log().log("Corvane: already running on display " + connection.displayName() +
                         " (pid " + (pid ? std::to_string(*pid) : std::string("unknown")) +
                         "); this instance exits");
}

// The server time of a change to window, as ICCCM asks for SetSelectionOwner (CurrentTime
// could let an older request win over a newer one).
xcb_timestamp_t serverTimeVia(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_flush(c);
    // Nothing else has asked for events yet: whatever arrives before the notification is
    // nobody's.
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        XcbReply<xcb_generic_event_t> owned(event);
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            continue;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*event);
        if (notify.window == window)
            return notify.time;
    }
    return XCB_CURRENT_TIME;
}

} // namespace

std::unique_ptr<X11InstanceSelection> X11InstanceSelection::claim(X11Connection& connection) {
    xcb_connection_t* c = connection.xcb();
    const xcb_atom_t selection =
        internAtom(c, "CORVANE_S" + std::to_string(connection.screenNumber()));
    if (const xcb_window_t owner = selectionOwner(c, selection); owner != XCB_WINDOW_NONE) {
        logAlreadyRunning(connection, owner);
        return nullptr;
    }
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {1, XCB_EVENT_MASK_PROPERTY_CHANGE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, connection.root(), -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT,
                      XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    const char name[] = "Corvane";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        std::strlen(name), name);
    const xcb_timestamp_t time = serverTimeVia(c, window, connection.ewmh()._NET_WM_PID);
    xcb_set_selection_owner(c, window, selection, time);
    // Two instances started at once may both have found no owner; only one of them gets it.
    if (const xcb_window_t owner = selectionOwner(c, selection); owner != window) {
        xcb_destroy_window(c, window);
        xcb_flush(c);
        if (owner == XCB_WINDOW_NONE && !connection.checkAlive())
            return nullptr;
        logAlreadyRunning(connection, owner);
        return nullptr;
    }
    xcb_client_message_event_t announce{};
    announce.response_type = XCB_CLIENT_MESSAGE;
    announce.format = 32;
    announce.window = connection.root();
    announce.type = internAtom(c, "MANAGER");
    announce.data.data32[0] = time;
    announce.data.data32[1] = selection;
    announce.data.data32[2] = window;
    xcb_send_event(c, 0, connection.root(), XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&announce));
    xcb_flush(c);
    return std::unique_ptr<X11InstanceSelection>(
        new X11InstanceSelection(connection, selection, window));
}

X11InstanceSelection::X11InstanceSelection(X11Connection& connection, xcb_atom_t selection,
                                           xcb_window_t window)
    : connection_(connection), selection_(selection), window_(window) {
    connection_.addListener(this);
}

X11InstanceSelection::~X11InstanceSelection() {
    connection_.removeListener(this);
    if (connection_.isLost())
        return;
    // Destroying the owner window gives the selection up at once, before the process is gone.
    xcb_destroy_window(connection_.xcb(), window_);
    xcb_flush(connection_.xcb());
}

void X11InstanceSelection::handleX11Event(const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7F) != XCB_SELECTION_CLEAR || isLost_)
        return;
    const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
    if (clear.owner != window_ || clear.selection != selection_)
        return;
    isLost_ = true;
    connection_.log().log("Corvane: another program took over the CORVANE_S" +
                          std::to_string(connection_.screenNumber()) + " selection on display " +
                          connection_.displayName() + "; exiting");
    if (onLost)
        onLost();
}

} // namespace corvane
