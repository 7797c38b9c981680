#include "platform/qt/QtViewPainter.h"

#include "platform/qt/QtTextMetrics.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

QColor toQColor(const RGBA& c) {
    auto clamp = [](double v) { return std::clamp(v, 0.0, 1.0); };
    return QColor::fromRgbF(float(clamp(c.red)), float(clamp(c.green)), float(clamp(c.blue)),
                            float(clamp(c.alpha)));
}

QPainterPath roundedPath(const QRectF& rect, double radius) {
    QPainterPath path;
    const double r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2);
    path.addRoundedRect(rect, r, r);
    return path;
}

QRectF boundsOf(const View& view) {
    const Rect b = view.bounds();
    return {b.x, b.y, b.width, b.height};
}

bool masksToRoundedBounds(const View& view) {
    const Layer* layer = view.layer();
    return layer && layer->masksToBounds() && layer->cornerRadius() > 0;
}

// Whether every visible descendant's frame lies inside `safe` (in the view's coordinates).
bool subtreeInside(const View& view, const QRectF& safe, QPointF offset = {}) {
    for (const auto& subview : view.subviews()) {
        if (subview->isHidden())
            continue;
        const Rect f = subview->frame();
        const QRectF frame(offset + QPointF(f.x, f.y), QSizeF(f.width, f.height));
        if (!safe.contains(frame) || !subtreeInside(*subview, safe, frame.topLeft()))
            return false;
    }
    return true;
}

// Whether `area` lies inside the rounded rectangle away from its corners (each corner's
// radius-sized square), where the rounding changes no pixel.
bool missesTheCorners(const QRectF& bounds, double cornerRadius, const QRectF& area) {
    const double r = std::clamp(cornerRadius, 0.0, std::min(bounds.width(), bounds.height()) / 2);
    if (!bounds.contains(area))
        return false;
    if (r <= 0)
        return true;
    const QSizeF corner(r, r);
    for (const QPointF& at : {bounds.topLeft(), QPointF(bounds.right() - r, bounds.top()),
                              QPointF(bounds.left(), bounds.bottom() - r),
                              QPointF(bounds.right() - r, bounds.bottom() - r)}) {
        if (QRectF(at, corner).intersects(area))
            return false;
    }
    return true;
}

// A rounded mask only changes pixels in the corners. When nothing but the view's own rounded
// background and border reaches them (the subtree keeps r·(1 − 1/√2) away from every edge, so
// it stays inside each corner's arc), the layer image and its mask can be skipped.
bool needsRoundedMask(const View& view) {
    if (!masksToRoundedBounds(view))
        return false;
    const QRectF bounds = boundsOf(view);
    const double radius =
        std::min(view.layer()->cornerRadius(), std::min(bounds.width(), bounds.height()) / 2);
    const double inset = radius * (1 - 1 / std::sqrt(2.0));
    return !subtreeInside(view, bounds.adjusted(inset, inset, -inset, -inset));
}

// Whether anything `view` or its visible descendants draw can land in `area` (in the view's
// coordinates). Views draw inside their bounds, but a descendant may stick out of an ancestor
// that does not clip, so a view outside the area is only ruled out with its whole subtree.
bool reaches(const View& view, const QRectF& area) {
    if (view.isHidden())
        return false;
    if (boundsOf(view).intersects(area))
        return true;
    if (view.layer() && view.layer()->masksToBounds())
        return false;
    for (const auto& subview : view.subviews()) {
        const Rect f = subview->frame();
        if (reaches(*subview, area.translated(-f.x, -f.y)))
            return true;
    }
    return false;
}

// Rasterized views are card-sized: at most this many device pixels a side, and this many bytes
// of their pictures kept in all: 24 cards at a pixel ratio of 1 (6 at 2), about the cards a
// screen shows and the looks the ring gives and takes. Each costs 67 KB; twice as many put a
// panel of 100 windows past 40 MB.
constexpr double kMaxRasterSide = 320;
constexpr qsizetype kRasterBytes = qsizetype(24) * 140 * 120 * 4;

