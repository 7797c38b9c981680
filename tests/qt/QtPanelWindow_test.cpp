// The panel's real window: how it is shown, shaped and placed, and the pointer input it hands
// to the view tree.
#include "fakes/FakeScreen.h"
#include "fakes/ManualRunLoop.h"
#include "hud/SwitcherHUD.h"
#include "platform/qt/QtPanelBackend.h"
#include "platform/qt/QtTextMetrics.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::FakeScreen;
using testing::ManualRunLoop;

class PanelWindow : public ::testing::Test {
  protected:
    void open(bool compositor, std::size_t count = 3) {
        compositorRuns = compositor;
        hud = std::make_shared<SwitcherHUD>(ui);
        for (std::size_t i = 0; i < count; ++i)
            hud->windows.push_back(
                WindowInfo{CGWindowID(10 + i), "App", "Window " + std::to_string(i), {}, 7, false});
        hud->onActivate = [this](WindowInfo info) { activated.push_back(info.windowTitle); };
        hud->show(true);
        loop.advance(0.3);
        backend = dynamic_cast<QtPanelBackend*>(hud->panel->backend());
        ASSERT_NE(backend, nullptr);
    }

    QtPanelWindow& window() { return backend->window(); }

    QPointF centreOfCard(std::size_t i) {
        const Rect r = hud->cardViews[i]->frameInAncestor(hud->panel->contentView().get());
        return {r.midX(), r.midY()};
    }

    void send(QEvent::Type type, QPointF at) {
        QMouseEvent event(type, at, window().mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&window(), &event);
    }

    bool compositorRuns = true;
    ManualRunLoop loop;
    FakeScreen screen;
    QtTextMetrics metrics;
    QtPanelBackendFactory backends{[this] { return compositorRuns; },
                                   [] { return QRect(0, 0, 1440, 900); }};
    UiContext ui{loop, screen, metrics, backends};
    std::shared_ptr<SwitcherHUD> hud;
    QtPanelBackend* backend = nullptr;
    std::vector<std::string> activated;
};

TEST_F(PanelWindow, NeverTakesFocusAndBypassesTheWindowManager) {
    open(true);
    const Qt::WindowFlags flags = window().windowFlags();
    for (Qt::WindowType flag : {Qt::X11BypassWindowManagerHint, Qt::FramelessWindowHint,
                                Qt::WindowStaysOnTopHint, Qt::WindowDoesNotAcceptFocus})
        EXPECT_TRUE(flags.testFlag(flag)) << flag;
    EXPECT_EQ(window().windowType(), Qt::Tool);
    EXPECT_FALSE(flags.testFlag(Qt::NoDropShadowWindowHint)) << "the panel has a shadow";
    EXPECT_TRUE(window().testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(window().testAttribute(Qt::WA_X11DoNotAcceptFocus));
    EXPECT_TRUE(window().testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(window().isVisible());
    EXPECT_FALSE(window().isActiveWindow());
}

TEST_F(PanelWindow, SitsWhereThePanelFrameSaysInTopLeftCoordinates) {
    open(true);
    const Rect frame = hud->panel->frame(); // bottom-left origin
    ASSERT_EQ(frame, (Rect{490, 374, 460, 152}));
    const double height = QtScreen::primaryScreenHeight();
    EXPECT_EQ(window().geometry(), QRect(490, int(height - 374 - 152), 460, 152));
}

TEST_F(PanelWindow, IsCutToItsRoundedShapeOnlyWithoutACompositor) {
    open(false);
    EXPECT_TRUE(backend->usesShapeMask());
    const QRegion mask = window().mask();
    EXPECT_FALSE(mask.contains(QPoint(1, 1))) << "corner cut away";
    EXPECT_FALSE(mask.contains(QPoint(458, 150)));
    EXPECT_TRUE(mask.contains(QPoint(230, 1))) << "top edge kept";
    EXPECT_TRUE(mask.contains(QPoint(230, 76)));

    // Next switch with a compositor running: transparent corners instead of a mask.
    hud->hide();
    loop.advance(0.6);
    compositorRuns = true;
    hud->show(true);
    loop.advance(0.3);
    EXPECT_FALSE(backend->usesShapeMask());
    EXPECT_TRUE(window().mask().isEmpty());
}

TEST_F(PanelWindow, FadesThroughTheWindowOpacityAndHidesWhenOrderedOut) {
    open(true);
    EXPECT_DOUBLE_EQ(window().windowOpacity(), 1.0);
    hud->hide();
    loop.advance(0.25);
    EXPECT_GT(window().windowOpacity(), 0.2);
    EXPECT_LT(window().windowOpacity(), 0.8);
    loop.advance(0.5);
    EXPECT_FALSE(window().isVisible());
}

TEST_F(PanelWindow, WithoutACompositorAFadeOutHidesTheWindowAtOnce) {
    open(false);
    int dismissed = 0;
    hud->onDismiss = [&] { ++dismissed; };
    hud->activateSelected();
    loop.advance(0.05);
    EXPECT_FALSE(window().isVisible()) << "a fade that cannot be seen does not linger";
    EXPECT_TRUE(hud->panel->isVisible()) << "the switch still sees its fading panel";
    EXPECT_EQ(dismissed, 0);

    // A chord during the fade opens a fresh switch: the window comes back.
    hud->show(true);
    loop.advance(0.3);
    EXPECT_TRUE(window().isVisible());
    loop.advance(1.0);
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(dismissed, 0);
}

TEST_F(PanelWindow, PointerAndClicksReachTheTree) {
    open(true, 3);
    QEnterEvent enter(centreOfCard(0), centreOfCard(0), window().mapToGlobal(centreOfCard(0)));
    QApplication::sendEvent(&window(), &enter);
    EXPECT_TRUE(hud->mouseIsOver);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&window(), &leave);
    EXPECT_FALSE(hud->mouseIsOver);
    loop.advance(0.5);
    send(QEvent::MouseMove, centreOfCard(2)); // back within the second: no commit
    loop.advance(1.0);
    EXPECT_TRUE(activated.empty());

    send(QEvent::MouseButtonPress, centreOfCard(2));
    send(QEvent::MouseButtonRelease, centreOfCard(2));
    EXPECT_EQ(activated, std::vector<std::string>{"Window 2"});
}

} // namespace
} // namespace corvane
