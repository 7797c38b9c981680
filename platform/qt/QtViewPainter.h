#pragma once
// Paints a view tree with QPainter, as Core Animation composites layer-backed views:
// background fill (rounded), the view's own content (text, image), subviews in order, then the
// border, inside the bounds and following the rounded corners. A view whose layer masks to
// bounds clips everything it draws to its rounded shape; a view with alpha below 1 is drawn as
// one group (its subtree into a layer image, then composited at that opacity), so overlapping
// children do not show through each other.
//
// Layer images are made at the device pixel ratio of the target, so text and icons stay sharp
// on scaled screens. Application icons are converted and scaled once per image and size, and
// kept while the image lives.

#include "platform/Image.h"

#include <QImage>
#include <map>
#include <memory>

class QPainter;

namespace corvane {

class ImageView;
class TextField;
class View;

class QtViewPainter {
  public:
    // Paints `root` with its top-left corner at the painter's origin.
    void paint(QPainter& painter, const View& root);

    // The image as a QImage (straight alpha), or a null image when its pixels are malformed.
    static QImage toQImage(const Image& image);

  private:
    void paintView(QPainter& painter, const View& view);
    void paintContents(QPainter& painter, const View& view);
    void paintText(QPainter& painter, const TextField& field);
    void paintImage(QPainter& painter, const ImageView& imageView);
    QImage scaledImage(const ImageRef& image, QSize pixels);

    struct CachedImage {
        std::weak_ptr<const Image> source;
        QImage converted;
        QImage scaled; // at the size last drawn
    };
    std::map<const Image*, CachedImage> images_;
};

} // namespace corvane