double devicePixelRatioOf(const QPainter& painter) {
    return painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
}

// The size in device pixels of `rect` as `painter` draws it, when it lands on whole device pixels
// under a plain translation; none otherwise (an empty rect included). A picture of that size
// drawn there is then pixel for pixel what drawing in place would give.
std::optional<QSize> wholeDevicePixels(const QPainter& painter, const QRectF& rect) {
    const QTransform& transform = painter.deviceTransform();
    if (transform.type() > QTransform::TxTranslate || rect.isEmpty())
        return std::nullopt;
    const QPointF at = transform.map(rect.topLeft());
    const QSizeF pixels = rect.size() * devicePixelRatioOf(painter);
    const auto whole = [](double v) { return std::abs(v - std::round(v)) < 1e-6; };
    if (!whole(at.x()) || !whole(at.y()) || !whole(pixels.width()) || !whole(pixels.height()))
        return std::nullopt;
    return pixels.toSize();
}

// Snaps a length to whole device pixels so an image is drawn pixel for pixel.
double snapped(double value, double dpr) {
    return std::round(value * dpr) / dpr;
}

} // namespace

void QtViewPainter::paint(QPainter& painter, const View& root, std::optional<QRectF> area) {
    for (auto it = images_.begin(); it != images_.end();)
        it = it->second.source.expired() ? images_.erase(it) : std::next(it);
    viewsPainted_ = 0;
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    paintView(painter, root, area);
    painter.restore();
}

void QtViewPainter::paintView(QPainter& painter, const View& view,
                              const std::optional<QRectF>& area) {
    const double alpha = std::clamp(view.alphaValue(), 0.0, 1.0);
    const QRectF bounds = boundsOf(view);
    if (view.isHidden() || alpha <= 0 || bounds.isEmpty())
        return;
    if (!isRasterizing_ && paintRasterized(painter, view))
        return;
    ++viewsPainted_;

    // A repaint away from the corners needs no mask (a card's ring in a wide panel, say). What
    // lies outside the bounds is clipped anyway: a strip from edge to edge of a wide panel
    // misses its corners too.
    const bool roundedMask =
        !(area && masksToRoundedBounds(view) &&
          missesTheCorners(bounds, view.layer()->cornerRadius(),
                           area->adjusted(-1, -1, 1, 1).intersected(bounds))) &&
        needsRoundedMask(view);
    if (alpha >= 1 && !roundedMask) {
        painter.save();
        if (view.layer() && view.layer()->masksToBounds())
            painter.setClipRect(bounds, Qt::IntersectClip);
        paintContents(painter, view, area);
        painter.restore();
        return;
    }

    // A group: the subtree goes into a layer image first, covering the part of the view that
    // needs painting, in whole device pixels.
    const double dpr = devicePixelRatioOf(painter);
    const QRectF wanted = area ? bounds.intersected(*area) : bounds;
    if (wanted.isEmpty())
        return;
    const QRect pixels = QRectF(wanted.topLeft() * dpr, wanted.size() * dpr).toAlignedRect();
    const QPointF origin = QPointF(pixels.topLeft()) / dpr;
    QImage layerImage(pixels.size(), QImage::Format_ARGB32_Premultiplied);
    if (layerImage.isNull())
        return;
    layerImage.setDevicePixelRatio(dpr);
    layerImage.fill(Qt::transparent);
    {
        QPainter layerPainter(&layerImage);
        layerPainter.setRenderHints(painter.renderHints());
        layerPainter.translate(-origin);
        paintContents(layerPainter, view, wanted);
        if (roundedMask) {
            // An antialiased rounded mask (QPainter's clip paths are not antialiased): erase
            // what lies outside the rounded shape. Composition modes only touch the pixels a
            // drawing covers, so the outside is what gets drawn.
            QPainterPath outside;
            outside.addRect(bounds);
            outside = outside.subtracted(roundedPath(bounds, view.layer()->cornerRadius()));
            layerPainter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            layerPainter.fillPath(outside, Qt::black);
        }
    }
    painter.save();
    painter.setOpacity(painter.opacity() * alpha);
    painter.drawImage(origin, layerImage);
    painter.restore();
}

