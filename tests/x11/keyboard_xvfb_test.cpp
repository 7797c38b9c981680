// Keyboard interception on a real X server: the tap's grabs, answers and modifier events, with
// Corvane's own decision routine deciding, keys typed through XTEST and a test client recording
// what reaches it.

#include "harness/X11TestDesktop.h"
#include "input/KeyDecision.h"
#include "platform/x11/X11EventTap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace corvane::testing {
namespace {

// Plays the application delegate: the real decision, the flags kept, the interest re-synced.
struct DecidingOwner {
    HotkeyMode mode = HotkeyMode::optionTab;
    SwitchFlags flags;
    EventTap* tap = nullptr;
    std::vector<std::pair<std::uint32_t, TapEvent>> events;
    std::vector<SwitchAction> actions;

    static TapResult callback(std::uint32_t type, const TapEvent& event, void* userInfo) {
        auto& self = *static_cast<DecidingOwner*>(userInfo);
        self.events.emplace_back(type, event);
        const KeyDecision decision =
            decideKeyEvent(type, event.keyCode, event.flags, self.mode, self.flags);
        self.flags = decision.flags;
        if (decision.action != SwitchAction::none)
            self.actions.push_back(decision.action);
        self.tap->setInterest(
            {self.mode.modifierFlag(), self.flags.hudIsShowing || self.flags.hudMouseHoverMode});
        return decision.result;
    }
};

class X11Keyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string failure;
        desktop = X11TestDesktop::create(true, failure);
        ASSERT_NE(desktop, nullptr) << failure;
        keysFile = "/tmp/corvane-keys-" + std::to_string(getpid()) + ".txt";
        std::remove(keysFile.c_str());
        client = desktop->launch({"--keys", keysFile, "--window", "Typist"});
        ASSERT_EQ(client.windows.size(), 1u);
        ASSERT_TRUE(
            desktop->pumpUntil([&] { return desktop->activeWindow() == client.windows[0]; }));
        service = std::make_unique<X11EventTapService>(desktop->connection());
        startTap();
    }
    // The tap and its source go before the desktop, as members in reverse order.
    void TearDown() override { std::remove(keysFile.c_str()); }
    void startTap() {
        tap = service->createTap(kSwitcherEventMask, &DecidingOwner::callback, &owner);
        ASSERT_NE(tap, nullptr);
        owner.tap = tap.get();
        source = tap->createRunLoopSource();
        source->addToMainRunLoop();
        tap->enable(true);
        desktop->connection().drain();
        desktop->syncHelper();
    }
    void chord(std::uint32_t modifier, bool shift = false) {
        desktop->press(modifier);
        if (shift)
            desktop->press(XKB_KEY_Shift_L);
        desktop->tap(XKB_KEY_Tab);
        if (shift)
            desktop->release(XKB_KEY_Shift_L);
        desktop->release(modifier);
    }
    // How many lines the client recorded that start with prefix, once the X server has handled
    // everything typed so far.
    long clientGot(const std::string& prefix) {
        desktop->pumpUntil([] { return false; }, std::chrono::milliseconds(60));
        std::ifstream file(keysFile);
        long count = 0;
        for (std::string line; std::getline(file, line);)
            count += line.rfind(prefix, 0) == 0;
        return count;
    }
    // True when another program can take the whole keyboard: Corvane holds no active grab.
    // Corvane's requests are made to have reached the server first: the two connections are
    // served in no set order.
    bool keyboardIsFree() {
        syncCorvane();
        xcb_connection_t* c = desktop->helper();
        auto* reply =
            xcb_grab_keyboard_reply(c,
                                    xcb_grab_keyboard(c, 0, desktop->root(), XCB_CURRENT_TIME,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    nullptr);
        const bool free = reply != nullptr && reply->status == XCB_GRAB_STATUS_SUCCESS;
        std::free(reply);
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        desktop->syncHelper();
        return free;
    }
    void syncCorvane() {
        xcb_connection_t* c = desktop->connection().xcb();
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    bool othersCanGrab(std::uint32_t keysym, std::uint16_t modifiers) {
        syncCorvane();
        xcb_connection_t* c = desktop->helper();
        const std::uint8_t key = desktop->keycodeFor(keysym);
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_grab_key_checked(c, 0, desktop->root(), modifiers, key,
                                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        xcb_ungrab_key(c, key, desktop->root(), modifiers);
        desktop->syncHelper();
        return error == nullptr;
    }

    std::unique_ptr<X11TestDesktop> desktop;
    X11TestDesktop::Client client;
    std::string keysFile;
    std::unique_ptr<X11EventTapService> service;
    DecidingOwner owner;
    std::unique_ptr<EventTap> tap;
    std::unique_ptr<RunLoopSource> source;
};

TEST_F(X11Keyboard, AWholeSwitchIsSeenAndSwallowedAndTheKeyboardIsFreeAfterwards) {
    desktop->press(XKB_KEY_Alt_L);
    desktop->tap(XKB_KEY_Tab); // typed faster than Corvane answers: queued behind the freeze
    desktop->tap(XKB_KEY_Tab);
    desktop->release(XKB_KEY_Alt_L);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() >= 3; }));
    EXPECT_EQ(owner.actions,
              (std::vector<SwitchAction>{SwitchAction::beginSwitch, SwitchAction::advanceSwitch,
                                         SwitchAction::handleModifierRelease}));
    EXPECT_FALSE(owner.flags.hudIsShowing || owner.flags.hudModifierIsHeld);
    EXPECT_EQ(clientGot("press Tab"), 0);
    EXPECT_EQ(clientGot("press Alt_L"), 1); // modifier changes always pass
    EXPECT_TRUE(keyboardIsFree());
    // Only the chord stays grabbed between switches: plain Tab and Escape belong to others.
    EXPECT_TRUE(othersCanGrab(XKB_KEY_Tab, 0));
    EXPECT_TRUE(othersCanGrab(XKB_KEY_Escape, 0));
    EXPECT_FALSE(othersCanGrab(XKB_KEY_Tab, XCB_MOD_MASK_1));
}

