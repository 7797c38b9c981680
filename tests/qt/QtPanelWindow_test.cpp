// The panel's real window: how it is shown, shaped, placed and faded, the pointer input it hands
// to the view tree, and a panel wider than the screen, whose window is only its on-screen part,
// painted and hit-tested in the panel's coordinates with what lies off screen skipped.
#include "Painted.h"
#include "fakes/FakeScreen.h"
#include "fakes/ManualRunLoop.h"
#include "hud/SwitcherHUD.h"
#include "platform/qt/QtPanelBackend.h"
#include "platform/qt/QtScreen.h"
#include "platform/qt/QtTextMetrics.h"

#include <QApplication>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <gtest/gtest.h>
#include <string_view>

namespace corvane {
namespace {

using testing::FakeScreen;
using testing::ManualRunLoop;

// Qt's offscreen screen (800×600 unless configured): narrow enough that 11 windows overflow.
QRect qtScreen() {
    return QGuiApplication::primaryScreen()->geometry();
}

std::size_t visibleViewsIn(const View& view) {
    if (view.isHidden())
        return 0;
    std::size_t count = 1;
    for (const auto& subview : view.subviews())
        count += visibleViewsIn(*subview);
    return count;
}

class PanelWindow : public ::testing::Test {
  protected:
    void open(std::size_t count, bool compositor = true) {
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
        hud->panel->layoutIfNeeded();
    }
    void close() {
        hud->hide();
        loop.advance(1);
    }
    // Moves a panel wider than the screen back to the centre, from where it slid to show its
    // selection: a card there is cut by the screen's left edge.
    void centre() {
        hud->panel->setFrame(SwitcherHUD::panelFrame(*screen.frame, hud->windows.size()), false);
    }

    QtPanelWindow& window() { return backend->window(); }
    const View& root() { return *hud->panel->contentView(); }

    // The panel's whole frame in the window system's top-left coordinates.
    QRect panelRect() {
        const Rect f = hud->panel->frame();
        const double height = QtScreen::primaryScreenHeight();
        return QRect(int(std::lround(f.x)), int(std::lround(height - f.y - f.height)),
                     int(std::lround(f.width)), int(std::lround(f.height)));
    }

    Rect inPanel(const View& view) { return view.frameInAncestor(&root()); }

    // A point of card i, in the window's coordinates (its centre unless told).
    QPointF inWindow(std::size_t i, double dx = -1, double dy = -1) {
        const Rect r = inPanel(*hud->cardViews[i]);
        return QPointF(r.x + (dx < 0 ? r.width / 2 : dx), r.y + (dy < 0 ? r.height / 2 : dy)) -
               QPointF(window().panelOrigin());
    }

    // The card whose frame crosses the window's left edge.
    std::size_t cardAtLeftEdge() {
        const double edge = window().panelOrigin().x();
        for (std::size_t i = 0; i < hud->cardViews.size(); ++i) {
            const Rect r = inPanel(*hud->cardViews[i]);
            if (r.x < edge && r.x + r.width > edge + 10)
                return i;
        }
        ADD_FAILURE() << "no card crosses the screen's left edge";
        return 0;
    }

    void send(QEvent::Type type, QPointF at) {
        QMouseEvent event(type, at, window().mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&window(), &event);
    }
    void enter(QPointF at) {
        QEnterEvent event(at, at, window().mapToGlobal(at));
        QApplication::sendEvent(&window(), &event);
    }

