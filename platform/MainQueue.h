#pragma once
// The main queue: work submitted here runs later on the main thread, one item at a time,
// in submission order, after the code that submitted it has returned to the run loop.
// The queue owns a submitted closure until it has run; it is dropped unrun if the process ends.

#include <functional>

namespace corvane {

class MainQueue {
  public:
    virtual ~MainQueue() = default;
    virtual void async(std::function<void()> work) = 0;
};

} // namespace corvane
