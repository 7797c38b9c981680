#pragma once
// A stack view lays out its arranged subviews itself, one after the other along its orientation
// with `spacing` between them, each at its fitting size. The run is centred along the stacking
// axis (it overflows equally at both ends when the stack is too small) and placed across it by
// `alignment`: leading/top, trailing/bottom, centerX/centerY, or width/height to fill.
// Arranged subviews are also subviews; removing one from its superview also un-arranges it.

#include "platform/ui/View.h"

#include <memory>
#include <vector>

namespace corvane {

enum class StackOrientation { horizontal = 0, vertical = 1 };

class StackView : public View {
  public:
    StackOrientation orientation() const { return orientation_; }
    void setOrientation(StackOrientation orientation);
    double spacing() const { return spacing_; }
    void setSpacing(double spacing);
    LayoutAttribute alignment() const { return alignment_; }
    void setAlignment(LayoutAttribute alignment);

    const std::vector<std::shared_ptr<View>>& arrangedSubviews() const { return arranged_; }
    // Adds the view as a subview too, and stops it from translating its frame into constraints.
    void addArrangedSubview(std::shared_ptr<View> view);
    // Un-arranges the view; it stays a subview (as in AppKit).
    void removeArrangedSubview(const View& view);
    // Arranges exactly these views, in this order. Views already in this stack stay in the tree
    // and are only reordered (their constraints and appearance untouched); the others are added
    // as addArrangedSubview does; arranged views left out are removed from the stack.
    void setArrangedSubviews(std::vector<std::shared_ptr<View>> views);

    Size fittingSize(const TextMetrics& metrics) const override;
    void layoutSubtree(const TextMetrics& metrics) override;

  private:
    friend class View;
    void forgetArranged(const View& view);

    StackOrientation orientation_ = StackOrientation::horizontal;
    double spacing_ = 8;
    LayoutAttribute alignment_ = LayoutAttribute::centerY;
    std::vector<std::shared_ptr<View>> arranged_;
};

} // namespace corvane