    bool compositorRuns = true;
    ManualRunLoop loop;
    FakeScreen screen{[] {
        FakeScreen s;
        s.frame = Rect{0, 0, double(qtScreen().width()), double(qtScreen().height())};
        return s;
    }()};
    QtTextMetrics metrics;
    QtPanelBackendFactory backends{[this] { return compositorRuns; }, qtScreen};
    UiContext ui{loop, screen, metrics, backends};
    std::shared_ptr<SwitcherHUD> hud;
    QtPanelBackend* backend = nullptr;
    std::vector<std::string> activated;
};

TEST_F(PanelWindow, IsThePanelsOnScreenPartInTopLeftCoordinatesWhileThePanelKeepsItsFrame) {
    ASSERT_EQ(qtScreen().width(), 800) << "the counts below assume four cards a row fit";
    struct Case {
        std::size_t windows;
        bool fits;
    };
    for (Case c : {Case{3, true}, {9, true}, {11, false}, {30, false}, {1000, false}}) {
        SCOPED_TRACE(c.windows);
        open(c.windows);
        // However the panel is placed, the window follows.
        for (const char* placement : {"as opened", "centred", "slid to the last card"}) {
            SCOPED_TRACE(placement);
            if (placement == std::string_view("centred"))
                centre();
            if (placement == std::string_view("slid to the last card"))
                hud->moveSelection(false);
            const QRect whole = panelRect();
            EXPECT_EQ(hud->panel->frame().width,
                      SwitcherHUD::panelFrame(*screen.frame, c.windows).width);
            EXPECT_EQ(whole.width() <= qtScreen().width(), c.fits);
            const QRect expected = c.fits ? whole : whole.intersected(qtScreen());
            EXPECT_EQ(window().geometry(), expected);
            EXPECT_EQ(window().panelOrigin(), expected.topLeft() - whole.topLeft());
        }
        close();
    }
}

// Without a compositor the window is cut to the panel's rounded shape, but only corners on
// screen are cut; with one, corners are transparent and there is no mask.
TEST_F(PanelWindow, WithoutACompositorOnlyOnScreenCornersAreCut) {
    struct Case {
        std::size_t windows;
        bool compositor;
        bool cornersCut; // the window's own corners are the panel's rounded ones
    };
    for (Case c : {Case{3, false, true}, {30, false, false}, {3, true, false}}) {
        SCOPED_TRACE(::testing::Message() << c.windows << (c.compositor ? " composited" : ""));
        open(c.windows, c.compositor);
        EXPECT_EQ(backend->usesShapeMask(), !c.compositor);
        const QRegion mask = window().mask();
        if (c.compositor) {
            EXPECT_TRUE(mask.isEmpty());
        } else {
            const int w = window().width();
            const int h = window().height();
            for (QPoint corner :
                 {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
                EXPECT_EQ(mask.contains(corner), !c.cornersCut) << corner.x() << "," << corner.y();
            EXPECT_TRUE(mask.contains(QPoint(w / 2, 0))) << "top edge kept";
            EXPECT_TRUE(window().rect().contains(mask.boundingRect()));
        }
        close();
    }
}

// With a compositor the window fades; without one a fade cannot be seen, so the window leaves at
// once while the switch still sees its fading panel. Either way a chord during the fade brings
// the window back.
TEST_F(PanelWindow, AFadeOutFadesTheWindowOrHidesItAtOnceWithoutACompositor) {
    for (bool compositor : {true, false}) {
        SCOPED_TRACE(compositor ? "compositor" : "no compositor");
        open(3, compositor);
        int dismissed = 0;
        hud->onDismiss = [&] { ++dismissed; };
        hud->activateSelected();
        loop.advance(0.05);
        EXPECT_EQ(window().isVisible(), compositor);
        EXPECT_TRUE(hud->panel->isVisible());
        loop.advance(0.2);
        if (compositor) {
            EXPECT_GT(window().windowOpacity(), 0.2);
            EXPECT_LT(window().windowOpacity(), 0.8);
        }
        hud->show(true);
        loop.advance(1.3);
        EXPECT_TRUE(window().isVisible());
        if (compositor) {
            EXPECT_DOUBLE_EQ(window().windowOpacity(), 1.0);
        }
        EXPECT_EQ(dismissed, 0);
        close();
        EXPECT_FALSE(window().isVisible());
    }
}

TEST_F(PanelWindow, PointerAndClicksAtTheLeftScreenEdgeReachTheCardThere) {
    open(30);
    centre();
    const std::size_t edgeCard = cardAtLeftEdge();
    const Rect card = inPanel(*hud->cardViews[edgeCard]);
    const double visibleLeft = window().panelOrigin().x() - card.x; // card x at window's 0
    for (std::size_t target : {edgeCard, edgeCard + 2, edgeCard + 17}) {
        SCOPED_TRACE(target);
        activated.clear();
        hud->show(true);
        loop.advance(0.3);
        centre();
        const QPointF at = inWindow(target, target == edgeCard ? visibleLeft + 5 : -1);
        ASSERT_TRUE(window().rect().contains(at.toPoint()));
        enter(at);
        EXPECT_TRUE(hud->mouseIsOver);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&window(), &leave);
        EXPECT_FALSE(hud->mouseIsOver);
        send(QEvent::MouseMove, at); // back over the panel without an enter event
        EXPECT_TRUE(hud->mouseIsOver);
        send(QEvent::MouseButtonPress, at);
        send(QEvent::MouseButtonRelease, at);
        EXPECT_EQ(activated, std::vector<std::string>{"Window " + std::to_string(target)});
        loop.advance(1);
    }
}

TEST_F(PanelWindow, PaintsWhatThePanelShowsAtThatPlaceAndOnlyTheCardsOnScreen) {
    open(30);
    centre();
    QtViewPainter whole;
    const QImage full = testing::painted(root(), panelRect().size(), 1, std::nullopt, &whole);
    const QImage shown = window().grab().toImage();
    ASSERT_EQ(shown.size(), window().size());
    EXPECT_LE(testing::largestDifference(shown,
                                         full.copy(QRect(window().panelOrigin(), window().size()))),
              1);

    // The card cut by the screen's left edge shows its visible part where it belongs: its face,
    // lighter than the backdrop, up to its right edge, and the backdrop just after it.
    const std::size_t edgeCard = cardAtLeftEdge();
    const Rect card = inPanel(*hud->cardViews[edgeCard]);
    const QPoint face = inWindow(edgeCard, card.width - 6).toPoint();
    const QPoint gap = inWindow(edgeCard, card.width + 5).toPoint();
    ASSERT_GE(face.x(), 0);
    EXPECT_GT(shown.pixelColor(face).red(), shown.pixelColor(gap).red() + 10);

    const std::size_t all = visibleViewsIn(root());
    EXPECT_LT(window().viewPainter().viewsPaintedLastTime(), all / 2);
    EXPECT_EQ(whole.viewsPaintedLastTime(), all);

    // Stepping slides the panel by a card, then to its other end: the window keeps what stays
    // in view and shows the rest as a whole paint would.
    for (int step = 0; step < 2; ++step) {
        hud->moveSelection(false);
        const QImage slid = window().grab().toImage();
        const QImage fresh = testing::painted(root(), panelRect().size());
        EXPECT_LE(testing::largestDifference(
                      slid, fresh.copy(QRect(window().panelOrigin(), window().size()))),
                  1)
            << step;
    }
}

} // namespace
} // namespace corvane