void QtViewPainter::paintContents(QPainter& painter, const View& view,
                                  const std::optional<QRectF>& area) {
    const QRectF bounds = boundsOf(view);
    const Layer* layer = view.layer();
    if (layer && layer->backgroundColor() && layer->backgroundColor()->alpha > 0) {
        // Away from the corners the rounded fill is a plain one: a pixel beyond the area on
        // each side keeps the edges whole (the caller clips to the area).
        const QRectF margin = area ? area->adjusted(-1, -1, 1, 1).intersected(bounds) : QRectF();
        const QColor fill = toQColor(*layer->backgroundColor());
        if (area && missesTheCorners(bounds, layer->cornerRadius(), margin))
            painter.fillRect(margin, fill);
        else if (!drawKeptShape(painter, bounds, layer->cornerRadius(), fill, 0))
            painter.fillPath(roundedPath(bounds, layer->cornerRadius()), fill);
    }

    if (const auto* field = dynamic_cast<const TextField*>(&view))
        paintText(painter, *field);
    else if (const auto* imageView = dynamic_cast<const ImageView*>(&view))
        paintImage(painter, *imageView);

    for (const auto& subview : view.subviews()) {
        const Rect frame = subview->frame();
        std::optional<QRectF> subviewArea;
        if (area) {
            subviewArea = area->translated(-frame.x, -frame.y);
            if (!reaches(*subview, *subviewArea))
                continue;
        }
        painter.save();
        painter.translate(frame.x, frame.y);
        paintView(painter, *subview, subviewArea);
        painter.restore();
    }

    if (layer && layer->borderWidth() > 0 && layer->borderColor() &&
        layer->borderColor()->alpha > 0) {
        const double width =
            std::min(layer->borderWidth(), std::min(bounds.width(), bounds.height()) / 2);
        const QColor ring = toQColor(*layer->borderColor());
        if (!drawKeptShape(painter, bounds, layer->cornerRadius(), ring, width)) {
            const QRectF inner = bounds.adjusted(width / 2, width / 2, -width / 2, -width / 2);
            painter.save();
            painter.setPen(QPen(ring, width));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(roundedPath(inner, std::max(0.0, layer->cornerRadius() - width / 2)));
            painter.restore();
        }
    }
}

