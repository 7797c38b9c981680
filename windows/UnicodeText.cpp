#include "windows/UnicodeText.h"

#include <utf8proc.h>
#include <vector>

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
    // The steps of utf8proc_map, into a buffer kept between calls rather than two fresh
    // allocations per title: one enumeration normalises hundreds of them.
    constexpr auto options = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE);
    thread_local std::vector<utf8proc_int32_t> buffer(256);
    const auto length = static_cast<utf8proc_ssize_t>(text.size());
    utf8proc_ssize_t count = 0;
    while (true) {
        // One spare slot: re-encoding writes a terminating NUL byte after the text.
        const auto capacity = static_cast<utf8proc_ssize_t>(buffer.size()) - 1;
        count = utf8proc_decompose(bytes(text), length, buffer.data(), capacity, options);
        if (count < 0)
            return std::string(text);
        if (count <= capacity)
            break;
        buffer.resize(static_cast<std::size_t>(count) + 1);
    }
    // Composes in place, then encodes the code points as UTF-8 over the start of the buffer.
    const utf8proc_ssize_t encoded = utf8proc_reencode(buffer.data(), count, options);
    if (encoded < 0)
        return std::string(text);
    return std::string(reinterpret_cast<const char*>(buffer.data()),
                       static_cast<std::size_t>(encoded));
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
