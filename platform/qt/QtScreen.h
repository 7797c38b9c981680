#pragma once
// The main screen on Qt over X11: the monitor holding the active window, else the one under the
// pointer, else the primary one. The frame is the monitor's full geometry in bottom-left-origin
// coordinates whose origin is the primary screen's bottom-left corner (see Geometry.h), read
// afresh on every call.
//
// Where the active window and the pointer are is asked of the X server on Qt's own connection
// (_NET_ACTIVE_WINDOW, its position on the root, the pointer; one round trip for the property,
// one for the rest), in X11's native pixels. Qt keeps each screen's native top-left corner and
// divides only its size by the device pixel ratio, so a screen's native area is its geometry's
// corner with the size multiplied back. Off X11 (the offscreen platform of the tests) there is
// no active window and no pointer: the primary screen.

#include "platform/ui/Screen.h"

#include <QPoint>
#include <QRect>
#include <functional>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace corvane {

// Where the user is working, in X11's native root coordinates; each part unknown when it
// cannot be read (no window active, no X11 connection, a window gone mid-read).
struct DesktopFocus {
    std::optional<QRect> activeWindow;
    std::optional<QPoint> pointer;
};

// Asked on Qt's X11 connection; both unknown off X11.
DesktopFocus readDesktopFocus();

// The screen number of $DISPLAY (":0.1" is screen 1), 0 when it names none.
int defaultX11ScreenNumber();

// Qt's own X11 connection; null off X11.
xcb_connection_t* qtX11Connection();

// Which of the screens (native areas, the primary first) is the main one: the one that holds
// the largest part of the active window, else the one holding the pointer, else the primary.
// None for no screens.
std::optional<std::size_t> mainScreenIndex(const std::vector<QRect>& screens,
                                           const DesktopFocus& focus);

struct ScreenGeometry {
    QRect geometry; // in Qt's device-independent pixels
    double devicePixelRatio = 1;
};

// Qt's screens with an area, the primary first.
std::vector<ScreenGeometry> qtScreenGeometries();

class QtScreen : public Screen {
  public:
    // By default asks Qt and the X server; tests pass their own answers.
    explicit QtScreen(std::function<DesktopFocus()> focus = readDesktopFocus,
                      std::function<std::vector<ScreenGeometry>()> screens = qtScreenGeometries)
        : focus_(std::move(focus)), screens_(std::move(screens)) {}
    std::optional<Rect> mainScreenFrame() const override;
    // Height of the primary screen, for converting to X11's top-left coordinates.
    static double primaryScreenHeight();

  private:
    std::function<DesktopFocus()> focus_;
    std::function<std::vector<ScreenGeometry>()> screens_;
};

} // namespace corvane
