// The X11 tap's pure translations: keysyms, modifier masks, the grab set of an interest and the
// line that tells of a combination another program holds.

#include "platform/x11/X11GrabConflicts.h"
#include "platform/x11/X11KeyTranslation.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace corvane {
namespace {

constexpr std::uint16_t kNumLock = 1 << 4; // Mod2 on every common layout

TEST(X11KeyTranslation, KeysymsAndModifierMasksBecomeCodesAndFlags) {
    // The switch keys themselves are kSwitchKeys' rows; these are the keysyms around them.
    const std::pair<std::uint32_t, std::int64_t> keys[] = {
        {XKB_KEY_ISO_Left_Tab, kVK_Tab}, // Shift+Tab on most layouts
        {XKB_KEY_Up, kVirtualKeyOther},    {XKB_KEY_KP_Left, kVirtualKeyOther},
        {XKB_KEY_Alt_L, kVirtualKeyOther}, {XKB_KEY_NoSymbol, kVirtualKeyOther},
    };
    for (const auto& [keysym, code] : keys)
        EXPECT_EQ(virtualKeyCodeForKeysym(keysym), code) << std::hex << keysym;

    const std::pair<std::uint16_t, std::uint64_t> masks[] = {
        {0, 0},
        {kX11LockMask | kX11ControlMask, kCGEventFlagMaskAlphaShift | kCGEventFlagMaskControl},
        {kX11Mod5Mask, 0},                                       // AltGr is not Option
        {kX11Mod1Mask | kX11Mod4Mask | kX11ShiftMask | kNumLock, // NumLock plays no part
         kCGEventFlagMaskAlternate | kCGEventFlagMaskCommand | kCGEventFlagMaskShift},
        {0xFF00, 0}, // pointer button bits
    };
    for (const auto& [mask, flags] : masks)
        EXPECT_EQ(eventFlagsForModifierMask(mask), flags) << std::hex << mask;
}

TEST(X11GrabSet, TheChordAlwaysTheSwitchKeysOnlyWhileWantedNeverMod5) {
    GrabKeymap map;
    for (const auto& [keysym, keycode] : {std::pair<std::uint32_t, std::uint8_t>{XKB_KEY_Tab, 23},
                                          {XKB_KEY_Left, 113},
                                          {XKB_KEY_Right, 114},
                                          {XKB_KEY_Return, 36},
                                          {XKB_KEY_KP_Enter, 104},
                                          {XKB_KEY_Escape, 9}})
        EXPECT_TRUE(map.addKey(keysym, keycode));
    EXPECT_FALSE(map.addKey(XKB_KEY_Up, 111));
    map.numLockMask = kNumLock;
    const std::uint16_t alt = kX11Mod1Mask, shift = kX11ShiftMask, caps = kX11LockMask;
    const std::uint16_t ctrl = kX11ControlMask, super = kX11Mod4Mask;
    const auto idle = grabsForInterest({kCGEventFlagMaskAlternate, false}, map, {});
    // At the chord with NumLock on, then with Ctrl pressed as well.
    const auto switching =
        grabsForInterest({kCGEventFlagMaskAlternate, true}, map, {alt | kNumLock});
    const auto withCtrl = grabsForInterest({kCGEventFlagMaskAlternate, true}, map,
                                           {alt | kNumLock, ctrl | alt | kNumLock});
    // While the chord's own grab still holds the keyboard: only what a script could press next.
    const auto atChord = grabsForInterest({kCGEventFlagMaskAlternate, true}, map, {alt | kNumLock},
                                          SwitchStateReach::shift);
    const auto every =
        grabsForInterest({kCGEventFlagMaskAlternate, true}, map, everyModifierState(map));
    const auto command = grabsForInterest({kCGEventFlagMaskCommand, false}, map, {});
    const struct {
        const std::vector<KeyGrab>& grabs;
        std::uint8_t key;
        std::uint16_t modifiers;
        bool grabbed;
    } cases[] = {
        {idle, 23, alt, true},
        {idle, 23, alt | shift, true},
        {idle, 23, alt | caps, true},
        {idle, 23, alt | kNumLock, true},
        {idle, 23, alt | shift | caps | kNumLock, true},
        {idle, 23, 0, false},           // plain Tab stays with the applications
        {idle, 9, alt, false},          // Escape only during a switch
        {switching, 9, kNumLock, true}, // hover mode: the modifier is up
        {switching, 104, shift | kNumLock, true},
        {switching, 113, alt | kNumLock, true},
        {switching, 36, alt | shift | kNumLock, true},
        {switching, 9, 0, false},                       // NumLock stays on unless XKB says so
        {switching, 9, ctrl | alt | kNumLock, false},   // nor is Ctrl pressed yet
        {withCtrl, 9, ctrl | alt | kNumLock, true},     // now it is
        {withCtrl, 113, ctrl | shift | kNumLock, true}, // and then the chord released
        {atChord, 9, alt | kNumLock, true},
        {atChord, 113, alt | shift | kNumLock, true},
        {atChord, 9, kNumLock, false}, // hover waits for the chord's grab to end
        {every, 104, alt | super | shift, true},
        {every, 36, ctrl | caps | kNumLock, true},
        {every, 113, 0x8000, false}, // never AnyModifier: it collides with the WM's bindings
        {command, 23, kX11Mod4Mask, true},
        {command, 23, kX11Mod4Mask | shift, true},
        {command, 23, alt, false},
    };
    for (const auto& c : cases) {
        const bool grabbed = std::any_of(c.grabs.begin(), c.grabs.end(), [&](const KeyGrab& g) {
            return g.keycode == c.key && g.modifiers == c.modifiers;
        });
        EXPECT_EQ(grabbed, c.grabbed) << int(c.key) << " with " << std::hex << c.modifiers;
    }
    const auto isChord = [](const KeyGrab& g) { return g.isChord; };
    EXPECT_EQ(idle.size(), 8u); // the chord with and without Shift, times four lock states
    EXPECT_TRUE(std::all_of(idle.begin(), idle.end(), isChord));
    // The chord's 8, then 6 keys x 4 sets in one lock state, less the chord's 2 among them.
    EXPECT_EQ(switching.size(), 8u + 6u * 4u - 2u);
    // 6 keys x 16 modifier sets x 4 lock states; the chord's still known as such for conflicts.
    EXPECT_EQ(every.size(), 6u * 16u * 4u);
    EXPECT_TRUE(std::is_sorted(every.begin(), every.end()));
    EXPECT_EQ(std::count_if(every.begin(), every.end(), isChord), 8);

    map.scrollLockMask = kX11Mod5Mask; // where ScrollLock shares Mod5 with AltGr
    for (const auto& grabs :
         {grabsForInterest({kCGEventFlagMaskAlternate, false}, map, {}),
          grabsForInterest({kCGEventFlagMaskAlternate, true}, map, everyModifierState(map)),
          grabsForInterest({kCGEventFlagMaskAlternate, true}, map, {alt | kX11Mod5Mask})})
        EXPECT_TRUE(std::none_of(grabs.begin(), grabs.end(),
                                 [](const KeyGrab& g) { return g.modifiers & kX11Mod5Mask; }));
    EXPECT_TRUE(grabsForInterest({kCGEventFlagMaskAlternate, true}, GrabKeymap{}, {alt}).empty());
    EXPECT_TRUE(grabsForInterest({kCGEventFlagMaskControl, false}, map, {}).empty());
}

TEST(X11GrabConflicts, TheLineNamesTheCombinationTheCostTheManagerAndWhereToFreeIt) {
    const std::uint16_t alt = kX11Mod1Mask, shift = kX11ShiftMask;
    const struct {
        const char* manager;
        GrabConflict conflict;
        std::string expected; // a part of the line
    } cases[] = {
        {"Openbox",
         {XKB_KEY_Escape, alt, false},
         "Corvane: Alt+Escape is already grabbed by another program, most likely a binding of the "
         "window manager, Openbox; Escape pressed with Alt cannot cancel a switch; free that "
         "binding in ~/.config/openbox/rc.xml, <keybind key=\"A-Escape\">"},
        {"Openbox",
         {XKB_KEY_Right, alt | shift, false},
         "<keybind key=\"A-S-Right\"> (or \"S-A-Right\")"},
        {"Openbox", {XKB_KEY_Tab, alt, true}, "Alt+Tab is already grabbed"},
        {"Openbox", {XKB_KEY_Tab, alt, true}, "; Corvane cannot switch windows with it;"},
        {"Fluxbox", {XKB_KEY_Tab, alt | shift, true}, "~/.fluxbox/keys, the line \"Mod1 Shift Tab"},
        {"IceWM 3.3.1 (Linux/x86_64)", {XKB_KEY_Escape, alt, false}, "\"Alt+Esc\""},
        {"i3", {XKB_KEY_Return, alt, false}, "\"bindsym Mod1+Return\""},
        {"JWM", {XKB_KEY_Tab, alt | shift, true}, "<Key mask=\"AS\" key=\"Tab\">"},
        {"awesome",
         {XKB_KEY_Escape, kX11Mod4Mask, false},
         "awful.key({ \"Mod4\" }, \"Escape\", ...)"},
        {"Metacity",
         {XKB_KEY_Left, kX11ControlMask | alt, false},
         "Left pressed with Ctrl+Alt cannot step the selection; free that binding in gsettings "
         "org.gnome.desktop.wm.keybindings, the entry holding '<Control><Alt>Left'"},
        {"Xfwm4", {XKB_KEY_Tab, alt, true}, "/xfwm4/custom/<Alt>Tab"},
        {"",
         {XKB_KEY_KP_Enter, 0, false},
         "Corvane: KP_Enter is already grabbed by another program, most likely a binding of the "
         "window manager; KP_Enter cannot choose the selection; free that binding in the window "
         "manager's settings"},
    };
    for (const auto& c : cases) {
        const std::string line = grabConflictLine(c.conflict, c.manager);
        EXPECT_NE(line.find(c.expected), std::string::npos) << line;
    }
}

} // namespace
} // namespace corvane
