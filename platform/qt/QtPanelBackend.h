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
// The check is made each time the panel is ordered front, so starting or stopping a compositor
// takes effect at the next switch.
//
// Pointer movement, leaving and button releases are handed to the panel, which hit-tests its
// tree. Painting lays the tree out first (Panel::layoutIfNeeded), then draws it with
// QtViewPainter.

#include "platform/qt/QtViewPainter.h"
#include "platform/ui/Panel.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace corvane {

// Whether a compositing manager runs on the display Qt is connected to; false off X11.
bool isCompositorRunning();

class QtPanelWindow : public QWidget {
  public:
    explicit QtPanelWindow(Panel& panel);
    void detach() { panel_ = nullptr; }
    Panel* panel() const { return panel_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    Panel* panel_;
    QtViewPainter painter_;
};

class QtPanelBackend : public PanelBackend {
  public:
    QtPanelBackend(Panel& panel, std::function<bool()> compositorProbe);
    ~QtPanelBackend() override;

    void panelDidOrderFront() override;
    void panelDidOrderOut() override;
    void panelDidChangeFrame() override;
    void panelDidChangeAlpha() override;
    void panelNeedsDisplay() override;

    QtPanelWindow& window() { return *window_; }
    bool usesShapeMask() const { return usesShapeMask_; }

  private:
    void showWindow();
    void applyGeometry();
    void applyShape();

    Panel& panel_;
    std::function<bool()> compositorProbe_;
    std::unique_ptr<QtPanelWindow> window_;
    bool compositorRuns_ = false;
    double lastAlpha_ = 1;
    bool usesShapeMask_ = false;
};

class QtPanelBackendFactory : public PanelBackendFactory {
  public:
    // By default asks the X server whether a compositor runs; tests pass their own answer.
    explicit QtPanelBackendFactory(std::function<bool()> compositorProbe = isCompositorRunning);
    std::unique_ptr<PanelBackend> createPanelBackend(Panel& panel) override;

  private:
    std::function<bool()> compositorProbe_;
};

} // namespace corvane
