#include "platform/ui/View.h"

#include "platform/ui/Panel.h"
#include "platform/ui/StackView.h"
#include "platform/ui/TextMetrics.h"

#include <algorithm>
#include <cassert>

namespace corvane {

void Layer::setCornerRadius(double radius) {
    if (radius == cornerRadius_)
        return;
    cornerRadius_ = radius;
    owner_.setNeedsDisplay();
}

void Layer::setMasksToBounds(bool masks) {
    if (masks == masksToBounds_)
        return;
    masksToBounds_ = masks;
    owner_.setNeedsDisplay();
}

// Colours and border widths change how a view looks, never where anything stands: only the
// view's own area is repainted, with no layout pass.
void Layer::setBorderColor(std::optional<RGBA> color) {
    if (color == borderColor_)
        return;
    borderColor_ = color;
    owner_.setNeedsRedisplay();
}

void Layer::setBorderWidth(double width) {
    if (width == borderWidth_)
        return;
    borderWidth_ = width;
    owner_.setNeedsRedisplay();
}

void Layer::setBackgroundColor(std::optional<RGBA> color) {
    if (color == backgroundColor_)
        return;
    backgroundColor_ = color;
    owner_.setNeedsRedisplay();
}

namespace {

std::uint64_t nextDisplayGeneration() {
    static std::uint64_t last = 0;
    return ++last;
}

} // namespace

View::View()
    : lastEffectiveAppearance_(Appearance::system().name()),
      displayGeneration_(nextDisplayGeneration()) {}

View::View(Rect frame)
    : frame_(frame), lastEffectiveAppearance_(Appearance::system().name()),
      displayGeneration_(nextDisplayGeneration()) {}

View::~View() {
    // A subview kept alive elsewhere (an owner's list of cards) must not point at us. Our own
    // constraints die with us; constraints naming us live on our ancestors, and we cannot die
    // while an ancestor still holds us.
    for (const auto& subview : subviews_)
        subview->superview_ = nullptr;
}

void View::setFrame(Rect frame) {
    if (frame == frame_)
        return;
    const bool resized = frame.width != frame_.width || frame.height != frame_.height;
    frame_ = frame;
    if (resized)
        subtreeDidChange();
    else if (superview_)
        superview_->subtreeDidChange();
    notifyPanel();
}

Rect View::frameInAncestor(const View* ancestor) const {
    Rect result = frame_;
    for (const View* v = superview_; v && v != ancestor; v = v->superview_) {
        result.x += v->frame_.x;
        result.y += v->frame_.y;
    }
    return result;
}

void View::addSubview(std::shared_ptr<View> view) {
    assert(view && !isDescendantOf(*view) && "a view tree has no cycles");
    view->removeFromSuperview();
    view->superview_ = this;
    subviews_.push_back(view);
    view->propagateEffectiveAppearance();
    setNeedsDisplay();
}

void View::removeFromSuperview() {
    View* parent = superview_;
    if (!parent)
        return;
    auto found = std::find_if(parent->subviews_.begin(), parent->subviews_.end(),
                              [this](const auto& v) { return v.get() == this; });
    assert(found != parent->subviews_.end() && "a view is among its superview's subviews");
    std::shared_ptr<View> keepAlive = *found;
    parent->subviews_.erase(found);
    for (View* ancestor = parent; ancestor; ancestor = ancestor->superview_)
        ancestor->dropConstraintsReaching(*this);
    if (auto* stack = dynamic_cast<StackView*>(parent))
        stack->forgetArranged(*this);
    superview_ = nullptr;
    parent->setNeedsDisplay();
    propagateEffectiveAppearance();
}

bool View::isDescendantOf(const View& other) const {
    for (const View* v = this; v; v = v->superview_) {
        if (v == &other)
            return true;
    }
    return false;
}

Panel* View::window() const {
    const View* root = this;
    while (root->superview_)
        root = root->superview_;
    return root->panel_;
}

void View::setWantsLayer(bool wants) {
    if (wants == wantsLayer())
        return;
    layer_ = wants ? std::make_unique<Layer>(*this) : nullptr;
    setNeedsDisplay();
}

void View::setAlphaValue(double alpha) {
    alphaValue_ = std::clamp(alpha, 0.0, 1.0);
    setNeedsDisplay();
}

void View::setHidden(bool hidden) {
    isHidden_ = hidden;
    setNeedsDisplay();
}

void View::setAppearance(std::optional<Appearance> appearance) {
    appearance_ = appearance;
    propagateEffectiveAppearance();
    setNeedsDisplay();
}

Appearance View::effectiveAppearance() const {
    for (const View* v = this; v; v = v->superview_) {
        if (v->appearance_)
            return *v->appearance_;
    }
    return Appearance::system();
}

void View::propagateEffectiveAppearance() {
    const AppearanceName now = effectiveAppearance().name();
    if (now != lastEffectiveAppearance_) {
        lastEffectiveAppearance_ = now;
        subtreeDidChange();
        viewDidChangeEffectiveAppearance();
    }
    // A copy: a restyle may add or remove views.
    const auto subviews = subviews_;
    for (const auto& subview : subviews) {
        if (subview->superview_ == this)
            subview->propagateEffectiveAppearance();
    }
}

void View::setTranslatesAutoresizingMaskIntoConstraints(bool translates) {
    translatesMask_ = translates;
    setNeedsDisplay();
}

void View::setNeedsDisplay() {
    subtreeDidChange();
    notifyPanel();
}

void View::notifyPanel() {
    if (Panel* panel = window())
        panel->viewTreeDidChange();
}

void View::setNeedsRedisplay() {
    subtreeDidChange();
    if (Panel* panel = window())
        panel->viewNeedsRedisplay(*this);
}

void View::subtreeDidChange() {
    for (View* v = this; v; v = v->superview_)
        v->displayGeneration_ = nextDisplayGeneration();
}

void View::addTrackingArea(std::shared_ptr<TrackingArea> area) {
    if (area)
        trackingAreas_.push_back(std::move(area));
}

void View::removeTrackingArea(const std::shared_ptr<TrackingArea>& area) {
    std::erase(trackingAreas_, area);
}

void View::mouseUp(const MouseEvent& event) {
    if (superview_)
        superview_->mouseUp(event);
}

View* View::hitTest(Point point) {
    if (isHidden_ || !frame_.contains(point))
        return nullptr;
    const Point local{point.x - frame_.x, point.y - frame_.y};
    for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
        if (View* hit = (*it)->hitTest(local))
            return hit;
    }
    return this;
}

