#pragma once
// Choosing and copying one application icon out of the sizes a _NET_WM_ICON property offers.
// Pure: the caller has already split the property into candidates (xcb-util-wm does that and
// checks each candidate's claimed size against the data actually present).

#include "platform/Image.h"

#include <cstdint>
#include <vector>

namespace corvane {

// The card shows the icon at 48 points.
inline constexpr int kCardIconPoints = 48;
// Icons larger than this on either side are ignored: nobody draws a card from them, and a
// client claiming 65535 x 65535 must not make Corvane allocate gigabytes.
inline constexpr int kMaxIconSide = 1024;

struct IconCandidate {
    int width = 0;
    int height = 0;
    const std::uint32_t* pixels = nullptr; // width * height ARGB values, owned by the caller
};

// The smallest candidate at least targetPixels on both sides, else the largest one; null when
// no candidate is usable. The pixels are copied, so the result outlives the candidates.
ImageRef imageFromIconCandidates(const std::vector<IconCandidate>& candidates, int targetPixels);

// Pixels the card needs on a screen with the given device pixel ratio.
int iconTargetPixels(double devicePixelRatio);

} // namespace corvane
