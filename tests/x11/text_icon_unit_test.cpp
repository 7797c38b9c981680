// Titles and icons as X clients hand them over (bytes that may be anything), and the window
// order made of what the window manager tells.

#include "platform/x11/X11ActivationHistory.h"
#include "platform/x11/X11Icon.h"
#include "platform/x11/X11Text.h"

#include <gtest/gtest.h>
#include <map>

namespace corvane {
namespace {

TEST(X11Text, ArbitraryBytesBecomeValidUtf8CutAtACharacterBoundary) {
    const std::string bad = "\xEF\xBF\xBD"; // U+FFFD
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x90\xA6", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x90\xA6"},
        {"caf\xE9", "caf" + bad},                    // Latin-1 in a UTF-8 property
        {"\xC0\xAF", bad + bad},                     // overlong '/'
        {"\xED\xA0\x80", bad + bad + bad},           // a surrogate
        {"\xF4\x90\x80\x80", bad + bad + bad + bad}, // beyond U+10FFFF
        {"cut \xE2\x80", "cut " + bad + bad},        // truncated sequence at the end
        {"two\nlines\ttab", "two lines tab"},
        {std::string("nul\0inside", 10), "nul inside"},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(sanitizedUtf8(bytes), expected);

    std::string title;
    for (int i = 0; i < 2000; ++i)
        title += "\xC3\xA9"; // 4000 bytes of two-byte characters
    const std::string cut = sanitizedUtf8(title);
    EXPECT_LE(cut.size(), kMaxTitleBytes);
    EXPECT_EQ(cut.size() % 2, 0u);
    EXPECT_EQ(sanitizedUtf8(cut), cut);
    EXPECT_EQ(sanitizedUtf8("\xE2\x80\x94\xE2\x80\x94", 5), "\xE2\x80\x94");
}

TEST(X11IconChoice, TheSmallestIconThatFillsTheCardElseTheLargestNeverAnAbsurdOne) {
    std::map<int, std::vector<std::uint32_t>> pixels; // by side, coloured by side
    const auto candidate = [&](int side) {
        pixels[side].assign(static_cast<std::size_t>(side) * side, 0xFF000000u | side);
        return IconCandidate{side, side, pixels[side].data()};
    };
    std::vector<std::uint32_t> few(4, 0xFFFFFFFFu);
    const std::vector<IconCandidate> absurd = {
        {65535, 65535, few.data()}, {0, 16, few.data()}, {16, -1, few.data()}, {16, 16, nullptr}};
    EXPECT_EQ(imageFromIconCandidates(absurd, 48), nullptr);
    const struct {
        std::vector<int> sides;
        int target, expected;
    } cases[] = {
        {{16, 32, 48, 128}, 48, 48},
        {{128, 16, 64, 256}, 48, 64},
        {{16, 32}, 48, 32},
        {{16, 32, 48, 128}, 96, 128}, // a 2x screen
        {{256}, 48, 256},
    };
    for (const auto& c : cases) {
        std::vector<IconCandidate> candidates = absurd;
        for (int side : c.sides)
            candidates.push_back(candidate(side));
        const ImageRef image = imageFromIconCandidates(candidates, c.target);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(std::tuple(image->width, image->argb.size(), image->argb.front()),
                  std::tuple(c.expected, std::size_t(c.expected) * c.expected,
                             0xFF000000u | std::uint32_t(c.expected)));
    }
    // The card's side in pixels follows the screen's scale within reason.
    const std::pair<double, int> targets[] = {{1.0, 48}, {1.5, 72},  {2.0, 96},
                                              {0.0, 48}, {-3.0, 48}, {1e9, 48}};
    for (const auto& [scale, side] : targets)
        EXPECT_EQ(iconTargetPixels(scale), side) << scale;
}

TEST(X11WindowOrder, SeenActiveMostRecentFirstThenFramesTopFirstElseTheManagersList) {
    using Positions = std::vector<std::optional<std::size_t>>;
    const auto none = std::nullopt;
    const struct {
        const char* what;
        Positions stack, rank;
        std::vector<std::size_t> expected;
    } cases[] = {
        {"frames only", {{0}, {2}, {1}}, {none, none, none}, {1, 2, 0}},
        {"history first", {{0}, {2}, {1}}, {{1}, none, {0}}, {2, 0, 1}},
        {"a frame not found: the list's order", {{0}, none, {1}}, {none, none, none}, {0, 1, 2}},
        {"a frame not found, with history", {{0}, none, {1}}, {none, {0}, none}, {1, 0, 2}},
        {"nothing", {}, {}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frontToBackOrder(c.stack, c.rank), c.expected) << c.what;
}

} // namespace
} // namespace corvane
