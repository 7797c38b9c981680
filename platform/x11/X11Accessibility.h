#pragma once
// The Accessibility operations on X11, over the desktop snapshot:
// - "AXWindows" of an application element: the process's normal and dialog client windows on
//   the current desktop (or on all desktops), front to back with the on-screen ones first, so
//   that pairing them by position with the on-screen list holds;
// - "AXTitle": _NET_WM_NAME, else WM_NAME; "AXMinimized": _NET_WM_STATE_HIDDEN;
// - performing "AXRaise": activation. With an EWMH window manager that is one
//   _NET_ACTIVE_WINDOW request with the pager's source indication (which also un-minimizes),
//   preceded by a _NET_CURRENT_DESKTOP request when the window is on another desktop, and
//   followed by a raise (_NET_RESTACK_WINDOW and a configure request), since not every manager
//   raises what it activates; without a manager, the window is mapped, raised and given the
//   input focus directly. Setting "AXMain" succeeds without a request of its own: a commit sets
//   it and raises the same window, and one activation request per commit leaves keys typed
//   right after it no second focus change to race.
// A window element whose window has gone fails with kAXErrorFailure. Uses the reader, which must
// outlive it.

#include "platform/Accessibility.h"
#include "platform/x11/X11DesktopSnapshot.h"

namespace corvane {

class X11Accessibility : public AccessibilityService {
  public:
    explicit X11Accessibility(X11DesktopReader& reader) : reader_(reader) {}

    AXCopyResult copyAttributeValue(const AXUIElement& element,
                                    const std::string& attribute) override;
    AXError setAttributeValue(const AXUIElement& element, const std::string& attribute,
                              const AXValue& value) override;
    AXError performAction(const AXUIElement& element, const std::string& action) override;

    // The windows "AXWindows" lists for a process, in its order.
    static std::vector<const X11ClientWindow*> windowsOf(const X11DesktopSnapshot& snapshot,
                                                         pid_t pid);
    // Brings a window to the front and gives it the focus (see "AXRaise" above).
    static void activate(X11Connection& connection, const X11DesktopSnapshot& snapshot,
                         const X11ClientWindow& window);

  private:
    const X11ClientWindow* windowOf(const AXUIElement& element);

    X11DesktopReader& reader_;
};

} // namespace corvane
