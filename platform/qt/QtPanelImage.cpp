#include "platform/qt/QtPanelImage.h"

#include <QPainter>

namespace corvane {

void QtPanelImage::update(Panel& panel, QtViewPainter& painter, QSize size, QPoint origin,
                          qreal pixelRatio) {
    // Laying out may change frames, which moves the generation: read it afterwards.
    panel.layoutIfNeeded();
    const QSize pixels = size * pixelRatio;
    if (!isPainted_ || image_.size() != pixels || image_.devicePixelRatio() != pixelRatio ||
        origin != origin_ || generation_ != panel.contentGeneration()) {
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

} // namespace corvane
