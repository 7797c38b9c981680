// Installing equality constraints and solving them for one view's direct subviews.
//
// The solver works axis by axis. Each view has four values per axis (start, end, centre, size);
// two of them fix the other two. Constraints are propagated until nothing changes; a subview
// still missing its size then takes its fitting (intrinsic) size, horizontal first because a
// label's height depends on its width, and one still missing its position sits at the origin.

#include "platform/ui/Constraints.h"

#include "platform/ui/View.h"

#include <cassert>
#include <map>

namespace corvane {

LayoutConstraint LayoutAnchor::constraintEqualToAnchor(LayoutAnchor other, double constant) const {
    return {*this, other, constant};
}

LayoutConstraint LayoutAnchor::constraintEqualToConstant(double constant) const {
    return {*this, std::nullopt, constant};
}

namespace {

View* nearestCommonAncestor(View* a, View* b) {
    for (View* candidate = a; candidate; candidate = candidate->superview()) {
        if (b->isDescendantOf(*candidate))
            return candidate;
    }
    return nullptr;
}

struct Axis {
    std::optional<double> start, end, center, size;

    bool complete() const { return start && size; }

    // Derives the missing values once two are known. Returns whether anything was added.
    bool settle() {
        if (complete() && end && center)
            return false;
        if (start && size) {
        } else if (start && end) {
            size = *end - *start;
        } else if (start && center) {
            size = 2 * (*center - *start);
        } else if (end && size) {
            start = *end - *size;
        } else if (end && center) {
            size = 2 * (*end - *center);
            start = *end - *size;
        } else if (center && size) {
            start = *center - *size / 2;
        } else {
            return false;
        }
        end = *start + *size;
        center = *start + *size / 2;
        return true;
    }
};

struct Box {
    Axis horizontal, vertical;
};

std::optional<double>& slot(Box& box, LayoutAttribute attribute) {
    switch (attribute) {
    case LayoutAttribute::leading:
        return box.horizontal.start;
    case LayoutAttribute::trailing:
        return box.horizontal.end;
    case LayoutAttribute::centerX:
        return box.horizontal.center;
    case LayoutAttribute::width:
        return box.horizontal.size;
    case LayoutAttribute::top:
        return box.vertical.start;
    case LayoutAttribute::bottom:
        return box.vertical.end;
    case LayoutAttribute::centerY:
        return box.vertical.center;
    case LayoutAttribute::height:
        break;
    }
    return box.vertical.size;
}

Box knownBox(Rect r) {
    Box box;
    box.horizontal.start = r.x;
    box.horizontal.size = r.width;
    box.vertical.start = r.y;
    box.vertical.size = r.height;
    box.horizontal.settle();
    box.vertical.settle();
    return box;
}

bool propagate(std::map<View*, Box>& boxes, const std::vector<const LayoutConstraint*>& rules) {
    bool any = false;
    for (bool changed = true; changed;) {
        changed = false;
        for (const LayoutConstraint* c : rules) {
            auto& lhs = slot(boxes[c->first.view], c->first.attribute);
            if (!c->second) {
                if (!lhs) {
                    lhs = c->constant;
                    changed = true;
                }
                continue;
            }
            auto& rhs = slot(boxes[c->second->view], c->second->attribute);
            if (rhs && !lhs) {
                lhs = *rhs + c->constant;
                changed = true;
            } else if (lhs && !rhs) {
                rhs = *lhs - c->constant;
                changed = true;
            }
        }
        for (auto& [view, box] : boxes)
            changed = box.horizontal.settle() | box.vertical.settle() | changed;
        any = any || changed;
    }
    return any;
}

} // namespace

void activateConstraints(const std::vector<LayoutConstraint>& constraints) {
    for (const auto& c : constraints) {
        View* owner = c.first.view;
        if (owner && c.second)
            owner = c.second->view ? nearestCommonAncestor(owner, c.second->view) : nullptr;
        assert(owner && "constraint between views of different trees");
        if (owner)
            owner->installConstraint(c);
    }
}

void View::solveSubviewConstraints(const TextMetrics& metrics) {
    std::map<View*, Box> boxes;
    boxes[this] = knownBox(bounds());
    std::vector<View*> solved;
    for (const auto& subview : subviews_) {
        if (subview->translatesMask_) {
            boxes[subview.get()] = knownBox(subview->frame_);
        } else {
            boxes[subview.get()] = Box{};
            solved.push_back(subview.get());
        }
    }
    if (solved.empty())
        return;

    auto covered = [&](const LayoutConstraint& c) {
        return boxes.contains(c.first.view) && (!c.second || boxes.contains(c.second->view));
    };
    std::vector<const LayoutConstraint*> rules;
    for (const auto& c : constraints_) {
        if (covered(c))
            rules.push_back(&c);
    }
    for (View* subview : solved) {
        for (const auto& c : subview->constraints_) {
            const bool ownOnly =
                c.first.view == subview && (!c.second || c.second->view == subview);
            if (ownOnly)
                rules.push_back(&c);
        }
    }

    propagate(boxes, rules);
    // Sizes nothing fixed come from content; positions nothing fixed are the origin.
    auto fillIn = [&](Axis Box::*axis, auto&& contentSize) {
        for (View* subview : solved) {
            Axis& a = boxes[subview].*axis;
            const bool open = !a.size && !(a.start && a.end) && !(a.center && (a.start || a.end));
            if (open) {
                a.size = contentSize(subview);
                propagate(boxes, rules);
            }
        }
        for (View* subview : solved) {
            Axis& a = boxes[subview].*axis;
            if (a.complete())
                continue;
            if (!a.start && !a.end && !a.center)
                a.start = 0;
            if (!a.size && !a.settle())
                a.size = 0;
            a.settle();
            propagate(boxes, rules);
        }
    };
    fillIn(&Box::horizontal, [&](View* v) { return v->fittingSize(metrics).width; });
    fillIn(&Box::vertical, [&](View* v) {
        const Size intrinsic = v->intrinsicContentSize(metrics, *boxes[v].horizontal.size);
        return intrinsic.height >= 0 ? intrinsic.height : v->fittingSize(metrics).height;
    });
    for (View* subview : solved) {
        const Box& box = boxes[subview];
        subview->setFrame(
            {*box.horizontal.start, *box.vertical.start, *box.horizontal.size, *box.vertical.size});
    }
}

} // namespace corvane
