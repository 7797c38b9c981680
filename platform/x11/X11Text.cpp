// Turning X property bytes into valid UTF-8 (see X11Text.h).

#include "platform/x11/X11Text.h"

#include <algorithm>
#include <cstdint>

namespace corvane {

namespace {

// Length of the valid UTF-8 sequence at the start of bytes, or 0 when it is invalid.
std::size_t validSequenceLength(std::string_view bytes) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t codePoint = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(i) & 0x3F);
    }
    const bool overlong =
        (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (overlong || surrogate || codePoint > 0x10FFFF)
        return 0;
    return length;
}

void appendCodePoint(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

} // namespace

std::string sanitizedUtf8(std::string_view bytes, std::size_t maxBytes) {
    std::string out;
    out.reserve(std::min(bytes.size(), maxBytes));
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t length = validSequenceLength(bytes.substr(at));
        std::string_view piece;
        std::string replacement;
        if (length == 0) {
            appendCodePoint(replacement, 0xFFFD);
            piece = replacement;
            length = 1;
        } else if (length == 1 &&
                   (static_cast<unsigned char>(bytes[at]) < 0x20 || bytes[at] == 0x7F)) {
            piece = " ";
        } else {
            piece = bytes.substr(at, length);
        }
        if (out.size() + piece.size() > maxBytes)
            break;
        out.append(piece);
        at += length;
    }
    return out;
}

std::string utf8FromLatin1(std::string_view bytes, std::size_t maxBytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (char c : bytes)
        appendCodePoint(utf8, static_cast<unsigned char>(c));
    return sanitizedUtf8(utf8, maxBytes);
}

} // namespace corvane
