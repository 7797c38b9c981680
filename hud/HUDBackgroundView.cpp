#include "hud/HUDBackgroundView.h"

namespace corvane {

void HUDBackgroundView::updateTrackingAreas() {
    View::updateTrackingAreas();
    for (const auto& area : std::vector(trackingAreas()))
        removeTrackingArea(area);
    // Active always: the HUD never activates Corvane, and entry and exit must still be reported.
    addTrackingArea(std::make_shared<TrackingArea>(
        TrackingArea{bounds(), TrackingArea::mouseEnteredAndExited | TrackingArea::activeAlways}));
}

void HUDBackgroundView::mouseEntered(const MouseEvent&) {
    if (onMouseEntered)
        onMouseEntered();
}

void HUDBackgroundView::mouseExited(const MouseEvent&) {
    if (onMouseExited)
        onMouseExited();
}

} // namespace corvane
