#pragma once
// The application object for tests: run() tells the delegate that launching finished and
// returns at once (the test then plays the run loop); terminate() tells it the application is
// ending.

#include "fakes/CallLog.h"
#include "platform/Application.h"

#include <functional>
#include <optional>
#include <string>

namespace corvane::testing {

class FakeApplication : public Application {
  public:
    explicit FakeApplication(CallLog* log = nullptr) : log_(log) {}

    void setDelegate(ApplicationDelegate* newDelegate) override {
        record(newDelegate ? "setDelegate" : "setDelegate(null)");
        delegate = newDelegate;
    }
    void setActivationPolicy(ActivationPolicy policy) override {
        record("setActivationPolicy(" + std::to_string(static_cast<int>(policy)) + ")");
        activationPolicy = policy;
    }
    void run() override {
        record("run");
        ++runCount;
        if (delegate)
            delegate->applicationDidFinishLaunching();
        if (onRunLoop)
            onRunLoop();
    }
    void terminate() override {
        record("terminate");
        ++terminateCount;
        if (delegate)
            delegate->applicationWillTerminate();
    }

    ApplicationDelegate* delegate = nullptr;
    std::optional<ActivationPolicy> activationPolicy;
    int runCount = 0;
    int terminateCount = 0;
    // What happens "inside" the run loop, after launch, before run() returns.
    std::function<void()> onRunLoop;

  private:
    void record(std::string call) {
        if (log_)
            log_->record(std::move(call));
    }
    CallLog* log_;
};

} // namespace corvane::testing
