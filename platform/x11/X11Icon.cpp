// Icon choice for application cards (see X11Icon.h).

#include "platform/x11/X11Icon.h"

#include <algorithm>
#include <cmath>

namespace corvane {

ImageRef imageFromIconCandidates(const std::vector<IconCandidate>& candidates, int targetPixels) {
    const IconCandidate* best = nullptr;
    auto side = [](const IconCandidate& c) { return std::min(c.width, c.height); };
    for (const auto& candidate : candidates) {
        if (candidate.width <= 0 || candidate.height <= 0 || candidate.width > kMaxIconSide ||
            candidate.height > kMaxIconSide || candidate.pixels == nullptr)
            continue;
        if (best == nullptr) {
            best = &candidate;
            continue;
        }
        const bool bigEnough = side(candidate) >= targetPixels;
        const bool bestBigEnough = side(*best) >= targetPixels;
        if (bigEnough != bestBigEnough
                ? bigEnough
                : (bigEnough ? side(candidate) < side(*best) : side(candidate) > side(*best)))
            best = &candidate;
    }
    if (best == nullptr)
        return nullptr;
    auto image = std::make_shared<Image>();
    image->width = best->width;
    image->height = best->height;
    image->argb.assign(best->pixels,
                       best->pixels + static_cast<std::size_t>(best->width) * best->height);
    return image;
}

int iconTargetPixels(double devicePixelRatio) {
    if (!(devicePixelRatio >= 1.0) || devicePixelRatio > 8.0)
        devicePixelRatio = 1.0;
    return static_cast<int>(std::ceil(kCardIconPoints * devicePixelRatio));
}

} // namespace corvane
