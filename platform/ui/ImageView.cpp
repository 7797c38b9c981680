#include "platform/ui/ImageView.h"

#include <algorithm>

namespace corvane {

void ImageView::setImage(ImageRef image) {
    image_ = std::move(image);
    setNeedsDisplay();
}

void ImageView::setImageScaling(ImageScaling scaling) {
    imageScaling_ = scaling;
    setNeedsDisplay();
}

Rect ImageView::imageRect() const {
    if (!image_ || image_->width <= 0 || image_->height <= 0)
        return {};
    const Rect box = bounds();
    const double w = image_->width;
    const double h = image_->height;
    if (imageScaling_ == ImageScaling::axesIndependently)
        return box;
    double scale = 1;
    const double fit = std::min(box.width / w, box.height / h);
    if (imageScaling_ == ImageScaling::proportionallyUpOrDown)
        scale = fit;
    else if (imageScaling_ == ImageScaling::proportionallyDown)
        scale = std::min(1.0, fit);
    const double sw = w * scale;
    const double sh = h * scale;
    return {(box.width - sw) / 2, (box.height - sh) / 2, sw, sh};
}

Size ImageView::intrinsicContentSize(const TextMetrics&, double) const {
    if (!image_)
        return {-1, -1};
    return {static_cast<double>(image_->width), static_cast<double>(image_->height)};
}

} // namespace corvane
