#include "platform/qt/QtPanelImage.h"

#include "platform/ui/ImageView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/View.h"

#include <QPainter>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <cstring>
#include <unordered_map>

namespace corvane {

void QtPanelImage::update(Panel& panel, QtViewPainter& painter, QSize size, QPoint origin,
                          qreal pixelRatio) {
    // Laying out may change frames, which moves the generation: read it afterwards.
    panel.layoutIfNeeded();
    const QSize pixels = size * pixelRatio;
    const bool sameCanvas =
        isPainted_ && image_.size() == pixels && image_.devicePixelRatio() == pixelRatio;
    const bool sameTree = generation_ == panel.contentGeneration();
    const QPoint before = origin_;
    if (sameCanvas && sameTree && origin != origin_) {
        beforeWriting();
        slide(origin, size);
    }
    // Another canvas, or a window moved over a changed tree (or by a fraction of a pixel).
    const bool repaintsAll = !sameCanvas || origin != origin_;
    const bool takesStock = repaintsAll || !sameTree;
    std::vector<Drawn> drawn;
    if (takesStock && panel.contentView())
        drawn = drawnViews(*panel.contentView());
    if (repaintsAll) {
        if (image_.size() != pixels) {
            image_ = shared_ ? shared_->make(pixels) : QImage();
            if (image_.isNull())
                image_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        }
        image_.setDevicePixelRatio(pixelRatio);
        origin_ = origin;
        stale_ = QRegion(QRect(QPoint(0, 0), size));
    } else if (!sameTree) {
        stale_ += differences(drawn, size);
    }
    if (takesStock) {
        drawn_ = std::move(drawn);
        lookChanged_ = QRegion();
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

std::vector<QtPanelImage::Drawn> QtPanelImage::drawnViews(const View& root) {
    std::vector<Drawn> drawn;
    const std::function<void(const View&, QPointF)> walk = [&](const View& view, QPointF at) {
        if (view.isHidden())
            return;
        const Rect f = view.frame();
        Drawn d;
        d.view = &view;
        d.frame = QRectF(at + QPointF(f.x, f.y), QSizeF(f.width, f.height));
        d.order = drawn.size();
        const bool drawsContent =
            dynamic_cast<const TextField*>(&view) || dynamic_cast<const ImageView*>(&view);
        d.content = drawsContent ? view.displayGeneration() : 0;
        d.alpha = view.alphaValue();
        if (const Layer* layer = view.layer()) {
            d.cornerRadius = layer->cornerRadius();
            d.borderWidth = layer->borderWidth();
            d.masksToBounds = layer->masksToBounds();
            d.background = layer->backgroundColor();
            d.border = layer->borderColor();
        }
        const QPointF topLeft = d.frame.topLeft();
        drawn.push_back(std::move(d));
        for (const auto& subview : view.subviews())
            walk(*subview, topLeft);
    };
    // The root's own frame places the tree in the panel.
    walk(root, QPointF(0, 0) - QPointF(root.frame().x, root.frame().y));
    return drawn;
}

QRegion QtPanelImage::differences(const std::vector<Drawn>& now, QSize size) const {
    std::unordered_map<const View*, const Drawn*> before;
    before.reserve(drawn_.size());
    for (const Drawn& d : drawn_)
        before.emplace(d.view, &d);
    QRegion region;
    const QRect window(QPoint(0, 0), size);
    // Antialiased edges reach into the pixel around a view's frame.
    const auto add = [&](const QRectF& frame) {
        const QRect area =
            frame.translated(-QPointF(origin_)).toAlignedRect().adjusted(-1, -1, 1, 1);
        region += area.intersected(window);
    };
    for (const Drawn& d : now) {
        const auto was = before.find(d.view);
        // A view repainted for a change of its own look since (see invalidate) may have gone
        // back to what it looked like then.
        if (was != before.end() && *was->second == d &&
            !lookChanged_.intersects(d.frame.toAlignedRect())) {
            before.erase(was);
            continue;
        }
        add(d.frame);
        if (was != before.end()) {
            add(was->second->frame);
            before.erase(was);
        }
    }
    for (const auto& [view, gone] : before)
        add(gone->frame);
    return region;
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
