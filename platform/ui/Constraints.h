#pragma once
// Equality constraints between layout anchors, solved in C++ by View::layoutSubtree().
//
// Shapes supported: `a = b + constant` between two anchors on the same axis (edges and centres
// with edges and centres, widths with widths, heights with heights), and `a = constant` for a
// width or height. Multipliers, inequalities and priorities are not supported. A view's own
// width and height constraints and those between a view and its direct subviews are what the
// solver uses; a constraint between a view and a deeper descendant is not solved.
//
// Anchors hold plain view pointers: a constraint lives on the nearest common ancestor of its
// views and is removed when either view leaves that tree (see View.h).

#include <optional>
#include <vector>

namespace corvane {

class View;

// Values as AppKit numbers them (also used as stack view alignments).
enum class LayoutAttribute {
    top = 3,
    bottom = 4,
    leading = 5,
    trailing = 6,
    width = 7,
    height = 8,
    centerX = 9,
    centerY = 10,
};

struct LayoutConstraint;

struct LayoutAnchor {
    View* view = nullptr;
    LayoutAttribute attribute = LayoutAttribute::leading;

    LayoutConstraint constraintEqualToAnchor(LayoutAnchor other, double constant = 0) const;
    LayoutConstraint constraintEqualToConstant(double constant) const;
};

struct LayoutConstraint {
    LayoutAnchor first;
    std::optional<LayoutAnchor> second; // none: first = constant
    double constant = 0;
};

// Installs every constraint at once. A constraint whose views share no ancestor is a programming
// error (asserted) and is ignored in release builds.
void activateConstraints(const std::vector<LayoutConstraint>& constraints);

} // namespace corvane
