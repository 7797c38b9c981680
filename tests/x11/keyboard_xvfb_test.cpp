// Keyboard interception on a real X server: the tap's grabs, answers and modifier events, with
// Corvane's own decision routine deciding, keys typed through XTEST and a test client recording
// what reaches it.

#include "harness/X11TestDesktop.h"
#include "input/KeyDecision.h"
#include "platform/x11/X11EventTap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>
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
    bool saw(std::uint32_t type, std::int64_t keyCode) const {
        return std::any_of(events.begin(), events.end(), [&](const auto& e) {
            return e.first == type && e.second.keyCode == keyCode;
        });
    }
};

std::string describe(const std::vector<std::pair<std::uint32_t, TapEvent>>& events) {
    std::string text;
    for (const auto& [type, event] : events)
        text += std::to_string(type) + ":" + std::to_string(event.keyCode) + ":" +
                std::to_string(event.flags) + " ";
    return text;
}

class X11Keyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string failure;
        desktop = X11TestDesktop::create(true, failure);
        ASSERT_NE(desktop, nullptr) << failure;
        keysFile = "/tmp/corvane-keys-" + std::to_string(getpid()) + ".txt";
        std::remove(keysFile.c_str());
        client = desktop->session().launchClient({"--keys", keysFile, "--window", "Typist"});
        ASSERT_EQ(client.windows.size(), 1u);
        ASSERT_TRUE(desktop->waitUntilManaged(client.windows));
        ASSERT_TRUE(
            desktop->pumpUntil([&] { return desktop->activeWindow() == client.windows[0]; }));
        service = std::make_unique<X11EventTapService>(desktop->connection());
        startTap();
    }
    void TearDown() override {
        source.reset();
        tap.reset();
        std::remove(keysFile.c_str());
    }
    void startTap() {
        tap = service->createTap(kSwitcherEventMask, &DecidingOwner::callback, &owner);
        ASSERT_NE(tap, nullptr);
        owner.tap = tap.get();
        source = service->createRunLoopSource(*tap);
        service->addSourceToMainRunLoop(*source);
        tap->enable(true);
        desktop->connection().drain();
        desktop->syncHelper();
    }
    // Lines the client recorded, after the X server has handled everything typed so far.
    std::vector<std::string> clientKeys() {
        desktop->pumpUntil([] { return false; }, std::chrono::milliseconds(60));
        return readLines(keysFile);
    }
    bool clientGot(const std::string& prefix) {
        const auto lines = clientKeys();
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }
    // True when another program can take the whole keyboard: Corvane holds no active grab.
    bool keyboardIsFree() {
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
    bool keyIsGrabbableByOthers(std::uint32_t keysym, std::uint16_t modifiers) {
        xcb_connection_t* c = desktop->helper();
        const std::uint8_t key = desktop->keycodeFor(keysym);
        auto cookie = xcb_grab_key_checked(c, 0, desktop->root(), modifiers, key,
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t* error = xcb_request_check(c, cookie);
        const bool free = error == nullptr;
        std::free(error);
        xcb_ungrab_key(c, key, desktop->root(), modifiers);
        desktop->syncHelper();
        return free;
    }

    std::unique_ptr<X11TestDesktop> desktop;
    XvfbSession::Client client;
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
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() >= 3; }))
        << describe(owner.events) << " client: " << ::testing::PrintToString(clientKeys());
    EXPECT_EQ(owner.actions,
              (std::vector<SwitchAction>{SwitchAction::beginSwitch, SwitchAction::advanceSwitch,
                                         SwitchAction::handleModifierRelease}));
    EXPECT_FALSE(owner.flags.hudIsShowing);
    EXPECT_FALSE(owner.flags.hudModifierIsHeld);
    EXPECT_FALSE(clientGot("press Tab"));
    EXPECT_FALSE(clientGot("release Tab"));
    EXPECT_TRUE(clientGot("press Alt_L")); // modifier changes always pass
    EXPECT_TRUE(keyboardIsFree());
    // Only the chord stays grabbed between switches: plain Tab and Escape belong to others.
    EXPECT_TRUE(keyIsGrabbableByOthers(XKB_KEY_Tab, 0));
    EXPECT_TRUE(keyIsGrabbableByOthers(XKB_KEY_Escape, 0));
    EXPECT_FALSE(keyIsGrabbableByOthers(XKB_KEY_Tab, XCB_MOD_MASK_1));
}

