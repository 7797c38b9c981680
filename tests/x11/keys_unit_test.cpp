// The X11 tap's pure translations: keysyms, modifier masks and the grab set of an interest.

#include "platform/x11/X11KeyTranslation.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace corvane {
namespace {

TEST(X11KeyTranslation, KeysymsMapToTheVirtualKeyCodesCorvaneActsOn) {
    const struct {
        std::uint32_t keysym;
        std::int64_t code;
    } cases[] = {
        {XKB_KEY_Tab, kVK_Tab},
        {XKB_KEY_ISO_Left_Tab, kVK_Tab}, // Shift+Tab on most layouts
        {XKB_KEY_Return, kVK_Return},
        {XKB_KEY_KP_Enter, kVK_ANSI_KeypadEnter},
        {XKB_KEY_Escape, kVK_Escape},
        {XKB_KEY_Left, kVK_LeftArrow},
        {XKB_KEY_Right, kVK_RightArrow},
        {XKB_KEY_Up, kVirtualKeyOther},
        {XKB_KEY_KP_Left, kVirtualKeyOther},
        {XKB_KEY_a, kVirtualKeyOther},
        {XKB_KEY_Alt_L, kVirtualKeyOther},
        {XKB_KEY_NoSymbol, kVirtualKeyOther},
    };
    for (const auto& c : cases)
        EXPECT_EQ(virtualKeyCodeForKeysym(c.keysym), c.code) << std::hex << c.keysym;
}

TEST(X11KeyTranslation, ModifierMasksBecomeTheFlagWord) {
    const struct {
        std::uint16_t mask;
        std::uint64_t flags;
    } cases[] = {
        {0, 0},
        {kX11ShiftMask, kCGEventFlagMaskShift},
        {kX11LockMask, kCGEventFlagMaskAlphaShift},
        {kX11ControlMask, kCGEventFlagMaskControl},
        {kX11Mod1Mask, kCGEventFlagMaskAlternate},
        {kX11Mod4Mask, kCGEventFlagMaskCommand},
        {1 << 4, 0},       // Mod2: NumLock plays no part in the chord
        {kX11Mod5Mask, 0}, // AltGr is not Option
        {kX11Mod1Mask | kX11Mod4Mask | kX11ShiftMask | (1 << 4),
         kCGEventFlagMaskAlternate | kCGEventFlagMaskCommand | kCGEventFlagMaskShift},
        {0xFF00, 0}, // pointer button bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(eventFlagsForModifierMask(c.mask), c.flags) << std::hex << c.mask;
}

class X11GrabSet : public ::testing::Test {
  protected:
    GrabKeymap keymap() const {
        GrabKeymap map;
        map.tab = {23};
        map.left = {113};
        map.right = {114};
        map.returnKey = {36};
        map.keypadEnter = {104};
        map.escape = {9};
        map.numLockMask = 1 << 4; // Mod2
        return map;
    }
    static bool has(const std::vector<KeyGrab>& grabs, std::uint8_t key, std::uint16_t mods) {
        return std::any_of(grabs.begin(), grabs.end(), [&](const KeyGrab& g) {
            return g.keycode == key && g.modifiers == mods;
        });
    }
};

TEST_F(X11GrabSet, ChordIsGrabbedWithAndWithoutShiftUnderEveryLockCombination) {
    const auto grabs = grabsForInterest({kCGEventFlagMaskAlternate, false}, keymap());
    const std::uint16_t numLock = 1 << 4;
    for (std::uint16_t shift : {std::uint16_t(0), kX11ShiftMask}) {
        for (std::uint16_t lock :
             {std::uint16_t(0), kX11LockMask, numLock, std::uint16_t(kX11LockMask | numLock)})
            EXPECT_TRUE(has(grabs, 23, kX11Mod1Mask | shift | lock)) << shift << " " << lock;
    }
    EXPECT_EQ(grabs.size(), 8u); // nothing but the chord while no switch is under way
    EXPECT_TRUE(
        std::all_of(grabs.begin(), grabs.end(), [](const KeyGrab& g) { return g.isChord; }));
    EXPECT_FALSE(has(grabs, 23, 0)); // plain Tab stays with the applications
}

TEST_F(X11GrabSet, CommandModeGrabsSuperTabAndNotAltTab) {
    const auto grabs = grabsForInterest({kCGEventFlagMaskCommand, false}, keymap());
    EXPECT_TRUE(has(grabs, 23, kX11Mod4Mask));
    EXPECT_TRUE(has(grabs, 23, kX11Mod4Mask | kX11ShiftMask));
    EXPECT_FALSE(has(grabs, 23, kX11Mod1Mask));
}

TEST_F(X11GrabSet, NeverGrabsWithMod5EvenWhenALockKeySitsThere) {
    GrabKeymap map = keymap();
    map.scrollLockMask = kX11Mod5Mask;
    for (bool switching : {false, true}) {
        const auto grabs = grabsForInterest({kCGEventFlagMaskAlternate, switching}, map);
        EXPECT_TRUE(std::none_of(grabs.begin(), grabs.end(),
                                 [](const KeyGrab& g) { return g.modifiers & kX11Mod5Mask; }));
    }
}

TEST_F(X11GrabSet, SwitchKeysOnlyWhileWantedWithExplicitModifiers) {
    const auto idle = grabsForInterest({kCGEventFlagMaskAlternate, false}, keymap());
    const auto switching = grabsForInterest({kCGEventFlagMaskAlternate, true}, keymap());
    for (std::uint8_t key : {23, 113, 114, 36, 104, 9}) {
        EXPECT_EQ(has(idle, key, 0), false) << int(key);
        EXPECT_TRUE(has(switching, key, 0)) << int(key); // hover mode: modifier released
        EXPECT_TRUE(has(switching, key, kX11Mod1Mask | (1 << 4))) << int(key);
        EXPECT_TRUE(has(switching, key, kX11Mod1Mask | kX11Mod4Mask | kX11ShiftMask)) << int(key);
    }
    EXPECT_FALSE(has(switching, 113, 0x8000)); // never AnyModifier
    // 6 keys x 16 modifier sets x 4 lock combinations, the chord pairs among them.
    EXPECT_EQ(switching.size(), 6u * 16u * 4u);
    EXPECT_TRUE(std::is_sorted(switching.begin(), switching.end()));
    const auto chordPairs = std::count_if(switching.begin(), switching.end(),
                                          [](const KeyGrab& g) { return g.isChord; });
    EXPECT_EQ(chordPairs, 8); // still reported as the chord when a grab conflicts
}

TEST_F(X11GrabSet, AKeymapWithoutTheKeysGrabsNothing) {
    EXPECT_TRUE(grabsForInterest({kCGEventFlagMaskAlternate, true}, GrabKeymap{}).empty());
    EXPECT_TRUE(grabsForInterest({kCGEventFlagMaskControl, false}, keymap()).empty());
}

} // namespace
} // namespace corvane