// The chord's Tab held down: its repeats step the switch, keys typed meanwhile reach the
// client, and the next Tab press is still the switch's.
TEST_F(X11Keyboard, KeysTypedUnderTheChordsHeldTabReachTheClientAndItsRepeatsAndTheNextTabStep) {
    desktop->press(XKB_KEY_Alt_L);
    desktop->press(XKB_KEY_Tab);
    // The chord's grab lasts until the panel's map is out, after the connection settles.
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() == 1; }));
    EXPECT_FALSE(keyboardIsFree());
    desktop->connection().settle();
    desktop->connection().drain();
    EXPECT_TRUE(keyboardIsFree());
    EXPECT_FALSE(othersCanGrab(XKB_KEY_Escape, XCB_MOD_MASK_1)) << "the switch keys take over";
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() >= 3; })); // repeats
    desktop->tap(XKB_KEY_a); // ends the repeat, as any other key press does
    desktop->tap(XKB_KEY_b);
    EXPECT_TRUE(desktop->pumpUntil([&] { return clientGot("press b") == 1; }));
    desktop->release(XKB_KEY_Tab);
    const std::size_t steps = owner.actions.size();
    desktop->press(XKB_KEY_Shift_L);
    desktop->tap(XKB_KEY_Tab);
    desktop->release(XKB_KEY_Shift_L);
    desktop->release(XKB_KEY_Alt_L);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() >= steps + 2; }));
    EXPECT_EQ(std::tuple(owner.actions.front(), owner.actions.back()),
              std::tuple(SwitchAction::beginSwitch, SwitchAction::handleModifierRelease));
    EXPECT_EQ(std::count(owner.actions.begin(), owner.actions.end(), SwitchAction::advanceSwitch),
              static_cast<long>(owner.actions.size()) - 2);
    EXPECT_EQ(clientGot("press a"), 1);
    EXPECT_EQ(clientGot("press Tab") + clientGot("press ISO_Left_Tab"), 0);
    EXPECT_TRUE(keyboardIsFree());
}

