// The desktop snapshot: the root read afresh, the windows from the cache (see
// X11DesktopSnapshot.h).

#include "platform/x11/X11DesktopSnapshot.h"

#include "platform/SystemLog.h"
#include "platform/x11/X11Icon.h"
#include "platform/x11/X11Replies.h"

#include <algorithm>
#include <climits>
#include <set>
#include <unordered_set>

namespace corvane {

struct X11DesktopReader::RootState {
    std::vector<xcb_window_t> ids; // front to back, without duplicates
    bool fromClientList = false;
    std::uint32_t currentDesktop = 0;
    xcb_window_t checkWindow = 0;
    std::optional<xcb_window_t> checkChild; // known when last time's check window still stands
    std::vector<xcb_atom_t> supported;
    XcbReply<xcb_query_tree_reply_t> tree;
    std::unordered_map<xcb_window_t, std::size_t> topLevels; // the root's children, bottom 0
};

const X11ClientWindow* X11DesktopSnapshot::find(xcb_window_t id) const {
    auto at = indexById.find(id);
    return at == indexById.end() ? nullptr : &windows[at->second];
}

X11DesktopReader::X11DesktopReader(X11Connection& connection)
    : connection_(connection), cache_(connection), history_(connection) {
    // Replaces the activation history's mask for the root (a client has one mask per window):
    // this one includes it.
    const std::uint32_t rootEvents =
        XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_.xcb(), connection_.root(), XCB_CW_EVENT_MASK,
                                 &rootEvents);
    connection_.addListener(this);
}

X11DesktopReader::~X11DesktopReader() {
    connection_.removeListener(this);
}

const X11DesktopSnapshot& X11DesktopReader::snapshot() {
    const std::uint64_t changes = changeCount();
    if (!isValid_ || readAtChange_ != changes || !connection_.checkAlive()) {
        // Counted before the read: an event drained during it marks the new snapshot stale.
        read();
        readAtChange_ = changes;
        isValid_ = true;
        iconsRead_ = false;
    } else if (burst_ != connection_.generation()) {
        roundTrips_ = 0; // a new burst that asks the server nothing
    }
    burst_ = connection_.generation();
    return snapshot_;
}

void X11DesktopReader::handleX11Event(const xcb_generic_event_t& event) {
    if (isRootChange(event))
        ++rootChanges_;
    else if ((event.response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        if (notify.atom == connection_.ewmh()._NET_WM_ICON && cache_.find(notify.window))
            ++iconChanges_;
    }
    // The cache, a listener since before this one, has already applied the event.
    if (changeCount() == notifiedAtChange_ && iconChanges_ == notifiedAtIconChange_)
        return;
    notifiedAtChange_ = changeCount();
    notifiedAtIconChange_ = iconChanges_;
    if (onChange)
        onChange();
}

// Whether the event changes what the root stage reads: its lists, the current desktop, the
// window manager's identity, or which top-level windows stand in what order.
bool X11DesktopReader::isRootChange(const xcb_generic_event_t& event) {
    const xcb_window_t root = connection_.root();
    xcb_ewmh_connection_t& e = connection_.ewmh();
    switch (event.response_type & 0x7F) {
    case XCB_PROPERTY_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
        const xcb_atom_t atom = notify.atom;
        return notify.window == root &&
               (atom == e._NET_CLIENT_LIST_STACKING || atom == e._NET_CLIENT_LIST ||
                atom == e._NET_ACTIVE_WINDOW || atom == e._NET_CURRENT_DESKTOP ||
                atom == e._NET_SUPPORTING_WM_CHECK || atom == e._NET_SUPPORTED);
    }
    case XCB_CONFIGURE_NOTIFY: {
        // A move or resize keeps the window's place in the stack; only a restack counts.
        const auto& notify = reinterpret_cast<const xcb_configure_notify_event_t&>(event);
        if (notify.event != root || notify.override_redirect)
            return false;
        auto [at, isNew] = siblingAbove_.try_emplace(notify.window, notify.above_sibling);
        if (!isNew && at->second == notify.above_sibling)
            return false;
        at->second = notify.above_sibling;
        return true;
    }
    // Override-redirect windows (menus, tooltips, Corvane's own panel) are never listed: their
    // coming and going changes nothing.
    case XCB_CREATE_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_create_notify_event_t&>(event);
        if (notify.parent != root)
            return false;
        if (notify.override_redirect)
            overrideRedirect_.insert(notify.window);
        return !notify.override_redirect;
    }
    case XCB_MAP_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_map_notify_event_t&>(event);
        if (notify.event != root)
            return false;
        if (notify.override_redirect)
            overrideRedirect_.insert(notify.window);
        else
            overrideRedirect_.erase(notify.window);
        return !notify.override_redirect;
    }
    case XCB_UNMAP_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_unmap_notify_event_t&>(event);
        return notify.event == root && !overrideRedirect_.count(notify.window);
    }
    case XCB_DESTROY_NOTIFY: {
        const auto& notify = reinterpret_cast<const xcb_destroy_notify_event_t&>(event);
        siblingAbove_.erase(notify.window);
        const bool wasOverrideRedirect = overrideRedirect_.erase(notify.window) > 0;
        return notify.event == root && !wasOverrideRedirect;
    }
    case XCB_REPARENT_NOTIFY:
        return reinterpret_cast<const xcb_reparent_notify_event_t&>(event).event == root;
    case XCB_CIRCULATE_NOTIFY:
        return reinterpret_cast<const xcb_circulate_notify_event_t&>(event).event == root;
    default:
        return false;
    }
}

