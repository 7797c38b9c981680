// Pipelined reads of the desktop's client windows (see X11DesktopSnapshot.h).

#include "platform/x11/X11DesktopSnapshot.h"

#include "platform/SystemLog.h"
#include "platform/x11/X11Icon.h"
#include "platform/x11/X11Text.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <string_view>
#include <xcb/res.h>
#include <xcb/xcb_icccm.h>

namespace corvane {

namespace {

struct FreeDeleter {
    void operator()(void* pointer) const { std::free(pointer); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;
using PropertyReply = XcbReply<xcb_get_property_reply_t>;

// Longest reads, in 32-bit units: window lists, short lists of atoms, names and titles, icons.
constexpr std::uint32_t kMaxListUnits = 1 << 16;
constexpr std::uint32_t kMaxAtomUnits = 64;
constexpr std::uint32_t kMaxNameUnits = 256;
constexpr std::uint32_t kMaxTitleUnits = kMaxTitleBytes / 4 + 1;
constexpr std::uint32_t kMaxIconUnits = 1 << 20;

xcb_get_property_cookie_t requestProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t atom,
                                          std::uint32_t units) {
    return xcb_get_property(c, 0, window, atom, XCB_GET_PROPERTY_TYPE_ANY, 0, units);
}

PropertyReply takeProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    PropertyReply reply(xcb_get_property_reply(c, cookie, &error));
    std::free(error); // BadWindow: the window went away after the request
    if (reply && reply->type == XCB_ATOM_NONE)
        reply.reset();
    return reply;
}

std::string_view bytesOf(const xcb_get_property_reply_t& reply) {
    if (reply.format != 8)
        return {};
    return {static_cast<const char*>(xcb_get_property_value(&reply)),
            static_cast<std::size_t>(std::max(0, xcb_get_property_value_length(&reply)))};
}

std::optional<std::uint32_t> cardinalOf(PropertyReply& reply) {
    std::uint32_t value = 0;
    if (!reply || !xcb_ewmh_get_cardinal_from_reply(&value, reply.get()))
        return std::nullopt;
    return value;
}

std::vector<xcb_atom_t> atomsOf(PropertyReply reply) {
    xcb_ewmh_get_atoms_reply_t atoms{};
    if (!reply || !xcb_ewmh_get_atoms_from_reply(&atoms, reply.get()))
        return {};
    reply.release(); // the helper owns it now and frees it in the wipe below
    std::vector<xcb_atom_t> result(atoms.atoms, atoms.atoms + atoms.atoms_len);
    xcb_ewmh_get_atoms_reply_wipe(&atoms);
    return result;
}

std::vector<xcb_window_t> windowsOf(PropertyReply reply) {
    xcb_ewmh_get_windows_reply_t windows{};
    if (!reply || !xcb_ewmh_get_windows_from_reply(&windows, reply.get()))
        return {};
    reply.release();
    std::vector<xcb_window_t> result(windows.windows, windows.windows + windows.windows_len);
    xcb_ewmh_get_windows_reply_wipe(&windows);
    return result;
}

std::string netWmNameOf(xcb_ewmh_connection_t& ewmh, PropertyReply reply) {
    xcb_ewmh_get_utf8_strings_reply_t name{};
    if (!reply || !xcb_ewmh_get_utf8_strings_from_reply(&ewmh, &name, reply.get()))
        return {};
    reply.release();
    std::string result = sanitizedUtf8({name.strings, name.strings_len});
    xcb_ewmh_get_utf8_strings_reply_wipe(&name);
    return result;
}

// WM_NAME: Latin-1 by ICCCM (STRING); UTF8_STRING and COMPOUND_TEXT are read as UTF-8, which
// holds for the latter's ASCII part. Anything invalid becomes U+FFFD.
std::string wmNameOf(const PropertyReply& reply) {
    if (!reply)
        return {};
    if (reply->type == XCB_ATOM_STRING)
        return utf8FromLatin1(bytesOf(*reply));
    return sanitizedUtf8(bytesOf(*reply));
}

// WM_CLASS is two NUL-terminated strings, instance then class. Parsed here with bounds checks
// because xcb_icccm_get_wm_class_from_reply writes before its buffer for an empty value and
// reads past it for one that is not NUL-terminated.
std::string classNameOf(const PropertyReply& reply) {
    if (!reply || reply->type != XCB_ATOM_STRING)
        return {};
    std::string_view bytes = bytesOf(*reply);
    std::string_view instance = bytes.substr(0, bytes.find('\0'));
    std::string_view rest =
        instance.size() < bytes.size() ? bytes.substr(instance.size() + 1) : std::string_view{};
    std::string_view windowClass = rest.substr(0, rest.find('\0'));
    return utf8FromLatin1(windowClass.empty() ? instance : windowClass, kMaxNameUnits * 4);
}

std::string processName(pid_t pid) {
    if (pid <= 0)
        return {};
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return sanitizedUtf8(name, kMaxNameUnits * 4);
}

// The owning client's pid for every window, from one X-Resource query. The server answers per
// client, naming it by its resource base; a window id carries its creator's base in the bits
// outside the resource mask, which the server uses alike for every client.
std::unordered_map<std::uint32_t, pid_t>
pidsByClientBase(xcb_connection_t* c, xcb_res_query_client_ids_cookie_t cookie) {
    std::unordered_map<std::uint32_t, pid_t> pids;
    xcb_generic_error_t* error = nullptr;
    XcbReply<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(c, cookie, &error));
    std::free(error);
    if (!reply)
        return pids;
    for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem > 0;
         xcb_res_client_id_value_next(&ids)) {
        if (!(ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) ||
            xcb_res_client_id_value_value_length(ids.data) < 1)
            continue;
        const std::uint32_t pid = xcb_res_client_id_value_value(ids.data)[0];
        if (pid > 0 && pid <= INT32_MAX)
            pids[ids.data->spec.client] = static_cast<pid_t>(pid);
    }
    return pids;
}

