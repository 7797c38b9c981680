// Titles and icons as X clients hand them over: bytes that may be anything.

#include "platform/x11/X11Icon.h"
#include "platform/x11/X11Text.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(X11Text, ArbitraryBytesBecomeValidUtf8) {
    const std::string replacement = "\xEF\xBF\xBD";
    const struct {
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"Doc A", "Doc A"},
        {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x90\xA6", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x90\xA6"},
        {"caf\xE9", "caf" + replacement},                          // Latin-1 in a UTF-8 property
        {"\xC0\xAF", replacement + replacement},                   // overlong '/'
        {"\xED\xA0\x80", replacement + replacement + replacement}, // a surrogate
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement}, // > U+10FFFF
        {"cut \xE2\x80", "cut " + replacement + replacement}, // truncated sequence at the end
        {"two\nlines\ttab", "two lines tab"},
        {std::string("nul\0inside", 10), "nul inside"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sanitizedUtf8(c.bytes), c.expected);
}

TEST(X11Text, LongTitlesAreCutAtACharacterBoundary) {
    std::string title;
    for (int i = 0; i < 2000; ++i)
        title += "\xC3\xA9"; // 4000 bytes of two-byte characters
    const std::string cut = sanitizedUtf8(title);
    EXPECT_LE(cut.size(), kMaxTitleBytes);
    EXPECT_EQ(cut.size() % 2, 0u);
    EXPECT_EQ(sanitizedUtf8(cut), cut);
    EXPECT_EQ(sanitizedUtf8("\xE2\x80\x94\xE2\x80\x94", 5), "\xE2\x80\x94");
}

TEST(X11Text, Latin1BecomesUtf8) {
    EXPECT_EQ(utf8FromLatin1("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(utf8FromLatin1("\xFF"), "\xC3\xBF");
    EXPECT_EQ(utf8FromLatin1("a\x01"), "a ");
}

class X11IconChoice : public ::testing::Test {
  protected:
    IconCandidate candidate(int side) {
        pixels.emplace_back(static_cast<std::size_t>(side) * side, 0xFF000000u | side);
        return {side, side, pixels.back().data()};
    }
    std::vector<std::vector<std::uint32_t>> pixels;
    void SetUp() override { pixels.reserve(16); }
};

TEST_F(X11IconChoice, PicksTheSmallestIconThatFillsTheCardElseTheLargest) {
    const struct {
        std::vector<int> sides;
        int target;
        int expected;
    } cases[] = {
        {{16, 32, 48, 128}, 48, 48},
        {{128, 16, 64, 256}, 48, 64},
        {{16, 32}, 48, 32},
        {{16, 32, 48, 128}, 96, 128}, // a 2x screen
        {{256}, 48, 256},
    };
    for (const auto& c : cases) {
        std::vector<IconCandidate> candidates;
        for (int side : c.sides)
            candidates.push_back(candidate(side));
        const ImageRef image = imageFromIconCandidates(candidates, c.target);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width, c.expected);
        EXPECT_EQ(image->argb.size(), std::size_t(c.expected) * c.expected);
        EXPECT_EQ(image->argb.front(), 0xFF000000u | std::uint32_t(c.expected));
    }
}

TEST_F(X11IconChoice, IgnoresEmptyAndAbsurdSizes) {
    std::vector<std::uint32_t> few(4, 0xFFFFFFFFu);
    const std::vector<IconCandidate> absurd = {
        {65535, 65535, few.data()}, {0, 16, few.data()}, {16, -1, few.data()}, {16, 16, nullptr}};
    EXPECT_EQ(imageFromIconCandidates(absurd, 48), nullptr);
    auto withOneGood = absurd;
    withOneGood.push_back(candidate(24));
    const ImageRef image = imageFromIconCandidates(withOneGood, 48);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 24);
}

TEST(X11IconTarget, FollowsTheDevicePixelRatioWithinReason) {
    EXPECT_EQ(iconTargetPixels(1.0), 48);
    EXPECT_EQ(iconTargetPixels(1.5), 72);
    EXPECT_EQ(iconTargetPixels(2.0), 96);
    EXPECT_EQ(iconTargetPixels(0.0), 48);
    EXPECT_EQ(iconTargetPixels(-3.0), 48);
    EXPECT_EQ(iconTargetPixels(1e9), 48);
}

} // namespace
} // namespace corvane