bool QtViewPainter::paintRasterized(QPainter& painter, const View& view) {
    const Layer* layer = view.layer();
    // Only a plain view that keeps its drawing inside its bounds, placed on whole pixels.
    if (!layer || !layer->shouldRasterize() || !layer->masksToBounds() ||
        dynamic_cast<const TextField*>(&view) || dynamic_cast<const ImageView*>(&view))
        return false;
    const QRectF bounds = boundsOf(view);
    const std::optional<QSize> pixels = wholeDevicePixels(painter, bounds);
    if (!pixels || pixels->width() > kMaxRasterSide || pixels->height() > kMaxRasterSide)
        return false;
    const double dpr = devicePixelRatioOf(painter);

    RasterKey key{&view,
                  bounds.size(),
                  dpr,
                  std::clamp(view.alphaValue(), 0.0, 1.0),
                  layer->cornerRadius(),
                  layer->borderWidth(),
                  layer->masksToBounds(),
                  layer->backgroundColor(),
                  layer->borderColor(),
                  {}};
    key.subviews.reserve(view.subviews().size());
    for (const auto& subview : view.subviews())
        key.subviews.emplace_back(subview->displayGeneration(), subview->frame(),
                                  subview->alphaValue(), subview->isHidden());
    auto found = std::find_if(rasters_.begin(), rasters_.end(),
                              [&](const Raster& r) { return r.key == key; });
    if (found == rasters_.end()) {
        QImage picture(*pixels, QImage::Format_ARGB32_Premultiplied);
        if (picture.isNull())
            return false;
        picture.setDevicePixelRatio(dpr);
        picture.fill(Qt::transparent);
        const std::size_t before = viewsPainted_;
        {
            QPainter rasterPainter(&picture);
            rasterPainter.setRenderHints(painter.renderHints());
            rasterPainter.translate(-bounds.topLeft());
            isRasterizing_ = true;
            paintView(rasterPainter, view, std::nullopt);
            isRasterizing_ = false;
        }
        // Two looks a view: selected and not. Then the least recently drawn go first: a card
        // scrolled away, or one that is gone.
        const auto lastOfItsLooks = [&] {
            auto last = rasters_.end();
            std::size_t looks = 0;
            for (auto it = rasters_.begin(); it != rasters_.end(); ++it) {
                if (it->key.view != &view)
                    continue;
                ++looks;
                if (last == rasters_.end() || it->lastDrawn < last->lastDrawn)
                    last = it;
            }
            return looks >= 2 ? last : rasters_.end();
        }();
        if (lastOfItsLooks != rasters_.end())
            rasters_.erase(lastOfItsLooks);
        qsizetype kept = picture.sizeInBytes();
        for (const Raster& r : rasters_)
            kept += r.picture.sizeInBytes();
        while (kept > kRasterBytes && !rasters_.empty()) {
            auto oldest = std::min_element(
                rasters_.begin(), rasters_.end(),
                [](const Raster& a, const Raster& b) { return a.lastDrawn < b.lastDrawn; });
            kept -= oldest->picture.sizeInBytes();
            rasters_.erase(oldest);
        }
        rasters_.push_back({std::move(key), std::move(picture), viewsPainted_ - before, 0});
        found = std::prev(rasters_.end());
        viewsPainted_ = before;
    }
    found->lastDrawn = ++rasterClock_;
    viewsPainted_ += found->views;
    painter.drawImage(bounds.topLeft(), found->picture);
    return true;
}