// Layers in the spirit of the macOS window levels: 0 is where switchable windows live.
int layerForTypes(xcb_ewmh_connection_t& e, const std::vector<xcb_atom_t>& types) {
    const std::pair<xcb_atom_t, int> table[] = {
        {e._NET_WM_WINDOW_TYPE_NORMAL, 0},
        {e._NET_WM_WINDOW_TYPE_DIALOG, 0},
        {e._NET_WM_WINDOW_TYPE_DESKTOP, -2147483623},
        {e._NET_WM_WINDOW_TYPE_DOCK, 20},
        {e._NET_WM_WINDOW_TYPE_TOOLBAR, 3},
        {e._NET_WM_WINDOW_TYPE_UTILITY, 3},
        {e._NET_WM_WINDOW_TYPE_SPLASH, 8},
        {e._NET_WM_WINDOW_TYPE_MENU, 101},
        {e._NET_WM_WINDOW_TYPE_DROPDOWN_MENU, 101},
        {e._NET_WM_WINDOW_TYPE_POPUP_MENU, 101},
        {e._NET_WM_WINDOW_TYPE_COMBO, 101},
        {e._NET_WM_WINDOW_TYPE_TOOLTIP, 200},
        {e._NET_WM_WINDOW_TYPE_NOTIFICATION, 25},
        {e._NET_WM_WINDOW_TYPE_DND, 500},
    };
    // The first type the client lists that Corvane knows decides; none known means normal.
    for (xcb_atom_t type : types) {
        for (const auto& [atom, layer] : table) {
            if (atom == type)
                return layer;
        }
    }
    return 0;
}

// Waits once until the server has answered everything sent so far. Reading the replies one by
// one as they trickle in costs a poll and a read per reply, which dominates with thousands of
// windows; afterwards they are all buffered and come in a few large reads.
void awaitAllReplies(xcb_connection_t* c) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

struct WindowCookies {
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_property_cookie_t wmClass, netWmName, state, type, desktop;
    xcb_query_tree_cookie_t parent;
};

} // namespace

const X11ClientWindow* X11DesktopSnapshot::find(xcb_window_t id) const {
    auto at = indexById.find(id);
    return at == indexById.end() ? nullptr : &windows[at->second];
}

const X11DesktopSnapshot& X11DesktopReader::snapshot() {
    if (!isValid_ || generation_ != connection_.generation()) {
        read();
        generation_ = connection_.generation();
        isValid_ = true;
        iconsRead_ = false;
    }
    return snapshot_;
}