TEST_F(X11Keyboard, TheChordIsCaughtWithNumLockAndCapsLockOn) {
    desktop->tap(XKB_KEY_Num_Lock);
    desktop->tap(XKB_KEY_Caps_Lock);
    chord(XKB_KEY_Alt_L, true);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() >= 2; }));
    EXPECT_EQ(owner.actions.front(), SwitchAction::beginSwitch);
    const auto down = std::find_if(owner.events.begin(), owner.events.end(), [](const auto& e) {
        return e.first == kCGEventKeyDown && e.second.keyCode == kVK_Tab;
    });
    ASSERT_NE(down, owner.events.end());
    EXPECT_EQ(down->second.flags,
              kCGEventFlagMaskAlternate | kCGEventFlagMaskShift | kCGEventFlagMaskAlphaShift);
    EXPECT_EQ(clientGot("press Tab"), 0);
}

TEST_F(X11Keyboard, OtherKeysReachTheClientDuringASwitchAndNothingStaysGrabbed) {
    desktop->press(XKB_KEY_Alt_L);
    desktop->tap(XKB_KEY_Tab);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.flags.hudIsShowing; }));
    desktop->tap(XKB_KEY_Up);   // passes: replayed to the client
    desktop->tap(XKB_KEY_Left); // steps the selection: swallowed
    // Ctrl pressed mid-switch: once Corvane has seen it, Ctrl+Alt+Left is the switch's too.
    desktop->press(XKB_KEY_Control_L);
    ASSERT_TRUE(desktop->pumpUntil(
        [&] { return owner.events.back().second.flags & kCGEventFlagMaskControl; }));
    syncCorvane();
    desktop->tap(XKB_KEY_Left);
    desktop->release(XKB_KEY_Control_L);
    desktop->tap(XKB_KEY_Return); // commits with the modifier still down: swallowed
    desktop->release(XKB_KEY_Alt_L);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() >= 4; }));
    EXPECT_TRUE(desktop->pumpUntil([&] { return clientGot("press Up") == 1; }));
    EXPECT_EQ(clientGot("press Left") + clientGot("press Return"), 0);
    EXPECT_EQ(owner.actions,
              (std::vector<SwitchAction>{SwitchAction::beginSwitch, SwitchAction::stepSelection,
                                         SwitchAction::stepSelection, SwitchAction::commitSwitch}));
    desktop->tap(XKB_KEY_Escape); // after the switch Escape is the application's again
    EXPECT_TRUE(desktop->pumpUntil([&] { return clientGot("press Escape") == 1; }));

    // Ended mid-switch, as when the process exits: every grab goes with the tap.
    desktop->press(XKB_KEY_Alt_L);
    desktop->tap(XKB_KEY_Tab);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.flags.hudIsShowing; }));
    source.reset();
    tap.reset();
    desktop->release(XKB_KEY_Alt_L);
    EXPECT_TRUE(keyboardIsFree());
    EXPECT_TRUE(othersCanGrab(XKB_KEY_Tab, XCB_MOD_MASK_1));
    EXPECT_TRUE(othersCanGrab(XKB_KEY_Escape, XCB_MOD_MASK_1));
}

