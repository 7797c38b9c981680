#pragma once
// The keyboard event tap on Core Graphics: CGEventTapCreate at the head of the session's
// event stream (kCGSessionEventTap, kCGHeadInsertEventTap, an active tap that may swallow),
// for exactly the event types the core asks for. Each event hands its key code and flag word to
// the core's callback; a swallowed event is answered with NULL. When the system disables the
// tap (a callback too slow, or the user's secure input) the notice reaches the core and the
// tap is enabled again. The run-loop source goes on the main run loop in the common modes,
// so the callback runs on the main thread, also while a menu or modal alert tracks.
// The interest hint is not used: a Core Graphics tap sees every event anyway. macOS only.

#include "platform/EventTap.h"

namespace corvane {

class MacEventTapService : public EventTapService {
  public:
    std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                        void* userInfo) override;
};

} // namespace corvane
