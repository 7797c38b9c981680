#pragma once
// The retained view tree: layer-backed views with AppKit's semantics, laid out in C++ and painted
// by a backend.
//
// Coordinates: a view's frame is in its superview's coordinate system, origin at the top-left,
// y downwards; its bounds are (0, 0, frame width, frame height).
//
// Ownership: a view owns its subviews (shared_ptr, so owners such as SwitcherHUD may keep
// references to views inside the tree). A view knows its superview by a plain pointer that is
// cleared when it leaves the tree. Constraints are installed on the nearest common ancestor of
// the views they relate and removed when either view leaves that ancestor's tree, so no
// constraint outlives a view it names. The Panel whose content view is the root of a tree is told
// about every change through setNeedsDisplay() and asks the backend to repaint.

#include "platform/ui/Appearance.h"
#include "platform/ui/Constraints.h"
#include "platform/ui/Geometry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace corvane {

class Panel;
class TextMetrics;
class View;

// The layer of a layer-backed view. Colours are fixed values (CGColor-like): a dynamic colour is
// resolved by the caller when it assigns one.
class Layer {
  public:
    explicit Layer(View& owner) : owner_(owner) {}

    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius);
    // Clip the background, border and subviews to the rounded bounds.
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool masks);
    // Drawn inside the bounds, following the rounded corners. None draws no border.
    const std::optional<RGBA>& borderColor() const { return borderColor_; }
    void setBorderColor(std::optional<RGBA> color);
    double borderWidth() const { return borderWidth_; }
    void setBorderWidth(double width);
    const std::optional<RGBA>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<RGBA> color);
    // A hint to the renderer: the view and its subtree are drawn once into a picture that is
    // kept and composited while none of it changes (a card that only moves, or whose own
    // colours change back and forth). Changes nothing of how the view looks.
    bool shouldRasterize() const { return shouldRasterize_; }
    void setShouldRasterize(bool rasterize) { shouldRasterize_ = rasterize; }

  private:
    View& owner_;
    double cornerRadius_ = 0;
    bool masksToBounds_ = false;
    std::optional<RGBA> borderColor_;
    double borderWidth_ = 0;
    std::optional<RGBA> backgroundColor_;
    bool shouldRasterize_ = false;
};

// A region of a view that reports pointer entry and exit to that view (its owner is always the
// view that holds it).
struct TrackingArea {
    enum Options : unsigned { mouseEnteredAndExited = 0x01, activeAlways = 0x80 };
    Rect rect; // in the owning view's bounds coordinates
    unsigned options = 0;
};

struct MouseEvent {
    Point locationInPanel; // top-left origin, in the panel's content coordinates
    int clickCount = 1;
};

