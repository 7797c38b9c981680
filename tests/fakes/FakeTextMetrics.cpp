#include "fakes/FakeTextMetrics.h"

#include "windows/UnicodeText.h"

#include <algorithm>
#include <string>
#include <vector>

namespace corvane::testing {

namespace {

// The text split into user-perceived characters.
std::vector<std::string> characters(std::string_view text) {
    std::vector<std::string> result;
    while (!text.empty()) {
        const std::size_t end = std::max<std::size_t>(graphemeOffset(text, 1), 1);
        result.emplace_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return result;
}

std::string join(const std::vector<std::string>& chars, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t i = from; i < to; ++i)
        out += chars[i];
    return out;
}

} // namespace

TextLayout FakeTextMetrics::measureSingleLine(std::string_view utf8, const Font& font) const {
    TextLayout layout;
    layout.lines.emplace_back(utf8);
    layout.width = static_cast<double>(graphemeCount(utf8)) * characterWidth(font);
    layout.height = lineHeight(font);
    return layout;
}

TextLayout FakeTextMetrics::layoutText(std::string_view utf8, const Font& font, double width,
                                       int maxLines) const {
    const auto chars = characters(utf8);
    const std::size_t perLine =
        std::max<std::size_t>(1, static_cast<std::size_t>(width / characterWidth(font)));
    TextLayout layout;
    std::size_t at = 0;
    while (at < chars.size()) {
        std::size_t end = std::min(chars.size(), at + perLine);
        if (end < chars.size()) {
            // Break after the last space that fits, when there is one.
            for (std::size_t i = end; i > at; --i) {
                if (chars[i - 1] == " ") {
                    end = i;
                    break;
                }
            }
        }
        std::size_t shown = end;
        while (shown > at && chars[shown - 1] == " ")
            --shown;
        layout.lines.push_back(join(chars, at, shown));
        at = end;
        while (at < chars.size() && chars[at] == " ")
            ++at;
        if (maxLines > 0 && static_cast<int>(layout.lines.size()) == maxLines &&
            at < chars.size()) {
            // Tail truncation: the rest of the text becomes an ellipsis on the last line.
            std::string& line = layout.lines.back();
            auto lineChars = characters(line);
            while (!lineChars.empty() &&
                   (lineChars.size() + 1 > perLine || lineChars.back() == " "))
                lineChars.pop_back();
            line = join(lineChars, 0, lineChars.size()) + "…";
            layout.truncated = true;
            break;
        }
    }
    if (layout.lines.empty())
        layout.lines.emplace_back();
    for (const auto& line : layout.lines) {
        layout.width =
            std::max(layout.width, static_cast<double>(graphemeCount(line)) * characterWidth(font));
    }
    layout.height = static_cast<double>(layout.lines.size()) * lineHeight(font);
    return layout;
}

} // namespace corvane::testing
