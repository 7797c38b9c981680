#pragma once
// What one keyboard event means to the switcher: a pure function of the event (type, key code,
// flag word), the current chord and the three switch flags. It answers how the flags change,
// which switch action (if any) to queue, and whether the event is swallowed or passed. It owns
// no state and does no I/O, so every row can be driven with synthetic events.

#include "input/HotkeyMode.h"
#include "platform/EventTap.h"

#include <cstdint>
#include <string_view>

namespace corvane {

// The Option or Command bit: a key-down is the chord only when exactly the mode's own one is down.
inline constexpr std::uint64_t kChordModifierMask =
    kCGEventFlagMaskAlternate | kCGEventFlagMaskCommand;
// Key-down, key-up and flags-changed events.
inline constexpr std::uint64_t kSwitcherEventMask = 0x1C00;

struct SwitchFlags {
    bool hudModifierIsHeld = false;
    bool hudIsShowing = false;
    bool hudMouseHoverMode = false;
    bool operator==(const SwitchFlags&) const = default;
};

enum class SwitchAction {
    none,
    beginSwitch,
    advanceSwitch,
    stepSelection,
    commitSwitch,
    cancelSwitch,
    handleModifierRelease,
};

std::string_view switchActionName(SwitchAction action);

struct KeyDecision {
    SwitchFlags flags;                        // the flags after the event
    SwitchAction action = SwitchAction::none; // queued for the main queue
    bool forward = true;                      // direction, for the actions that take one
    TapResult result = TapResult::pass;
    bool operator==(const KeyDecision&) const = default;
};

KeyDecision decideKeyEvent(std::uint32_t type, std::int64_t keyCode, std::uint64_t flags,
                           HotkeyMode mode, SwitchFlags current);

} // namespace corvane
