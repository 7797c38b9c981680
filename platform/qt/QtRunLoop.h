#pragma once
// The Qt event loop as Corvane's main run loop: the main queue, timers and the clock, the
// application object, and the watch on a foreign connection (the X11 backend's own xcb
// connection) that is read as soon as it has data and drained before the loop sleeps, and work
// held back to the last moment before the loop sleeps.
//
// Covers: queued work in submission order after the current event, one-shot and repeating
// precise timers, a monotonic clock, launch/terminate order around QApplication::exec().
// Not covered: run-loop modes (Qt has one loop; a modal dialog runs a nested loop in which
// queued work and timers still run, as in the common modes).

#include "platform/Application.h"
#include "platform/MainQueue.h"
#include "platform/Timers.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <set>

class QApplication;
class QSocketNotifier;
class QTimer;

namespace corvane {

// Work posted as a queued call on a context object the queue owns: Qt delivers posted events
// of one receiver in the order they were posted, after the event being handled returns.
// Work still queued when the queue is destroyed is dropped unrun.
class QtMainQueue : public MainQueue {
  public:
    QtMainQueue();
    ~QtMainQueue() override;
    void async(std::function<void()> work) override;

  private:
    std::unique_ptr<QObject> context_;
};

// Timers on QTimer (Qt::PreciseTimer) and a steady clock that starts at zero when the scheduler
// is made. The scheduler keeps a timer alive while it can still fire; the core's handle only
// observes it.
class QtTimerScheduler : public TimerScheduler {
  public:
    QtTimerScheduler();
    ~QtTimerScheduler() override;
    std::shared_ptr<Timer> scheduleTimer(double seconds, bool repeats,
                                         std::function<void(Timer&)> block) override;
    double now() const override;

    std::size_t liveTimerCount() const { return live_.size(); }

  private:
    class QtTimer;
    void release(QtTimer* timer);

    QElapsedTimer clock_;
    std::unique_ptr<QObject> context_;
    std::set<std::shared_ptr<QtTimer>> live_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The application object on a QApplication the process entry made. run() tells the delegate
// that launching finished and then enters the event loop; terminate() tells the delegate and
// ends the loop (also when called during launch, before the loop ran). The activation policy
// is only recorded: an X11 program without a main window has no taskbar entry or menu to hide.
class QtApplication : public Application {
  public:
    explicit QtApplication(QApplication& app);
    void setDelegate(ApplicationDelegate* delegate) override { delegate_ = delegate; }
    void setActivationPolicy(ActivationPolicy policy) override;
    void run() override;
    void terminate() override;

    ActivationPolicy activationPolicy() const { return policy_; }
    bool isTerminating() const { return isTerminating_; }

  private:
    QApplication& app_;
    ApplicationDelegate* delegate_ = nullptr;
    ActivationPolicy policy_ = ActivationPolicy::regular;
    bool isTerminating_ = false;
};

// Reads a file descriptor another backend owns: drain() runs when the descriptor becomes
// readable and each time the event loop is about to block, because a library such as xcb may
// already have read events into its own queue, where no readiness notification will announce
// them. Nested drains (a handler running a modal loop) are skipped; the outer drain goes on.
class QtConnectionWatcher {
  public:
    // `settle`, when given, is what runBeforeSleeping asks for instead of a plain drain: the
    // connection made sure to have read everything the server owes it by now.
    QtConnectionWatcher(int fd, std::function<void()> drain, std::function<void()> settle = {});
    ~QtConnectionWatcher();
    QtConnectionWatcher(const QtConnectionWatcher&) = delete;
    QtConnectionWatcher& operator=(const QtConnectionWatcher&) = delete;

    void drainNow();
    void settleNow();

  private:
    std::function<void()> drain_;
    std::function<void()> settle_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QMetaObject::Connection aboutToBlock_;
    bool isDraining_ = false;
};

// Runs `work` once, at the last moment before the event loop next sleeps: after every
// QtConnectionWatcher has settled its connection, and behind the work that settling queued on
// the main queue. Output that an event already sent would make wrong waits here (the panel's
// map, when the switch's release is on its way); it costs one more pass of the loop and, for a
// watcher with a settle step, one round trip. Dropped unrun when `context` is destroyed first.
void runBeforeSleeping(QObject* context, std::function<void()> work);

} // namespace corvane
