// Keyboard interception through passive key grabs and XKB state notifications
// (see X11EventTap.h).

#include "platform/x11/X11EventTap.h"

#include "platform/SystemLog.h"
#include "platform/x11/X11GrabConflicts.h"
#include "platform/x11/X11Replies.h"

// xcb's XKB header names a struct field "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <algorithm>
#include <cassert>
#include <iterator>
#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

namespace corvane {

namespace {

// Holds its tap through the tap's liveness token: the owner may destroy the tap first.
class X11TapRunLoopSource : public RunLoopSource {
  public:
    explicit X11TapRunLoopSource(std::weak_ptr<X11EventTap*> tap) : tap_(std::move(tap)) {}
    ~X11TapRunLoopSource() override {
        if (isAdded_)
            attach(false);
    }
    void addToMainRunLoop() override {
        isAdded_ = true;
        attach(true);
    }

  private:
    void attach(bool attached) {
        if (auto tap = tap_.lock())
            (*tap)->setAttachedToRunLoop(attached);
    }
    std::weak_ptr<X11EventTap*> tap_;
    bool isAdded_ = false;
};

// The XKB events all share this head; xkbType tells them apart.
struct XkbEventHead {
    std::uint8_t responseType;
    std::uint8_t xkbType;
    std::uint16_t sequence;
    xcb_timestamp_t time;
    std::uint8_t deviceID;
};

constexpr std::uint16_t kModifierStateParts = XCB_XKB_STATE_PART_MODIFIER_BASE |
                                              XCB_XKB_STATE_PART_MODIFIER_LATCH |
                                              XCB_XKB_STATE_PART_MODIFIER_LOCK;

} // namespace

void XkbContextUnref::operator()(xkb_context* context) const {
    xkb_context_unref(context);
}

void XkbKeymapUnref::operator()(xkb_keymap* keymap) const {
    xkb_keymap_unref(keymap);
}

std::unique_ptr<EventTap> X11EventTapService::createTap(std::uint64_t eventMask,
                                                        EventTapCallback callback, void* userInfo) {
    if (!connection_.hasXkb() || !connection_.checkAlive() || callback == nullptr)
        return nullptr;
    return std::make_unique<X11EventTap>(connection_, eventMask, callback, userInfo);
}

X11EventTap::X11EventTap(X11Connection& connection, std::uint64_t eventMask,
                         EventTapCallback callback, void* userInfo)
    : connection_(connection), eventMask_(eventMask), callback_(callback), userInfo_(userInfo) {
    context_.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    selectXkbEvents();
    loadKeymap();
    connection_.addListener(this);
}

X11EventTap::~X11EventTap() {
    connection_.removeListener(this);
    releaseGrabs();
}

void X11EventTap::enable(bool enabled) {
    isEnabled_ = enabled;
    syncGrabs();
}

void X11EventTap::setInterest(const TapInterest& interest) {
    interest_ = interest;
    // Inside the callback the grab change waits until the event has been answered, so the
    // answer applies to the grab that froze the keyboard.
    if (!isInCallback_)
        syncGrabs();
}

std::unique_ptr<RunLoopSource> X11EventTap::createRunLoopSource() {
    return std::make_unique<X11TapRunLoopSource>(liveness_);
}

void X11EventTap::setAttachedToRunLoop(bool attached) {
    isAttached_ = attached;
    syncGrabs();
}

bool X11EventTap::isDelivering() const {
    return isEnabled_ && isAttached_ && !connection_.isLost();
}

void X11EventTap::selectXkbEvents() {
    xcb_connection_t* c = connection_.xcb();
    const auto device = static_cast<xcb_xkb_device_spec_t>(connection_.xkbDeviceId());
    constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    constexpr std::uint16_t mapParts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
        XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
        XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = kModifierStateParts;
    details.stateDetails = kModifierStateParts;
    xcb_xkb_select_events_aux(c, device, events, 0, 0, mapParts, mapParts, &details);
    // Held keys then repeat as presses only, without a release between them.
    xcb_discard_reply(
        c, xcb_xkb_per_client_flags(c, device, XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                    XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0)
               .sequence);
    const XcbReply<xcb_xkb_get_state_reply_t> state(
        xcb_xkb_get_state_reply(c, xcb_xkb_get_state(c, device), nullptr));
    if (state)
        lastModifiers_ = state->mods;
}

void X11EventTap::loadKeymap() {
    keymap_.reset(context_ ? xkb_x11_keymap_new_from_device(context_.get(), connection_.xcb(),
                                                            connection_.xkbDeviceId(),
                                                            XKB_KEYMAP_COMPILE_NO_FLAGS)
                           : nullptr);
    grabKeymap_ = GrabKeymap{};
    if (keymap_ == nullptr) {
        connection_.log().log("Corvane: cannot read the keyboard map; the chord is not grabbed");
        return;
    }
    std::vector<std::uint8_t> numLockKeys, scrollLockKeys;
    const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_.get()), 255);
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap_.get()); key <= last; ++key) {
        const auto keycode = static_cast<std::uint8_t>(key);
        const std::uint32_t keysym = baseKeysym(keycode);
        if (grabKeymap_.addKey(keysym, keycode))
            continue;
        if (keysym == XKB_KEY_Num_Lock)
            numLockKeys.push_back(keycode);
        else if (keysym == XKB_KEY_Scroll_Lock)
            scrollLockKeys.push_back(keycode);
    }
    // Which real modifier a lock key sets is in the core modifier map, not in the keysyms.
    xcb_connection_t* c = connection_.xcb();
    const XcbReply<xcb_get_modifier_mapping_reply_t> map(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
    if (!map)
        return;
    const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(map.get());
    const int perModifier = map->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keycode = keycodes[modifier * perModifier + i];
            const auto bit = static_cast<std::uint16_t>(1u << modifier);
            if (std::find(numLockKeys.begin(), numLockKeys.end(), keycode) != numLockKeys.end())
                grabKeymap_.numLockMask |= bit;
            if (std::find(scrollLockKeys.begin(), scrollLockKeys.end(), keycode) !=
                scrollLockKeys.end())
                grabKeymap_.scrollLockMask |= bit;
        }
    }
}

