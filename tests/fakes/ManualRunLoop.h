#pragma once
// A main run loop for tests: a main queue and timers on a virtual clock. Nothing runs until the
// test says so: runQueued() drains the queue, advance() moves the clock and fires due timers
// (draining the queue after each one, as the real loop would).

#include "platform/MainQueue.h"
#include "platform/Timers.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace corvane::testing {

class ManualRunLoop : public MainQueue, public TimerScheduler {
  public:
    void async(std::function<void()> work) override;
    std::shared_ptr<Timer> scheduleTimer(double seconds, bool repeats,
                                         std::function<void(Timer&)> block) override;
    double now() const override { return now_; }

    // Runs queued work, including work queued while running, until the queue is empty.
    // Returns how many items ran.
    int runQueued();
    // Moves the virtual clock forward, firing every timer that falls due, in time order.
    void advance(double seconds);

    std::size_t queuedCount() const { return queue_.size(); }
    std::size_t validTimerCount() const;

  private:
    class ManualTimer;
    std::deque<std::function<void()>> queue_;
    std::vector<std::shared_ptr<ManualTimer>> timers_;
    double now_ = 0;
};

} // namespace corvane::testing