bool QtViewPainter::drawKeptShape(QPainter& painter, const QRectF& rect, double radius,
                                  const QColor& color, double width) {
    const std::optional<QSize> pixels = wholeDevicePixels(painter, rect);
    // Card-sized shapes only: the panel's own background would be a kept copy of the panel.
    constexpr double kKeptShapePixelsLimit = 320.0 * 320.0;
    if (!pixels || double(pixels->width()) * pixels->height() > kKeptShapePixelsLimit)
        return false;
    const double dpr = devicePixelRatioOf(painter);
    const ShapeKey key{rect.size(), radius, width, dpr, color.rgba()};
    auto kept = std::find_if(shapes_.begin(), shapes_.end(),
                             [&](const auto& shape) { return shape.first == key; });
    if (kept == shapes_.end()) {
        constexpr std::size_t kKeptShapesLimit = 16;
        if (shapes_.size() >= kKeptShapesLimit)
            shapes_.clear();
        QImage image(*pixels, QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return false;
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter shapePainter(&image);
        shapePainter.setRenderHints(painter.renderHints());
        const QRectF local(QPointF(0, 0), rect.size());
        if (width <= 0) {
            shapePainter.fillPath(roundedPath(local, radius), color);
        } else {
            const QRectF inner = local.adjusted(width / 2, width / 2, -width / 2, -width / 2);
            shapePainter.setPen(QPen(color, width));
            shapePainter.setBrush(Qt::NoBrush);
            shapePainter.drawPath(roundedPath(inner, std::max(0.0, radius - width / 2)));
        }
        shapePainter.end();
        shapes_.emplace_back(key, std::move(image));
        kept = std::prev(shapes_.end());
    }
    painter.drawImage(rect.topLeft(), kept->second);
    return true;
}

void QtViewPainter::paintText(QPainter& painter, const TextField& field) {
    const QRectF bounds = boundsOf(field);
    const RGBA background = field.backgroundColor().resolvedIn(field.effectiveAppearance());
    if (background.alpha > 0)
        painter.fillRect(bounds, toQColor(background));

    const TextLayout& layout = field.textLayout();
    if (layout.lines.empty())
        return;
    const FontFacts& font = factsOf(qFontFor(field.font()));
    painter.save();
    painter.setFont(font.font);
    painter.setPen(toQColor(field.textColor().resolvedIn(field.effectiveAppearance())));
    double top = 0;
    for (const std::string& line : layout.lines) {
        const QStaticText& text = shapedLine(font, line);
        const double width = text.size().width();
        double x = 0;
        if (field.alignment() == TextAlignment::center)
            x = (bounds.width() - width) / 2;
        else if (field.alignment() == TextAlignment::right)
            x = bounds.width() - width;
        // A static text is placed by its top-left corner, the line's ascent above its baseline.
        painter.drawStaticText(QPointF(x, top), text);
        top += font.lineSpacing;
    }
    painter.restore();
}

const QtViewPainter::FontFacts& QtViewPainter::factsOf(const QFont& font) {
    // Fonts compare by what was asked for: a new system font is a new entry.
    for (const FontFacts& known : fonts_) {
        if (known.font == font)
            return known;
    }
    constexpr std::size_t kRememberedFontsLimit = 16;
    if (fonts_.size() >= kRememberedFontsLimit)
        fonts_.clear();
    return fonts_.emplace_back(
        FontFacts{font, font.key().toStdString(), QFontMetricsF(font).lineSpacing()});
}

const QStaticText& QtViewPainter::shapedLine(const FontFacts& font, const std::string& line) {
    constexpr std::size_t kRememberedLinesLimit = 4096;
    std::string key = font.key;
    key += '\n';
    key += line;
    if (auto at = lines_.find(key); at != lines_.end())
        return at->second;
    if (lines_.size() >= kRememberedLinesLimit)
        lines_.clear();
    QStaticText text(QString::fromUtf8(line.data(), qsizetype(line.size())));
    text.setTextFormat(Qt::PlainText);
    text.prepare(QTransform(), font.font);
    return lines_.emplace(std::move(key), std::move(text)).first->second;
}

void QtViewPainter::paintImage(QPainter& painter, const ImageView& imageView) {
    const Rect rect = imageView.imageRect();
    if (rect.width <= 0 || rect.height <= 0)
        return;
    const double dpr = devicePixelRatioOf(painter);
    const QSize pixels(std::max(1, int(std::lround(rect.width * dpr))),
                       std::max(1, int(std::lround(rect.height * dpr))));
    QImage scaled = scaledImage(imageView.image(), pixels);
    if (scaled.isNull())
        return;
    scaled.setDevicePixelRatio(dpr);
    painter.drawImage(QPointF(snapped(rect.x, dpr), snapped(rect.y, dpr)), scaled);
}

QImage QtViewPainter::scaledImage(const ImageRef& image, QSize pixels) {
    if (!image)
        return {};
    auto found = images_.find(image.get());
    if (found == images_.end() || found->second.source.lock() != image) {
        CachedImage& entry = images_[image.get()];
        entry = CachedImage{image, toQImage(*image), {}};
        found = images_.find(image.get());
    }
    CachedImage& entry = found->second;
    if (entry.converted.isNull())
        return {};
    // Every card of one application shows the same icon at the same size: scale it once.
    if (entry.scaled.size() != pixels)
        entry.scaled =
            entry.converted.size() == pixels
                ? entry.converted
                : entry.converted.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return entry.scaled;
}

QImage QtViewPainter::toQImage(const Image& image) {
    if (image.width <= 0 || image.height <= 0 || image.width > 4096 || image.height > 4096)
        return {};
    const auto count = std::size_t(image.width) * std::size_t(image.height);
    if (image.argb.size() < count)
        return {};
    // 0xAARRGGBB words, not premultiplied: QImage's ARGB32 in host byte order.
    const QImage view(reinterpret_cast<const uchar*>(image.argb.data()), image.width, image.height,
                      qsizetype(image.width) * 4, QImage::Format_ARGB32);
    return view.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace corvane
