// The Qt run loop's services: the main queue, timers and the application object. The connection
// watcher is exercised by the panel's tests on a real X server (tests/qt/xcb).
#include "platform/qt/QtRunLoop.h"
#include "qt/QtPump.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace corvane {
namespace {

TEST(QtMainQueue, RunsWorkInSubmissionOrderAfterTheSubmitterReturns) {
    QtMainQueue queue;
    std::vector<std::string> trace;
    queue.async([&] {
        trace.push_back("first");
        queue.async([&] { trace.push_back("queued by first"); });
        trace.push_back("first ends");
    });
    queue.async([&] { trace.push_back("second"); });
    trace.push_back("submitter returns");

    ASSERT_TRUE(testing::pumpQtUntil([&] { return trace.size() == 5; }));
    EXPECT_EQ(trace, (std::vector<std::string>{"submitter returns", "first", "first ends", "second",
                                               "queued by first"}));
}

// A one-shot timer fires once, a repeating one until it invalidates itself; neither an
// invalidated timer nor work queued on a queue that is gone runs, and a timer outlives its
// scheduler safely.
TEST(QtTimers, FireAsScheduledUntilInvalidatedAndNothingRunsAfterItsOwnerIsGone) {
    QtTimerScheduler timers;
    int oneShot = 0, repeating = 0, dropped = 0;
    bool validInside = false;
    auto timer = timers.scheduleTimer(0.0, false, [&](Timer& self) {
        ++oneShot;
        validInside = self.isValid();
    });
    timers.scheduleTimer(0.001, true, [&](Timer& self) {
        if (++repeating == 3)
            self.invalidate();
    });
    std::shared_ptr<Timer> invalidated;
    {
        QtMainQueue queue;
        queue.async([&] { ++dropped; });
        QtTimerScheduler gone;
        invalidated = gone.scheduleTimer(0.0, false, [&](Timer&) { ++dropped; });
        invalidated->invalidate();
        invalidated->invalidate(); // twice does nothing
        gone.scheduleTimer(0.0, true, [&](Timer&) { ++dropped; });
    } // the scheduler goes with a repeating timer still armed
    ASSERT_TRUE(testing::pumpQtUntil([&] { return timers.liveTimerCount() == 0; }));
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(std::tuple(oneShot, validInside, timer->isValid(), repeating, dropped),
              std::tuple(1, true, false, 3, 0));
    invalidated->invalidate();
}

// Terminating from inside the loop ends it once; terminating during launch never enters it (the
// test would hang if it did).
TEST(QtApplicationLifecycle, TerminateEndsTheLoopOnceOrKeepsItFromStarting) {
    struct Delegate : ApplicationDelegate {
        void applicationDidFinishLaunching() override {
            trace.push_back("launched");
            if (terminateWhileLaunching)
                application->terminate();
        }
        void applicationWillTerminate() override { trace.push_back("terminating"); }
        std::vector<std::string> trace;
        Application* application = nullptr;
        bool terminateWhileLaunching = false;
    };
    auto& app = *qobject_cast<QApplication*>(QCoreApplication::instance());
    for (bool duringLaunch : {false, true}) {
        QtApplication application(app);
        Delegate delegate;
        delegate.application = &application;
        delegate.terminateWhileLaunching = duringLaunch;
        application.setDelegate(&delegate);
        if (!duringLaunch) {
            QTimer::singleShot(0, [&] {
                delegate.trace.push_back("in loop");
                application.terminate();
                application.terminate();
            });
        }
        application.run();
        EXPECT_EQ(delegate.trace,
                  duringLaunch ? (std::vector<std::string>{"launched", "terminating"})
                               : (std::vector<std::string>{"launched", "in loop", "terminating"}));
    }
    EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
}

} // namespace
} // namespace corvane
