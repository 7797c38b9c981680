#pragma once
// Paints a view tree with QPainter, as Core Animation composites layer-backed views:
// background fill (rounded), the view's own content (text, image), subviews in order, then the
// border, inside the bounds and following the rounded corners. A view whose layer masks to
// bounds clips everything it draws to its rounded shape; a view with alpha below 1 is drawn as
// one group (its subtree into a layer image, then composited at that opacity), so overlapping
// children do not show through each other.
//
// Only what can show is drawn: given the area that needs painting, a subtree none of whose views
// reaches it is skipped, and a group's layer image covers only the part of the view inside it.
// A panel far wider than the screen then costs what its on-screen cards cost.
//
// A view whose layer asks to be rasterized is painted once into a picture of its own, at its
// position's fraction of a device pixel, and composited from it while its display generation
// stays the same (a bounded number of them are kept, those of the last paint first): moving a
// card costs a copy of its pixels.
//
// Layer images are made at the device pixel ratio of the target, so text and icons stay sharp
// on scaled screens. Application icons are converted and scaled once per image and size, and
// kept while the image lives. Each line of text is shaped once per font and kept (a bounded
// number of them), so repainting a card does not shape its title again.

#include "platform/Image.h"

#include <QImage>
#include <QRectF>
#include <QStaticText>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

class QFont;
class QPainter;

namespace corvane {

class ImageView;
class TextField;
class View;

class QtViewPainter {
  public:
    // Paints `root` with its top-left corner at the painter's origin. `area` is the part of
    // the root (in its own coordinates) that needs painting; none means all of it.
    void paint(QPainter& painter, const View& root, std::optional<QRectF> area = std::nullopt);

    // How many views the last paint drew (the root included); culled subtrees are not counted.
    std::size_t viewsPaintedLastTime() const { return viewsPainted_; }

    // The image as a QImage (straight alpha), or a null image when its pixels are malformed.
    static QImage toQImage(const Image& image);

  private:
    // `area`: the part of `view` (in its own coordinates) that needs painting.
    void paintView(QPainter& painter, const View& view, const std::optional<QRectF>& area);
    void paintContents(QPainter& painter, const View& view, const std::optional<QRectF>& area);
    // Composites the view's kept picture, painting it first when missing or out of date; false
    // when the painter's transform does not allow it (the caller paints the view itself).
    bool paintRasterized(QPainter& painter, const View& view, double alpha);
    void paintText(QPainter& painter, const TextField& field);
    const QStaticText& shapedLine(const QFont& font, const std::string& line);
    void paintImage(QPainter& painter, const ImageView& imageView);
    QImage scaledImage(const ImageRef& image, QSize pixels);

    struct CachedImage {
        std::weak_ptr<const Image> source;
        QImage converted;
        QImage scaled; // at the size last drawn
    };
    std::map<const Image*, CachedImage> images_;
    std::unordered_map<std::string, QStaticText> lines_; // by font key and text
    struct Raster {
        std::weak_ptr<const View> view;
        std::uint64_t generation = 0;
        QPointF fraction; // of a device pixel, where the view's origin fell
        double pixelRatio = 0;
        QImage image;
        std::uint64_t lastPaint = 0;
    };
    std::unordered_map<const View*, Raster> rasters_;
    std::uint64_t paints_ = 0;
    std::size_t viewsPainted_ = 0;
};

} // namespace corvane