class View : public std::enable_shared_from_this<View> {
  public:
    View();
    explicit View(Rect frame);
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    // --- geometry and tree
    Rect frame() const { return frame_; }
    void setFrame(Rect frame);
    Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }
    // This view's frame in the coordinates of `ancestor` (the root when none is given).
    Rect frameInAncestor(const View* ancestor = nullptr) const;

    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    View* superview() const { return superview_; }
    // Adds on top of the existing subviews, taking the view out of its previous superview first.
    void addSubview(std::shared_ptr<View> view);
    // Also removes the constraints between this subtree and the rest of the old tree.
    virtual void removeFromSuperview();
    bool isDescendantOf(const View& other) const;
    // The panel showing this view's tree, if any.
    Panel* window() const;

    // --- drawing state
    bool wantsLayer() const { return layer_ != nullptr; }
    void setWantsLayer(bool wants);
    Layer* layer() { return layer_.get(); }
    const Layer* layer() const { return layer_.get(); }
    // Group opacity of the view and its subviews.
    double alphaValue() const { return alphaValue_; }
    void setAlphaValue(double alpha);
    bool isHidden() const { return isHidden_; }
    void setHidden(bool hidden);

    // --- appearance
    const std::optional<Appearance>& appearance() const { return appearance_; }
    void setAppearance(std::optional<Appearance> appearance);
    Appearance effectiveAppearance() const;
    // Called whenever the effective appearance differs from the one last seen: on entering a tree
    // of another appearance, on an appearance assigned above, on a system change propagated from
    // the root.
    virtual void viewDidChangeEffectiveAppearance() {}
    // Re-checks the effective appearance of this view and its subtree, notifying changes.
    void propagateEffectiveAppearance();

    // --- layout
    // When true the frame is taken as set; when false constraints (or an owning stack view)
    // decide it.
    bool translatesAutoresizingMaskIntoConstraints() const { return translatesMask_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool translates);
    LayoutAnchor leadingAnchor() { return {this, LayoutAttribute::leading}; }
    LayoutAnchor trailingAnchor() { return {this, LayoutAttribute::trailing}; }
    LayoutAnchor topAnchor() { return {this, LayoutAttribute::top}; }
    LayoutAnchor bottomAnchor() { return {this, LayoutAttribute::bottom}; }
    LayoutAnchor centerXAnchor() { return {this, LayoutAttribute::centerX}; }
    LayoutAnchor centerYAnchor() { return {this, LayoutAttribute::centerY}; }
    LayoutAnchor widthAnchor() { return {this, LayoutAttribute::width}; }
    LayoutAnchor heightAnchor() { return {this, LayoutAttribute::height}; }
    // Constraints installed on this view (it is the nearest common ancestor of their views).
    const std::vector<LayoutConstraint>& constraints() const { return constraints_; }

    // The size the view has by its content alone; a negative component means "none".
    virtual Size intrinsicContentSize(const TextMetrics& metrics, double widthForHeight) const;
    // The smallest size its own width/height constraints and content allow (what a stack view
    // gives an arranged subview).
    virtual Size fittingSize(const TextMetrics& metrics) const;
    // Sets the frames of the subviews from the constraints installed here (and their own size
    // constraints and intrinsic sizes), then lays out each subview in turn.
    virtual void layoutSubtree(const TextMetrics& metrics);

    // Tells the panel showing this tree that it must be laid out and repainted.
    void setNeedsDisplay();
    // Moves whenever something changes how this view and its subtree draw in the view's own
    // coordinates: a change to it or to a descendant, a new size, another effective
    // appearance. Moving the view within its superview does not count (it changes how the
    // superview draws). Each value is given once in the program's life, to one view: a view
    // made where another was keeps none of its values.
    std::uint64_t displayGeneration() const { return displayGeneration_; }
    // Only the view's look changed (colours, borders), not the geometry of anything: its area
    // is repainted without a layout pass.
    void setNeedsRedisplay();

    // --- events
    const std::vector<std::shared_ptr<TrackingArea>>& trackingAreas() const {
        return trackingAreas_;
    }
    void addTrackingArea(std::shared_ptr<TrackingArea> area);
    void removeTrackingArea(const std::shared_ptr<TrackingArea>& area);
    // Called after the view's geometry changed so it can recompute its tracking areas.
    virtual void updateTrackingAreas() {}
    virtual void mouseEntered(const MouseEvent&) {}
    virtual void mouseExited(const MouseEvent&) {}
    // Unhandled clicks pass to the superview (the responder chain).
    virtual void mouseUp(const MouseEvent& event);
    // The deepest visible view containing `point` (in the superview's coordinates), topmost
    // subviews first; null when the point is outside this view.
    virtual View* hitTest(Point point);

  private:
    friend class Panel;
    friend void activateConstraints(const std::vector<LayoutConstraint>& constraints);
    void installConstraint(const LayoutConstraint& constraint);
    void dropConstraintsReaching(const View& subtreeRoot);
    void solveSubviewConstraints(const TextMetrics& metrics);
    // This view's subtree draws differently: it and its ancestors move their generations.
    void subtreeDidChange();
    void notifyPanel();

    Rect frame_;
    View* superview_ = nullptr;
    Panel* panel_ = nullptr; // set on the root of a panel's tree
    std::vector<std::shared_ptr<View>> subviews_;
    std::unique_ptr<Layer> layer_;
    double alphaValue_ = 1;
    bool isHidden_ = false;
    std::optional<Appearance> appearance_;
    AppearanceName lastEffectiveAppearance_;
    bool translatesMask_ = true;
    std::vector<LayoutConstraint> constraints_;
    std::vector<std::shared_ptr<TrackingArea>> trackingAreas_;
    std::uint64_t displayGeneration_;
};

} // namespace corvane
