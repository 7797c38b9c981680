#pragma once
// The event tap on X11: covers key-downs, key-ups and modifier changes for the chord and the
// switch keys; it does not see keys Corvane has not grabbed (nothing else needs deciding).
//
// - Passive grabs on the root window in synchronous keyboard mode. Each grabbed key-down (and
//   every key event that arrives while a grab of ours is active) is translated and handed to
//   the callback at once; the answer is applied with AllowEvents: swallow = AsyncKeyboard,
//   pass = ReplayKeyboard. A swallowed press's grab is ended at once (UngrabKeyboard; the
//   chord's a moment later, see below), so keys typed while it is held down reach the focused
//   window, and so does its release: a lone key-up the applications ignore. A key-up cannot be
//   replayed (X freezes only on the press), so a key-up that does reach Corvane stays with it
//   whatever the answer.
// - The grab set follows setInterest(): the chord (Tab with the chord modifier, with and without
//   Shift, times every combination of CapsLock, NumLock and ScrollLock, never Mod5/AltGr)
//   always; every key of kSwitchKeys (X11KeyTranslation.h) only while switch keys are wanted,
//   under the modifier states the switch has been in (XKB tells each change) and those one
//   chord-modifier or Shift change away. A key pressed under a new state before its grabs
//   land (well under a millisecond after the modifier) reaches the focused window.
//   When switch keys stop being wanted the keyboard is also ungrabbed outright, so a switch
//   never ends with the keyboard held.
// - The grab a chord activates is kept until the switch's panel has been mapped (the first
//   drain after the connection settled), or until the next key or the switch's end if that
//   comes first. Until then every key comes to Corvane anyway, and ending the grab at once made
//   the server tell the focused window and the window manager: their work went ahead of the
//   map. So do most switch-key grabs: at the chord only those with its modifier still held are
//   made, the rest just before the chord's grab ends.
// - Modifier changes come from XKB state notifications (they arrive whatever is grabbed) and
//   become kCGEventFlagsChanged events; they cannot be swallowed.
// - A combination another client already grabbed (BadAccess), the chord's or a switch key's, is
//   logged once, with the window manager and where its binding is freed (X11GrabConflicts.h).
//   The switch keys are probed (grabbed and released at once) when the tap starts delivering
//   and after a keymap change that moves them, so their conflicts are told at start-up, not
//   found out in the middle of a switch. Keymap changes reload and re-grab.
// - Disabling or destroying the tap releases every grab. A lost connection ends all grabs on
//   the server side.
// Known gap: keys queued behind a frozen press (typed before Corvane answered it), or typed
// between a chord and its panel's map, are delivered to Corvane's grab and decided like any
// other key; those it passes are lost.

#include "platform/EventTap.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11KeyTranslation.h"

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct xkb_context;
struct xkb_keymap;

namespace corvane {

struct XkbContextUnref {
    void operator()(xkb_context* context) const;
};
struct XkbKeymapUnref {
    void operator()(xkb_keymap* keymap) const;
};

class X11EventTapService : public EventTapService {
  public:
    explicit X11EventTapService(X11Connection& connection) : connection_(connection) {}

    // Null when the server lacks XKB (modifier changes could not be seen) or the connection is
    // gone.
    std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                        void* userInfo) override;

  private:
    X11Connection& connection_;
};

class X11EventTap : public EventTap, private X11EventListener {
  public:
    X11EventTap(X11Connection& connection, std::uint64_t eventMask, EventTapCallback callback,
                void* userInfo);
    ~X11EventTap() override;
    X11EventTap(const X11EventTap&) = delete;
    X11EventTap& operator=(const X11EventTap&) = delete;

    void enable(bool enabled) override;
    bool isEnabled() const override { return isEnabled_; }
    void setInterest(const TapInterest& interest) override;
    // The connection is already pumped by the main run loop; the source only lets the tap
    // deliver while it is on the loop.
    std::unique_ptr<RunLoopSource> createRunLoopSource() override;
    void setAttachedToRunLoop(bool attached);
    // The grabs currently held, for tests and diagnostics.
    const std::vector<KeyGrab>& activeGrabs() const { return grabs_; }

  private:
    void handleX11Event(const xcb_generic_event_t& event) override;
    void settleHasPassed() override;
    void ungrabKeyboard();
    void handleKey(const xcb_key_press_event_t& key, bool isPress);
    void handleXkb(const xcb_generic_event_t& event);
    void handleError(const xcb_generic_error_t& error);
    bool isDelivering() const;
    bool wants(std::uint32_t type) const { return type < 64 && (eventMask_ >> type & 1u); }

    void loadKeymap();
    void selectXkbEvents();
    void syncGrabs();
    void noteSwitchState(std::uint16_t state);
    void releaseGrabs();
    void probeSwitchKeys();
    std::uint32_t baseKeysym(std::uint8_t keycode) const;

    X11Connection& connection_;
    std::uint64_t eventMask_;
    EventTapCallback callback_;
    void* userInfo_;
    bool isEnabled_ = false;
    bool isAttached_ = false;
    bool isInCallback_ = false;
    TapInterest interest_;
    std::unique_ptr<xkb_context, XkbContextUnref> context_;
    std::unique_ptr<xkb_keymap, XkbKeymapUnref> keymap_;
    GrabKeymap grabKeymap_;
    std::vector<KeyGrab> grabs_;
    bool switchKeysGrabbed_ = false;
    bool isChordGrabHeld_ = false; // until the panel's map is out; see the header
    // The modifier states seen since the switch keys were wanted, in order; see syncGrabs.
    std::vector<std::uint16_t> switchStates_;
    std::uint8_t lastModifiers_ = 0;
    // Every grab request by the low 16 bits of its sequence number, which is what an error
    // carries; a later grab with the same bits replaces the entry.
    std::map<std::uint16_t, KeyGrab> grabSequences_;
    bool switchKeysProbed_ = false;
    std::set<std::string> reportedConflicts_;
    // What the run-loop source holds weakly; gone with the tap.
    std::shared_ptr<X11EventTap*> liveness_ = std::make_shared<X11EventTap*>(this);
};

} // namespace corvane
