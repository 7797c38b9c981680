#pragma once
// A borderless floating panel showing one view tree, with AppKit's NSPanel semantics as far as
// Corvane uses them. The frame is in bottom-left-origin screen coordinates (see Geometry.h); the
// content view always fills the panel, at (0, 0) in the panel's own top-left coordinates.
//
// Ownership: the panel owns its content view and its PanelBackend. The backend is created through
// the PanelBackendFactory when the panel is first ordered front (a deferred window), lives as long
// as the panel, and must not call back into the panel from its destructor. The panel is held by
// shared_ptr so that running animations can keep it alive.

#include "platform/ui/Appearance.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/View.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace corvane {

class Panel;
class TextMetrics;

namespace WindowStyleMask {
inline constexpr unsigned borderless = 0;
inline constexpr unsigned nonactivatingPanel = 1u << 7; // showing it does not activate the app
} // namespace WindowStyleMask

namespace WindowCollectionBehavior {
inline constexpr unsigned canJoinAllSpaces = 1u << 0; // on every desktop
inline constexpr unsigned stationary = 1u << 4;
inline constexpr unsigned ignoresCycle = 1u << 6;
inline constexpr unsigned fullScreenAuxiliary = 1u << 8;
} // namespace WindowCollectionBehavior

namespace WindowLevel {
inline constexpr int normal = 0;
inline constexpr int floating = 3;
inline constexpr int screenSaver = 1000;
} // namespace WindowLevel

enum class BackingStoreType { retained = 0, nonretained = 1, buffered = 2 };

// What the window system does for a panel. The backend reads everything else (level, style,
// collection behaviour, the tree) from the panel when it needs it.
class PanelBackend {
  public:
    virtual ~PanelBackend() = default;
    virtual void panelDidOrderFront() = 0;
    virtual void panelDidOrderOut() = 0;
    virtual void panelDidChangeFrame() = 0;
    virtual void panelDidChangeAlpha() = 0;
    // Takes effect before it returns: the pointer's next crossing is already the window's below.
    virtual void panelDidChangeIgnoresMouseEvents() = 0;
    // The tree changed: call panel.layoutIfNeeded() and repaint, soon (coalesce; the panel asks
    // once until the next layoutIfNeeded()).
    virtual void panelNeedsDisplay() = 0;
    // Only this part of the panel (panel coordinates) looks different; the layout stands.
    virtual void panelNeedsDisplayInRect(Rect) { panelNeedsDisplay(); }
    // The panel will show as it is now: prepare what ordering it front needs.
    virtual void panelPrepareDisplay() {}
    // Whether an alpha between 0 and 1 can be seen (false where the window system cannot make a
    // window translucent): when it cannot, a fade needs no frames between its first and last.
    virtual bool showsPartialAlpha() const { return true; }
};

class PanelBackendFactory {
  public:
    virtual ~PanelBackendFactory() = default;
    virtual std::unique_ptr<PanelBackend> createPanelBackend(Panel& panel) = 0;
};

class Panel {
  public:
    Panel(PanelBackendFactory& backends, const TextMetrics& metrics, Rect contentRect,
          unsigned styleMask, BackingStoreType backing, bool defer);
    ~Panel();
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    Rect frame() const { return frame_; }
    // Also sizes the content view to the new size. `display` asks for an immediate repaint.
    void setFrame(Rect frame, bool display);
    double alphaValue() const { return alphaValue_; }
    void setAlphaValue(double alpha);
    // Between orderFrontRegardless() and orderOut(), whatever the alpha.
    bool isVisible() const { return isVisible_; }
    void orderFrontRegardless();
    void orderOut();
    // The pointer passes through the panel's window to the windows below, which then get its
    // input (the window system's part: input still handed to the panel is dispatched). A panel
    // that ignores mouse events and shows nothing (alpha 0) need not reach the screen.
    bool ignoresMouseEvents() const { return ignoresMouseEvents_; }
    void setIgnoresMouseEvents(bool ignores);

    unsigned styleMask() const { return styleMask_; }
    BackingStoreType backingType() const { return backing_; }
    int level() const { return level_; }
    void setLevel(int level) { level_ = level; }
    // Setting it also moves the panel to the floating level, as AppKit does.
    bool isFloatingPanel() const { return isFloatingPanel_; }
    void setFloatingPanel(bool floating);
    bool isOpaque() const { return isOpaque_; }
    void setOpaque(bool opaque) { isOpaque_ = opaque; }
    const Color& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(Color color) { backgroundColor_ = std::move(color); }
    bool hasShadow() const { return hasShadow_; }
    void setHasShadow(bool shadow) { hasShadow_ = shadow; }
    unsigned collectionBehavior() const { return collectionBehavior_; }
    void setCollectionBehavior(unsigned behavior) { collectionBehavior_ = behavior; }

    const std::shared_ptr<View>& contentView() const { return contentView_; }
    void setContentView(std::shared_ptr<View> view);

    // Lays the tree out if anything changed since the last pass, then lets every view update its
    // tracking areas. Backends call it before painting; tests call it to read the geometry.
    void layoutIfNeeded();
    bool needsDisplay() const { return needsDisplay_; }
    // Moves at every change of the tree except a view's own look reported to a visible panel's
    // backend (panelNeedsDisplayInRect): a backend that keeps a painted picture repaints it
    // whole when this moved.
    std::uint64_t contentGeneration() const { return contentGeneration_; }
    // Lays the tree out and lets the backend paint ahead, while hidden, what it will show.
    void prepareDisplay();
    // The backend's object, once the panel has been ordered front.
    PanelBackend* backend() const { return backend_.get(); }

    // Pointer input from the backend, in the panel's top-left content coordinates. Entered/exited
    // reach the views whose tracking areas the pointer crosses, once per crossing. Input is
    // ignored while the panel is not visible, and ordering the panel out forgets the pointer
    // without exit events: a window that is gone must not act on a late leave notification.
    void pointerMoved(Point location);
    void pointerLeft();
    // Hit-tests the tree and hands the event to the deepest view under the point.
    void mouseUp(Point location, int clickCount = 1);

    // The system appearance changed: re-resolve the tree's effective appearances.
    void systemAppearanceDidChange();

  private:
    friend class View;
    friend class AlphaAnimationRun;
    void viewTreeDidChange();
    void viewNeedsRedisplay(const View& view);
    void updateTrackingAreas(View& view);
    void dispatchPointer(std::optional<Point> location);

    PanelBackendFactory& backends_;
    const TextMetrics& metrics_;
    std::unique_ptr<PanelBackend> backend_;
    Rect frame_;
    double alphaValue_ = 1;
    bool isVisible_ = false;
    bool ignoresMouseEvents_ = false;
    unsigned styleMask_;
    BackingStoreType backing_;
    int level_ = WindowLevel::normal;
    bool isFloatingPanel_ = false;
    bool isOpaque_ = true;
    Color backgroundColor_ = Color::colorWithWhite(0.93, 1);
    bool hasShadow_ = true;
    unsigned collectionBehavior_ = 0;
    std::shared_ptr<View> contentView_;
    bool needsLayout_ = true;
    bool needsDisplay_ = true;
    bool displayRequested_ = false;
    bool inLayout_ = false;
    std::uint64_t contentGeneration_ = 0;
    std::optional<Point> pointer_;
    std::vector<std::weak_ptr<View>> viewsUnderPointer_;
    // The running animation that drives alphaValue, 0 for none (see Animation.h).
    unsigned long long alphaAnimationId_ = 0;
};

} // namespace corvane
