#pragma once
// One read of the desktop's client windows, shared by the window list, Accessibility and
// workspace services during one enumeration. The enumeration calls them in a burst on the main
// thread; the snapshot is made on the first call and kept while nothing changes.
//
// A snapshot is kept until an event says the desktop changed: a root list or the current
// desktop changed, a top-level window (a frame) was created, mapped, unmapped, restacked,
// reparented or destroyed (the root's substructure is watched), or the window cache saw a
// fact of a client window go stale; onChange hears each of them as it is drained, so events
// queued before a key press are known when the press is handled. A quiet desktop therefore
// costs no request at all. A new snapshot costs a fixed number of round trips whatever the
// window count, and little work per window: the root's lists and stacking are read afresh
// (one stage, which also re-checks the window manager's liveness), while the per-window facts
// come from the window cache, which only asks the server about new windows and facts an event
// marked as changed (at most one more stage). Icons are read again (one more stage) only when
// an icon changed or a process's oldest window, where its icon is read, is another one.
//
// Sources: _NET_CLIENT_LIST_STACKING (else _NET_CLIENT_LIST, else the root's mapped children
// when no EWMH window manager runs), the activation history and the root's children for the
// order (see X11ActivationHistory.h; a frame nested deeper than the manager's first level costs
// one more stage per level, once per window), and per window what X11WindowCache.h lists. A window
// that vanishes between request and reply, or whose properties are malformed, is dropped or gets
// defaults; nothing here throws or blocks beyond the replies.

#include "platform/Image.h"
#include "platform/x11/X11ActivationHistory.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11WindowCache.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <sys/types.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvane {

struct X11DesktopSnapshot {
    bool hasWindowList = false;  // false: the list could not be read (connection lost)
    bool hasEwmhManager = false; // a live window manager that handles _NET_ACTIVE_WINDOW
    std::uint32_t currentDesktop = 0;
    std::vector<X11ClientWindow> windows;                    // front to back (see above)
    std::unordered_map<xcb_window_t, std::size_t> indexById; // into windows

    const X11ClientWindow* find(xcb_window_t id) const;
};

class X11DesktopReader : public X11EventListener {
  public:
    // Listens to the connection (itself and through its cache) from now on, and watches the
    // root window's properties and substructure; the connection outlives it.
    explicit X11DesktopReader(X11Connection& connection);
    ~X11DesktopReader() override;
    X11DesktopReader(const X11DesktopReader&) = delete;
    X11DesktopReader& operator=(const X11DesktopReader&) = delete;

    // Called during the drain that brought an event which may change the snapshot.
    std::function<void()> onChange;
    void handleX11Event(const xcb_generic_event_t& event) override;

    // The snapshot of this burst, made now when the last one is stale.
    const X11DesktopSnapshot& snapshot();
    // One icon per process (from its front-most window that has one), read once per snapshot.
    const std::map<pid_t, ImageRef>& icons(int targetPixels);
    void invalidate() { isValid_ = false; }

    // Stages of request-then-reply in the last burst's snapshot and icon read (for the
    // benchmark): none when nothing changed; else the root, the new and changed windows when
    // there are any, nested frames, the icons when they changed.
    int lastRoundTrips() const { return roundTrips_; }
    // Windows whose facts the last snapshot read from the server.
    std::size_t lastWindowsRead() const { return cache_.lastWindowsRead(); }

    X11Connection& connection() { return connection_; }

  private:
    struct RootState;
    void read();
    RootState readRoot();
    void assemble(const RootState& root);
    void putInOrder(const std::vector<std::optional<std::size_t>>& stackPositions);
    void noteWindowManager(bool hasEwmhManager);
    bool isRootChange(const xcb_generic_event_t& event);
    std::uint64_t changeCount() const { return cache_.changeCount() + rootChanges_; }

    X11Connection& connection_;
    X11WindowCache cache_;
    X11ActivationHistory history_;
    X11DesktopSnapshot snapshot_;
    std::map<pid_t, ImageRef> icons_;
    bool isValid_ = false;
    bool iconsRead_ = false;
    std::uint64_t readAtChange_ = 0; // changeCount() when the snapshot was read
    std::uint64_t burst_ = 0;        // the connection's generation at the last call
    std::uint64_t rootChanges_ = 0;
    std::unordered_map<xcb_window_t, xcb_window_t> siblingAbove_; // top-level stacking, as seen
    std::unordered_set<xcb_window_t> overrideRedirect_;           // top-level, never listed
    std::uint64_t iconChanges_ = 0;
    std::uint64_t notifiedAtChange_ = 0, notifiedAtIconChange_ = 0;
    std::uint64_t iconsReadAtChange_ = 0;
    int iconsTargetPixels_ = 0;
    std::map<pid_t, xcb_window_t> iconSources_; // the window each process's icon came from
    int roundTrips_ = 0;
    xcb_window_t lastCheckWindow_ = 0;
    std::optional<bool> reportedManager_;
};

} // namespace corvane
