#pragma once
// Timers and the clock of the main run loop. A scheduled timer fires on the main thread; the
// scheduler keeps it alive until it is invalidated or, when it does not repeat, until it has
// fired. The returned handle is shared: holding it does not keep a timer firing, and
// invalidating an already invalid timer does nothing.

#include <functional>
#include <memory>

namespace corvane {

class Timer {
  public:
    virtual ~Timer() = default;
    virtual void invalidate() = 0;
    virtual bool isValid() const = 0;
};

class TimerScheduler {
  public:
    virtual ~TimerScheduler() = default;

    // Fires block every `seconds` (first after `seconds`) when repeats, else once. The block
    // receives the timer itself, so a repeating block can invalidate it.
    virtual std::shared_ptr<Timer> scheduleTimer(double seconds, bool repeats,
                                                 std::function<void(Timer&)> block) = 0;

    // Seconds on the run loop's monotonic clock (virtual in tests).
    virtual double now() const = 0;
};

} // namespace corvane
