#pragma once
// A view showing one image. The image is shared (ImageRef); an absent image shows nothing.

#include "platform/Image.h"
#include "platform/ui/View.h"

namespace corvane {

// AppKit's numbering.
enum class ImageScaling {
    proportionallyDown = 0,
    axesIndependently = 1,
    none = 2,
    proportionallyUpOrDown = 3,
};

class ImageView : public View {
  public:
    const ImageRef& image() const { return image_; }
    void setImage(ImageRef image);
    ImageScaling imageScaling() const { return imageScaling_; }
    void setImageScaling(ImageScaling scaling);

    // Where the image is drawn, in bounds coordinates: scaled by the imageScaling rule and
    // centred. Empty when there is no image or it has no pixels.
    Rect imageRect() const;

    // The image's pixel size (one pixel a point), none without an image.
    Size intrinsicContentSize(const TextMetrics& metrics, double widthForHeight) const override;

  private:
    ImageRef image_;
    ImageScaling imageScaling_ = ImageScaling::proportionallyDown;
};

} // namespace corvane