void X11DesktopReader::read() {
    snapshot_ = X11DesktopSnapshot{};
    icons_.clear();
    roundTrips_ = 0;
    if (!connection_.checkAlive())
        return;
    xcb_connection_t* c = connection_.xcb();
    xcb_ewmh_connection_t& e = connection_.ewmh();
    const xcb_window_t root = connection_.root();

    // Stage 1: the root's lists and the window manager's identity.
    auto stackingCookie = requestProperty(c, root, e._NET_CLIENT_LIST_STACKING, kMaxListUnits);
    auto clientListCookie = requestProperty(c, root, e._NET_CLIENT_LIST, kMaxListUnits);
    auto desktopCookie = requestProperty(c, root, e._NET_CURRENT_DESKTOP, 1);
    auto checkCookie = requestProperty(c, root, e._NET_SUPPORTING_WM_CHECK, 1);
    auto supportedCookie = requestProperty(c, root, e._NET_SUPPORTED, kMaxListUnits);
    auto treeCookie = xcb_query_tree(c, root);
    ++roundTrips_;

    std::vector<xcb_window_t> ids = windowsOf(takeProperty(c, stackingCookie));
    bool fromClientList = !ids.empty();
    if (ids.empty()) {
        ids = windowsOf(takeProperty(c, clientListCookie));
        fromClientList = !ids.empty();
    } else {
        std::free(xcb_get_property_reply(c, clientListCookie, nullptr));
    }
    auto desktopReply = takeProperty(c, desktopCookie);
    snapshot_.currentDesktop = cardinalOf(desktopReply).value_or(0);
    xcb_window_t checkWindow = 0;
    if (auto checkReply = takeProperty(c, checkCookie))
        xcb_ewmh_get_window_from_reply(&checkWindow, checkReply.get());
    const auto supported = atomsOf(takeProperty(c, supportedCookie));
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, treeCookie, nullptr));
    if (!fromClientList && tree) {
        // No EWMH list: the root's children, bottom to top, stand in for the clients.
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        ids.assign(children, children + xcb_query_tree_children_length(tree.get()));
    }
    std::reverse(ids.begin(), ids.end()); // front to back
    std::set<xcb_window_t> seen;
    ids.erase(std::remove_if(ids.begin(), ids.end(),
                             [&](xcb_window_t id) { return id == 0 || !seen.insert(id).second; }),
              ids.end());

    // Stage 2: every window's attributes and properties, and the manager's liveness check.
    std::vector<WindowCookies> cookies(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const xcb_window_t w = ids[i];
        auto& k = cookies[i];
        k.attributes = xcb_get_window_attributes(c, w);
        k.wmClass = requestProperty(c, w, XCB_ATOM_WM_CLASS, kMaxNameUnits);
        k.netWmName = requestProperty(c, w, e._NET_WM_NAME, kMaxTitleUnits);
        k.state = requestProperty(c, w, e._NET_WM_STATE, kMaxAtomUnits);
        k.type = requestProperty(c, w, e._NET_WM_WINDOW_TYPE, kMaxAtomUnits);
        k.desktop = requestProperty(c, w, e._NET_WM_DESKTOP, 1);
        k.parent = xcb_query_tree(c, w);
    }
    xcb_res_query_client_ids_cookie_t clientIds{};
    if (connection_.hasXRes() && !ids.empty()) {
        std::vector<xcb_res_client_id_spec_t> specs;
        specs.reserve(ids.size());
        for (xcb_window_t w : ids)
            specs.push_back({w, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
        clientIds =
            xcb_res_query_client_ids(c, static_cast<std::uint32_t>(specs.size()), specs.data());
    }
    xcb_get_property_cookie_t checkChildCookie{};
    if (checkWindow != 0)
        checkChildCookie = requestProperty(c, checkWindow, e._NET_SUPPORTING_WM_CHECK, 1);
    awaitAllReplies(c);
    ++roundTrips_;

    const std::uint32_t clientMask = ~xcb_get_setup(c)->resource_id_mask;
    std::unordered_map<std::uint32_t, pid_t> clientPids;
    if (connection_.hasXRes() && !ids.empty())
        clientPids = pidsByClientBase(c, clientIds);
    // Where each listed window's frame (its parent under a reparenting manager) stands among
    // the root's children, bottom to top: the stacking as the screen shows it.
    std::unordered_map<xcb_window_t, std::size_t> rootPosition;
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int n = 0; n < xcb_query_tree_children_length(tree.get()); ++n)
            rootPosition.emplace(children[n], static_cast<std::size_t>(n));
    }
    std::vector<std::optional<std::size_t>> shownPositions;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        auto& k = cookies[i];
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, k.attributes, nullptr));
        XcbReply<xcb_query_tree_reply_t> parent(xcb_query_tree_reply(c, k.parent, nullptr));
        X11ClientWindow window;
        window.id = ids[i];
        PropertyReply wmClass = takeProperty(c, k.wmClass);
        window.title = netWmNameOf(e, takeProperty(c, k.netWmName));
        const auto states = atomsOf(takeProperty(c, k.state));
        const auto types = atomsOf(takeProperty(c, k.type));
        PropertyReply desktop = takeProperty(c, k.desktop);
        if (auto owner = clientPids.find(window.id & clientMask); owner != clientPids.end())
            window.pid = owner->second;
        if (!attributes)
            continue; // destroyed between the list and this read
        if (!fromClientList && (attributes->override_redirect ||
                                attributes->map_state != XCB_MAP_STATE_VIEWABLE || !wmClass))
            continue;
        window.ownerName = classNameOf(wmClass);
        window.layer = layerForTypes(e, types);
        window.isViewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        window.isHidden =
            std::find(states.begin(), states.end(), e._NET_WM_STATE_HIDDEN) != states.end();
        window.desktop = cardinalOf(desktop).value_or(kAllDesktops);
        window.isOnCurrentDesktop =
            window.desktop == kAllDesktops || window.desktop == snapshot_.currentDesktop;
        const xcb_window_t frame = parent && parent->parent != root ? parent->parent : window.id;
        auto position = rootPosition.find(frame);
        shownPositions.push_back(position == rootPosition.end()
                                     ? std::nullopt
                                     : std::optional<std::size_t>(position->second));
        snapshot_.indexById.emplace(window.id, snapshot_.windows.size());
        snapshot_.windows.push_back(std::move(window));
    }
    orderAsShown(shownPositions);
    readFallbacks();
    xcb_window_t checkChild = 0;
    if (checkWindow != 0) {
        if (auto reply = takeProperty(c, checkChildCookie))
            xcb_ewmh_get_window_from_reply(&checkChild, reply.get());
    }
    snapshot_.hasEwmhManager =
        checkWindow != 0 && checkChild == checkWindow &&
        std::find(supported.begin(), supported.end(), e._NET_ACTIVE_WINDOW) != supported.end();
    snapshot_.hasWindowList = connection_.checkAlive();
    if (!snapshot_.hasWindowList) {
        snapshot_.windows.clear();
        snapshot_.indexById.clear();
    }
    noteWindowManager(snapshot_.hasEwmhManager);
}

