// The panel on a real X server with two heads: which monitor it opens on, when the pointer
// counts as over it, when the window is mapped, and when it lets the pointer through.
#include "fakes/ManualRunLoop.h"
#include "hud/SwitcherHUD.h"
#include "platform/qt/QtPanelBackend.h"
#include "platform/qt/QtRunLoop.h"
#include "platform/qt/QtScreen.h"
#include "platform/qt/QtTextMetrics.h"
#include "platform/x11/X11Replies.h"
#include "qt/xcb/XcbDesktop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>
#include <vector>

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

// The two heads Xvfb's one screen stands for, the left one primary.
std::vector<ScreenGeometry> twoHeads() {
    return {{QRect(0, 0, kHead, 900)}, {QRect(kHead, 0, kHead, 900)}};
}

class PanelOnX11 : public ::testing::Test {
  protected:
    // A switcher over two windows, its panel drawn as with a compositor or without one.
    std::shared_ptr<SwitcherHUD> switcher(bool withCompositor) {
        compositor = withCompositor;
        auto hud = std::make_shared<SwitcherHUD>(ui);
        hud->windows = {WindowInfo{1, "App", "One", {}, 7, false},
                        WindowInfo{2, "App", "Two", {}, 7, false}};
        return hud;
    }
    static QtPanelWindow& windowOf(const Panel& panel) {
        auto* backend = dynamic_cast<QtPanelBackend*>(panel.backend());
        EXPECT_NE(backend, nullptr);
        return backend->window();
    }

    ManualRunLoop loop;
    QtTextMetrics metrics;
    QtScreen screen{readDesktopFocus, twoHeads};
    bool compositor = false;
    QtPanelBackendFactory backends{[this] { return compositor; }};
    UiContext ui{loop, screen, metrics, backends};
};

