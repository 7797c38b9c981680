#pragma once
// The switcher panel as a real X11 window, drawn by Qt.
//
// The window is override-redirect (the window manager never manages, focuses or decorates it,
// so it shows on every desktop and over everything it is raised above), frameless, a tool
// window that does not accept focus and is shown without activation: the application the user
// is in keeps the keyboard focus throughout a switch.
//
// Translucency needs a compositor. When one runs (someone owns the _NET_WM_CM_S<screen>
// selection), the window has an alpha channel, its rounded corners are transparent and fades
// go through the window opacity. Without one, the window is cut to the content view's rounded
// shape with a shape mask; a fade-in cannot be seen, and a fade-out hides the window at its
// first step rather than leaving it standing over the window just raised.
// The check is asked each time the panel is ordered out and answered when it is next ordered
// front (no wait on the X server at the chord), so starting or stopping a compositor takes
// effect at the next switch.
//
// The real window covers only the part of the panel's frame that lies on the screen. Past two
// rows' worth of windows the panel is wider than the screen; an X window of that size (tens of
// thousands of pixels, past X's 32,767 limit at a thousand windows) would cost a backing store
// and a paint of cards nobody can see. The panel's own frame stays as laid out: the window
// knows where its top-left corner lies in the panel, paints the tree shifted by that much,
// and hands pointer positions back in the panel's coordinates.
//
// After its first switch the window stays shown to Qt, and on X11 it is mapped and unmapped on
// Qt's connection directly (Qt's show and hide each wait on the server); isMapped() tells.
//
// On X11 the window is mapped at the last moment before the event loop sleeps (runBeforeSleeping),
// after Corvane's own X connection has been drained: a switch whose release came with its chord (a
// quick Alt+Tab) is committed by then, and its panel, ignoring the pointer with nothing shown
// yet, is never mapped; one committed just after its map, before its fade-in showed anything,
// is unmapped at once. A panel that ignores mouse events gets an empty input shape at once,
// and Qt's connection is synced: the server has moved the pointer to the window below, and
// told the window manager, before Corvane asks for an activation on its own connection (a
// manager that focuses the window under the pointer would otherwise do so after it).
//
// Pointer movement, leaving and button releases are handed to the panel, which hit-tests its
// tree; the pointer enters the panel only by moving (see showUnderRestingPointer). Painting
// copies from the window's picture (QtPanelImage), brought up to date first: the tree laid out
// (Panel::layoutIfNeeded), and what changed drawn with QtViewPainter. The panel asks for its
// picture to be painted while hidden once its cards are ready (panelPrepareDisplay).
//
// Changes while the window is mapped (a Tab step, a renamed card) are gathered and shown once
// the event that caused them is handled. On X11 the picture lives in memory the server shares
// (QtSharedPicture), and the change goes from there into the window's background pixmap and on
// into the window, on the server (presentChanges): Qt's own repaint would first wait a round
// trip for the server to be done with its previous one. A window shown that way needs no paint
// from Qt at its map or at an expose either (presentsItself): the server paints the background.
// Qt's backing store then lags behind; should Qt take over again (another pixel ratio), its
// next expose makes it paint rather than show what it holds.

#include "platform/qt/QtPanelImage.h"
#include "platform/qt/QtViewPainter.h"
#include "platform/ui/Panel.h"

#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace corvane {

// Whether a compositing manager runs on the display Qt is connected to, as of the previous call
// (the first call waits for the answer); false off X11.
bool isCompositorRunning();

// The area the screens cover, in X11's top-left coordinates; empty when Qt knows no screen.
QRect desktopGeometry();

// The rounded rectangle as whole pixels, cut to bounds: the panel's window shape without a
// compositor.
QRegion roundedRegion(const QRect& area, int radius, const QRect& bounds);

class QtPanelWindow : public QWidget {
  public:
    explicit QtPanelWindow(Panel& panel);
    ~QtPanelWindow() override;
    QtPanelWindow(const QtPanelWindow&) = delete;
    QtPanelWindow& operator=(const QtPanelWindow&) = delete;
    void detach() { panel_ = nullptr; }
    Panel* panel() const { return panel_; }
    // Where the window's top-left corner lies in the panel's top-left coordinates.
    QPoint panelOrigin() const { return panelOrigin_; }
    void setPanelOrigin(QPoint origin) { panelOrigin_ = origin; }
    const QtViewPainter& viewPainter() const { return painter_; }
    // The window's picture as last painted.
    const QImage& picture() const { return image_.image(); }
    // Paints the panel into the window's picture now, ahead of showing it.
    void prepareImage();
    // The same, and the picture becomes the window's background on the X server too: the
    // server paints it the moment it maps the window, where Qt paints only once the Expose has
    // reached it through its event thread, a millisecond or more later. Qt's paint then draws
    // the same pixels. Called while the window is hidden (the cards made ready, the switch
    // over) and just before it is mapped.
    void prepareBackground();
    // Brings the window's background pixmap up to date with the picture as it stands: the
    // parts painted since the last time, or all of it in a new pixmap when the size changed.
    // Answers the part of the pixmap it changed.
    QRegion syncBackground();
    // Brings the picture up to date and shows what changed in the mapped window straight
    // away: into the background pixmap from shared memory, then from there into the window, on
    // the server. Qt's own repaint would first wait a round trip for the server to be done with
    // its previous one. False when the window cannot be shown that way (not mapped, not X11,
    // another pixel ratio, no shared memory): Qt paints it then.
    bool presentChanges();
    // Whether the window shows its picture without Qt's help: on X11, from a background pixmap
    // the picture in shared memory keeps current. Exposes are then answered by the server's
    // own painting of the background, and a map needs no paint from Qt.
    bool presentsItself() const;
    // That part of the window (window coordinates) must be painted again.
    void invalidateImage(const QRect& area) { image_.invalidate(area, panelOrigin_); }

