#pragma once
// Pure translations between X11 keyboard data and the event tap's vocabulary: the table of the
// keys Corvane acts on (read by key translation, keymap loading, the grab set and the conflict
// line alike), keysyms to the virtual key codes, core/XKB modifier masks to the flag word, and
// the set of passive grabs a TapInterest calls for. No connection is involved, so all of it is
// unit-tested.

#include "platform/EventTap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace corvane {

// What a switch key does; the chord key also begins a switch when pressed with the modifier.
enum class SwitchKeyRole { chordAndStep, step, choose, cancel };

struct SwitchKey {
    std::uint32_t keysym;        // the key's unshifted keysym, as the keymap lists it
    std::int64_t virtualKeyCode; // the kVK_ code the core decides on
    const char* name;            // the keysym's name, as window managers write it
    SwitchKeyRole role;
};

// Every key Corvane grabs, once. Tab is the only chord key.
inline constexpr std::array<SwitchKey, 6> kSwitchKeys{{
    {XKB_KEY_Tab, kVK_Tab, "Tab", SwitchKeyRole::chordAndStep},
    {XKB_KEY_Left, kVK_LeftArrow, "Left", SwitchKeyRole::step},
    {XKB_KEY_Right, kVK_RightArrow, "Right", SwitchKeyRole::step},
    {XKB_KEY_Return, kVK_Return, "Return", SwitchKeyRole::choose},
    {XKB_KEY_KP_Enter, kVK_ANSI_KeypadEnter, "KP_Enter", SwitchKeyRole::choose},
    {XKB_KEY_Escape, kVK_Escape, "Escape", SwitchKeyRole::cancel},
}};

// The table's row for a keysym (ISO_Left_Tab is Tab's row); null for any other key.
const SwitchKey* switchKeyForKeysym(std::uint32_t keysym);

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

// Where the keys of kSwitchKeys sit on the current keymap, and which real modifiers the lock
// keys set (NumLock is Mod2 on most layouts, ScrollLock usually none).
class GrabKeymap {
  public:
    // Records a keycode whose unshifted keysym is given; false when that is no switch key.
    bool addKey(std::uint32_t keysym, std::uint8_t keycode);
    // The keycodes of one row of kSwitchKeys, in the order they were added.
    const std::vector<std::uint8_t>& keycodesOf(const SwitchKey& key) const;

    std::uint16_t numLockMask = 0;
    std::uint16_t scrollLockMask = 0;
    bool operator==(const GrabKeymap&) const = default;

  private:
    std::array<std::vector<std::uint8_t>, kSwitchKeys.size()> keycodes_;
};

// Every combination of Shift, Control, Alt and Super under every combination of the lock
// modifiers: each state a switch could be held in.
std::vector<std::uint16_t> everyModifierState(const GrabKeymap& keymap);

// Which states next to one seen during a switch get the switch keys too.
enum class SwitchStateReach {
    shift,                 // with Shift toggled (stepping back)
    chordModifierAndShift, // and with the chord's modifier toggled (released for hover)
};

// Every (keycode, modifiers) pair to grab for the interest: the chord with and without Shift,
// under every combination of CapsLock, NumLock and ScrollLock (a passive grab matches the
// modifier state exactly), always. While a switch is wanted, also the switch keys under each
// modifier state seen during it and under the states next to it (reach), with that state's
// locks. Bits other than Shift, Control, Alt, Super and the locks are dropped, Mod5 (AltGr)
// always. Sorted, no duplicates.
std::vector<KeyGrab>
grabsForInterest(const TapInterest& interest, const GrabKeymap& keymap,
                 const std::vector<std::uint16_t>& statesSeen,
                 SwitchStateReach reach = SwitchStateReach::chordModifierAndShift);

} // namespace corvane
