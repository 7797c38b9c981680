// Per-window facts kept current by events (see X11WindowCache.h).

#include "platform/x11/X11WindowCache.h"

#include "platform/x11/X11Text.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <unordered_set>

namespace corvane {

namespace {

constexpr std::uint32_t kMaxTitleUnits = kMaxTitleBytes / 4 + 1;
constexpr std::uint32_t kWindowEvents =
    XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

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
void readWmClass(const PropertyReply& reply, X11ClientWindow& facts) {
    facts.classInstance.clear();
    facts.windowClass.clear();
    if (!reply || reply->type != XCB_ATOM_STRING)
        return;
    std::string_view bytes = bytesOf(*reply);
    std::string_view instance = bytes.substr(0, bytes.find('\0'));
    std::string_view rest =
        instance.size() < bytes.size() ? bytes.substr(instance.size() + 1) : std::string_view{};
    std::string_view windowClass = rest.substr(0, rest.find('\0'));
    facts.classInstance = utf8FromLatin1(instance, kMaxNameUnits * 4);
    facts.windowClass = utf8FromLatin1(windowClass, kMaxNameUnits * 4);
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
    const XcbReply<xcb_generic_error_t> ignoredError(error);
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

template <typename Event> const Event& as(const xcb_generic_event_t& event) {
    return reinterpret_cast<const Event&>(event);
}

} // namespace

struct X11WindowCache::Pending {
    xcb_window_t id = 0;
    std::uint32_t asked = 0;
    xcb_get_window_attributes_cookie_t attributes{};
    xcb_get_property_cookie_t wmClass{}, netWmName{}, wmName{}, state{}, type{}, desktop{}, pid{};
    xcb_query_tree_cookie_t tree{};
};

X11WindowCache::X11WindowCache(X11Connection& connection) : connection_(connection) {
    connection_.addListener(this);
}

X11WindowCache::~X11WindowCache() {
    connection_.removeListener(this);
}

const X11CachedWindow* X11WindowCache::find(xcb_window_t id) const {
    auto at = windows_.find(id);
    return at == windows_.end() ? nullptr : &at->second;
}

bool X11WindowCache::requestUpdates(const std::vector<xcb_window_t>& ids) {
    xcb_connection_t* c = connection_.xcb();
    const std::unordered_set<xcb_window_t> listed(ids.begin(), ids.end());
    std::erase_if(windows_, [&](const auto& entry) { return !listed.count(entry.first); });
    pending_.clear();
    clientIds_.reset();
    std::vector<xcb_res_client_id_spec_t> newcomers;
    for (xcb_window_t id : ids) {
        auto [at, isNew] = windows_.try_emplace(id);
        X11CachedWindow& window = at->second;
        if (isNew) {
            // Selected before the reads, in the same stream: a change after them is an event.
            xcb_change_window_attributes(c, id, XCB_CW_EVENT_MASK, &kWindowEvents);
            window.facts.id = id;
            newcomers.push_back({id, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID});
        }
        if (window.mapState == XCB_MAP_STATE_UNVIEWABLE)
            window.stale |= kFactAttributes;
        if (window.stale != 0)
            request(id, window, pending_.emplace_back());
    }
    if (connection_.hasXRes() && !newcomers.empty())
        clientIds_ = xcb_res_query_client_ids(c, static_cast<std::uint32_t>(newcomers.size()),
                                              newcomers.data());
    lastWindowsRead_ = pending_.size();
    return !pending_.empty();
}

void X11WindowCache::request(xcb_window_t id, X11CachedWindow& window, Pending& pending) {
    xcb_connection_t* c = connection_.xcb();
    xcb_ewmh_connection_t& e = connection_.ewmh();
    pending.id = id;
    pending.asked = window.stale;
    window.stale = 0; // from here on, an event marks a fact stale again
    const std::uint32_t asked = pending.asked;
    if (asked & kFactAttributes)
        pending.attributes = xcb_get_window_attributes(c, id);
    if (asked & kFactClass)
        pending.wmClass = requestProperty(c, id, XCB_ATOM_WM_CLASS, kMaxNameUnits);
    if (asked & kFactNetName)
        pending.netWmName = requestProperty(c, id, e._NET_WM_NAME, kMaxTitleUnits);
    if (asked & kFactName)
        pending.wmName = requestProperty(c, id, XCB_ATOM_WM_NAME, kMaxTitleUnits);
    if (asked & kFactState)
        pending.state = requestProperty(c, id, e._NET_WM_STATE, kMaxAtomUnits);
    if (asked & kFactType)
        pending.type = requestProperty(c, id, e._NET_WM_WINDOW_TYPE, kMaxAtomUnits);
    if (asked & kFactDesktop)
        pending.desktop = requestProperty(c, id, e._NET_WM_DESKTOP, 1);
    if (asked & kFactPid)
        pending.pid = requestProperty(c, id, e._NET_WM_PID, 1);
    if (asked & kFactFrame)
        pending.tree = xcb_query_tree(c, id);
}

void X11WindowCache::takeUpdates() {
    xcb_connection_t* c = connection_.xcb();
    std::unordered_map<std::uint32_t, pid_t> pidsByClient;
    if (clientIds_)
        pidsByClient = pidsByClientBase(c, *clientIds_);
    clientIds_.reset();
    for (Pending& pending : pending_) {
        auto at = windows_.find(pending.id);
        // Still taken when the window was forgotten meanwhile: xcb keeps every reply until then.
        X11CachedWindow scratch;
        const bool isCached = at != windows_.end();
        if (!take(isCached ? at->second : scratch, pending, pidsByClient) && isCached)
            windows_.erase(at);
    }
    pending_.clear();
}

bool X11WindowCache::take(X11CachedWindow& window, Pending& pending,
                          const std::unordered_map<std::uint32_t, pid_t>& pidsByClient) {
    xcb_connection_t* c = connection_.xcb();
    xcb_ewmh_connection_t& e = connection_.ewmh();
    const std::uint32_t asked = pending.asked;
    bool gone = false;
    if (asked & kFactAttributes) {
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, pending.attributes, nullptr));
        gone = !attributes;
        if (attributes) {
            window.mapState = attributes->map_state;
            window.isOverrideRedirect = attributes->override_redirect;
            window.facts.isViewable = window.mapState == XCB_MAP_STATE_VIEWABLE;
        }
    }
    if (asked & kFactClass) {
        PropertyReply wmClass = takeProperty(c, pending.wmClass, &gone);
        window.hasClass = wmClass != nullptr;
        readWmClass(wmClass, window.facts);
    }
    if (asked & kFactNetName)
        window.netWmName = netWmNameOf(e, takeProperty(c, pending.netWmName, &gone));
    if (asked & kFactName)
        window.wmName = wmNameOf(takeProperty(c, pending.wmName, &gone));
    if (asked & kFactState) {
        const auto states = atomsOf(takeProperty(c, pending.state, &gone));
        window.facts.isHidden =
            std::find(states.begin(), states.end(), e._NET_WM_STATE_HIDDEN) != states.end();
    }
    if (asked & kFactType)
        window.facts.layer = layerForTypes(e, atomsOf(takeProperty(c, pending.type, &gone)));
    if (asked & kFactDesktop)
        window.facts.desktop =
            cardinalOf(takeProperty(c, pending.desktop, &gone)).value_or(kAllDesktops);
    if (asked & kFactPid) {
        auto claimed = cardinalOf(takeProperty(c, pending.pid, &gone));
        window.claimedPid =
            claimed && *claimed > 0 && *claimed <= INT32_MAX ? static_cast<pid_t>(*claimed) : 0;
    }
    if (asked & kFactFrame) {
        XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, pending.tree, nullptr));
        gone = gone || !tree;
        window.parent = tree ? tree->parent : 0;
        window.frame = 0;
    }
    const std::uint32_t clientMask = ~xcb_get_setup(c)->resource_id_mask;
    if (auto owner = pidsByClient.find(pending.id & clientMask); owner != pidsByClient.end())
        window.resourcePid = owner->second;

    X11ClientWindow& facts = window.facts;
    facts.title = window.netWmName.empty() ? window.wmName : window.netWmName;
    const pid_t pid = window.resourcePid != 0 ? window.resourcePid : window.claimedPid;
    if ((asked & (kFactClass | kFactPid)) != 0 || facts.pid != pid) {
        facts.pid = pid;
        facts.ownerName = facts.windowClass.empty() ? facts.classInstance : facts.windowClass;
        if (facts.ownerName.empty())
            facts.ownerName = processName(pid);
        if (facts.ownerName.empty())
            facts.ownerName = "Window";
    }
    return !gone;
}

