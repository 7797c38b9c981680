#pragma once
// What Corvane knows about each client window between enumerations, kept current by the
// server's events instead of being read again at every switch.
//
// When a window is first seen its events are selected on Corvane's connection (property
// changes, and structure changes: map, unmap, reparent, destroy) in the same request stream
// before its facts are read, so any change after the read arrives as an event. An event only
// marks the facts it touches as stale; they are read again at the next enumeration, in one
// pipelined stage with every other stale window. Windows are forgotten when destroyed or when
// they leave the list the caller passes in.
//
// Quirk: a window's map state is "viewable" only while its window manager frame is mapped too,
// and a frame change reaches the frame's owner, not Corvane. A window last read as mapped but
// not viewable (inside a hidden frame) is therefore read again at every enumeration.
//
// The cache registers itself as a listener on the connection, which must outlive it. Events
// are applied as the connection drains; the reader drains before each burst.

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Replies.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>
#include <xcb/res.h>

namespace corvane {

inline constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;

struct X11ClientWindow {
    xcb_window_t id = 0;
    pid_t pid = 0;         // 0 when neither X-Resource nor _NET_WM_PID tells
    std::string ownerName; // WM_CLASS class, else instance, else the process name; never empty
    std::string windowClass, classInstance; // WM_CLASS's two parts, empty when not set
    std::string title;                      // _NET_WM_NAME, else WM_NAME, as valid UTF-8
    int layer = 0;                          // 0 for normal and dialog windows
    bool isViewable = false;
    bool isHidden = false; // _NET_WM_STATE_HIDDEN: minimized, or shaded away
    std::uint32_t desktop = kAllDesktops;
    bool isOnCurrentDesktop = true;
    bool isOnScreen() const { return isViewable && !isHidden && isOnCurrentDesktop; }
};

// The facts of one window that can go stale, one bit each.
enum X11Fact : std::uint32_t {
    kFactAttributes = 1 << 0, // map state, override-redirect
    kFactClass = 1 << 1,      // WM_CLASS
    kFactNetName = 1 << 2,    // _NET_WM_NAME
    kFactName = 1 << 3,       // WM_NAME
    kFactState = 1 << 4,      // _NET_WM_STATE
    kFactType = 1 << 5,       // _NET_WM_WINDOW_TYPE
    kFactDesktop = 1 << 6,    // _NET_WM_DESKTOP
    kFactPid = 1 << 7,        // _NET_WM_PID
    kFactFrame = 1 << 8,      // the parent window (the manager's frame, or a part of it)
    kAllFacts = (1 << 9) - 1,
};

struct X11CachedWindow {
    // id, pid, ownerName, WM_CLASS, title, layer, isViewable, isHidden, desktop;
    // isOnCurrentDesktop is the reader's to fill in.
    X11ClientWindow facts;
    xcb_window_t parent = 0;
    // The ancestor that is a child of the root (the window itself when it is one); 0 unknown.
    xcb_window_t frame = 0;
    std::uint8_t mapState = XCB_MAP_STATE_UNMAPPED;
    bool isOverrideRedirect = false;
    bool hasClass = false; // WM_CLASS is set (without a manager, what makes a client window)
    std::string netWmName, wmName;
    pid_t resourcePid = 0; // from X-Resource, read once: a window never changes owner
    pid_t claimedPid = 0;  // _NET_WM_PID, which the client may set to anything
    std::uint32_t stale = kAllFacts;
};

class X11WindowCache : public X11EventListener {
  public:
    explicit X11WindowCache(X11Connection& connection);
    ~X11WindowCache() override;
    X11WindowCache(const X11WindowCache&) = delete;
    X11WindowCache& operator=(const X11WindowCache&) = delete;

    // Forgets windows not in ids, then sends the requests for the new and stale ones (new ones
    // get their events selected first). True when anything was asked: the caller then waits
    // for the replies once and calls takeUpdates().
    bool requestUpdates(const std::vector<xcb_window_t>& ids);
    // Applies the replies. A window found destroyed meanwhile is forgotten.
    void takeUpdates();
    // Finds each window's frame among topLevels (the root's children) where it is not known or
    // no longer stands there. Managers nest the client at different depths (openbox: in the
    // frame; icewm: in a container in the frame), so the parents are climbed, one pipelined
    // stage for every window per level below the first. Returns the number of stages.
    int resolveFrames(const std::unordered_map<xcb_window_t, std::size_t>& topLevels);

    const X11CachedWindow* find(xcb_window_t id) const;
    std::size_t size() const { return windows_.size(); }
    // Windows whose facts were read from the server in the last update (for tests and benches).
    std::size_t lastWindowsRead() const { return lastWindowsRead_; }
    // Counts the events that made a cached fact stale or forgot a window.
    std::uint64_t changeCount() const { return changes_; }

    void handleX11Event(const xcb_generic_event_t& event) override;

  private:
    struct Pending;
    void request(xcb_window_t id, X11CachedWindow& window, Pending& pending);
    bool take(X11CachedWindow& window, Pending& pending,
              const std::unordered_map<std::uint32_t, pid_t>& pidsByClient);
    void markStale(xcb_window_t id, std::uint32_t facts);
    std::uint32_t factOfProperty(xcb_atom_t atom);

    X11Connection& connection_;
    std::unordered_map<xcb_window_t, X11CachedWindow> windows_;
    std::vector<Pending> pending_;
    std::optional<xcb_res_query_client_ids_cookie_t> clientIds_;
    std::size_t lastWindowsRead_ = 0;
    std::uint64_t changes_ = 0;
};

} // namespace corvane
