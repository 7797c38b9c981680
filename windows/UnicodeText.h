#pragma once
// Unicode helpers for window titles, backed by utf8proc. Titles come from other applications and
// may be any mix of precomposed and decomposed text, or not valid UTF-8 at all; none of these
// functions fails on such input.

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// The text in Normalization Form C. Text that is not valid UTF-8 is returned unchanged, so it
// still compares equal to itself.
std::string normalizedNFC(std::string_view text);

// Whether two texts are equal under canonical equivalence: "é" precomposed equals "e" followed
// by a combining acute accent.
bool canonicallyEqual(std::string_view a, std::string_view b);

// The number of user-perceived characters (extended grapheme clusters). A byte that is not part
// of valid UTF-8 counts as one character of its own.
std::size_t graphemeCount(std::string_view text);

// The byte offset just past the first `count` grapheme clusters, or text.size() when the text
// has fewer. Never splits a cluster.
std::size_t graphemeOffset(std::string_view text, std::size_t count);

// The first `count` user-perceived characters of the text.
inline std::string_view graphemePrefix(std::string_view text, std::size_t count) {
    return text.substr(0, graphemeOffset(text, count));
}

// The text without its first `count` user-perceived characters (empty when it has no more).
inline std::string_view dropGraphemes(std::string_view text, std::size_t count) {
    return text.substr(graphemeOffset(text, count));
}

} // namespace corvane
