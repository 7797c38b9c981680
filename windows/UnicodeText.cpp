#include "windows/UnicodeText.h"

#include <cstdlib>
#include <memory>
#include <utf8proc.h>

namespace corvane {

namespace {

// Every code point below U+0300 is left as it is by NFC (nothing composes onto it without a
// combining mark, and those start at U+0300), and the lead byte of anything at or above U+0300
// is 0xCC or higher. Most titles pass this test, so they are never copied or decoded.
bool isTriviallyNFC(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0xCC)
            return false;
    }
    return true;
}

const utf8proc_uint8_t* bytes(std::string_view text) {
    return reinterpret_cast<const utf8proc_uint8_t*>(text.data());
}

// Walks the text one grapheme cluster at a time. `onClusterStart` gets the byte offset where
// each cluster begins and returns false to stop the walk.
template <typename Visitor>
void forEachClusterStart(std::string_view text, Visitor onClusterStart) {
    const auto size = static_cast<utf8proc_ssize_t>(text.size());
    utf8proc_ssize_t position = 0;
    utf8proc_int32_t previous = -1;
    utf8proc_int32_t state = 0;
    while (position < size) {
        utf8proc_int32_t codepoint = -1;
        utf8proc_ssize_t length =
            utf8proc_iterate(bytes(text) + position, size - position, &codepoint);
        if (length <= 0) {
            // A malformed byte stands alone: it ends the cluster before it and starts its own.
            codepoint = -1;
            length = 1;
        }
        bool startsCluster = previous < 0 || codepoint < 0;
        if (!startsCluster)
            startsCluster = utf8proc_grapheme_break_stateful(previous, codepoint, &state);
        if (startsCluster && (previous < 0 || codepoint < 0))
            state = 0;
        if (startsCluster && !onClusterStart(static_cast<std::size_t>(position)))
            return;
        previous = codepoint;
        position += length;
    }
}

} // namespace

std::string normalizedNFC(std::string_view text) {
    if (isTriviallyNFC(text))
        return std::string(text);
    utf8proc_uint8_t* mapped = nullptr;
    const utf8proc_ssize_t length =
        utf8proc_map(bytes(text), static_cast<utf8proc_ssize_t>(text.size()), &mapped,
                     static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owned(mapped, &std::free);
    if (length < 0 || mapped == nullptr)
        return std::string(text);
    return std::string(reinterpret_cast<const char*>(mapped), static_cast<std::size_t>(length));
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b)
        return true;
    if (isTriviallyNFC(a) && isTriviallyNFC(b))
        return false;
    return normalizedNFC(a) == normalizedNFC(b);
}

std::size_t graphemeCount(std::string_view text) {
    std::size_t count = 0;
    forEachClusterStart(text, [&](std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::size_t graphemeOffset(std::string_view text, std::size_t count) {
    std::size_t offset = text.size();
    std::size_t seen = 0;
    forEachClusterStart(text, [&](std::size_t start) {
        if (seen == count) {
            offset = start;
            return false;
        }
        ++seen;
        return true;
    });
    return offset;
}

} // namespace corvane
