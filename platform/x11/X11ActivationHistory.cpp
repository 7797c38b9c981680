// The activation history and the window order built from it (see X11ActivationHistory.h).

#include "platform/x11/X11ActivationHistory.h"

#include "platform/x11/X11Replies.h"

#include <algorithm>
#include <numeric>
#include <xcb/xcbext.h>

namespace corvane {

X11ActivationHistory::X11ActivationHistory(X11Connection& connection) : connection_(connection) {
    connection_.addListener(this);
    if (connection_.isLost())
        return;
    // Selected before the first read, in the same stream: a change after it is an event.
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection_.xcb(), connection_.root(), XCB_CW_EVENT_MASK, &events);
    requestActiveWindow();
}

X11ActivationHistory::~X11ActivationHistory() {
    connection_.removeListener(this);
    collect(true); // xcb would keep the replies until the connection closes
}

void X11ActivationHistory::requestActiveWindow() {
    pending_.push_back(requestProperty(connection_.xcb(), connection_.root(),
                                       connection_.ewmh()._NET_ACTIVE_WINDOW, 1));
    xcb_flush(connection_.xcb());
}

void X11ActivationHistory::collect(bool wait) {
    xcb_connection_t* c = connection_.xcb();
    while (!pending_.empty()) {
        PropertyReply reply;
        if (wait) {
            reply = takeProperty(c, pending_.front());
        } else {
            void* answer = nullptr;
            xcb_generic_error_t* error = nullptr;
            if (!xcb_poll_for_reply(c, pending_.front().sequence, &answer, &error))
                return;
            const XcbReply<xcb_generic_error_t> ignoredError(error);
            reply.reset(static_cast<xcb_get_property_reply_t*>(answer));
        }
        pending_.pop_front();
        const auto windows = windowsOf(std::move(reply));
        if (!windows.empty())
            noteActive(windows.front());
    }
}

void X11ActivationHistory::noteActive(xcb_window_t window) {
    if (window == XCB_WINDOW_NONE)
        return; // nothing focused (i3 on an empty workspace): the history stays as it was
    std::erase(recent_, window);
    recent_.insert(recent_.begin(), window);
}

const std::vector<xcb_window_t>& X11ActivationHistory::mostRecentFirst() {
    if (!connection_.isLost())
        collect(true);
    return recent_;
}

void X11ActivationHistory::keepOnly(const std::unordered_set<xcb_window_t>& listed) {
    mostRecentFirst();
    std::erase_if(recent_, [&](xcb_window_t window) { return !listed.count(window); });
}

void X11ActivationHistory::handleX11Event(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7F;
    if (type == XCB_PROPERTY_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (notify.window == connection_.root() &&
            notify.atom == connection_.ewmh()._NET_ACTIVE_WINDOW)
            requestActiveWindow();
    } else if (type == XCB_DESTROY_NOTIFY) {
        std::erase(recent_, reinterpret_cast<const xcb_destroy_notify_event_t&>(event).window);
    }
    if (!connection_.isLost())
        collect(false);
}

std::vector<std::size_t>
frontToBackOrder(const std::vector<std::optional<std::size_t>>& stackPosition,
                 const std::vector<std::optional<std::size_t>>& activationRank) {
    std::vector<std::size_t> order(stackPosition.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const bool isStackKnown =
        std::all_of(stackPosition.begin(), stackPosition.end(),
                    [](const auto& position) { return position.has_value(); });
    if (isStackKnown) {
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return *stackPosition[a] > *stackPosition[b];
        });
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const auto& rankA = activationRank[a];
        const auto& rankB = activationRank[b];
        if (!rankA || !rankB)
            return rankA.has_value() && !rankB.has_value();
        return *rankA < *rankB;
    });
    return order;
}

} // namespace corvane
