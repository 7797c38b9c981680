#include "platform/qt/QtRunLoop.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace corvane {
namespace {

// Spins the real event loop until `done` holds or two seconds pass (a failure guard, not a
// measurement: the conditions below become true within a few loop iterations).
template <typename Condition> bool spinUntil(Condition done) {
    QElapsedTimer guard;
    guard.start();
    while (!done() && guard.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done();
}

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

    ASSERT_TRUE(spinUntil([&] { return trace.size() == 5; }));
    EXPECT_EQ(trace, (std::vector<std::string>{"submitter returns", "first", "first ends", "second",
                                               "queued by first"}));
}

TEST(QtTimers, OneShotFiresOnceRepeatingStopsWhenInvalidatedAndAllAreReleased) {
    QtTimerScheduler timers;
    int oneShot = 0, repeating = 0;
    bool validInside = false;
    auto timer = timers.scheduleTimer(0.0, false, [&](Timer& self) {
        ++oneShot;
        validInside = self.isValid();
    });
    timers.scheduleTimer(0.001, true, [&](Timer& self) {
        if (++repeating == 3)
            self.invalidate();
    });
    ASSERT_TRUE(spinUntil([&] { return timers.liveTimerCount() == 0; }));
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(oneShot, 1);
    EXPECT_TRUE(validInside);
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(repeating, 3);
}

// Neither an invalidated timer nor work queued on a queue that is gone runs.
TEST(QtTimers, InvalidatedTimerOrDroppedWorkNeverRunsAndTheTimerSurvivesTheScheduler) {
    std::shared_ptr<Timer> timer;
    int fired = 0;
    {
        QtMainQueue queue;
        queue.async([&] { ++fired; });
        QtTimerScheduler timers;
        timer = timers.scheduleTimer(0.0, false, [&](Timer&) { ++fired; });
        timer->invalidate();
        timer->invalidate(); // twice does nothing
        timers.scheduleTimer(0.0, true, [&](Timer&) { ++fired; });
    } // the scheduler goes with a repeating timer still armed
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 0);
    timer->invalidate();
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

TEST(QtConnectionWatcher, DrainsWhenReadableAndBeforeTheLoopBlocks) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    int drained = 0;
    char byte = 0;
    QtConnectionWatcher watcher(fds[0], [&] {
        ++drained;
        if (read(fds[0], &byte, 1) < 0) {
            // nothing to read: the drain ran because the loop was about to block
        }
    });
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    ASSERT_TRUE(spinUntil([&] { return byte == 'x'; }));
    EXPECT_GE(drained, 1);
    close(fds[0]);
    close(fds[1]);
}

} // namespace
} // namespace corvane
