#pragma once
// Deterministic text metrics: every user-perceived character is half the point size wide, a line
// is the point size plus 2 high, and a text takes as many lines as its characters need at that
// width, at most maxLines (then it is truncated). Only the sizes are real: the lines are left
// empty, since nothing in the core reads them.

#include "platform/ui/TextMetrics.h"
#include "windows/UnicodeText.h"

#include <algorithm>
#include <cmath>

namespace corvane::testing {

class FakeTextMetrics : public TextMetrics {
  public:
    static double characterWidth(const Font& font) { return font.pointSize / 2; }
    static double lineHeight(const Font& font) { return font.pointSize + 2; }

    TextLayout layoutText(std::string_view utf8, const Font& font, double width,
                          int maxLines) const override {
        const auto characters = static_cast<double>(graphemeCount(utf8));
        const double perLine = std::max(1.0, std::floor(width / characterWidth(font)));
        const double needed = std::max(1.0, std::ceil(characters / perLine));
        const double lines = maxLines > 0 ? std::min(needed, 1.0 * maxLines) : needed;
        return {std::vector<std::string>(static_cast<std::size_t>(lines)),
                std::min(characters, perLine) * characterWidth(font), lines * lineHeight(font),
                lines < needed};
    }
    TextLayout measureSingleLine(std::string_view utf8, const Font& font) const override {
        return {{std::string(utf8)},
                static_cast<double>(graphemeCount(utf8)) * characterWidth(font),
                lineHeight(font)};
    }
};

} // namespace corvane::testing
