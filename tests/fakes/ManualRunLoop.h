#pragma once
// A main run loop for tests: a main queue and timers on a virtual clock. Nothing runs until the
// test says so: runQueued() drains the queue, advance() moves the clock and fires due timers in
// time order (draining the queue after each one, as the real loop would).

#include "platform/MainQueue.h"
#include "platform/Timers.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace corvane::testing {

class ManualRunLoop : public MainQueue, public TimerScheduler {
  public:
    void async(std::function<void()> work) override { queue_.push_back(std::move(work)); }
    std::shared_ptr<Timer> scheduleTimer(double seconds, bool repeats,
                                         std::function<void(Timer&)> block) override {
        timers_.push_back(std::make_shared<ManualTimer>(now_ + seconds, seconds, repeats, block));
        return timers_.back();
    }
    double now() const override { return now_; }

    // Runs queued work, including work queued while running; returns how many items ran.
    int runQueued() {
        int count = 0;
        for (; !queue_.empty(); ++count) {
            auto work = std::move(queue_.front());
            queue_.pop_front();
            if (work)
                work();
        }
        return count;
    }

    void advance(double seconds) {
        const double target = now_ + seconds;
        // A tiny tolerance so that 0.5 + 0.5 reaches a timer due at 1.0 despite rounding.
        constexpr double epsilon = 1e-9;
        for (;;) {
            std::erase_if(timers_, [](const auto& timer) { return !timer->valid; });
            auto next = std::min_element(timers_.begin(), timers_.end(),
                                         [](auto& a, auto& b) { return a->fireAt < b->fireAt; });
            if (next == timers_.end() || (*next)->fireAt > target + epsilon)
                break;
            auto timer = *next;
            now_ = std::max(now_, timer->fireAt);
            timer->fireAt += std::max(timer->interval, epsilon);
            timer->valid = timer->repeats;
            auto block = timer->block; // alive even if the block invalidates its own timer
            if (block)
                block(*timer);
            if (!timer->repeats)
                timer->block = nullptr;
            runQueued();
        }
        now_ = target;
        runQueued();
    }

    std::size_t queuedCount() const { return queue_.size(); }
    std::size_t validTimerCount() const {
        return std::count_if(timers_.begin(), timers_.end(), [](auto& t) { return t->valid; });
    }

  private:
    struct ManualTimer : Timer {
        ManualTimer(double due, double every, bool repeating, std::function<void(Timer&)> work)
            : fireAt(due), interval(every), repeats(repeating), block(std::move(work)) {}
        void invalidate() override {
            valid = false;
            block = nullptr;
        }
        bool isValid() const override { return valid; }
        double fireAt, interval;
        bool repeats;
        std::function<void(Timer&)> block;
        bool valid = true;
    };

    std::deque<std::function<void()>> queue_;
    std::vector<std::shared_ptr<ManualTimer>> timers_;
    double now_ = 0;
};

} // namespace corvane::testing
