#pragma once
#include "platform/ui/Screen.h"

#include <optional>

namespace corvane::testing {

// A main screen whose frame a test sets; none means "no screen".
class FakeScreen : public Screen {
  public:
    std::optional<Rect> mainScreenFrame() const override { return frame; }
    std::optional<Rect> frame = Rect{0, 0, 1440, 900};
};

} // namespace corvane::testing
