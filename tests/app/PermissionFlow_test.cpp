#include "fakes/ShellWorld.h"

#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

struct WaitingForAccess : ::testing::Test {
    ShellWorld world;
    void SetUp() override { world.trust.trusted = false; }
};

TEST_F(WaitingForAccess, LaterStillPollsAndTheTapStartsAtTheFirstTickAfterAccess) {
    world.alerts.answer = NSAlertSecondButtonReturn;
    world.launch();
    const int checksAfterLaunch = world.trust.checkCount;
    world.loop.advance(10.0);
    EXPECT_EQ(world.trust.checkCount, checksAfterLaunch + 2);
    EXPECT_EQ(world.taps.createCount, 0);

    world.trust.trusted = true;
    world.loop.advance(4.9);
    EXPECT_EQ(world.taps.createCount, 0);
    world.loop.advance(0.1);
    EXPECT_EQ(world.taps.createCount, 1);
    EXPECT_TRUE(world.taps.isDelivering());
    EXPECT_EQ(world.delegate->permissionTimer, nullptr);
    EXPECT_EQ(world.loop.validTimerCount(), 0u);

    world.loop.advance(60);
    EXPECT_EQ(world.taps.createCount, 1) << "polling has stopped";
    EXPECT_EQ(world.alerts.shown.size(), 1u) << "the alert is never shown again";
}

TEST_F(WaitingForAccess, AccessGrantedWhileTheAlertIsOpenActsFiveSecondsAfterTheAnswer) {
    world.alerts.whileShowing = [this] {
        world.trust.trusted = true;
        world.loop.advance(30); // the user takes their time answering
    };
    world.launch();
    world.loop.advance(4.99);
    EXPECT_EQ(world.taps.createCount, 0);
    world.loop.advance(0.01);
    EXPECT_EQ(world.taps.createCount, 1);
}

TEST_F(WaitingForAccess, ATapThatFailsAfterAccessIsLoggedOnceAndNotRetried) {
    world.launch();
    world.taps.refusesTaps = true;
    world.trust.trusted = true;
    world.loop.advance(30);
    EXPECT_EQ(world.taps.createCount, 1);
    EXPECT_EQ(world.systemLog.lines.size(), 1u);
}

TEST_F(WaitingForAccess, ThePollingTimerLetsGoOfAGoneDelegate) {
    world.launch();
    std::weak_ptr<AppDelegate> weak = world.delegate;
    world.delegate.reset();
    EXPECT_TRUE(weak.expired());
    world.trust.trusted = true;
    world.loop.advance(5);
    EXPECT_EQ(world.loop.validTimerCount(), 0u);
    EXPECT_EQ(world.taps.createCount, 0);
}

} // namespace
} // namespace corvane::testing
