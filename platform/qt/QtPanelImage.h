#pragma once
// The painted picture of the panel's window, kept between paints: a paint of the window copies
// from it, and only the parts of the tree that changed since are painted into it again. The
// panel is painted into it while hidden, as soon as its cards are ready, so that showing the
// panel costs a copy instead of painting every card with its text at the chord.
//
// It covers the window, whose top-left corner lies at `origin` in the panel. A change of the
// window's size or origin, or any change of the tree other than a view's own look (see
// Panel::contentGeneration), makes it paint everything again; a view's own look adds that
// view's area (invalidate). A new origin alone (the panel slid) moves what stays in the window
// and paints only what comes into it. A change of the tree with the window as it was (cards
// reordered, one renamed, added or gone) repaints only where what is drawn differs: each
// visible view's place, paint order and own look are kept from the last paint and compared.
//
// Where it can, the picture lives in memory the X server shares (shareThrough): the window's
// backend then shows a change without sending its pixels; the picture is only written once the
// server has read what was shown before.

#include "platform/qt/QtSharedPicture.h"
#include "platform/qt/QtViewPainter.h"
#include "platform/ui/Panel.h"

#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QRegion>
#include <QSize>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace corvane {

// Runs `paint` on a thread of Qt's global pool and waits for it. Qt's raster engine hands any
// fill of about a hundred rows or more (a card, the panel's background, a selection ring) to
// that pool in parts and waits for them; from the main thread each hand-off wakes the pool's
// threads, and on a small machine that costs more than the fill. Called from one of the pool's
// own threads, the engine fills in place, so a repaint is handed over once. `paint` must touch
// nothing the main thread could change meanwhile: the caller waits.
void paintInQtsPool(const std::function<void()>& paint);

class QtPanelImage {
  public:
    // Pictures made from now on are made there when it can (null: Qt's own memory); it must
    // outlive this.
    void shareThrough(QtSharedPicture* shared) { shared_ = shared; }
    // Brings the picture up to date with the panel, laid out first.
    void update(Panel& panel, QtViewPainter& painter, QSize size, QPoint origin, qreal pixelRatio);
    // That part of the window (window coordinates, the window's top-left corner at `origin` in
    // the panel) must be painted again: a view's own look changed there.
    void invalidate(const QRect& area, QPoint origin) {
        stale_ += area;
        lookChanged_ += area.translated(origin);
    }
    const QImage& image() const { return image_; }
    // What changed in the picture (window coordinates) since the last call: painted again,
    // moved, or all of it when it was made anew.
    QRegion takeChanged() { return std::exchange(changed_, QRegion()); }

  private:
    void slide(QPoint origin, QSize size);

    void beforeWriting();
    // What one visible view drew at the last paint: where (in the panel), in which order, and
    // what of its own (its layer's look; a text or image view's content, by generation).
    struct Drawn {
        const View* view = nullptr;
        QRectF frame;
        std::size_t order = 0;
        std::uint64_t content = 0;
        double alpha = 1, cornerRadius = 0, borderWidth = 0;
        bool masksToBounds = false;
        std::optional<RGBA> background, border;
        bool operator==(const Drawn&) const = default;
    };
    static std::vector<Drawn> drawnViews(const View& root);
    // The window's part (window coordinates) where `now` differs from what was drawn.
    QRegion differences(const std::vector<Drawn>& now, QSize size) const;

    QtSharedPicture* shared_ = nullptr;
    QImage image_;
    QPoint origin_;
    std::uint64_t generation_ = 0;
    bool isPainted_ = false;
    QRegion stale_;
    QRegion changed_;
    std::vector<Drawn> drawn_;
    QRegion lookChanged_; // in the panel: invalidated since drawn_ was taken
};

} // namespace corvane
