#include "platform/ui/Panel.h"

#include "platform/ui/TextMetrics.h"

#include <algorithm>
#include <cassert>

namespace corvane {

Panel::Panel(PanelBackendFactory& backends, const TextMetrics& metrics, Rect contentRect,
             unsigned styleMask, BackingStoreType backing, bool defer)
    : backends_(backends), metrics_(metrics), frame_(contentRect), styleMask_(styleMask),
      backing_(backing) {
    setContentView(std::make_shared<View>());
    if (!defer)
        backend_ = backends_.createPanelBackend(*this);
}

Panel::~Panel() {
    backend_.reset();
    if (contentView_)
        contentView_->panel_ = nullptr;
}

void Panel::setFrame(Rect frame, bool display) {
    assert(frame.width >= 0 && frame.height >= 0 && "a frame has no negative size");
    frame_ = frame;
    contentView_->setFrame({0, 0, frame.width, frame.height});
    if (backend_)
        backend_->panelDidChangeFrame();
    if (display)
        layoutIfNeeded();
}

void Panel::setAlphaValue(double alpha) {
    alpha = std::clamp(alpha, 0.0, 1.0);
    if (alpha == alphaValue_)
        return;
    alphaValue_ = alpha;
    if (backend_)
        backend_->panelDidChangeAlpha();
}

void Panel::orderFrontRegardless() {
    if (!backend_)
        backend_ = backends_.createPanelBackend(*this);
    assert(frame_.width > 0 && frame_.height > 0 && "a panel on screen covers an area");
    isVisible_ = true;
    layoutIfNeeded();
    if (backend_)
        backend_->panelDidOrderFront();
}

void Panel::orderOut() {
    if (!isVisible_)
        return;
    isVisible_ = false;
    pointer_.reset();
    viewsUnderPointer_.clear();
    if (backend_)
        backend_->panelDidOrderOut();
}

void Panel::setFloatingPanel(bool floating) {
    isFloatingPanel_ = floating;
    level_ = floating ? WindowLevel::floating : WindowLevel::normal;
}

void Panel::setContentView(std::shared_ptr<View> view) {
    if (!view || view == contentView_)
        return;
    if (contentView_)
        contentView_->panel_ = nullptr;
    view->removeFromSuperview();
    contentView_ = std::move(view);
    contentView_->panel_ = this;
    contentView_->setFrame({0, 0, frame_.width, frame_.height});
    contentView_->propagateEffectiveAppearance();
    viewsUnderPointer_.clear();
    viewTreeDidChange();
}

void Panel::viewTreeDidChange() {
    ++contentGeneration_;
    needsLayout_ = true;
    needsDisplay_ = true;
    if (inLayout_ || displayRequested_ || !isVisible_ || !backend_)
        return;
    displayRequested_ = true;
    backend_->panelNeedsDisplay();
}

void Panel::viewNeedsRedisplay(const View& view) {
    needsDisplay_ = true;
    // A hidden panel is painted whole when it shows; a pending full repaint covers the view.
    if (needsLayout_ || inLayout_ || displayRequested_ || !isVisible_ || !backend_) {
        ++contentGeneration_;
        return;
    }
    backend_->panelNeedsDisplayInRect(view.frameInAncestor(nullptr));
}

void Panel::prepareDisplay() {
    layoutIfNeeded();
    if (backend_)
        backend_->panelPrepareDisplay();
}

void Panel::layoutIfNeeded() {
    if (!needsLayout_ || inLayout_)
        return;
    inLayout_ = true;
    contentView_->layoutSubtree(metrics_);
    updateTrackingAreas(*contentView_);
    inLayout_ = false;
    needsLayout_ = false;
    needsDisplay_ = false;
    displayRequested_ = false;
}

void Panel::updateTrackingAreas(View& view) {
    view.updateTrackingAreas();
    for (const auto& subview : std::vector(view.subviews()))
        updateTrackingAreas(*subview);
}

void Panel::pointerMoved(Point location) {
    if (!isVisible_)
        return;
    pointer_ = location;
    dispatchPointer(location);
}

void Panel::pointerLeft() {
    if (!isVisible_)
        return;
    pointer_.reset();
    dispatchPointer(std::nullopt);
}

namespace {

void collectTracking(View& view, std::optional<Point> location,
                     std::vector<std::shared_ptr<View>>& tracked, std::vector<bool>& inside) {
    if (view.isHidden())
        return;
    bool hasArea = false;
    bool isInside = false;
    const Rect origin = view.frameInAncestor();
    for (const auto& area : view.trackingAreas()) {
        if (!(area->options & TrackingArea::mouseEnteredAndExited))
            continue;
        hasArea = true;
        const Rect inPanel{origin.x + area->rect.x, origin.y + area->rect.y, area->rect.width,
                           area->rect.height};
        isInside = isInside || (location && inPanel.contains(*location));
    }
    if (hasArea) {
        tracked.push_back(view.shared_from_this());
        inside.push_back(isInside);
    }
    for (const auto& subview : view.subviews())
        collectTracking(*subview, location, tracked, inside);
}

} // namespace

void Panel::dispatchPointer(std::optional<Point> location) {
    std::vector<std::shared_ptr<View>> tracked;
    std::vector<bool> inside;
    collectTracking(*contentView_, location, tracked, inside);

    auto wasInside = [this](const View* view) {
        return std::any_of(viewsUnderPointer_.begin(), viewsUnderPointer_.end(),
                           [view](const auto& weak) { return weak.lock().get() == view; });
    };
    std::vector<std::shared_ptr<View>> exited;
    std::vector<std::shared_ptr<View>> entered;
    std::vector<std::weak_ptr<View>> nowInside;
    for (std::size_t i = 0; i < tracked.size(); ++i) {
        const bool before = wasInside(tracked[i].get());
        if (inside[i])
            nowInside.push_back(tracked[i]);
        if (before && !inside[i])
            exited.push_back(tracked[i]);
        if (!before && inside[i])
            entered.push_back(tracked[i]);
    }
    viewsUnderPointer_ = std::move(nowInside);

    // The callbacks may change the tree; everything they need is held above.
    const MouseEvent event{location.value_or(Point{}), 0};
    for (const auto& view : exited)
        view->mouseExited(event);
    for (const auto& view : entered)
        view->mouseEntered(event);
}

void Panel::mouseUp(Point location, int clickCount) {
    if (!isVisible_)
        return;
    layoutIfNeeded();
    View* hit = contentView_->hitTest(location);
    if (!hit)
        return;
    const auto keepAlive = hit->shared_from_this();
    hit->mouseUp({location, clickCount});
}

void Panel::systemAppearanceDidChange() {
    contentView_->propagateEffectiveAppearance();
    viewTreeDidChange();
}

} // namespace corvane
