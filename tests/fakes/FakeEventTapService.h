#pragma once
// An event tap for tests. send() delivers an event to the callback exactly as a real tap would:
// only once the tap exists, its source is on the main run loop and it is enabled; otherwise the
// event passes untouched. A tap's state outlives the tap object, so a test can still look at a
// tap that its owner has destroyed.

#include "fakes/CallLog.h"
#include "platform/EventTap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

namespace corvane::testing {

class FakeEventTapService : public EventTapService, Recording {
  public:
    struct TapState {
        std::uint64_t eventMask = 0;
        EventTapCallback callback = nullptr;
        void* userInfo = nullptr;
        bool isEnabled = false, sourceAdded = false, destroyed = false;
        std::vector<TapInterest> interests;
    };

    using Recording::Recording;

    std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                        void* userInfo) override {
        record("createTap");
        ++createCount;
        if (beforeCreateTap)
            beforeCreateTap();
        if (refusesTaps)
            return nullptr;
        latest = std::make_shared<TapState>();
        std::tie(latest->eventMask, latest->callback, latest->userInfo) =
            std::tie(eventMask, callback, userInfo);
        return std::make_unique<Tap>(latest, *this);
    }

    // The latest tap made, or null before the first.
    std::shared_ptr<TapState> tap() const { return latest; }
    bool isDelivering() const {
        return latest && !latest->destroyed && latest->sourceAdded && latest->isEnabled;
    }
    TapResult send(std::uint32_t type, std::int64_t keyCode, std::uint64_t flags) {
        return isDelivering() ? latest->callback(type, TapEvent{keyCode, flags}, latest->userInfo)
                              : TapResult::pass;
    }
    // The system switches the tap off (a slow callback) and says so through the callback.
    TapResult disableByTimeout() {
        latest->isEnabled = false;
        return latest->callback(kCGEventTapDisabledByTimeout, TapEvent{}, latest->userInfo);
    }

    int createCount = 0;
    // Every later createTap fails (no permission, no keyboard access).
    bool refusesTaps = false;
    // Runs at the start of every createTap, to look at the caller's state at that moment.
    std::function<void()> beforeCreateTap;

  private:
    // The tap and its run-loop source write into the state the service keeps.
    struct Part {
        std::shared_ptr<TapState> state;
        FakeEventTapService& service;
    };
    struct Tap : EventTap, Part {
        Tap(std::shared_ptr<TapState> tapState, FakeEventTapService& owner)
            : Part{std::move(tapState), owner} {}
        ~Tap() override {
            state->destroyed = true;
            state->isEnabled = false;
        }
        void enable(bool enabled) override {
            service.record(enabled ? "tap.enable(true)" : "tap.enable(false)");
            state->isEnabled = enabled;
        }
        bool isEnabled() const override { return state->isEnabled; }
        void setInterest(const TapInterest& interest) override {
            state->interests.push_back(interest);
        }
        std::unique_ptr<RunLoopSource> createRunLoopSource() override {
            service.record("tap.createRunLoopSource");
            return std::make_unique<Source>(Part{state, service});
        }
    };
    struct Source : RunLoopSource, Part {
        explicit Source(Part part) : Part(std::move(part)) {}
        ~Source() override { state->sourceAdded = false; }
        void addToMainRunLoop() override {
            service.record("source.addToMainRunLoop");
            state->sourceAdded = true;
        }
    };
    std::shared_ptr<TapState> latest;
};

} // namespace corvane::testing