int X11WindowCache::resolveFrames(const std::unordered_map<xcb_window_t, std::size_t>& topLevels) {
    xcb_connection_t* c = connection_.xcb();
    const xcb_window_t root = connection_.root();
    struct Climb {
        xcb_window_t id, at;
        xcb_query_tree_cookie_t cookie;
    };
    std::vector<Climb> climbing;
    for (auto& [id, window] : windows_) {
        if (window.frame != 0 && topLevels.count(window.frame))
            continue;
        window.frame = window.parent == root ? id : 0;
        if (window.parent != 0 && window.parent != root)
            climbing.push_back({id, window.parent, {}});
    }
    int stages = 0;
    // Deeper than any manager nests; a loop in a hostile tree cannot keep Corvane here.
    constexpr int kMaxNesting = 8;
    for (int depth = 0; depth < kMaxNesting && !climbing.empty(); ++depth) {
        std::vector<Climb> next;
        for (Climb& climb : climbing) {
            if (topLevels.count(climb.at)) {
                windows_[climb.id].frame = climb.at;
                continue;
            }
            climb.cookie = xcb_query_tree(c, climb.at);
            next.push_back(climb);
        }
        if (next.empty())
            break;
        ++stages;
        climbing.clear();
        for (Climb& climb : next) {
            XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, climb.cookie, nullptr));
            if (!tree || tree->parent == 0)
                continue; // the ancestor went away: the window is read again when reparented
            if (tree->parent == root)
                windows_[climb.id].frame = climb.at;
            else
                climbing.push_back({climb.id, tree->parent, {}});
        }
    }
    return stages;
}

