#include "platform/qt/QtRunLoop.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace corvane {

namespace {
// Every live watcher, for work that must come after all of them have drained.
std::vector<QtConnectionWatcher*>& liveWatchers() {
    static std::vector<QtConnectionWatcher*> watchers;
    return watchers;
}
} // namespace

QtMainQueue::QtMainQueue() : context_(std::make_unique<QObject>()) {}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::async(std::function<void()> work) {
    if (!work)
        return;
    QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

// One scheduled timer. The QTimer is a child of the scheduler's context object, so it never
// outlives the scheduler; it is released with deleteLater because a timer is often
// invalidated from inside its own timeout signal.
class QtTimerScheduler::QtTimer : public Timer {
  public:
    QtTimer(QtTimerScheduler& scheduler, QTimer* timer, bool repeats,
            std::function<void(Timer&)> block)
        : scheduler_(&scheduler), schedulerAlive_(scheduler.alive_), timer_(timer),
          repeats_(repeats), block_(std::move(block)) {}

    ~QtTimer() override { stopTimer(); }

    void invalidate() override {
        if (!isValid_)
            return;
        isValid_ = false;
        stopTimer();
        block_ = nullptr;
        if (!schedulerAlive_.expired())
            scheduler_->release(this);
    }

    bool isValid() const override { return isValid_; }

    void fire(const std::shared_ptr<QtTimer>& self) {
        if (!isValid_)
            return;
        auto block = block_; // the block may invalidate the timer, which drops block_
        if (block)
            block(*self);
        if (!repeats_)
            invalidate();
    }

  private:
    void stopTimer() {
        if (!timer_)
            return;
        timer_->stop();
        timer_->disconnect();
        timer_->deleteLater();
        timer_ = nullptr;
    }

    QtTimerScheduler* scheduler_;
    std::weak_ptr<bool> schedulerAlive_;
    QPointer<QTimer> timer_;
    bool repeats_;
    bool isValid_ = true;
    std::function<void(Timer&)> block_;
};

QtTimerScheduler::QtTimerScheduler() : context_(std::make_unique<QObject>()) {
    clock_.start();
}

QtTimerScheduler::~QtTimerScheduler() {
    alive_.reset();
    auto live = std::move(live_);
    for (const auto& timer : live)
        timer->invalidate();
}

std::shared_ptr<Timer> QtTimerScheduler::scheduleTimer(double seconds, bool repeats,
                                                       std::function<void(Timer&)> block) {
    auto* qtimer = new QTimer(context_.get());
    qtimer->setTimerType(Qt::PreciseTimer);
    qtimer->setSingleShot(!repeats);
    // Negative or NaN intervals fire as soon as possible; QTimer takes whole milliseconds.
    double millis = std::isfinite(seconds) ? std::max(0.0, seconds * 1000.0) : 0.0;
    millis = std::min(millis, double(std::numeric_limits<int>::max()));
    qtimer->setInterval(int(std::lround(millis)));

    auto timer = std::make_shared<QtTimer>(*this, qtimer, repeats, std::move(block));
    std::weak_ptr<QtTimer> weak = timer;
    QObject::connect(qtimer, &QTimer::timeout, qtimer, [weak] {
        if (auto self = weak.lock())
            self->fire(self);
    });
    live_.insert(timer);
    qtimer->start();
    return timer;
}

double QtTimerScheduler::now() const {
    return double(clock_.nsecsElapsed()) / 1e9;
}

void QtTimerScheduler::release(QtTimer* timer) {
    auto found = std::find_if(live_.begin(), live_.end(),
                              [timer](const auto& held) { return held.get() == timer; });
    if (found == live_.end())
        return;
    // Keep the timer alive until this call returns: release() runs inside its own methods.
    auto keep = *found;
    live_.erase(found);
    QMetaObject::invokeMethod(
        context_.get(), [keep] {}, Qt::QueuedConnection);
}

QtApplication::QtApplication(QApplication& app) : app_(app) {
    // Corvane lives in the tray: closing an alert (its only other window) must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
}

void QtApplication::setActivationPolicy(ActivationPolicy policy) {
    policy_ = policy;
}

void QtApplication::run() {
    if (delegate_)
        delegate_->applicationDidFinishLaunching();
    if (isTerminating_)
        return;
    app_.exec();
}

void QtApplication::terminate() {
    if (isTerminating_)
        return;
    isTerminating_ = true;
    if (delegate_)
        delegate_->applicationWillTerminate();
    app_.quit();
}

QtConnectionWatcher::QtConnectionWatcher(int fd, std::function<void()> drain,
                                         std::function<void()> settle)
    : drain_(std::move(drain)), settle_(std::move(settle)) {
    liveWatchers().push_back(this);
    if (fd >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [this] { drainNow(); });
    }
    if (auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread()))
        aboutToBlock_ = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                                         [this] { drainNow(); });
}

QtConnectionWatcher::~QtConnectionWatcher() {
    QObject::disconnect(aboutToBlock_);
    std::erase(liveWatchers(), this);
}

void QtConnectionWatcher::drainNow() {
    if (isDraining_ || !drain_)
        return;
    isDraining_ = true;
    drain_();
    isDraining_ = false;
}

void QtConnectionWatcher::settleNow() {
    if (!settle_) {
        drainNow();
        return;
    }
    if (isDraining_)
        return;
    isDraining_ = true;
    settle_();
    isDraining_ = false;
}

void runBeforeSleeping(QObject* context, std::function<void()> work) {
    auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (!context || !work || !dispatcher)
        return;
    // Slots run in the order they were connected, and watchers made later than this request
    // would drain after it: each is drained here first (a second drain finds nothing). What
    // the drains queue is posted already, so the work, posted now, runs after it.
    QObject::connect(
        dispatcher, &QAbstractEventDispatcher::aboutToBlock, context,
        [context, work = std::move(work)] {
            // A drain may destroy another watcher (the program ending on a lost connection).
            for (QtConnectionWatcher* watcher : std::vector(liveWatchers())) {
                if (std::find(liveWatchers().begin(), liveWatchers().end(), watcher) !=
                    liveWatchers().end())
                    watcher->settleNow();
            }
            QMetaObject::invokeMethod(context, work, Qt::QueuedConnection);
        },
        Qt::SingleShotConnection);
}

} // namespace corvane