    // Maps the window. The X server reports an entry when a window appears under the pointer,
    // but the pointer only counts as over the panel once it moves (into it or inside it) after
    // that, as tracking areas report entries: a quick switch with the pointer resting where the
    // panel opens is not kept open by the pointer.
    void showUnderRestingPointer();
    // Unmaps the window (the panel ordered out, or a fade nobody can see); the pointer is not
    // reported to leave.
    void hideKeepingPointer();
    // Whether the window is on the screen. On X11 Qt counts it visible from its first show on.
    bool isMapped() const { return isVisible() && !isUnmappedBehindQt_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    Point toPanel(QPointF position) const;
    // False for pointer input at the place the pointer rested when the window was mapped.
    bool pointerHasMoved(QPointF globalPosition);
    void readRestingPointer();
    void forgetRestingPointer();
    void forgetBackground();
    // X11 only; in every build, so that the class has one layout whoever includes this.
    struct Background {
        std::uint32_t window = 0; // the native window it was made for
        std::uint8_t depth = 0;
        std::uint32_t pixmap = 0;
        std::uint32_t gc = 0;
        QSize size;
    };
    Background background_;

    Panel* panel_;
    QtViewPainter painter_;
    QPoint panelOrigin_;
    QtSharedPicture sharedPicture_; // before the picture that may live in it
    QtPanelImage image_;
    // Qt's backing store lags behind what presentChanges() showed: the next expose must make Qt
    // paint, not flush what it holds.
    bool backingStoreIsBehind_ = false;
    std::optional<QPoint> restingPointer_; // where the pointer was at mapping, until it moves
    std::optional<unsigned int> restingPointerQuery_; // X11: asked at the map, not read yet
    bool hidingQuietly_ = false;
    bool isUnmappedBehindQt_ = false;
};

class QtPanelBackend : public PanelBackend {
  public:
    QtPanelBackend(Panel& panel, std::function<bool()> compositorProbe,
                   std::function<QRect()> screenArea);
    ~QtPanelBackend() override;

    void panelDidOrderFront() override;
    void panelDidOrderOut() override;
    void panelDidChangeFrame() override;
    void panelDidChangeAlpha() override;
    void panelDidChangeIgnoresMouseEvents() override;
    void panelNeedsDisplay() override;
    void panelNeedsDisplayInRect(Rect rect) override;
    void panelPrepareDisplay() override;
    bool showsPartialAlpha() const override { return compositorRuns_; }

    QtPanelWindow& window() { return *window_; }
    bool usesShapeMask() const { return usesShapeMask_; }

  private:
    void showWindow();
    void mapIfStillWanted();
    void applyGeometry();
    void applyShape();
    void applyInputShape();
    void repaintSoon(const QRect& area);

    Panel& panel_;
    std::function<bool()> compositorProbe_;
    std::function<QRect()> screenArea_;
    std::unique_ptr<QtPanelWindow> window_;
    QRect panelRect_; // the panel's whole frame, in top-left screen coordinates
    bool compositorRuns_ = false;
    double lastAlpha_ = 1;
    bool usesShapeMask_ = false;
    // What the window's shape was last made for.
    struct ShapeKey {
        bool masked = false;
        QSize panel;
        QPoint origin;
        QSize window;
        double radius = 0;
        bool operator==(const ShapeKey&) const = default;
    };
    std::optional<ShapeKey> shapeKey_;
    bool mapsBeforeSleeping_;
    QRegion pendingRepaint_;
    bool repaintPosted_ = false;
    bool mapRequested_ = false; // the map waits for the loop's last moment before sleeping
    [[maybe_unused]] bool inputShapeIsEmpty_ = false; // the input shape is an X11 feature
};

class QtPanelBackendFactory : public PanelBackendFactory {
  public:
    // By default asks the X server whether a compositor runs and Qt where the screens are;
    // tests pass their own answers.
    explicit QtPanelBackendFactory(std::function<bool()> compositorProbe = isCompositorRunning,
                                   std::function<QRect()> screenArea = desktopGeometry);
    std::unique_ptr<PanelBackend> createPanelBackend(Panel& panel) override;

  private:
    std::function<bool()> compositorProbe_;
    std::function<QRect()> screenArea_;
};

} // namespace corvane
