#pragma once
// The screens of the desktop, as far as Corvane needs them: the main screen's full frame (not
// the area left by panels and docks) in bottom-left-origin screen coordinates, read afresh on
// every call. Owned by the backend, used by reference.

#include "platform/ui/Geometry.h"

#include <optional>

namespace corvane {

class Screen {
  public:
    virtual ~Screen() = default;
    // None when there is no screen (a headless session, a display being reconfigured).
    virtual std::optional<Rect> mainScreenFrame() const = 0;
};

// The frame used when there is no main screen.
inline constexpr Rect kFallbackScreenFrame{0, 0, 1440, 900};

inline Rect mainScreenFrameOrFallback(const Screen& screen) {
    return screen.mainScreenFrame().value_or(kFallbackScreenFrame);
}

} // namespace corvane
