#pragma once
// One read of the desktop's client windows, shared by the window list, Accessibility and
// workspace services during one enumeration. The enumeration calls them in a burst on the main
// thread; the snapshot is read on the first call and kept until the connection next drains
// events (see X11Connection::generation), so the burst costs a fixed number of round trips:
// every request of a stage is sent before any reply is read, whatever the window count.
//
// Sources: _NET_CLIENT_LIST_STACKING (else _NET_CLIENT_LIST, else the root's mapped children
// when no EWMH window manager runs), and per window its attributes, WM_CLASS, _NET_WM_NAME /
// WM_NAME, _NET_WM_STATE, _NET_WM_WINDOW_TYPE, _NET_WM_DESKTOP and _NET_WM_PID, with one
// X-Resource query for the client pids of all windows at once. A window that vanishes between
// request and reply, or whose properties are malformed, is dropped or gets defaults; nothing here
// throws or blocks beyond the replies.

#include "platform/Image.h"
#include "platform/x11/X11Connection.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace corvane {

inline constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

struct X11ClientWindow {
    xcb_window_t id = 0;
    pid_t pid = 0;         // 0 when neither X-Resource nor _NET_WM_PID tells
    std::string ownerName; // WM_CLASS class, else instance, else the process name; never empty
    std::string title;     // _NET_WM_NAME, else WM_NAME, as valid UTF-8
    int layer = 0;         // 0 for normal and dialog windows
    bool isViewable = false;
    bool isHidden = false; // _NET_WM_STATE_HIDDEN: minimized, or shaded away
    std::uint32_t desktop = kAllDesktops;
    bool isOnCurrentDesktop = true;
    bool isOnScreen() const { return isViewable && !isHidden && isOnCurrentDesktop; }
};

struct X11DesktopSnapshot {
    bool hasWindowList = false;  // false: the list could not be read (connection lost)
    bool hasEwmhManager = false; // a live window manager that handles _NET_ACTIVE_WINDOW
    std::uint32_t currentDesktop = 0;
    std::vector<X11ClientWindow> windows;                    // front to back
    std::unordered_map<xcb_window_t, std::size_t> indexById; // into windows

    const X11ClientWindow* find(xcb_window_t id) const;
};

class X11DesktopReader {
  public:
    explicit X11DesktopReader(X11Connection& connection) : connection_(connection) {}

    // The snapshot of this burst, read now when the last one is stale.
    const X11DesktopSnapshot& snapshot();
    // One icon per process (from its front-most window that has one), read once per snapshot.
    const std::map<pid_t, ImageRef>& icons(int targetPixels);
    void invalidate() { isValid_ = false; }

    // Stages of request-then-reply in the last snapshot and icon read (for the benchmark):
    // the root, every window, at most one for fallbacks, the icons.
    int lastRoundTrips() const { return roundTrips_; }

    X11Connection& connection() { return connection_; }

  private:
    void read();
    void readFallbacks();
    void orderAsShown(const std::vector<std::optional<std::size_t>>& positions);
    void noteWindowManager(bool hasEwmhManager);

    X11Connection& connection_;
    X11DesktopSnapshot snapshot_;
    std::map<pid_t, ImageRef> icons_;
    bool isValid_ = false;
    bool iconsRead_ = false;
    std::uint64_t generation_ = 0;
    int roundTrips_ = 0;
    std::optional<bool> reportedManager_;
};

} // namespace corvane
