#include "platform/ui/StackView.h"

#include <algorithm>
#include <cassert>
#include <unordered_set>

namespace corvane {

void StackView::setOrientation(StackOrientation orientation) {
    orientation_ = orientation;
    setNeedsDisplay();
}

void StackView::setSpacing(double spacing) {
    spacing_ = spacing;
    setNeedsDisplay();
}

void StackView::setAlignment(LayoutAttribute alignment) {
    alignment_ = alignment;
    setNeedsDisplay();
}

void StackView::addArrangedSubview(std::shared_ptr<View> view) {
    assert(view && "an arranged subview exists");
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    addSubview(view);
    arranged_.push_back(std::move(view));
}

void StackView::removeArrangedSubview(const View& view) {
    forgetArranged(view);
    setNeedsDisplay();
}

void StackView::setArrangedSubviews(std::vector<std::shared_ptr<View>> views) {
    if (views == arranged_)
        return;
    const std::unordered_set<const View*> kept = [&] {
        std::unordered_set<const View*> set;
        for (const auto& view : views)
            set.insert(view.get());
        return set;
    }();
    for (const auto& view : std::vector(arranged_)) {
        if (!kept.contains(view.get()))
            view->removeFromSuperview();
    }
    for (const auto& view : views) {
        assert(view && "an arranged subview exists");
        if (view->superview() == this)
            continue;
        view->setTranslatesAutoresizingMaskIntoConstraints(false);
        addSubview(view);
    }
    arranged_ = std::move(views);
    setNeedsDisplay();
}

void StackView::forgetArranged(const View& view) {
    std::erase_if(arranged_, [&](const auto& v) { return v.get() == &view; });
}

Size StackView::fittingSize(const TextMetrics& metrics) const {
    const bool vertical = orientation_ == StackOrientation::vertical;
    double along = 0;
    double across = 0;
    for (const auto& view : arranged_) {
        const Size s = view->fittingSize(metrics);
        along += vertical ? s.height : s.width;
        across = std::max(across, vertical ? s.width : s.height);
    }
    if (arranged_.size() > 1)
        along += spacing_ * static_cast<double>(arranged_.size() - 1);
    return vertical ? Size{across, along} : Size{along, across};
}

void StackView::layoutSubtree(const TextMetrics& metrics) {
    const bool vertical = orientation_ == StackOrientation::vertical;
    const Size total = fittingSize(metrics);
    const Rect box = bounds();
    const double room = vertical ? box.height : box.width;
    const double crossRoom = vertical ? box.width : box.height;
    double position = (room - (vertical ? total.height : total.width)) / 2;
    const auto arranged = arranged_;
    for (const auto& view : arranged) {
        Size s = view->fittingSize(metrics);
        double along = vertical ? s.height : s.width;
        double across = vertical ? s.width : s.height;
        double offset = (crossRoom - across) / 2;
        switch (alignment_) {
        case LayoutAttribute::leading:
        case LayoutAttribute::top:
            offset = 0;
            break;
        case LayoutAttribute::trailing:
        case LayoutAttribute::bottom:
            offset = crossRoom - across;
            break;
        case LayoutAttribute::width:
        case LayoutAttribute::height:
            offset = 0;
            across = crossRoom;
            break;
        case LayoutAttribute::centerX:
        case LayoutAttribute::centerY:
            break;
        }
        view->setFrame(vertical ? Rect{offset, position, across, along}
                                : Rect{position, offset, along, across});
        position += along + spacing_;
    }
    for (const auto& subview : std::vector(subviews()))
        subview->layoutSubtree(metrics);
}

} // namespace corvane