TEST_F(X11Keyboard, TheChordIsCaughtWithNumLockAndCapsLockOn) {
    desktop->tap(XKB_KEY_Num_Lock);
    desktop->tap(XKB_KEY_Caps_Lock);
    desktop->press(XKB_KEY_Alt_L);
    desktop->press(XKB_KEY_Shift_L);
    desktop->tap(XKB_KEY_Tab);
    desktop->release(XKB_KEY_Shift_L);
    desktop->release(XKB_KEY_Alt_L);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() >= 2; }));
    EXPECT_EQ(owner.actions.front(), SwitchAction::beginSwitch);
    const auto down = std::find_if(owner.events.begin(), owner.events.end(), [](const auto& e) {
        return e.first == kCGEventKeyDown && e.second.keyCode == kVK_Tab;
    });
    ASSERT_NE(down, owner.events.end());
    EXPECT_EQ(down->second.flags,
              kCGEventFlagMaskAlternate | kCGEventFlagMaskShift | kCGEventFlagMaskAlphaShift);
    EXPECT_FALSE(clientGot("press Tab"));
    desktop->tap(XKB_KEY_Caps_Lock);
    desktop->tap(XKB_KEY_Num_Lock);
}

TEST_F(X11Keyboard, KeysThatAreNotTheSwitchersReachTheClientDuringASwitch) {
    desktop->press(XKB_KEY_Alt_L);
    desktop->tap(XKB_KEY_Tab);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.flags.hudIsShowing; }));
    desktop->tap(XKB_KEY_Up);     // passes: replayed to the client
    desktop->tap(XKB_KEY_Left);   // steps the selection: swallowed
    desktop->tap(XKB_KEY_Escape); // cancels: swallowed
    desktop->release(XKB_KEY_Alt_L);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.saw(kCGEventKeyDown, kVK_Escape); }));
    EXPECT_TRUE(desktop->pumpUntil([&] { return clientGot("press Up"); }));
    EXPECT_FALSE(clientGot("press Left"));
    EXPECT_FALSE(clientGot("press Escape"));
    EXPECT_EQ(owner.actions,
              (std::vector<SwitchAction>{SwitchAction::beginSwitch, SwitchAction::stepSelection,
                                         SwitchAction::cancelSwitch}));
    // After the switch Escape is the application's again.
    desktop->tap(XKB_KEY_Escape);
    EXPECT_TRUE(desktop->pumpUntil([&] { return clientGot("press Escape"); }));
    EXPECT_TRUE(keyboardIsFree());
}

TEST_F(X11Keyboard, ACommandChordLeavesAltTabToTheApplication) {
    owner.mode = HotkeyMode::cmdTab;
    tap->setInterest({kCGEventFlagMaskCommand, false});
    desktop->press(XKB_KEY_Alt_L);
    desktop->tap(XKB_KEY_Tab);
    desktop->release(XKB_KEY_Alt_L);
    EXPECT_TRUE(desktop->pumpUntil([&] { return clientGot("press Tab"); }));
    desktop->press(XKB_KEY_Super_L);
    desktop->tap(XKB_KEY_Tab);
    desktop->release(XKB_KEY_Super_L);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.actions.size() >= 2; }));
    EXPECT_EQ(owner.actions.front(), SwitchAction::beginSwitch);
    const auto tabs = clientKeys();
    EXPECT_EQ(std::count_if(tabs.begin(), tabs.end(),
                            [](const std::string& l) { return l.rfind("press Tab", 0) == 0; }),
              1);
}