// The switcher opens centred on the head that holds the active window, else the pointer's (an
// active window that is gone leaves the choice to the pointer).
TEST_F(PanelOnX11, OpensOnTheMonitorOfTheActiveWindowElseThePointer) {
    struct Case {
        const char* name;
        int activeWindowX; // -1: none
        int pointerX;
        bool onRightHead, activeWindowGone = false;
    };
    const Case cases[] = {
        {"active window on the right head", kHead + 300, 100, true},
        {"active window on the left head", 300, kHead + 100, false},
        {"active window mostly on the right head", kHead - 100, 100, true},
        {"no active window, pointer on the right", -1, kHead + 100, true},
        {"no active window, pointer on the left", -1, 100, false},
        {"active window gone, pointer on the right", 300, kHead + 100, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        warpPointer(c.pointerX, 450);
        // A mapped window of another program, made the active one as a window manager would
        // announce it.
        xcb_connection_t* helper = xcbDesktop->helper();
        xcb_window_t active = XCB_NONE;
        if (c.activeWindowX >= 0) {
            active = xcb_generate_id(helper);
            xcb_create_window(helper, XCB_COPY_FROM_PARENT, active, xcbDesktop->root(),
                              static_cast<std::int16_t>(c.activeWindowX), 200, 300, 200, 0,
                              XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
            xcb_map_window(helper, active);
        }
        xcbDesktop->setProperty(xcbDesktop->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, 32,
                                &active, 1);
        if (c.activeWindowGone) {
            xcb_destroy_window(helper, active);
            xcbDesktop->syncHelper();
        }
        auto hud = switcher(false);
        hud->show(true);
        loop.advance(0.3);
        const QRect shown = windowOf(*hud->panel).geometry();
        EXPECT_EQ(shown.center().x() / kHead, c.onRightHead ? 1 : 0);
        EXPECT_NEAR(shown.center().x() % kHead, kHead / 2, 1);
        hud->hide();
        loop.advance(1);
        if (active != XCB_NONE && !c.activeWindowGone)
            xcb_destroy_window(helper, active);
    }
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
    int entered = 0, exited = 0;
};

// Tracking areas report an entry when the pointer moves in, not when a window appears under a
// pointer at rest; re-showing the panel while it fades out does not make the pointer leave and
// come back, whether the fade goes through the window's opacity or unmaps it.
TEST_F(PanelOnX11, ThePointerEntersOnlyByMovingAfterThePanelAppears) {
    for (bool withCompositor : {false, true}) {
        SCOPED_TRACE(withCompositor ? "with a compositor" : "without a compositor");
        compositor = withCompositor;
        // 400 × 200 at the top-left screen position (100, 100).
        Panel panel(backends, metrics, {100, 900 - 300, 400, 200}, WindowStyleMask::borderless,
                    BackingStoreType::buffered, true);
        auto view = std::make_shared<CountingView>();
        panel.setContentView(view);
        auto settle = [] { pumpQtFor(std::chrono::milliseconds(300)); };

        warpPointer(300, 200);
        panel.orderFrontRegardless();
        ASSERT_TRUE(pumpQtUntil([&] { return windowOf(panel).isMapped(); }));
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
        EXPECT_EQ(std::pair(view->entered, view->exited), std::pair(1, 0));

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

// The top-level window the server finds under the pointer, as the window manager is told.
xcb_window_t windowUnderPointer() {
    xcb_connection_t* helper = xcbDesktop->helper();
    const XcbReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(helper, xcb_query_pointer(helper, xcbDesktop->root()), nullptr));
    return reply ? reply->child : XCB_NONE;
}

// The release of a quick switch can already wait on Corvane's own connection, unread, when the
// switch begins. That connection is drained before the loop sleeps, and the release commits
// first: the panel of a committed switch is never mapped, and the switch still ends as usual.
// Released a moment later, the panel is unmapped at the commit, before its fade-in is seen.
TEST_F(PanelOnX11, ASwitchCommittedBeforeTheLoopSleepsNeverMapsItsPanel) {
    for (bool releaseWaiting : {false, true}) {
        SCOPED_TRACE(releaseWaiting ? "release waiting" : "key still held");
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        auto hud = switcher(false);
        int activated = 0, dismissed = 0;
        hud->onActivate = [&](WindowInfo) { ++activated; };
        hud->onDismiss = [&] { ++dismissed; };
        // Stands for Corvane's connection: what it reads is handed to the main queue.
        QtMainQueue mainQueue;
        QtConnectionWatcher watcher(fds[0], [&] {
            char byte = 0;
            if (read(fds[0], &byte, 1) == 1)
                mainQueue.async([&] { hud->activateSelected(); });
        });
        if (releaseWaiting) {
            ASSERT_EQ(write(fds[1], "r", 1), 1);
        }

        hud->show(true);
        QtPanelWindow& window = windowOf(*hud->panel);
        pumpQtFor(std::chrono::milliseconds(200));
        EXPECT_EQ(std::pair(window.isMapped(), activated),
                  std::pair(!releaseWaiting, releaseWaiting ? 1 : 0));
        if (!releaseWaiting) {
            // Committed a moment later, before the fade-in showed anything: the panel goes.
            hud->activateSelected();
            EXPECT_FALSE(window.isMapped());
        }
        loop.advance(1);
        pumpQtFor(std::chrono::milliseconds(50));
        EXPECT_EQ(std::tuple(window.isMapped(), hud->isOpen(), dismissed),
                  std::tuple(false, false, 1));
        close(fds[0]);
        close(fds[1]);
    }
}

// A window manager that focuses the window under the pointer must hear of the crossing before
// the activation that follows a commit: by then the server no longer finds the panel there,
// though it stays on screen for its fade, and a new switch takes the pointer again.
TEST_F(PanelOnX11, ACommittedPanelLetsThePointerThroughBeforeTheActivation) {
    for (bool withCompositor : {false, true}) {
        SCOPED_TRACE(withCompositor ? "with a compositor" : "without a compositor");
        auto hud = switcher(withCompositor);
        std::optional<xcb_window_t> underPointerAtActivation;
        hud->onActivate = [&](WindowInfo) { underPointerAtActivation = windowUnderPointer(); };
        warpPointer(kHead / 2, 450); // the panel's centre
        hud->show(true);
        loop.advance(0.3);
        QtPanelWindow& window = windowOf(*hud->panel);
        ASSERT_TRUE(pumpQtUntil([&] { return window.isMapped(); }));
        const auto panelWindow = static_cast<xcb_window_t>(window.winId());
        ASSERT_TRUE(pumpQtUntil([&] { return windowUnderPointer() == panelWindow; }));

        hud->activateSelected();
        ASSERT_TRUE(underPointerAtActivation.has_value());
        EXPECT_NE(*underPointerAtActivation, panelWindow);

        // A chord during the fade-out.
        hud->show(true);
        loop.advance(0.3);
        EXPECT_TRUE(pumpQtUntil([&] { return windowUnderPointer() == panelWindow; }));
        hud->hide();
        loop.advance(1);
    }
}

// The window's pixels as the server holds them.
std::vector<std::uint8_t> windowPixels(xcb_window_t window, QSize size) {
    xcb_connection_t* helper = xcbDesktop->helper();
    const XcbReply<xcb_get_image_reply_t> image(
        xcb_get_image_reply(helper,
                            xcb_get_image(helper, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                          static_cast<std::uint16_t>(size.width()),
                                          static_cast<std::uint16_t>(size.height()), ~0u),
                            nullptr));
    if (!image)
        return {};
    const std::uint8_t* data = xcb_get_image_data(image.get());
    return {data, data + xcb_get_image_data_length(image.get())};
}

// Covers the window with green, then has the server clear it to its background and tell Qt to
// paint it (an expose) when `exposes`.
void scribbleAndClear(xcb_window_t id, QSize size, bool exposes) {
    xcb_connection_t* helper = xcbDesktop->helper();
    const xcb_gcontext_t gc = xcb_generate_id(helper);
    const std::uint32_t scribble = 0xff00ff00;
    xcb_create_gc(helper, gc, id, XCB_GC_FOREGROUND, &scribble);
    const xcb_rectangle_t all{0, 0, static_cast<std::uint16_t>(size.width()),
                              static_cast<std::uint16_t>(size.height())};
    xcb_poly_fill_rectangle(helper, id, gc, 1, &all);
    xcb_clear_area(helper, exposes ? 1 : 0, id, 0, 0, 0, 0);
    xcb_free_gc(helper, gc);
    xcbDesktop->syncHelper();
}

// The server paints a mapped panel from its background before Qt paints it: the background
// holds the picture as it is at the chord (a card renamed while the panel was hidden
// included), so whatever covers the window, clearing it to its background brings back exactly
// what Qt painted. A step is shown by Corvane itself, ahead of Qt's backing store; an expose
// after it must still bring back the step, not what Qt last painted.
TEST_F(PanelOnX11, ThePanelsBackgroundIsThePictureQtPaints) {
    auto hud = switcher(false);
    hud->show(true);
    loop.advance(0.3);
    QtPanelWindow& window = windowOf(*hud->panel);
    ASSERT_TRUE(pumpQtUntil([&] { return window.isMapped(); }));
    hud->hide();
    loop.advance(1);
    pumpQtFor(std::chrono::milliseconds(50));

    hud->windows[1].windowTitle = "Two, renamed while the panel was hidden";
    hud->show(true);
    loop.advance(0.3);
    ASSERT_TRUE(pumpQtUntil([&] { return window.isMapped(); }));
    pumpQtFor(std::chrono::milliseconds(300));
    const auto id = static_cast<xcb_window_t>(window.winId());
    const auto painted = windowPixels(id, window.size());
    ASSERT_FALSE(painted.empty());

    scribbleAndClear(id, window.size(), false);
    EXPECT_TRUE(windowPixels(id, window.size()) == painted);

    hud->moveSelection(true);
    pumpQtFor(std::chrono::milliseconds(100));
    const auto stepped = windowPixels(id, window.size());
    EXPECT_FALSE(stepped == painted);
    scribbleAndClear(id, window.size(), true);
    pumpQtFor(std::chrono::milliseconds(300));
    EXPECT_TRUE(windowPixels(id, window.size()) == stepped);
    // Qt's own paint of the whole window draws the same pixels.
    window.repaint();
    pumpQtFor(std::chrono::milliseconds(100));
    EXPECT_TRUE(windowPixels(id, window.size()) == stepped);
    hud->hide();
    loop.advance(1);
}

} // namespace
} // namespace corvane
