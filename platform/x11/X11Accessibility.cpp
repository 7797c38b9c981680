// Accessibility operations over EWMH/ICCCM (see X11Accessibility.h).

#include "platform/x11/X11Accessibility.h"

namespace corvane {

std::vector<const X11ClientWindow*> X11Accessibility::windowsOf(const X11DesktopSnapshot& snapshot,
                                                                pid_t pid) {
    std::vector<const X11ClientWindow*> onScreen, offScreen;
    for (const X11ClientWindow& window : snapshot.windows) {
        if (window.pid != pid || window.layer != 0 || !window.isOnCurrentDesktop)
            continue;
        (window.isOnScreen() ? onScreen : offScreen).push_back(&window);
    }
    onScreen.insert(onScreen.end(), offScreen.begin(), offScreen.end());
    return onScreen;
}

const X11ClientWindow* X11Accessibility::windowOf(const AXUIElement& element) {
    if (element.window == 0 || element.window > 0xFFFFFFFFu)
        return nullptr;
    const X11ClientWindow* window =
        reader_.snapshot().find(static_cast<xcb_window_t>(element.window));
    return window != nullptr && window->pid == element.pid ? window : nullptr;
}

AXCopyResult X11Accessibility::copyAttributeValue(const AXUIElement& element,
                                                  const std::string& attribute) {
    if (element.window == 0) {
        if (attribute != kAXWindowsAttribute)
            return {kAXErrorAttributeUnsupported, std::nullopt};
        const X11DesktopSnapshot& snapshot = reader_.snapshot();
        if (!snapshot.hasWindowList || element.pid <= 0)
            return {kAXErrorCannotComplete, std::nullopt};
        std::vector<AXUIElement> elements;
        for (const X11ClientWindow* window : windowsOf(snapshot, element.pid))
            elements.push_back({element.pid, window->id});
        return {kAXErrorSuccess, AXValue{std::move(elements)}};
    }
    const X11ClientWindow* window = windowOf(element);
    if (window == nullptr)
        return {kAXErrorFailure, std::nullopt};
    if (attribute == kAXTitleAttribute)
        return {kAXErrorSuccess, AXValue{window->title}};
    if (attribute == kAXMinimizedAttribute)
        return {kAXErrorSuccess, AXValue{window->isHidden}};
    if (attribute == kAXMainAttribute)
        return {kAXErrorSuccess, AXValue{window->isOnScreen()}};
    return {kAXErrorAttributeUnsupported, std::nullopt};
}

AXError X11Accessibility::setAttributeValue(const AXUIElement& element,
                                            const std::string& attribute, const AXValue& value) {
    if (attribute != kAXMainAttribute)
        return kAXErrorAttributeUnsupported;
    const X11ClientWindow* window = windowOf(element);
    if (window == nullptr)
        return kAXErrorFailure;
    // Activation is AXRaise's alone, which a commit performs right after: a second request for
    // the same window would only add a focus change for typed keys to race.
    (void)value;
    return kAXErrorSuccess;
}

AXError X11Accessibility::performAction(const AXUIElement& element, const std::string& action) {
    if (action != kAXRaiseAction)
        return kAXErrorAttributeUnsupported;
    const X11ClientWindow* window = windowOf(element);
    if (window == nullptr)
        return kAXErrorFailure;
    activate(reader_.connection(), reader_.snapshot(), *window);
    return kAXErrorSuccess;
}

void X11Accessibility::activate(X11Connection& connection, const X11DesktopSnapshot& snapshot,
                                const X11ClientWindow& window) {
    if (connection.isLost())
        return;
    xcb_connection_t* c = connection.xcb();
    if (snapshot.hasEwmhManager) {
        if (window.desktop != kAllDesktops && window.desktop != snapshot.currentDesktop)
            xcb_ewmh_request_change_current_desktop(&connection.ewmh(), connection.screenNumber(),
                                                    window.desktop, XCB_CURRENT_TIME);
        xcb_ewmh_request_change_active_window(&connection.ewmh(), connection.screenNumber(),
                                              window.id, XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER,
                                              XCB_CURRENT_TIME, XCB_WINDOW_NONE);
        // Not every manager raises what it activates, nor honours every way of asking for a
        // raise: openbox, jwm, metacity and icewm take _NET_RESTACK_WINDOW; fluxbox and awesome
        // neither that nor a configure request, but they raise on activation; xfwm4 takes only
        // the configure request, which the manager receives in place of the restacking.
        xcb_ewmh_request_restack_window(&connection.ewmh(), connection.screenNumber(), window.id,
                                        XCB_WINDOW_NONE, XCB_STACK_MODE_ABOVE);
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(c, window.id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    } else {
        // Nobody manages windows: do what a manager would. Errors (a window gone meanwhile)
        // arrive as events and are ignored.
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_map_window(c, window.id);
        xcb_configure_window(c, window.id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, window.id, XCB_CURRENT_TIME);
    }
    xcb_flush(c);
}

} // namespace corvane
