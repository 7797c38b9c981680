#pragma once
// An image in memory, such as an application icon: pixels and size. Images are immutable once
// made and shared between records by ImageRef; the last holder frees it.

#include <cstdint>
#include <memory>
#include <vector>

namespace corvane {

struct Image {
    int width = 0;
    int height = 0;
    // width * height pixels, row by row from the top, each 0xAARRGGBB, not premultiplied.
    std::vector<std::uint32_t> argb;
};

using ImageRef = std::shared_ptr<const Image>;

} // namespace corvane