std::uint32_t X11WindowCache::factOfProperty(xcb_atom_t atom) {
    xcb_ewmh_connection_t& e = connection_.ewmh();
    if (atom == XCB_ATOM_WM_CLASS)
        return kFactClass;
    if (atom == e._NET_WM_NAME)
        return kFactNetName;
    if (atom == XCB_ATOM_WM_NAME)
        return kFactName;
    if (atom == e._NET_WM_STATE)
        return kFactState;
    if (atom == e._NET_WM_WINDOW_TYPE)
        return kFactType;
    if (atom == e._NET_WM_DESKTOP)
        return kFactDesktop;
    if (atom == e._NET_WM_PID)
        return kFactPid;
    return 0; // _NET_WM_USER_TIME and the like change often and matter to nobody here
}

void X11WindowCache::markStale(xcb_window_t id, std::uint32_t facts) {
    auto at = windows_.find(id);
    if (at == windows_.end() || facts == 0)
        return;
    at->second.stale |= facts;
    ++changes_;
}

void X11WindowCache::handleX11Event(const xcb_generic_event_t& event) {
    switch (event.response_type & 0x7F) {
    case XCB_PROPERTY_NOTIFY: {
        const auto& notify = as<xcb_property_notify_event_t>(event);
        markStale(notify.window, factOfProperty(notify.atom));
        break;
    }
    case XCB_MAP_NOTIFY:
        markStale(as<xcb_map_notify_event_t>(event).window, kFactAttributes);
        break;
    case XCB_UNMAP_NOTIFY:
        markStale(as<xcb_unmap_notify_event_t>(event).window, kFactAttributes);
        break;
    case XCB_REPARENT_NOTIFY:
        markStale(as<xcb_reparent_notify_event_t>(event).window, kFactFrame | kFactAttributes);
        break;
    case XCB_DESTROY_NOTIFY:
        changes_ += windows_.erase(as<xcb_destroy_notify_event_t>(event).window);
        break;
    default:
        break;
    }
}

} // namespace corvane
