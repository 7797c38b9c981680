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
// Layer images are made at the device pixel ratio of the target, so text and icons stay sharp
// on scaled screens. Application icons are converted and scaled once per image and size, and
// kept while the image lives. Each line of text is shaped once per font and kept (a bounded
// number of them), so repainting a card does not shape its title again. A rounded background
// or ring of a card's size is drawn from a picture kept for its shape (see drawKeptShape).
//
// A view whose layer should rasterize (a card) is drawn from a picture of it and its subtree,
// kept for what it shows: its own colours, border and size, and each subview's display
// generation and frame. A card that moves (the cards reordered after a switch) or whose own
// colours go back to what they were (the selection moving on) costs one composite instead of
// its icon, text and shapes. A bounded number of such pictures is kept, the least recently
// drawn going first.

#include "platform/Image.h"
#include "platform/ui/Appearance.h"
#include "platform/ui/Geometry.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QStaticText>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

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
    // Draws `view` from its kept picture, painting that first if needed; false (nothing drawn)
    // when it does not rasterize or does not land on whole device pixels.
    bool paintRasterized(QPainter& painter, const View& view);
    void paintContents(QPainter& painter, const View& view, const std::optional<QRectF>& area);
    void paintText(QPainter& painter, const TextField& field);
    // A font's cache key and line spacing: asking Qt for them formats the whole font
    // description and finds its engine, on every text field painted.
    struct FontFacts {
        QFont font;
        std::string key;
        double lineSpacing = 0;
    };
    const FontFacts& factsOf(const QFont& font);
    const QStaticText& shapedLine(const FontFacts& font, const std::string& line);
    void paintImage(QPainter& painter, const ImageView& imageView);
    // Fills `rect` rounded by `radius` with `color`, or strokes it with a pen `width` wide when
    // width > 0, from a picture kept for that shape: every card has the same background and
    // ring, and an antialiased rounded path was most of a card's paint. Only for shapes of a
    // card's size (at most 320 × 320 device pixels: a card at twice the pixel ratio, never the
    // panel's own background), and only where the shape lands on whole device pixels, so that
    // the picture is what the path would give there (a thin ring's corners blend over the fill
    // in another order: a level or three of 255); false (nothing drawn) elsewhere.
    bool drawKeptShape(QPainter& painter, const QRectF& rect, double radius, const QColor& color,
                       double width);
    QImage scaledImage(const ImageRef& image, QSize pixels);

    struct CachedImage {
        std::weak_ptr<const Image> source;
        QImage converted;
        QImage scaled; // at the size last drawn
    };
    std::map<const Image*, CachedImage> images_;
    std::unordered_map<std::string, QStaticText> lines_; // by font key and text
    std::vector<FontFacts> fonts_;                       // a card uses two
    struct ShapeKey {
        QSizeF size;
        double radius, width, pixelRatio;
        QRgb color;
        bool operator==(const ShapeKey&) const = default;
    };
    std::vector<std::pair<ShapeKey, QImage>> shapes_; // a handful: fill and ring, two looks
    // What a rasterized view's picture shows.
    struct RasterKey {
        const View* view = nullptr;
        QSizeF size;
        double pixelRatio = 1, alpha = 1, cornerRadius = 0, borderWidth = 0;
        bool masksToBounds = false;
        std::optional<RGBA> background, border;
        // Each subview's generation, frame, alpha and whether it is hidden.
        std::vector<std::tuple<std::uint64_t, Rect, double, bool>> subviews;
        bool operator==(const RasterKey&) const = default;
    };
    struct Raster {
        RasterKey key;
        QImage picture;
        std::size_t views = 0; // painted into it
        std::uint64_t lastDrawn = 0;
    };
    std::vector<Raster> rasters_;
    std::uint64_t rasterClock_ = 0;
    bool isRasterizing_ = false;
    std::size_t viewsPainted_ = 0;
};

} // namespace corvane
