#pragma once
// Text measurement, implemented by the backend with the same fonts it paints with.
//
// Line breaking belongs to the backend: layoutText() breaks a text into at most maxLines lines
// that fit `width`, ending the last line with "…" when the text does not fit (tail truncation).
// TextField keeps the result of its last layout pass, and the painter draws exactly those lines,
// so what was measured is what is painted.

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

enum class FontWeight { regular, medium, semibold, bold };

// A system font of a size in points and a weight.
struct Font {
    double pointSize = 13;
    FontWeight weight = FontWeight::regular;
    static Font systemFont(double size, FontWeight weight = FontWeight::regular) {
        return {size, weight};
    }
    friend bool operator==(const Font&, const Font&) = default;
};

struct TextLayout {
    std::vector<std::string> lines; // UTF-8, the last one ending in "…" when truncated
    double width = 0;               // widest line, at most the width asked for
    double height = 0;              // all lines, line spacing included; one line's height if empty
    bool truncated = false;
};

class TextMetrics {
  public:
    virtual ~TextMetrics() = default;
    // maxLines 0 means no limit. A width of 0 or less gives one line per word, truncated.
    virtual TextLayout layoutText(std::string_view utf8, const Font& font, double width,
                                  int maxLines) const = 0;
    // Width and height of the text on one line, unbroken.
    virtual TextLayout measureSingleLine(std::string_view utf8, const Font& font) const = 0;
};

} // namespace corvane