TEST_F(X11Keyboard, AChordHeldByAnotherProgramIsLoggedOnceAndTheRestWorks) {
    tap.reset();
    xcb_connection_t* c = desktop->helper();
    const std::uint8_t tab = desktop->keycodeFor(XKB_KEY_Tab);
    xcb_grab_key(c, 0, desktop->root(), XCB_MOD_MASK_1, tab, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    xcb_grab_key(c, 0, desktop->root(), XCB_MOD_MASK_1 | XCB_MOD_MASK_2, tab, XCB_GRAB_MODE_ASYNC,
                 XCB_GRAB_MODE_ASYNC);
    desktop->syncHelper();
    desktop->log().lines.clear();
    startTap();
    desktop->pumpUntil([&] { return false; }, std::chrono::milliseconds(200));
    const auto& lines = desktop->log().lines;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Corvane: Alt+Tab is already grabbed"), std::string::npos);
    EXPECT_NE(lines[0].find("window manager"), std::string::npos);
    // Shift+Alt+Tab is still Corvane's.
    desktop->press(XKB_KEY_Alt_L);
    desktop->press(XKB_KEY_Shift_L);
    desktop->tap(XKB_KEY_Tab);
    desktop->release(XKB_KEY_Shift_L);
    desktop->release(XKB_KEY_Alt_L);
    EXPECT_TRUE(desktop->pumpUntil([&] {
        return !owner.actions.empty() && owner.actions.front() == SwitchAction::beginSwitch;
    }));
}

TEST_F(X11Keyboard, DestroyingTheTapReleasesEveryGrab) {
    desktop->press(XKB_KEY_Alt_L);
    desktop->tap(XKB_KEY_Tab);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.flags.hudIsShowing; }));
    source.reset();
    tap.reset(); // the process ending mid-switch does the same
    desktop->release(XKB_KEY_Alt_L);
    EXPECT_TRUE(keyboardIsFree());
    EXPECT_TRUE(keyIsGrabbableByOthers(XKB_KEY_Tab, XCB_MOD_MASK_1));
    EXPECT_TRUE(keyIsGrabbableByOthers(XKB_KEY_Escape, XCB_MOD_MASK_1));
}

TEST_F(X11Keyboard, ALostConnectionIsReportedOnceAndEndsQuietly) {
    int lost = 0;
    desktop->connection().onConnectionLost = [&] { ++lost; };
    desktop->press(XKB_KEY_Alt_L);
    desktop->tap(XKB_KEY_Tab);
    ASSERT_TRUE(desktop->pumpUntil([&] { return owner.flags.hudIsShowing; }));
    desktop->session().stopServer(); // mid-switch; the server takes every grab with it
    EXPECT_TRUE(desktop->pumpUntil([&] { return lost > 0; }));
    desktop->connection().drain();
    EXPECT_EQ(lost, 1);
    ASSERT_FALSE(desktop->log().lines.empty());
    EXPECT_NE(desktop->log().lines.back().find("lost the connection to the X server"),
              std::string::npos);
    EXPECT_FALSE(desktop->windowServer().copyWindowList(kCGWindowListOptionOnScreenOnly, 0));
    EXPECT_TRUE(std::get<std::vector<AXUIElement>>(
                    desktop->accessibility()
                        .copyAttributeValue({client.pid, 0}, kAXWindowsAttribute)
                        .value.value_or(AXValue{std::vector<AXUIElement>{}}))
                    .empty());
    tap->setInterest({kCGEventFlagMaskAlternate, false});
    tap.reset(); // must not write to the dead connection
}

TEST(X11KeyboardAccess, NoDisplayIsALogLineNotACrash) {
    FakeSystemLog log;
    EXPECT_EQ(X11Connection::open(log, ":1999"), nullptr);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("cannot connect to the X display :1999"), std::string::npos);
}

} // namespace
} // namespace corvane::testing
