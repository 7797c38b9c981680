// The application's life: launch with and without Accessibility access (the alert, then polling
// until access is granted), termination, the process entry, and the event tap's callback.
#include "app/Corvane.h"
#include "fakes/ShellWorld.h"

#include <gtest/gtest.h>
#include <string_view>

namespace corvane::testing {
namespace {

using Calls = std::vector<std::string>;

// The status item and the HUD come first; then the tap starts, or the alert asks for access and
// polling starts only once it is answered.
TEST(AppLifecycle, LaunchStartsTheTapOrAsksForAccessFirst) {
    const std::string asked = "runModal(Accessibility Permission Required)";
    struct Case {
        const char* name;
        bool trusted;
        long answer;
        bool settingsPage; // none on X11: nothing to open
        Calls calls;       // after the status item
    };
    const Calls started{"isProcessTrusted -> true", "createTap", "tap.createRunLoopSource",
                        "source.addToMainRunLoop", "tap.enable(true)"};
    const Calls untrusted{"isProcessTrusted -> false", asked};
    Calls openedSettings = untrusted;
    openedSettings.push_back("openURL(x-apple.systempreferences:privacy)");
    const Case cases[] = {
        {"with access", true, NSAlertFirstButtonReturn, true, started},
        {"Open System Settings", false, NSAlertFirstButtonReturn, true, openedSettings},
        {"Later", false, NSAlertSecondButtonReturn, true, untrusted},
        {"no settings page", false, NSAlertFirstButtonReturn, false, untrusted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShellWorld world;
        world.trust.trusted = c.trusted;
        world.alerts.answer = c.answer;
        if (!c.settingsPage)
            world.trust.settingsURL.reset();
        bool readyFirst = false, pollingEarly = true;
        world.taps.beforeCreateTap = world.alerts.whileShowing = [&] {
            readyFirst = world.delegate->statusItem && world.delegate->hud;
            pollingEarly = world.loop.validTimerCount() != 0;
        };
        world.launch();

        Calls expected{"setActivationPolicy(1)", "statusItemWithLength"};
        expected.insert(expected.end(), c.calls.begin(), c.calls.end());
        EXPECT_EQ(world.log.calls, expected);
        EXPECT_TRUE(readyFirst);
        EXPECT_FALSE(pollingEarly);
        EXPECT_EQ(world.loop.validTimerCount(), c.trusted ? 0u : 1u);
        EXPECT_EQ(world.taps.isDelivering(), c.trusted);
        EXPECT_EQ(world.delegate->eventTap != nullptr, c.trusted);
        if (c.trusted) {
            EXPECT_EQ(world.taps.tap()->eventMask, 0x1C00u) << "key down, key up, flags changed";
            EXPECT_EQ(world.taps.tap()->userInfo, world.delegate.get());
        }
    }
}

// Polling every five seconds after the alert's answer starts the tap at the first tick after
// access is granted (even while the alert was still open), once; termination stops it.
TEST(AppLifecycle, PollingStartsTheTapAtTheFirstTickAfterAccessUntilTermination) {
    struct Case {
        const char* name;
        bool grantedWhileAlertOpen, terminated;
    };
    for (const Case& c :
         {Case{"granted later", false, false}, Case{"granted while the alert is open", true, false},
          Case{"terminated while polling", false, true}}) {
        SCOPED_TRACE(c.name);
        ShellWorld world;
        world.trust.trusted = false;
        world.alerts.answer = NSAlertSecondButtonReturn;
        if (c.grantedWhileAlertOpen) {
            world.alerts.whileShowing = [&] {
                world.trust.trusted = true;
                world.loop.advance(30); // the user takes their time answering
            };
        }
        world.launch();
        world.log.calls.clear();
        if (c.terminated)
            world.delegate->applicationWillTerminate();
        if (!c.grantedWhileAlertOpen) {
            world.loop.advance(10);
            EXPECT_EQ(world.log.calls,
                      c.terminated ? Calls{} : Calls(2, "isProcessTrusted -> false"));
            world.trust.trusted = true;
        }
        world.loop.advance(4.99);
        EXPECT_EQ(world.taps.createCount, 0);
        world.loop.advance(0.01);
        EXPECT_EQ(world.taps.isDelivering(), !c.terminated);
        world.loop.advance(60);
        EXPECT_EQ(world.taps.createCount, c.terminated ? 0 : 1) << "polling has stopped";
        EXPECT_EQ(world.loop.validTimerCount(), 0u);
        EXPECT_EQ(world.alerts.shown.size(), 1u) << "the alert is never shown again";
    }
}

// Whether access was there at launch or came while polling.
TEST(AppLifecycle, AFailedTapIsLoggedOnceNeverRetriedAndLeavesTheFieldsEmpty) {
    for (bool accessLater : {false, true}) {
        SCOPED_TRACE(accessLater ? "access while polling" : "access at launch");
        ShellWorld world;
        world.taps.refusesTaps = true;
        world.trust.trusted = !accessLater;
        world.launch();
        world.trust.trusted = true;
        world.loop.advance(30);
        EXPECT_EQ(world.taps.createCount, 1);
        EXPECT_EQ(world.systemLog.lines,
                  (Calls{"Corvane: CGEvent tap creation failed \u2014 ensure Accessibility "
                         "permission is granted."}));
        EXPECT_EQ(world.delegate->eventTap, nullptr);
        EXPECT_EQ(world.delegate->runLoopSource, nullptr);
        EXPECT_EQ(world.alerts.shown.size(), accessLater ? 1u : 0u);
        EXPECT_EQ(world.loop.validTimerCount(), 0u);

        world.log.calls.clear();
        world.delegate->applicationWillTerminate();
        EXPECT_TRUE(world.log.calls.empty());
    }
}

TEST(AppLifecycle, ProcessEntryRunsTheApplicationWithOneDelegateAndReturnsZero) {
    ShellWorld world;
    ApplicationDelegate* seenDuringRun = nullptr;
    world.application.onRunLoop = [&] {
        seenDuringRun = world.application.delegate;
        world.application.terminate();
    };
    EXPECT_EQ(runCorvane(world.platform), 0);
    ASSERT_NE(seenDuringRun, nullptr);
    EXPECT_NE(seenDuringRun, world.delegate.get()) << "runCorvane makes its own";
    EXPECT_EQ(
        std::tuple(world.log.count("setActivationPolicy(1)"), world.log.count("tap.enable(false)")),
        std::tuple(1, 1));
    // Once run returns the delegate is let go, before the services it used are destroyed.
    EXPECT_EQ(world.application.delegate, nullptr);
    EXPECT_TRUE(world.taps.tap()->destroyed);
}

TEST(EventTapCallback, ASystemDisabledTapIsSwitchedBackOnAndTheNoticePasses) {
    for (std::uint32_t type : {kCGEventKeyDown, kCGEventKeyUp, kCGEventFlagsChanged})
        EXPECT_EQ(eventTapCallback(type, TapEvent{kVK_Tab, OPT}, nullptr), TapResult::pass)
            << "without its delegate a tap passes everything";
    ShellWorld world;
    world.launch();
    world.modifiers(OPT);
    world.keyDown(kVK_Tab, OPT);
    const SwitchFlags during = world.flags();
    const long enablesBefore = world.log.count("tap.enable(true)");

    EXPECT_EQ(world.taps.disableByTimeout(), TapResult::pass);
    EXPECT_EQ(world.loop.queuedCount(), 0u) << "no action";
    EXPECT_EQ(world.flags(), during) << "no flag change";
    EXPECT_TRUE(world.taps.tap()->isEnabled);
    EXPECT_EQ(world.log.count("tap.enable(true)"), enablesBefore + 1);

    // The user-input notice is treated the same way.
    world.taps.tap()->isEnabled = false;
    EXPECT_EQ(world.delegate->handleTapEvent(kCGEventTapDisabledByUserInput, {}), TapResult::pass);
    EXPECT_TRUE(world.taps.tap()->isEnabled);
    EXPECT_EQ(world.keyDown(kVK_Escape, OPT), TapResult::swallow) << "interception goes on";
}

TEST(EventTapCallback, AModeChangeAppliesAtTheNextEventWithoutANewTap) {
    ShellWorld world;
    world.launch();
    auto& interests = world.taps.tap()->interests;
    ASSERT_FALSE(interests.empty()) << "told which keys matter before it is enabled";
    EXPECT_EQ(interests.back(), (TapInterest{OPT, false}));
    EXPECT_EQ(world.keyDown(kVK_Tab, CMD), TapResult::pass);

    world.preferences.setObject(kHotkeyModePreferenceKey, std::string("cmdTab"));
    world.modifiers(CMD);
    EXPECT_EQ(interests.back(), (TapInterest{CMD, false})) << "re-told at every modifier change";
    EXPECT_EQ(world.keyDown(kVK_Tab, CMD), TapResult::swallow);
    EXPECT_EQ(interests.back(), (TapInterest{CMD, true})) << "and after every decision";
    EXPECT_TRUE(world.delegate->hudIsShowing);
    world.keyDown(kVK_Escape, CMD);
    EXPECT_EQ(interests.back(), (TapInterest{CMD, false}));
    EXPECT_EQ(world.taps.createCount, 1);
}

// Menu items, the polling timer and queued key actions hold the delegate weakly: once it is gone
// they neither keep it alive nor act for it.
TEST(AppLifecycle, NothingHandedOutKeepsTheDelegateAliveOrActsForIt) {
    for (const char* holder : {"menu item", "polling timer", "queued keys"}) {
        SCOPED_TRACE(holder);
        const std::string_view held = holder;
        ShellWorld world;
        world.trust.trusted = held != "polling timer";
        world.launch();
        if (held == "queued keys") {
            world.taps.send(kCGEventFlagsChanged, 0, OPT);
            world.taps.send(kCGEventKeyDown, kVK_Tab, OPT);
            world.taps.send(kCGEventFlagsChanged, 0, 0);
        }
        const int taps = world.taps.createCount;
        std::weak_ptr<AppDelegate> weak = world.delegate;
        world.delegate.reset();
        EXPECT_TRUE(weak.expired());
        world.trust.trusted = true;
        world.statusBar.choose("Keep open on mouse hover");
        EXPECT_EQ(world.loop.runQueued(), held == "queued keys" ? 2 : 0);
        world.loop.advance(5);
        EXPECT_TRUE(isAbsent(world.preferences.objectForKey(kMouseHoverKeepOpenPreferenceKey)));
        EXPECT_EQ(world.taps.createCount, taps);
        EXPECT_TRUE(world.desktop.log.calls.empty());
        EXPECT_EQ(world.loop.validTimerCount(), 0u);
    }
}

} // namespace
} // namespace corvane::testing
