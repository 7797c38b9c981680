#pragma once
// Pure translations between X11 keyboard data and the event tap's vocabulary: keysyms to the
// virtual key codes Corvane acts on, core/XKB modifier masks to the flag word, and the set of
// passive grabs a TapInterest calls for. No connection is involved, so all of it is unit-tested.

#include "platform/EventTap.h"

#include <cstdint>
#include <vector>

namespace corvane {

// Returned for every keysym Corvane does not act on; matches none of the kVK_ codes.
inline constexpr std::int64_t kVirtualKeyOther = -1;

// The X11 real-modifier bits (core protocol and XKB share them).
inline constexpr std::uint16_t kX11ShiftMask = 1 << 0;
inline constexpr std::uint16_t kX11LockMask = 1 << 1;
inline constexpr std::uint16_t kX11ControlMask = 1 << 2;
inline constexpr std::uint16_t kX11Mod1Mask = 1 << 3; // Alt
inline constexpr std::uint16_t kX11Mod4Mask = 1 << 6; // Super
inline constexpr std::uint16_t kX11Mod5Mask = 1 << 7; // AltGr on most layouts: never grabbed

std::int64_t virtualKeyCodeForKeysym(std::uint32_t keysym);
std::uint64_t eventFlagsForModifierMask(std::uint16_t modifierMask);
// The real modifier that carries a chord flag (Alt -> Mod1, Command -> Mod4); 0 for others.
std::uint16_t modifierMaskForChordFlag(std::uint64_t chordFlag);

struct KeyGrab {
    std::uint8_t keycode = 0;
    std::uint16_t modifiers = 0;
    bool isChord = false; // a conflict on it is worth telling the user about
    auto operator<=>(const KeyGrab&) const = default;
};

// Where the keys Corvane grabs sit on the current keymap, and which real modifiers the lock
// keys set (NumLock is Mod2 on most layouts, ScrollLock usually none).
struct GrabKeymap {
    std::vector<std::uint8_t> tab, left, right, returnKey, keypadEnter, escape;
    std::uint16_t numLockMask = 0;
    std::uint16_t scrollLockMask = 0;
    bool operator==(const GrabKeymap&) const = default;
};

// Every (keycode, modifiers) pair to grab for the interest: the chord with and without Shift
// always; the switch keys under every combination of Shift, Control, Alt and Super while a
// switch is wanted. Each pair is repeated for every combination of CapsLock, NumLock and
// ScrollLock, because a passive grab matches the modifier state exactly. Sorted, no duplicates.
std::vector<KeyGrab> grabsForInterest(const TapInterest& interest, const GrabKeymap& keymap);

} // namespace corvane