TEST_F(X11Keyboard, CombinationsHeldByTheManagerAreLoggedOnceAtStartUpAndTheRestWorks) {
    tap.reset();
    // Bindings stock managers hold (openbox: A-Tab, A-Escape, S-A-Right; awesome: Super+Tab,
    // the other chord's combination), with and without NumLock. What each line says beyond its
    // start is the X11GrabConflicts table's.
    const struct {
        std::uint32_t keysym;
        std::uint16_t modifiers;
        std::string line; // the start of the one line it gets
    } held[] = {
        {XKB_KEY_Tab, XCB_MOD_MASK_1, "Corvane: Alt+Tab is already grabbed"},
        {XKB_KEY_Escape, XCB_MOD_MASK_1, "Corvane: Alt+Escape is already grabbed"},
        {XKB_KEY_Right, XCB_MOD_MASK_1 | XCB_MOD_MASK_SHIFT,
         "Corvane: Alt+Shift+Right is already grabbed"},
        {XKB_KEY_Tab, XCB_MOD_MASK_4, "Corvane: Super+Tab is already grabbed"},
    };
    for (const auto& binding : held) {
        for (int locks : {0, int(XCB_MOD_MASK_2)})
            xcb_grab_key(desktop->helper(), 0, desktop->root(), binding.modifiers | locks,
                         desktop->keycodeFor(binding.keysym), XCB_GRAB_MODE_ASYNC,
                         XCB_GRAB_MODE_ASYNC);
    }
    desktop->syncHelper();
    desktop->log().lines.clear();
    startTap();
    const auto& lines = desktop->log().lines;
    const auto expectEachLineOnce = [&] {
        ASSERT_EQ(lines.size(), std::size(held));
        for (const auto& binding : held) {
            const auto line = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
                return l.rfind(binding.line, 0) == 0;
            });
            ASSERT_NE(line, lines.end()) << binding.line;
            EXPECT_NE(line->find("window manager, Openbox"), std::string::npos) << *line;
        }
    };
    desktop->pumpUntil([&] { return lines.size() >= std::size(held); });
    desktop->pumpUntil([&] { return false; }, std::chrono::milliseconds(200));
    expectEachLineOnce(); // at start-up, before any switch
    // A switch grabs the switch keys again, and is refused again: nothing more is said.
    chord(XKB_KEY_Alt_L, true); // Shift+Alt+Tab is still Corvane's
    EXPECT_TRUE(desktop->pumpUntil([&] {
        return !owner.actions.empty() && owner.actions.front() == SwitchAction::beginSwitch;
    }));
    desktop->pumpUntil([&] { return false; }, std::chrono::milliseconds(200));
    expectEachLineOnce();

    // A keymap change that makes another key an Escape, its Alt combination held by the
    // manager: told at once, not in the middle of the next switch.
    const std::uint8_t spare = desktop->spareKeycode();
    ASSERT_NE(spare, 0);
    xcb_grab_key(desktop->helper(), 0, desktop->root(), XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1,
                 spare, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    desktop->bindKeycode(spare, XKB_KEY_Escape);
    EXPECT_TRUE(desktop->pumpUntil(
        [&] { return !lines.empty() && lines.back().rfind("Corvane: Ctrl+Alt+Escape", 0) == 0; }));
}

TEST_F(X11Keyboard, ALostConnectionIsReportedOnceAndEndsQuietly) {
    int lost = 0;
    desktop->connection().onConnectionLost = [&] { ++lost; };
    desktop->press(XKB_KEY_Alt_L);
    desktop->tap(XKB_KEY_Tab);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.flags.hudIsShowing; }));
    desktop->stopServer(); // mid-switch; the server takes every grab with it
    EXPECT_TRUE(desktop->pumpUntil([&] { return lost > 0; }));
    desktop->connection().drain();
    EXPECT_EQ(lost, 1);
    ASSERT_FALSE(desktop->log().lines.empty());
    EXPECT_NE(desktop->log().lines.back().find("lost the connection to the X server"),
              std::string::npos);
    EXPECT_FALSE(desktop->windowServer().copyWindowList(kCGWindowListOptionOnScreenOnly, 0));
    const auto windows =
        desktop->accessibility().copyAttributeValue({client.pid, 0}, kAXWindowsAttribute).value;
    EXPECT_TRUE(!windows || std::get<std::vector<AXUIElement>>(*windows).empty());
    tap->setInterest({kCGEventFlagMaskAlternate, false});
    tap.reset(); // must not write to the dead connection
}

TEST(X11Connection, NoDisplayIsALogLineNotACrash) {
    FakeSystemLog log;
    EXPECT_EQ(X11Connection::open(log, ":1999"), nullptr);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("cannot connect to the X display :1999"), std::string::npos);
}

} // namespace
} // namespace corvane::testing
