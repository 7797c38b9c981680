#include "platform/qt/QtPanelImage.h"

#include <QPainter>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <cstring>

namespace corvane {

void QtPanelImage::update(Panel& panel, QtViewPainter& painter, QSize size, QPoint origin,
                          qreal pixelRatio) {
    // Laying out may change frames, which moves the generation: read it afterwards.
    panel.layoutIfNeeded();
    const QSize pixels = size * pixelRatio;
    const bool samePicture = isPainted_ && image_.size() == pixels &&
                             image_.devicePixelRatio() == pixelRatio &&
                             generation_ == panel.contentGeneration();
    const QPoint before = origin_;
    if (samePicture && origin != origin_) {
        beforeWriting();
        slide(origin, size);
    }
    if (!samePicture || origin != origin_) {
        if (image_.size() != pixels) {
            image_ = shared_ ? shared_->make(pixels) : QImage();
            if (image_.isNull())
                image_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        }
        image_.setDevicePixelRatio(pixelRatio);
        origin_ = origin;
        stale_ = QRegion(QRect(QPoint(0, 0), size));
    }
    // A slide moves every pixel that stays in the window.
    if (origin_ != before)
        changed_ = QRegion(QRect(QPoint(0, 0), size));
    changed_ += stale_;
    generation_ = panel.contentGeneration();
    isPainted_ = true;
    if (stale_.isEmpty() || image_.isNull())
        return;
    beforeWriting();
    paintInQtsPool([&] {
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
    });
    stale_ = QRegion();
}

void paintInQtsPool(const std::function<void()>& paint) {
    QThreadPool* pool = QThreadPool::globalInstance();
    if (pool == nullptr || pool->contains(QThread::currentThread())) {
        paint();
        return;
    }
    // Always the same thread, kept for good: text shaped on one thread is shaped again when
    // drawn on another (Qt's fonts are per thread). Corvane gives the pool no other work, and
    // Qt's own split fills from the main thread run there too, one part after another.
    static const bool isOneThread = [pool] {
        pool->setMaxThreadCount(1);
        pool->setExpiryTimeout(-1);
        return true;
    }();
    (void)isOneThread;
    QSemaphore painted;
    pool->start([&] {
        paint();
        painted.release();
    });
    painted.acquire();
}

void QtPanelImage::beforeWriting() {
    if (shared_ && shared_->holds(image_))
        shared_->beforeWriting();
}

void QtPanelImage::slide(QPoint origin, QSize size) {
    // The window shows another part of an unchanged panel (a wide panel slid sideways): what
    // both parts share is moved within the picture, row by row, and only the part newly shown is
    // painted. A shift that is not a whole number of device pixels is left to a full repaint.
    const QPoint shift = origin_ - origin;
    const QRect window(QPoint(0, 0), size);
    const QRect kept = window.translated(shift).intersected(window);
    const qreal ratio = image_.devicePixelRatio();
    const QPointF exact = QPointF(shift) * ratio;
    const QPoint pixels = exact.toPoint();
    if (kept.isEmpty() || QPointF(pixels) != exact)
        return;
    const QRect all(QPoint(0, 0), image_.size());
    const QRect keptPixels = all.translated(pixels).intersected(all);
    const auto rowBytes = std::size_t(keptPixels.width()) * 4;
    auto moveRow = [&](int y) {
        uchar* row = image_.scanLine(y);
        const uchar* from =
            image_.constScanLine(y - pixels.y()) + (keptPixels.left() - pixels.x()) * 4;
        std::memmove(row + keptPixels.left() * 4, from, rowBytes);
    };
    // Rows move away from the side they are copied from, so none is overwritten before it is read.
    if (pixels.y() > 0) {
        for (int y = keptPixels.bottom(); y >= keptPixels.top(); --y)
            moveRow(y);
    } else {
        for (int y = keptPixels.top(); y <= keptPixels.bottom(); ++y)
            moveRow(y);
    }
    stale_ = stale_.translated(shift).intersected(kept) + (QRegion(window) - kept);
    origin_ = origin;
}

} // namespace corvane
