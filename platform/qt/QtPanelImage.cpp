#include "platform/qt/QtPanelImage.h"

#include <QPainter>

namespace corvane {

void QtPanelImage::update(Panel& panel, QtViewPainter& painter, QSize size, QPoint origin,
                          qreal pixelRatio) {
    // Laying out may change frames, which moves the generation: read it afterwards.
    panel.layoutIfNeeded();
    const QSize pixels = size * pixelRatio;
    const bool samePicture = isPainted_ && image_.size() == pixels &&
                             image_.devicePixelRatio() == pixelRatio &&
                             generation_ == panel.contentGeneration();
    if (samePicture && origin != origin_)
        slide(origin, size);
    if (!samePicture || origin != origin_) {
        if (image_.size() != pixels)
            image_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image_.setDevicePixelRatio(pixelRatio);
        origin_ = origin;
        stale_ = QRegion(QRect(QPoint(0, 0), size));
    }
    generation_ = panel.contentGeneration();
    isPainted_ = true;
    if (stale_.isEmpty() || image_.isNull())
        return;
    QPainter imagePainter(&image_);
    const auto& root = panel.contentView();
    for (const QRect& area : stale_) {
        imagePainter.save();
        imagePainter.setClipRect(area);
        imagePainter.setCompositionMode(QPainter::CompositionMode_Source);
        imagePainter.fillRect(area, Qt::transparent);
        imagePainter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (root) {
            imagePainter.translate(-origin_);
            painter.paint(imagePainter, *root, QRectF(area.translated(origin_)));
        }
        imagePainter.restore();
    }
    stale_ = QRegion();
}

void QtPanelImage::slide(QPoint origin, QSize size) {
    // The window shows another part of an unchanged panel (a wide panel slid sideways): what
    // both parts share is moved, only the part newly shown is painted.
    const QPoint shift = origin_ - origin;
    const QRect window(QPoint(0, 0), size);
    const QRect kept = window.translated(shift).intersected(window);
    if (kept.isEmpty())
        return;
    const qreal ratio = image_.devicePixelRatio();
    QImage moved(image_.size(), image_.format());
    moved.setDevicePixelRatio(ratio);
    QPainter copier(&moved);
    copier.setCompositionMode(QPainter::CompositionMode_Source);
    copier.drawImage(QRectF(kept), image_,
                     QRectF(QPointF(kept.topLeft() - shift) * ratio, QSizeF(kept.size()) * ratio));
    copier.end();
    image_ = std::move(moved);
    stale_ = stale_.translated(shift).intersected(kept) + (QRegion(window) - kept);
    origin_ = origin;
}

} // namespace corvane
