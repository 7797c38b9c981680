#include "app/Corvane.h"
#include "tests/app/ShellWorld.h"

#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

using Calls = std::vector<std::string>;

// The calls that tell the launch and termination orders apart.
Calls lifecycleCalls(const CallLog& log) {
    Calls found;
    for (const auto& call : log.calls) {
        if (call.rfind("openURL", 0) != 0)
            found.push_back(call);
    }
    return found;
}

TEST(AppLifecycle, FieldsStartEmpty) {
    ShellWorld world;
    const AppDelegate& d = *world.delegate;
    EXPECT_EQ(d.statusItem, nullptr);
    EXPECT_EQ(d.hud, nullptr);
    EXPECT_TRUE(d.hotkeyMenuItems.empty());
    EXPECT_EQ(d.mouseHoverMenuItem, nullptr);
    EXPECT_FALSE(d.hudMouseHoverMode);
    EXPECT_EQ(d.eventTap, nullptr);
    EXPECT_EQ(d.runLoopSource, nullptr);
    EXPECT_FALSE(d.hudModifierIsHeld);
    EXPECT_FALSE(d.hudIsShowing);
    EXPECT_EQ(d.permissionTimer, nullptr);
    EXPECT_TRUE(world.log.calls.empty()) << "init does nothing else";
}

TEST(AppLifecycle, LaunchWithAccessStartsTheTapAfterStatusItemAndHUD) {
    ShellWorld world;
    bool hudExistedAtTapCreation = false;
    world.alerts.whileShowing = [] { FAIL() << "no alert with access granted"; };
    world.taps.beforeCreateTap = [&] { hudExistedAtTapCreation = world.delegate->hud != nullptr; };
    world.launch();

    EXPECT_EQ(
        lifecycleCalls(world.log),
        (Calls{"setActivationPolicy(1)", "statusItemWithLength", "isProcessTrusted -> true",
               "createTap", "createRunLoopSource", "addSourceToMainRunLoop", "tap.enable(true)"}));
    EXPECT_TRUE(hudExistedAtTapCreation);
    EXPECT_EQ(world.delegate->permissionTimer, nullptr);
    EXPECT_EQ(world.loop.validTimerCount(), 0u);
    auto tap = world.taps.tap();
    ASSERT_NE(tap, nullptr);
    EXPECT_EQ(tap->eventMask, 0x1C00u);
    EXPECT_EQ(tap->userInfo, world.delegate.get());
    EXPECT_TRUE(world.taps.isDelivering());
}

TEST(AppLifecycle, LaunchWithoutAccessAsksFirstAndPollsOnlyAfterTheAnswer) {
    for (bool openSettings : {true, false}) {
        SCOPED_TRACE(openSettings ? "Open System Settings" : "Later");
        ShellWorld world;
        world.trust.revoke();
        if (!openSettings)
            world.alerts.answerSecondButton();
        bool readyWhileAlertOpen = false;
        bool timerWhileAlertOpen = true;
        world.alerts.whileShowing = [&] {
            readyWhileAlertOpen = world.delegate->statusItem && world.delegate->hud;
            timerWhileAlertOpen =
                world.delegate->permissionTimer != nullptr || world.loop.validTimerCount() != 0;
        };
        world.launch();

        EXPECT_EQ(
            lifecycleCalls(world.log),
            (Calls{"setActivationPolicy(1)", "statusItemWithLength", "isProcessTrusted -> false",
                   "runModal(Accessibility Permission Required)"}));
        EXPECT_TRUE(readyWhileAlertOpen);
        EXPECT_FALSE(timerWhileAlertOpen);
        ASSERT_NE(world.delegate->permissionTimer, nullptr);
        EXPECT_TRUE(world.delegate->permissionTimer->isValid());
        EXPECT_EQ(world.delegate->eventTap, nullptr);
        EXPECT_EQ(world.urls.opened.size(), openSettings ? 1u : 0u);
    }
}

TEST(AppLifecycle, FailedTapCreationLogsOnceAndLeavesTheFieldsEmpty) {
    ShellWorld world;
    world.taps.refuseTaps();
    world.launch();
    EXPECT_EQ(world.systemLog.lines,
              (Calls{"Corvane: CGEvent tap creation failed \u2014 ensure Accessibility permission "
                     "is granted."}));
    EXPECT_EQ(world.delegate->eventTap, nullptr);
    EXPECT_EQ(world.delegate->runLoopSource, nullptr);
    EXPECT_TRUE(world.alerts.shown.empty());
    EXPECT_EQ(world.delegate->permissionTimer, nullptr);

    world.log.calls.clear();
    world.delegate->applicationWillTerminate();
    EXPECT_TRUE(world.log.calls.empty());
}