void View::installConstraint(const LayoutConstraint& constraint) {
    constraints_.push_back(constraint);
    setNeedsDisplay();
}

void View::dropConstraintsReaching(const View& subtreeRoot) {
    std::erase_if(constraints_, [&](const LayoutConstraint& c) {
        return c.first.view->isDescendantOf(subtreeRoot) ||
               (c.second && c.second->view->isDescendantOf(subtreeRoot));
    });
}

Size View::intrinsicContentSize(const TextMetrics&, double) const {
    return {-1, -1};
}

Size View::fittingSize(const TextMetrics& metrics) const {
    Size size{-1, -1};
    for (const auto& c : constraints_) {
        if (c.second || c.first.view != this)
            continue;
        if (c.first.attribute == LayoutAttribute::width)
            size.width = c.constant;
        if (c.first.attribute == LayoutAttribute::height)
            size.height = c.constant;
    }
    const Size intrinsic = intrinsicContentSize(metrics, size.width);
    if (size.width < 0)
        size.width = std::max(intrinsic.width, 0.0);
    if (size.height < 0) {
        size.height = std::max(intrinsicContentSize(metrics, size.width).height, 0.0);
    }
    return size;
}

void View::layoutSubtree(const TextMetrics& metrics) {
    solveSubviewConstraints(metrics);
    const auto subviews = subviews_;
    for (const auto& subview : subviews)
        subview->layoutSubtree(metrics);
}

} // namespace corvane
