#pragma once
// The HUD panel's content view: the rounded dark backdrop behind the cards (SwitcherHUD gives it
// its look) and the HUD's pointer sensor, which reports each crossing of its bounds through two
// callbacks. It keeps exactly one tracking area, over its current bounds.

#include "platform/ui/View.h"

#include <functional>

namespace corvane {

class HUDBackgroundView : public View {
  public:
    std::function<void()> onMouseEntered;
    std::function<void()> onMouseExited;

    void updateTrackingAreas() override;
    void mouseEntered(const MouseEvent& event) override;
    void mouseExited(const MouseEvent& event) override;
};

} // namespace corvane