void X11DesktopReader::read() {
    snapshot_ = X11DesktopSnapshot{};
    roundTrips_ = 0;
    if (!connection_.checkAlive())
        return;
    xcb_connection_t* c = connection_.xcb();
    RootState root = readRoot();

    // Stage 2, only when needed: new and changed windows, and a check window not seen before.
    bool asked = cache_.requestUpdates(root.ids);
    std::optional<xcb_get_property_cookie_t> checkChildCookie;
    if (root.checkWindow != 0 && !root.checkChild) {
        checkChildCookie =
            requestProperty(c, root.checkWindow, connection_.ewmh()._NET_SUPPORTING_WM_CHECK, 1);
        asked = true;
    }
    if (asked) {
        awaitAllReplies(c);
        ++roundTrips_;
    }
    cache_.takeUpdates();
    if (checkChildCookie) {
        xcb_window_t child = 0;
        if (auto reply = takeProperty(c, *checkChildCookie))
            xcb_ewmh_get_window_from_reply(&child, reply.get());
        root.checkChild = child;
    }
    lastCheckWindow_ = root.checkWindow;
    roundTrips_ += cache_.resolveFrames(root.topLevels);

    assemble(root);
    const auto& supported = root.supported;
    snapshot_.hasEwmhManager = root.checkWindow != 0 && root.checkChild == root.checkWindow &&
                               std::find(supported.begin(), supported.end(),
                                         connection_.ewmh()._NET_ACTIVE_WINDOW) != supported.end();
    snapshot_.hasWindowList = connection_.checkAlive();
    if (!snapshot_.hasWindowList) {
        snapshot_.windows.clear();
        snapshot_.indexById.clear();
    }
    noteWindowManager(snapshot_.hasEwmhManager);
}