TEST(AppLifecycle, TerminationDisablesTheTapAndStopsPolling) {
    ShellWorld running;
    running.launch();
    running.delegate->applicationWillTerminate();
    EXPECT_FALSE(running.taps.tap()->isEnabled);
    EXPECT_NE(running.delegate->eventTap, nullptr) << "the fields keep their values";
    EXPECT_EQ(running.taps.send(kCGEventKeyDown, kVK_Tab, OPT), TapResult::pass);

    ShellWorld waiting;
    waiting.trust.revoke();
    waiting.launch();
    auto timer = waiting.delegate->permissionTimer;
    waiting.log.calls.clear();
    waiting.delegate->applicationWillTerminate();
    EXPECT_FALSE(timer->isValid());
    EXPECT_TRUE(waiting.log.calls.empty()) << "no tap call without a tap";
    waiting.trust.grant();
    waiting.loop.advance(20);
    EXPECT_EQ(waiting.taps.createCount, 0);
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
    EXPECT_EQ(world.log.matching("setActivationPolicy").size(), 1u);
    EXPECT_TRUE(world.log.contains("tap.enable(false)"));
    // Once run returns the delegate is let go, before the services it used are destroyed.
    EXPECT_EQ(world.application.delegate, nullptr);
    EXPECT_TRUE(world.taps.tap()->destroyed);
}

TEST(EventTapCallback, WithoutUserInfoEveryEventPasses) {
    for (std::uint32_t type : {kCGEventKeyDown, kCGEventKeyUp, kCGEventFlagsChanged}) {
        for (std::int64_t key : {kVK_Tab, kVK_Escape, kVK_Return, kVK_LeftArrow})
            EXPECT_EQ(eventTapCallback(type, TapEvent{key, OPT}, nullptr), TapResult::pass);
    }
}

TEST(EventTapCallback, ASystemDisabledTapIsSwitchedBackOnAndTheNoticePasses) {
    ShellWorld world;
    world.launch();
    world.modifiers(OPT);
    world.keyDown(kVK_Tab, OPT);
    const SwitchFlags during = world.flags();
    const int enablesBefore = world.taps.tap()->enableCount;

    EXPECT_EQ(world.taps.disableByTimeout(), TapResult::pass);
    EXPECT_EQ(world.loop.queuedCount(), 0u) << "no action";
    EXPECT_EQ(world.flags(), during) << "no flag change";
    EXPECT_TRUE(world.taps.tap()->isEnabled);
    EXPECT_EQ(world.taps.tap()->enableCount, enablesBefore + 1);

    // The user-input notice is treated the same way.
    world.taps.tap()->isEnabled = false;
    EXPECT_EQ(world.delegate->handleTapEvent(kCGEventTapDisabledByUserInput, {}), TapResult::pass);
    EXPECT_TRUE(world.taps.tap()->isEnabled);

    // And keyboard interception goes on.
    EXPECT_EQ(world.keyDown(kVK_Escape, OPT), TapResult::swallow);
}

TEST(EventTapCallback, AModeChangeAppliesAtTheNextEventWithoutANewTap) {
    ShellWorld world;
    world.launch();
    EXPECT_EQ(world.keyDown(kVK_Tab, CMD), TapResult::pass);
    world.preferences.set(kHotkeyModePreferenceKey, std::string("cmdTab"));
    EXPECT_EQ(world.keyDown(kVK_Tab, CMD), TapResult::swallow);
    EXPECT_TRUE(world.delegate->hudIsShowing);
    EXPECT_EQ(world.taps.createCount, 1);
}

TEST(EventTapCallback, TheTapIsToldWhichKeysMatterAfterEveryDecision) {
    ShellWorld world;
    world.launch();
    auto& interests = world.taps.tap()->interests;
    ASSERT_FALSE(interests.empty()) << "told before it is enabled";
    EXPECT_EQ(interests.back(), (TapInterest{OPT, false}));

    world.modifiers(OPT);
    world.keyDown(kVK_Tab, OPT);
    EXPECT_EQ(interests.back(), (TapInterest{OPT, true}));
    world.keyDown(kVK_Escape, OPT);
    EXPECT_EQ(interests.back(), (TapInterest{OPT, false}));

    world.preferences.set(kHotkeyModePreferenceKey, std::string("cmdTab"));
    world.modifiers(0);
    EXPECT_EQ(interests.back(), (TapInterest{CMD, false}));
}

TEST(EventTapCallback, QueuedActionsDoNothingOnceTheDelegateIsGone) {
    ShellWorld world;
    world.launch();
    world.taps.flagsChanged(OPT);
    world.taps.keyDown(kVK_Tab, OPT);
    world.taps.keyDown(kVK_Tab, OPT);
    world.taps.flagsChanged(0);
    EXPECT_EQ(world.loop.queuedCount(), 3u);
    std::weak_ptr<AppDelegate> weak = world.delegate;
    world.delegate.reset();
    EXPECT_TRUE(weak.expired()) << "nothing queued keeps the delegate alive";
    EXPECT_EQ(world.loop.runQueued(), 3);
    EXPECT_TRUE(world.desktop.calls().empty()) << "no action ran";
}

} // namespace
} // namespace corvane::testing
