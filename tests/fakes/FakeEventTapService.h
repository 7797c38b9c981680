#pragma once
// An event tap for tests. Events typed with the verbs reach the callback exactly as a real tap
// would deliver them: only once the tap exists, its source is on the main run loop and it is
// enabled. The tap's state outlives the tap object, so a test can still look at a tap that its
// owner has destroyed.

#include "fakes/CallLog.h"
#include "platform/EventTap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace corvane::testing {

class FakeEventTapService : public EventTapService {
  public:
    struct TapState {
        std::uint64_t eventMask = 0;
        EventTapCallback callback = nullptr;
        void* userInfo = nullptr;
        bool isEnabled = false;
        bool sourceAdded = false;
        bool destroyed = false;
        int enableCount = 0;
        std::vector<TapInterest> interests;
    };

    explicit FakeEventTapService(CallLog* log = nullptr) : log_(log) {}

    // The platform refuses every later createTap (no permission, no keyboard access).
    void refuseTaps() { refusing_ = true; }
    void allowTaps() { refusing_ = false; }

    std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                        void* userInfo) override {
        record("createTap");
        ++createCount;
        if (beforeCreateTap)
            beforeCreateTap();
        if (refusing_)
            return nullptr;
        auto state = std::make_shared<TapState>();
        state->eventMask = eventMask;
        state->callback = callback;
        state->userInfo = userInfo;
        taps.push_back(state);
        return std::make_unique<Tap>(state, log_);
    }
    std::unique_ptr<RunLoopSource> createRunLoopSource(EventTap& tap) override {
        record("createRunLoopSource");
        auto* fake = static_cast<Tap*>(&tap);
        return std::make_unique<Source>(fake->state);
    }
    void addSourceToMainRunLoop(RunLoopSource& source) override {
        record("addSourceToMainRunLoop");
        static_cast<Source&>(source).state->sourceAdded = true;
    }

    // The latest tap made, or null before the first.
    std::shared_ptr<TapState> tap() const { return taps.empty() ? nullptr : taps.back(); }
    bool isDelivering() const {
        auto state = tap();
        return state && !state->destroyed && state->sourceAdded && state->isEnabled;
    }

    // Delivers one event; an event that no running tap sees passes untouched.
    TapResult send(std::uint32_t type, std::int64_t keyCode, std::uint64_t flags) {
        if (!isDelivering())
            return TapResult::pass;
        auto state = tap();
        return state->callback(type, TapEvent{keyCode, flags}, state->userInfo);
    }
    TapResult keyDown(std::int64_t keyCode, std::uint64_t flags = 0) {
        return send(kCGEventKeyDown, keyCode, flags);
    }
    TapResult keyUp(std::int64_t keyCode, std::uint64_t flags = 0) {
        return send(kCGEventKeyUp, keyCode, flags);
    }
    TapResult flagsChanged(std::uint64_t flags) { return send(kCGEventFlagsChanged, 0, flags); }
    // A key press: its down and up with the same flags; answers the key-down's result.
    TapResult press(std::int64_t keyCode, std::uint64_t flags = 0) {
        const TapResult down = keyDown(keyCode, flags);
        keyUp(keyCode, flags);
        return down;
    }
    // The system switches the tap off (a slow callback) and tells it so with a notification
    // that still goes through the callback.
    TapResult disableByTimeout() {
        auto state = tap();
        if (!state || state->destroyed)
            return TapResult::pass;
        state->isEnabled = false;
        return state->callback(kCGEventTapDisabledByTimeout, TapEvent{}, state->userInfo);
    }

    std::vector<std::shared_ptr<TapState>> taps;
    int createCount = 0;
    // Runs at the start of every createTap, to look at the caller's state at that moment.
    std::function<void()> beforeCreateTap;

  private:
    class Tap : public EventTap {
      public:
        Tap(std::shared_ptr<TapState> tapState, CallLog* log)
            : state(std::move(tapState)), log_(log) {}
        ~Tap() override {
            state->destroyed = true;
            state->isEnabled = false;
        }
        void enable(bool enabled) override {
            if (log_)
                log_->record(enabled ? "tap.enable(true)" : "tap.enable(false)");
            state->isEnabled = enabled;
            if (enabled)
                ++state->enableCount;
        }
        bool isEnabled() const override { return state->isEnabled; }
        void setInterest(const TapInterest& interest) override {
            state->interests.push_back(interest);
        }

        std::shared_ptr<TapState> state;

      private:
        CallLog* log_;
    };
    class Source : public RunLoopSource {
      public:
        explicit Source(std::shared_ptr<TapState> tapState) : state(std::move(tapState)) {}
        std::shared_ptr<TapState> state;
    };

    void record(const char* call) {
        if (log_)
            log_->record(call);
    }

    CallLog* log_;
    bool refusing_ = false;
};

} // namespace corvane::testing