// Stage 1: the root's lists, its children in stacking order and the window manager's
// identity. The manager's check window is asked about here too when it is the one of last
// time, which it nearly always is, so that a quiet desktop costs this one stage.
X11DesktopReader::RootState X11DesktopReader::readRoot() {
    xcb_connection_t* c = connection_.xcb();
    xcb_ewmh_connection_t& e = connection_.ewmh();
    const xcb_window_t rootWindow = connection_.root();
    auto stackingCookie =
        requestProperty(c, rootWindow, e._NET_CLIENT_LIST_STACKING, kMaxListUnits);
    auto clientListCookie = requestProperty(c, rootWindow, e._NET_CLIENT_LIST, kMaxListUnits);
    auto desktopCookie = requestProperty(c, rootWindow, e._NET_CURRENT_DESKTOP, 1);
    auto checkCookie = requestProperty(c, rootWindow, e._NET_SUPPORTING_WM_CHECK, 1);
    auto supportedCookie = requestProperty(c, rootWindow, e._NET_SUPPORTED, kMaxListUnits);
    auto treeCookie = xcb_query_tree(c, rootWindow);
    std::optional<xcb_get_property_cookie_t> lastCheckCookie;
    if (lastCheckWindow_ != 0)
        lastCheckCookie = requestProperty(c, lastCheckWindow_, e._NET_SUPPORTING_WM_CHECK, 1);
    ++roundTrips_;

    RootState root;
    root.ids = windowsOf(takeProperty(c, stackingCookie));
    root.fromClientList = !root.ids.empty();
    if (root.ids.empty()) {
        root.ids = windowsOf(takeProperty(c, clientListCookie));
        root.fromClientList = !root.ids.empty();
    } else {
        xcb_discard_reply(c, clientListCookie.sequence);
    }
    root.currentDesktop = cardinalOf(takeProperty(c, desktopCookie)).value_or(0);
    if (auto checkReply = takeProperty(c, checkCookie))
        xcb_ewmh_get_window_from_reply(&root.checkWindow, checkReply.get());
    root.supported = atomsOf(takeProperty(c, supportedCookie));
    root.tree.reset(xcb_query_tree_reply(c, treeCookie, nullptr));
    if (root.tree) {
        const xcb_window_t* children = xcb_query_tree_children(root.tree.get());
        const int count = xcb_query_tree_children_length(root.tree.get());
        root.topLevels.reserve(static_cast<std::size_t>(count));
        for (int n = 0; n < count; ++n)
            root.topLevels.emplace(children[n], static_cast<std::size_t>(n));
    }
    if (lastCheckCookie) {
        xcb_window_t child = 0;
        if (auto reply = takeProperty(c, *lastCheckCookie))
            xcb_ewmh_get_window_from_reply(&child, reply.get());
        if (root.checkWindow == lastCheckWindow_)
            root.checkChild = child;
    }
    if (!root.fromClientList && root.tree) {
        // No EWMH list: the root's children, bottom to top, stand in for the clients.
        const xcb_window_t* children = xcb_query_tree_children(root.tree.get());
        root.ids.assign(children, children + xcb_query_tree_children_length(root.tree.get()));
    }
    std::reverse(root.ids.begin(), root.ids.end()); // front to back
    std::set<xcb_window_t> seen;
    std::erase_if(root.ids, [&](xcb_window_t id) { return id == 0 || !seen.insert(id).second; });
    return root;
}

// The listed windows from the cache, put in front-to-back order.
void X11DesktopReader::assemble(const RootState& root) {
    snapshot_.currentDesktop = root.currentDesktop;
    std::vector<std::optional<std::size_t>> stackPositions;
    stackPositions.reserve(root.ids.size());
    snapshot_.windows.reserve(root.ids.size());
    for (xcb_window_t id : root.ids) {
        const X11CachedWindow* cached = cache_.find(id);
        if (cached == nullptr)
            continue; // destroyed between the list and this read
        if (!root.fromClientList &&
            (cached->isOverrideRedirect || cached->mapState != XCB_MAP_STATE_VIEWABLE ||
             !cached->hasClass))
            continue;
        X11ClientWindow window = cached->facts;
        window.isOnCurrentDesktop =
            window.desktop == kAllDesktops || window.desktop == root.currentDesktop;
        auto position = root.topLevels.find(cached->frame);
        stackPositions.push_back(position == root.topLevels.end()
                                     ? std::nullopt
                                     : std::optional<std::size_t>(position->second));
        snapshot_.windows.push_back(std::move(window));
    }
    putInOrder(stackPositions);
}

