#pragma once
// Window titles and class names as X clients set them are bytes, not promises: _NET_WM_NAME
// should be UTF-8 but need not be, WM_NAME is usually Latin-1. These pure helpers turn such
// bytes into valid UTF-8 for Corvane's cards and window keys.

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// The longest title Corvane keeps, in bytes; longer ones are cut at a character boundary.
// Cards show two lines, and both the listing and the activation cut a title the same way, so
// window keys and title matching are unaffected.
inline constexpr std::size_t kMaxTitleBytes = 2048;

// Valid UTF-8 from arbitrary bytes: each invalid, overlong or surrogate sequence becomes
// U+FFFD, control characters become spaces, and the result is cut to maxBytes.
std::string sanitizedUtf8(std::string_view bytes, std::size_t maxBytes = kMaxTitleBytes);

// ISO 8859-1 bytes (the ICCCM STRING type) as UTF-8, sanitised the same way.
std::string utf8FromLatin1(std::string_view bytes, std::size_t maxBytes = kMaxTitleBytes);

} // namespace corvane