std::uint32_t X11EventTap::baseKeysym(std::uint8_t keycode) const {
    const xkb_keysym_t* syms = nullptr;
    if (!keymap_ || xkb_keymap_key_get_syms_by_level(keymap_.get(), keycode, 0, 0, &syms) < 1)
        return XKB_KEY_NoSymbol;
    return syms[0];
}

void X11EventTap::syncGrabs() {
    if (connection_.isLost())
        return;
    // The switch keys follow the modifier states of the switch as they come, a handful of
    // grabs each, rather than every combination at the chord: the server adds hundreds of
    // grabs slowly, and they would all go ahead of the panel's map.
    if (isDelivering() && interest_.switchKeysWanted)
        noteSwitchState(lastModifiers_);
    else
        switchStates_.clear();
    // While the chord's own grab holds the keyboard every key comes here. It ends on the server
    // as soon as Tab comes up, which Corvane may hear of only after a script's next keys: those
    // with the chord's modifier held are grabbed at once, the rest when it ends here.
    std::vector<KeyGrab> wanted;
    if (isDelivering())
        wanted = grabsForInterest(interest_, grabKeymap_, switchStates_,
                                  isChordGrabHeld_ ? SwitchStateReach::shift
                                                   : SwitchStateReach::chordModifierAndShift);
    xcb_connection_t* c = connection_.xcb();
    if (wanted == grabs_) {
        if (isDelivering() && !switchKeysProbed_) {
            probeSwitchKeys(); // after a keymap change that moved only the switch keys
            xcb_flush(c);
        }
        return;
    }
    assert(std::is_sorted(wanted.begin(), wanted.end()) && "set_difference needs sorted sets");
    const xcb_window_t root = connection_.root();
    std::vector<KeyGrab> removed, added;
    std::set_difference(grabs_.begin(), grabs_.end(), wanted.begin(), wanted.end(),
                        std::back_inserter(removed));
    std::set_difference(wanted.begin(), wanted.end(), grabs_.begin(), grabs_.end(),
                        std::back_inserter(added));
    for (const KeyGrab& grab : removed)
        xcb_ungrab_key(c, grab.keycode, root, grab.modifiers);
    for (const KeyGrab& grab : added) {
        auto cookie = xcb_grab_key(c, 0, root, grab.modifiers, grab.keycode, XCB_GRAB_MODE_ASYNC,
                                   XCB_GRAB_MODE_SYNC);
        grabSequences_[static_cast<std::uint16_t>(cookie.sequence)] = grab;
    }
    const bool switchKeysGrabbed = isDelivering() && interest_.switchKeysWanted;
    if (switchKeysGrabbed_ && !switchKeysGrabbed)
        ungrabKeyboard();
    switchKeysGrabbed_ = switchKeysGrabbed;
    grabs_ = std::move(wanted);
    if (isDelivering() && !switchKeysProbed_)
        probeSwitchKeys();
    xcb_flush(c);
}