// Fluxbox (1.3) keeps _NET_CLIENT_LIST_STACKING in mapping order whatever is raised, and icewm
// leaves it behind after an activation, so the frames' real places count, behind the history.
void X11DesktopReader::putInOrder(const std::vector<std::optional<std::size_t>>& stackPositions) {
    std::unordered_set<xcb_window_t> listed;
    for (const X11ClientWindow& window : snapshot_.windows)
        listed.insert(window.id);
    history_.keepOnly(listed);
    std::unordered_map<xcb_window_t, std::size_t> rankById;
    const auto& recent = history_.mostRecentFirst();
    for (std::size_t rank = 0; rank < recent.size(); ++rank)
        rankById.emplace(recent[rank], rank);
    std::vector<std::optional<std::size_t>> ranks;
    ranks.reserve(snapshot_.windows.size());
    for (const X11ClientWindow& window : snapshot_.windows) {
        auto rank = rankById.find(window.id);
        ranks.push_back(rank == rankById.end() ? std::nullopt
                                               : std::optional<std::size_t>(rank->second));
    }
    std::vector<X11ClientWindow> sorted;
    sorted.reserve(snapshot_.windows.size());
    snapshot_.indexById.clear();
    for (std::size_t i : frontToBackOrder(stackPositions, ranks)) {
        snapshot_.indexById.emplace(snapshot_.windows[i].id, sorted.size());
        sorted.push_back(std::move(snapshot_.windows[i]));
    }
    snapshot_.windows = std::move(sorted);
}

void X11DesktopReader::noteWindowManager(bool hasEwmhManager) {
    if (reportedManager_ == hasEwmhManager || !snapshot_.hasWindowList)
        return;
    if (!hasEwmhManager) {
        connection_.log().log("Corvane: no EWMH window manager is running; listing the screen's "
                              "top-level windows and raising them directly");
    } else if (reportedManager_.has_value()) {
        connection_.log().log("Corvane: an EWMH window manager is running again");
    }
    reportedManager_ = hasEwmhManager;
}

const std::map<pid_t, ImageRef>& X11DesktopReader::icons(int targetPixels) {
    snapshot();
    if (iconsRead_ || !snapshot_.hasWindowList)
        return icons_;
    iconsRead_ = true;
    // Each process's icon comes from its oldest window (the lowest id), not its frontmost: a
    // switch that reorders the windows then neither reads the icons again nor makes new images
    // of them, which would make every card repaint.
    std::map<pid_t, xcb_window_t> sources;
    for (const auto& window : snapshot_.windows) {
        if (window.pid <= 0)
            continue;
        auto [source, isFirst] = sources.try_emplace(window.pid, window.id);
        if (!isFirst)
            source->second = std::min(source->second, window.id);
    }
    if (sources == iconSources_ && iconChanges_ == iconsReadAtChange_ &&
        targetPixels == iconsTargetPixels_)
        return icons_;
    iconSources_ = sources;
    iconsReadAtChange_ = iconChanges_;
    iconsTargetPixels_ = targetPixels;
    icons_.clear();
    xcb_connection_t* c = connection_.xcb();
    std::map<pid_t, xcb_get_property_cookie_t> cookies;
    for (const auto& [pid, window] : sources)
        cookies[pid] = requestProperty(c, window, connection_.ewmh()._NET_WM_ICON, kMaxIconUnits);
    ++roundTrips_;
    for (const auto& [pid, cookie] : cookies) {
        PropertyReply reply = takeProperty(c, cookie);
        xcb_ewmh_get_wm_icon_reply_t icon{};
        if (!reply || !xcb_ewmh_get_wm_icon_from_reply(&icon, reply.get()))
            continue;
        xcb_get_property_reply_t* owned = reply.release();
        const auto* valueEnd = static_cast<const std::uint32_t*>(xcb_get_property_value(owned)) +
                               xcb_get_property_value_length(owned) / 4;
        std::vector<IconCandidate> candidates;
        auto iterator = xcb_ewmh_get_wm_icon_iterator(&icon);
        for (unsigned n = 0; n < icon.num_icons; ++n, xcb_ewmh_get_wm_icon_next(&iterator)) {
            const std::uint64_t count = std::uint64_t(iterator.width) * iterator.height;
            if (iterator.data == nullptr || count > std::uint64_t(valueEnd - iterator.data))
                break; // claims more pixels than the property holds
            candidates.push_back(
                {static_cast<int>(std::min<std::uint32_t>(iterator.width, INT_MAX)),
                 static_cast<int>(std::min<std::uint32_t>(iterator.height, INT_MAX)),
                 iterator.data});
        }
        if (auto image = imageFromIconCandidates(candidates, targetPixels))
            icons_[pid] = std::move(image);
        xcb_ewmh_get_wm_icon_reply_wipe(&icon);
    }
    connection_.checkAlive();
    return icons_;
}

} // namespace corvane
