#pragma once
// Image files decoded with Qt's codecs for the X11 backend, which has none of its own: PNG and
// XPM through QImage, SVG rendered by QSvgRenderer at the size asked for. Bitmaps larger than
// that are scaled down smoothly; smaller ones stay as they are (the card scales them).

#include "platform/Image.h"

#include <string>

namespace corvane {

// Null when the bytes are not an image of that format or are empty.
ImageRef decodeImageFile(const std::string& bytes, const std::string& format, int pixels);

} // namespace corvane