// The switch keys are grabbed only while a switch is under way, so a window manager's binding
// on one would go unnoticed until a switch misbehaves (openbox's stock Alt+Escape takes the key
// that cancels). Each combination not held now is grabbed and at once released, and a refusal
// is reported like the chord's. A key pressed in between reaches Corvane instead of its window.
void X11EventTap::probeSwitchKeys() {
    switchKeysProbed_ = true;
    xcb_connection_t* c = connection_.xcb();
    const xcb_window_t root = connection_.root();
    for (const KeyGrab& grab : grabsForInterest({interest_.chordModifierFlag, true}, grabKeymap_,
                                                everyModifierState(grabKeymap_))) {
        if (std::binary_search(grabs_.begin(), grabs_.end(), grab))
            continue;
        auto cookie = xcb_grab_key(c, 0, root, grab.modifiers, grab.keycode, XCB_GRAB_MODE_ASYNC,
                                   XCB_GRAB_MODE_ASYNC);
        grabSequences_[static_cast<std::uint16_t>(cookie.sequence)] = grab;
        xcb_ungrab_key(c, grab.keycode, root, grab.modifiers);
    }
}

void X11EventTap::noteSwitchState(std::uint16_t state) {
    if (std::find(switchStates_.begin(), switchStates_.end(), state) == switchStates_.end())
        switchStates_.push_back(state);
}

void X11EventTap::releaseGrabs() {
    if (connection_.isLost())
        return;
    xcb_connection_t* c = connection_.xcb();
    xcb_ungrab_key(c, XCB_GRAB_ANY, connection_.root(), XCB_MOD_MASK_ANY);
    xcb_allow_events(c, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    ungrabKeyboard();
    xcb_flush(c);
    grabs_.clear();
    switchKeysGrabbed_ = false;
}

void X11EventTap::handleX11Event(const xcb_generic_event_t& event) {
    const std::uint8_t type = event.response_type & 0x7F;
    if (type == 0)
        handleError(reinterpret_cast<const xcb_generic_error_t&>(event));
    else if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE)
        handleKey(reinterpret_cast<const xcb_key_press_event_t&>(event), type == XCB_KEY_PRESS);
    else if (type == connection_.xkbFirstEvent())
        handleXkb(event);
}

