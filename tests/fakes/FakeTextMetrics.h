#pragma once
// Deterministic text metrics: every user-perceived character is half the point size wide, a line
// is the point size plus 2 high, lines break at spaces (or inside a word too long for a line),
// and the last allowed line of a text that does not fit ends in "…".

#include "platform/ui/TextMetrics.h"

namespace corvane::testing {

class FakeTextMetrics : public TextMetrics {
  public:
    static double characterWidth(const Font& font) { return font.pointSize / 2; }
    static double lineHeight(const Font& font) { return font.pointSize + 2; }

    TextLayout layoutText(std::string_view utf8, const Font& font, double width,
                          int maxLines) const override;
    TextLayout measureSingleLine(std::string_view utf8, const Font& font) const override;
};

} // namespace corvane::testing
