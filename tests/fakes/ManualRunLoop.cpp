#include "fakes/ManualRunLoop.h"

#include <algorithm>
#include <limits>

namespace corvane::testing {

class ManualRunLoop::ManualTimer : public Timer {
public:
    ManualTimer(double due, double every, bool repeating, std::function<void(Timer&)> work)
        : fireAt(due), interval(every), repeats(repeating), block(std::move(work)) {}
    void invalidate() override {
        valid = false;
        block = nullptr;
    }
    bool isValid() const override { return valid; }

    double fireAt;
    double interval;
    bool repeats;
    std::function<void(Timer&)> block;
    bool valid = true;
};

void ManualRunLoop::async(std::function<void()> work) { queue_.push_back(std::move(work)); }

std::shared_ptr<Timer> ManualRunLoop::scheduleTimer(double seconds, bool repeats,
                                                    std::function<void(Timer&)> block) {
    auto timer = std::make_shared<ManualTimer>(now_ + seconds, seconds, repeats, std::move(block));
    timers_.push_back(timer);
    return timer;
}

int ManualRunLoop::runQueued() {
    int count = 0;
    while (!queue_.empty()) {
        auto work = std::move(queue_.front());
        queue_.pop_front();
        if (work)
            work();
        ++count;
    }
    return count;
}

void ManualRunLoop::advance(double seconds) {
    const double target = now_ + seconds;
    // A tiny tolerance so that 0.5 + 0.5 reaches a timer due at 1.0 despite rounding.
    constexpr double epsilon = 1e-9;
    for (;;) {
        std::erase_if(timers_, [](const auto& timer) { return !timer->valid; });
        auto next = std::min_element(timers_.begin(), timers_.end(),
                                     [](const auto& a, const auto& b) { return a->fireAt < b->fireAt; });
        if (next == timers_.end() || (*next)->fireAt > target + epsilon)
            break;
        auto timer = *next;
        now_ = std::max(now_, timer->fireAt);
        if (timer->repeats) {
            timer->fireAt += std::max(timer->interval, epsilon);
        } else {
            timer->valid = false;
        }
        auto block = timer->block; // keep it alive even if it invalidates its own timer
        if (block)
            block(*timer);
        if (!timer->repeats)
            timer->block = nullptr;
        runQueued();
    }
    now_ = target;
    runQueued();
}

std::size_t ManualRunLoop::validTimerCount() const {
    return static_cast<std::size_t>(
        std::count_if(timers_.begin(), timers_.end(), [](const auto& timer) { return timer->valid; }));
}

} // namespace corvane::testing