void X11EventTap::handleKey(const xcb_key_press_event_t& key, bool isPress) {
    const std::uint32_t type = isPress ? kCGEventKeyDown : kCGEventKeyUp;
    TapResult result = TapResult::pass;
    if (isDelivering() && wants(type)) {
        const TapEvent tapEvent{virtualKeyCodeForKeysym(baseKeysym(key.detail)),
                                eventFlagsForModifierMask(key.state)};
        assert(!isInCallback_ && "the callback only queues work; it never reads X events");
        isInCallback_ = true;
        result = callback_(type, tapEvent, userInfo_);
        isInCallback_ = false;
    }
    // Only a press froze the keyboard; for anything else AllowEvents is ignored by the server.
    const bool beginsSwitch = isPress && !switchKeysGrabbed_ && interest_.switchKeysWanted;
    bool ungrabNow = false;
    if (isPress) {
        if (interest_.switchKeysWanted)
            noteSwitchState(key.state); // the press's own state, should XKB's lag behind
        xcb_allow_events(connection_.xcb(),
                         result == TapResult::swallow ? XCB_ALLOW_ASYNC_KEYBOARD
                                                      : XCB_ALLOW_REPLAY_KEYBOARD,
                         XCB_CURRENT_TIME);
        // A swallowed press leaves its passive grab holding the whole keyboard until that key
        // is released: letters typed under a held Tab would come here and be lost. The press
        // is answered, so the grab ends now (the chord's once its panel is out: see the header);
        // the key's release then reaches the focused window, a lone release that applications
        // ignore. Repeats and the next press of a grabbed key still come here through the
        // passive grabs.
        if (result == TapResult::swallow && beginsSwitch)
            isChordGrabHeld_ = true;
        else if (result == TapResult::swallow)
            ungrabNow = true;
    }
    if (isChordGrabHeld_ && !beginsSwitch) {
        isChordGrabHeld_ = false;
        ungrabNow = true;
    }
    // The switch keys' own grabs go first: the keyboard is never left with neither.
    syncGrabs();
    if (ungrabNow)
        ungrabKeyboard();
    if (isPress && result == TapResult::swallow)
        connection_.settleAhead();
    xcb_flush(connection_.xcb());
}

void X11EventTap::ungrabKeyboard() {
    isChordGrabHeld_ = false;
    xcb_ungrab_keyboard(connection_.xcb(), XCB_CURRENT_TIME);
}

void X11EventTap::settleHasPassed() {
    if (!isChordGrabHeld_ || connection_.isLost())
        return;
    isChordGrabHeld_ = false;
    syncGrabs();
    ungrabKeyboard();
    xcb_flush(connection_.xcb());
}

void X11EventTap::handleXkb(const xcb_generic_event_t& event) {
    const auto& head = reinterpret_cast<const XkbEventHead&>(event);
    if (head.deviceID != connection_.xkbDeviceId())
        return;
    if (head.xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || head.xkbType == XCB_XKB_MAP_NOTIFY) {
        // Also sent whenever typing moves between keyboards (XTEST included). Grabs change only
        // where keycodes moved, by difference: dropping them all would thaw a frozen keyboard
        // and let keys queued behind a chord slip past the grab.
        const GrabKeymap before = grabKeymap_;
        loadKeymap();
        if (grabKeymap_ != before)
            switchKeysProbed_ = false;
        syncGrabs();
        return;
    }
    if (head.xkbType != XCB_XKB_STATE_NOTIFY)
        return;
    const auto& state = reinterpret_cast<const xcb_xkb_state_notify_event_t&>(event);
    if (!(state.changed & kModifierStateParts) || state.mods == lastModifiers_)
        return;
    lastModifiers_ = state.mods;
    if (isDelivering() && wants(kCGEventFlagsChanged)) {
        const TapEvent tapEvent{kVirtualKeyOther, eventFlagsForModifierMask(state.mods)};
        isInCallback_ = true;
        callback_(kCGEventFlagsChanged, tapEvent, userInfo_); // modifier changes always pass
        isInCallback_ = false;
    }
    syncGrabs(); // a switch's grabs follow the new state
}

void X11EventTap::handleError(const xcb_generic_error_t& error) {
    if (error.error_code != XCB_ACCESS || error.major_code != XCB_GRAB_KEY)
        return;
    auto found = grabSequences_.find(error.sequence);
    if (found == grabSequences_.end())
        return;
    // Reported once per combination and role, however many lock combinations of it failed: a
    // switch key's combination can become the chord when the hotkey changes.
    const GrabConflict conflict{
        baseKeysym(found->second.keycode),
        static_cast<std::uint16_t>(found->second.modifiers &
                                   (kX11ShiftMask | kX11ControlMask | kX11Mod1Mask | kX11Mod4Mask)),
        found->second.isChord};
    if (!reportedConflicts_
             .insert(keyCombinationLabel(conflict) + (conflict.isChord ? " chord" : ""))
             .second)
        return;
    connection_.log().log(grabConflictLine(conflict, readWindowManagerName(connection_)));
}

} // namespace corvane
