// The panel on a real X server with two heads: which monitor it opens on, and when the pointer
// counts as over it.
#include "fakes/ManualRunLoop.h"
#include "hud/SwitcherHUD.h"
#include "platform/qt/QtPanelBackend.h"
#include "platform/qt/QtScreen.h"
#include "platform/qt/QtTextMetrics.h"
#include "qt/xcb/XcbDesktop.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::ManualRunLoop;
using testing::pumpQtFor;
using testing::pumpQtUntil;
using testing::xcbDesktop;

constexpr int kHead = 1440; // each head's width; the right head starts there

void warpPointer(int x, int y) {
    xcb_warp_pointer(xcbDesktop->helper(), XCB_NONE, xcbDesktop->root(), 0, 0, 0, 0,
                     static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
    xcbDesktop->syncHelper();
}

// A mapped window of another program at (x, 200), made the active one as a window manager
// would announce it; 0 for no active window.
xcb_window_t makeActiveWindowAt(int x) {
    xcb_connection_t* helper = xcbDesktop->helper();
    xcb_window_t window = XCB_NONE;
    if (x >= 0) {
        window = xcb_generate_id(helper);
        xcb_create_window(helper, XCB_COPY_FROM_PARENT, window, xcbDesktop->root(),
                          static_cast<std::int16_t>(x), 200, 300, 200, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_map_window(helper, window);
    }
    xcbDesktop->setProperty(xcbDesktop->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 32, &window,
                            1);
    return window;
}

// The two heads Xvfb's one screen stands for, the left one primary.
std::vector<ScreenGeometry> twoHeads() {
    return {{QRect(0, 0, kHead, 900)}, {QRect(kHead, 0, kHead, 900)}};
}

class PanelOnX11 : public ::testing::Test {
  protected:
    ManualRunLoop loop;
    QtTextMetrics metrics;
    QtScreen screen{readDesktopFocus, twoHeads};
};

// The switcher opens centred on the head that holds the active window, else the pointer's.
TEST_F(PanelOnX11, OpensOnTheMonitorOfTheActiveWindowElseThePointer) {
    struct Case {
        const char* name;
        int activeWindowX; // -1: none
        int pointerX;
        bool onRightHead;
    };
    const Case cases[] = {
        {"active window on the right head", kHead + 300, 100, true},
        {"active window on the left head", 300, kHead + 100, false},
        {"active window mostly on the right head", kHead - 100, 100, true},
        {"no active window, pointer on the right", -1, kHead + 100, true},
        {"no active window, pointer on the left", -1, 100, false},
    };
    QtPanelBackendFactory backends([] { return false; });
    UiContext ui{loop, screen, metrics, backends};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        warpPointer(c.pointerX, 450);
        const xcb_window_t active = makeActiveWindowAt(c.activeWindowX);
        const Rect expected{c.onRightHead ? double(kHead) : 0.0, 0, kHead, 900};
        EXPECT_EQ(screen.mainScreenFrame(), expected);

        auto hud = std::make_shared<SwitcherHUD>(ui);
        hud->windows = {WindowInfo{1, "App", "One", {}, 7, false},
                        WindowInfo{2, "App", "Two", {}, 7, false}};
        hud->show(true);
        loop.advance(0.3);
        auto* backend = dynamic_cast<QtPanelBackend*>(hud->panel->backend());
        ASSERT_NE(backend, nullptr);
        const QRect shown = backend->window().geometry();
        EXPECT_EQ(shown.center().x() / kHead, c.onRightHead ? 1 : 0);
        EXPECT_NEAR(shown.center().x() % kHead, kHead / 2, 1);
        hud->hide();
        loop.advance(1);
        if (active != XCB_NONE)
            xcb_destroy_window(xcbDesktop->helper(), active);
    }
    // An active window that is gone leaves the choice to the pointer.
    warpPointer(kHead + 100, 450);
    const xcb_window_t gone = makeActiveWindowAt(300);
    xcb_destroy_window(xcbDesktop->helper(), gone);
    xcbDesktop->syncHelper();
    EXPECT_EQ(screen.mainScreenFrame(), (Rect{kHead, 0, kHead, 900}));
}

// A view over the whole panel that counts the pointer's entries and exits.
class CountingView : public View {
  public:
    using View::View;
    void updateTrackingAreas() override {
        for (const auto& area : std::vector(trackingAreas()))
            removeTrackingArea(area);
        addTrackingArea(std::make_shared<TrackingArea>(TrackingArea{
            bounds(), TrackingArea::mouseEnteredAndExited | TrackingArea::activeAlways}));
    }
    void mouseEntered(const MouseEvent&) override { ++entered; }
    void mouseExited(const MouseEvent&) override { ++exited; }
    int entered = 0;
    int exited = 0;
};

// Tracking areas report an entry when the pointer moves in, not when a window appears under a
// pointer at rest; re-showing the panel while it fades out does not make the pointer leave and
// come back, whether the fade goes through the window's opacity or unmaps it.
TEST_F(PanelOnX11, ThePointerEntersOnlyByMovingAfterThePanelAppears) {
    for (bool compositor : {false, true}) {
        SCOPED_TRACE(compositor ? "with a compositor" : "without a compositor");
        QtPanelBackendFactory backends([compositor] { return compositor; });
        // 400 × 200 at the top-left screen position (100, 100).
        Panel panel(backends, metrics, {100, 900 - 300, 400, 200}, WindowStyleMask::borderless,
                    BackingStoreType::buffered, true);
        auto view = std::make_shared<CountingView>();
        panel.setContentView(view);
        auto settle = [] { pumpQtFor(std::chrono::milliseconds(300)); };

        warpPointer(300, 200);
        panel.orderFrontRegardless();
        ASSERT_TRUE(pumpQtUntil([&] {
            return panel.backend() &&
                   dynamic_cast<QtPanelBackend*>(panel.backend())->window().isVisible();
        }));
        settle();
        EXPECT_EQ(view->entered, 0) << "the panel appeared under a resting pointer";

        warpPointer(305, 202);
        EXPECT_TRUE(pumpQtUntil([&] { return view->entered == 1; })) << "moved inside";

        // A new switch during the fade-out.
        panel.setAlphaValue(0.5);
        settle();
        panel.orderFrontRegardless();
        panel.setAlphaValue(1);
        settle();
        EXPECT_EQ(view->entered, 1);
        EXPECT_EQ(view->exited, 0);

        // Ordered out and in again under the resting pointer: no entry until it moves.
        panel.orderOut();
        settle();
        panel.orderFrontRegardless();
        settle();
        EXPECT_EQ(view->entered, 1);
        warpPointer(700, 500);
        warpPointer(310, 205);
        EXPECT_TRUE(pumpQtUntil([&] { return view->entered == 2; })) << "came in from outside";
        EXPECT_EQ(view->exited, 0) << "the pointer was not over the panel when it went out";
        panel.orderOut();
    }
}

} // namespace
} // namespace corvane