// Fluxbox (1.3) keeps _NET_CLIENT_LIST_STACKING in mapping order whatever is raised, so the
// list is put in the order the frames really stand, front to back. When any frame is not
// found (a window manager that does not reparent into top-level frames) the list stays as
// the window manager gave it.
void X11DesktopReader::orderAsShown(const std::vector<std::optional<std::size_t>>& positions) {
    if (positions.size() != snapshot_.windows.size() ||
        std::any_of(positions.begin(), positions.end(), [](auto p) { return !p.has_value(); }))
        return;
    std::vector<std::size_t> order(positions.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return *positions[a] > *positions[b]; });
    std::vector<X11ClientWindow> sorted;
    sorted.reserve(order.size());
    snapshot_.indexById.clear();
    for (std::size_t i : order) {
        snapshot_.indexById.emplace(snapshot_.windows[i].id, sorted.size());
        sorted.push_back(std::move(snapshot_.windows[i]));
    }
    snapshot_.windows = std::move(sorted);
}

// Stage 3, only for the windows that need it: WM_NAME where _NET_WM_NAME gave no title, and
// _NET_WM_PID where X-Resource named no process (a remote client, or no extension).
void X11DesktopReader::readFallbacks() {
    xcb_connection_t* c = connection_.xcb();
    struct Fallback {
        X11ClientWindow* window;
        std::optional<xcb_get_property_cookie_t> name, pid;
    };
    std::vector<Fallback> fallbacks;
    for (X11ClientWindow& window : snapshot_.windows) {
        Fallback fallback{&window, std::nullopt, std::nullopt};
        if (window.title.empty())
            fallback.name = requestProperty(c, window.id, XCB_ATOM_WM_NAME, kMaxTitleUnits);
        if (window.pid == 0)
            fallback.pid = requestProperty(c, window.id, connection_.ewmh()._NET_WM_PID, 1);
        if (fallback.name || fallback.pid)
            fallbacks.push_back(fallback);
    }
    if (!fallbacks.empty()) {
        awaitAllReplies(c);
        ++roundTrips_;
    }
    for (Fallback& fallback : fallbacks) {
        if (fallback.name)
            fallback.window->title = wmNameOf(takeProperty(c, *fallback.name));
        if (fallback.pid) {
            PropertyReply reply = takeProperty(c, *fallback.pid);
            auto claimed = cardinalOf(reply);
            if (claimed && *claimed > 0 && *claimed <= INT32_MAX)
                fallback.window->pid = static_cast<pid_t>(*claimed);
        }
    }
    for (X11ClientWindow& window : snapshot_.windows) {
        if (window.ownerName.empty())
            window.ownerName = processName(window.pid);
        if (window.ownerName.empty())
            window.ownerName = "Window";
    }
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
    xcb_connection_t* c = connection_.xcb();
    std::map<pid_t, xcb_get_property_cookie_t> cookies;
    for (const auto& window : snapshot_.windows) {
        if (window.pid > 0 && !cookies.count(window.pid))
            cookies[window.pid] =
                requestProperty(c, window.id, connection_.ewmh()._NET_WM_ICON, kMaxIconUnits);
    }
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
