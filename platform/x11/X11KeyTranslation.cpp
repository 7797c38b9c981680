// Keysym and modifier translation for the X11 event tap (see X11KeyTranslation.h).

#include "platform/x11/X11KeyTranslation.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <tuple>
#include <utility>

namespace corvane {

namespace {

// Each thing a switch needs a key for has one; the grab set and the conflict line rely on it.
constexpr bool tableCoversEveryRole() {
    for (SwitchKeyRole role : {SwitchKeyRole::chordAndStep, SwitchKeyRole::step,
                               SwitchKeyRole::choose, SwitchKeyRole::cancel}) {
        bool found = false;
        for (const SwitchKey& key : kSwitchKeys)
            found = found || key.role == role;
        if (!found)
            return false;
    }
    return true;
}
static_assert(tableCoversEveryRole(), "kSwitchKeys lacks a key for one of the roles");

} // namespace

const SwitchKey* switchKeyForKeysym(std::uint32_t keysym) {
    // Shift+Tab arrives as ISO_Left_Tab on most layouts: it is still the Tab key.
    if (keysym == XKB_KEY_ISO_Left_Tab)
        keysym = XKB_KEY_Tab;
    for (const SwitchKey& key : kSwitchKeys) {
        if (key.keysym == keysym)
            return &key;
    }
    return nullptr;
}

std::int64_t virtualKeyCodeForKeysym(std::uint32_t keysym) {
    const SwitchKey* key = switchKeyForKeysym(keysym);
    return key != nullptr ? key->virtualKeyCode : kVirtualKeyOther;
}

std::uint64_t eventFlagsForModifierMask(std::uint16_t modifierMask) {
    static constexpr std::array<std::pair<std::uint16_t, std::uint64_t>, 5> table{{
        {kX11ShiftMask, kCGEventFlagMaskShift},
        {kX11LockMask, kCGEventFlagMaskAlphaShift},
        {kX11ControlMask, kCGEventFlagMaskControl},
        {kX11Mod1Mask, kCGEventFlagMaskAlternate},
        {kX11Mod4Mask, kCGEventFlagMaskCommand},
    }};
    std::uint64_t flags = 0;
    for (const auto& [mask, flag] : table) {
        if (modifierMask & mask)
            flags |= flag;
    }
    return flags;
}

std::uint16_t modifierMaskForChordFlag(std::uint64_t chordFlag) {
    if (chordFlag == kCGEventFlagMaskAlternate)
        return kX11Mod1Mask;
    if (chordFlag == kCGEventFlagMaskCommand)
        return kX11Mod4Mask;
    return 0;
}

bool GrabKeymap::addKey(std::uint32_t keysym, std::uint8_t keycode) {
    // Exact keysyms only: ISO_Left_Tab names Tab's shifted level, not a key to grab.
    for (std::size_t row = 0; row < kSwitchKeys.size(); ++row) {
        if (kSwitchKeys[row].keysym == keysym) {
            keycodes_[row].push_back(keycode);
            return true;
        }
    }
    return false;
}

const std::vector<std::uint8_t>& GrabKeymap::keycodesOf(const SwitchKey& key) const {
    const auto row = static_cast<std::size_t>(&key - kSwitchKeys.data());
    assert(row < kSwitchKeys.size() && "keycodesOf takes a row of kSwitchKeys");
    return keycodes_[row];
}

namespace {

std::vector<std::uint16_t> lockCombinations(const GrabKeymap& keymap) {
    std::vector<std::uint16_t> locks;
    for (std::uint16_t bit : {kX11LockMask, keymap.numLockMask, keymap.scrollLockMask}) {
        bit &= static_cast<std::uint16_t>(~kX11Mod5Mask);
        if (bit == 0 || std::find(locks.begin(), locks.end(), bit) != locks.end())
            continue;
        locks.push_back(bit);
    }
    std::vector<std::uint16_t> combinations{0};
    for (std::uint16_t bit : locks) {
        std::size_t count = combinations.size();
        for (std::size_t i = 0; i < count; ++i)
            combinations.push_back(combinations[i] | bit);
    }
    return combinations;
}

void addGrabs(std::vector<KeyGrab>& grabs, const std::vector<std::uint8_t>& keycodes,
              const std::vector<std::uint16_t>& modifierSets,
              const std::vector<std::uint16_t>& locks, bool isChord) {
    for (std::uint8_t keycode : keycodes) {
        for (std::uint16_t modifiers : modifierSets) {
            for (std::uint16_t lock : locks)
                grabs.push_back({keycode, static_cast<std::uint16_t>(modifiers | lock), isChord});
        }
    }
}

} // namespace

std::vector<std::uint16_t> everyModifierState(const GrabKeymap& keymap) {
    const std::uint16_t bits[] = {kX11ShiftMask, kX11ControlMask, kX11Mod1Mask, kX11Mod4Mask};
    std::vector<std::uint16_t> states;
    for (std::uint16_t lock : lockCombinations(keymap)) {
        for (unsigned subset = 0; subset < 16; ++subset) {
            std::uint16_t state = lock;
            for (unsigned bit = 0; bit < 4; ++bit) {
                if (subset & (1u << bit))
                    state |= bits[bit];
            }
            states.push_back(state);
        }
    }
    return states;
}

std::vector<KeyGrab> grabsForInterest(const TapInterest& interest, const GrabKeymap& keymap,
                                      const std::vector<std::uint16_t>& statesSeen,
                                      SwitchStateReach reach) {
    std::vector<KeyGrab> grabs;
    const auto locks = lockCombinations(keymap);
    const std::uint16_t chord = modifierMaskForChordFlag(interest.chordModifierFlag);
    if (chord != 0) {
        for (const SwitchKey& key : kSwitchKeys) {
            if (key.role == SwitchKeyRole::chordAndStep)
                addGrabs(grabs, keymap.keycodesOf(key),
                         {chord, static_cast<std::uint16_t>(chord | kX11ShiftMask)}, locks, true);
        }
    }
    if (interest.switchKeysWanted) {
        const std::uint16_t lockBits = locks.back(); // every lock at once
        const std::uint16_t modifierBits =
            kX11ShiftMask | kX11ControlMask | kX11Mod1Mask | kX11Mod4Mask;
        for (std::uint16_t state : statesSeen) {
            const auto held = static_cast<std::uint16_t>(state & modifierBits);
            const auto near = [&](std::uint16_t toggled) {
                return static_cast<std::uint16_t>(held ^ toggled);
            };
            std::vector<std::uint16_t> sets{near(0), near(kX11ShiftMask)};
            if (reach == SwitchStateReach::chordModifierAndShift)
                sets.insert(sets.end(), {near(chord), near(chord | kX11ShiftMask)});
            const std::vector<std::uint16_t> lock{static_cast<std::uint16_t>(state & lockBits)};
            for (const SwitchKey& key : kSwitchKeys)
                addGrabs(grabs, keymap.keycodesOf(key), sets, lock, false);
        }
    }
    // A chord pair also wanted as a switch key stays a chord grab: sort chords first per pair.
    std::sort(grabs.begin(), grabs.end(), [](const KeyGrab& a, const KeyGrab& b) {
        return std::tie(a.keycode, a.modifiers, b.isChord) <
               std::tie(b.keycode, b.modifiers, a.isChord);
    });
    grabs.erase(std::unique(grabs.begin(), grabs.end(),
                            [](const KeyGrab& a, const KeyGrab& b) {
                                return a.keycode == b.keycode && a.modifiers == b.modifiers;
                            }),
                grabs.end());
    return grabs;
}

} // namespace corvane
