// The panel's real window: how it is shown, shaped, placed and faded, the pointer input it hands
// to the view tree, and a panel wider than the screen, whose window is only its on-screen part,
// painted and hit-tested in the panel's coordinates with what lies off screen skipped. And the
// pixels a user sees on the panel as the Qt painter paints it: titles, icons.
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
#include <QPainter>
#include <QPainterPath>
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

class PanelWindow : public ::testing::Test {
  protected:
    PanelWindow() {
        screen.frame = Rect{0, 0, double(qtScreen().width()), double(qtScreen().height())};
    }
    void open(std::size_t count, bool compositor = true) {
        std::vector<WindowInfo> windows;
        for (std::size_t i = 0; i < count; ++i)
            windows.push_back(
                WindowInfo{CGWindowID(10 + i), "App", "Window " + std::to_string(i), {}, 7, false});
        open(std::move(windows), compositor);
    }
    // Opens a switcher over the windows, its fade-in done.
    void open(std::vector<WindowInfo> windows, bool compositor = true) {
        compositorRuns = compositor;
        hud = std::make_shared<SwitcherHUD>(ui);
        hud->windows = std::move(windows);
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
    // The whole panel as the painter paints it, at the given density.
    QImage render(double dpr = 1) {
        return testing::painted(root(), {hud->panel->frame().width, hud->panel->frame().height},
                                dpr);
    }

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
    QtPanelBackendFactory backends{[this] { return compositorRuns; }, qtScreen};
    UiContext ui{loop, screen, metrics, backends};
    std::shared_ptr<SwitcherHUD> hud;
    QtPanelBackend* backend = nullptr;
    std::vector<std::string> activated;
};

TEST_F(PanelWindow, IsThePanelsOnScreenPartInTopLeftCoordinatesWhileThePanelKeepsItsFrame) {
    ASSERT_EQ(qtScreen().width(), 800) << "the counts below assume four cards a row fit";
    using Case = std::pair<std::size_t, bool>; // windows, whether the panel fits
    for (auto [windows, fits] :
         {Case{3, true}, {9, true}, {11, false}, {30, false}, {1000, false}}) {
        SCOPED_TRACE(windows);
        open(windows);
        // However the panel is placed, the window follows.
        for (const char* placement : {"as opened", "centred", "slid to the last card"}) {
            SCOPED_TRACE(placement);
            if (placement == std::string_view("centred"))
                centre();
            if (placement == std::string_view("slid to the last card"))
                hud->moveSelection(false);
            const QRect whole = panelRect();
            EXPECT_EQ(whole.width() <= qtScreen().width(), fits);
            const QRect expected = fits ? whole : whole.intersected(qtScreen());
            EXPECT_EQ(window().geometry(), expected);
            EXPECT_EQ(window().panelOrigin(), expected.topLeft() - whole.topLeft());
        }
        close();
    }
}

// The panel's rounded corners: with a compositor they are painted transparent and the window
// has no mask; without one the window is cut to the rounded shape, but only at corners on screen.
TEST_F(PanelWindow, RoundedCornersAreTransparentOrCutWhereOnScreen) {
    struct Case {
        std::size_t windows;
        bool compositor, cornersCut; // cut: the window's corners are the panel's rounded ones
    };
    for (Case c : {Case{3, false, true}, {30, false, false}, {3, true, false}}) {
        SCOPED_TRACE(::testing::Message() << c.windows << (c.compositor ? " composited" : ""));
        open(c.windows, c.compositor);
        EXPECT_EQ(backend->usesShapeMask(), !c.compositor);
        const QRegion mask = window().mask();
        const int w = window().width(), h = window().height();
        const QPoint corners[] = {{1, 1}, {w - 2, 1}, {1, h - 2}, {w - 2, h - 2}};
        if (c.compositor) {
            EXPECT_TRUE(mask.isEmpty());
            const QImage image = render();
            for (QPoint corner : corners)
                EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << corner.x() << "," << corner.y();
            EXPECT_GT(qAlpha(image.pixel(4, h / 2)), 200) << "the backdrop between the cards";
        } else {
            for (QPoint corner : corners)
                EXPECT_EQ(mask.contains(corner), !c.cornersCut) << corner.x() << "," << corner.y();
            EXPECT_TRUE(mask.contains(QPoint(w / 2, 0))) << "top edge kept";
            EXPECT_TRUE(window().rect().contains(mask.boundingRect()));
        }
        close();
    }
}

// The shape is the rounded rectangle a painter fills, to a pixel here and there on the arcs,
// cut to the screen; with no corner on screen it is a plain rectangle.
// While the panel is hidden its picture is brought up to date with each change of the windows,
// repainting only where the cards differ: after each change it must be what painting the whole
// panel gives, inside the window.
TEST_F(PanelWindow, TheKeptPictureIsTheWholePaintAfterEveryChangeWhileHidden) {
    const auto made = [](std::size_t i, std::string title) {
        return WindowInfo{CGWindowID(10 + i), "App", std::move(title), {}, 7, false};
    };
    struct Case {
        const char* name;
        std::function<void(std::vector<WindowInfo>&)> change;
    };
    const Case cases[] = {
        {"the third window activated",
         [](auto& w) { std::rotate(w.begin(), w.begin() + 2, w.begin() + 3); }},
        {"a window renamed", [](auto& w) { w[3].windowTitle = "Renamed while hidden"; }},
        {"a window closed", [](auto& w) { w.erase(w.begin() + 1); }},
        {"a window opened", [&](auto& w) { w.insert(w.begin(), made(99, "New")); }},
        {"a window minimized", [](auto& w) { w[4].isMinimized = true; }},
        {"the last window moved to the front",
         [](auto& w) { std::rotate(w.begin(), w.end() - 1, w.end()); }},
    };
    for (std::size_t count : {5, 13}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.name << ", " << count << " windows");
            open(count);
            window().prepareImage();
            // The ring moves in the picture, and back at the next switch, with the windows'
            // change.
            hud->moveSelection(true);
            window().prepareImage();
            close();
            c.change(hud->windows);
            hud->prepare();
            window().prepareImage();
            const QImage whole = render();
            const QRect part(window().panelOrigin(), window().size());
            EXPECT_LE(testing::largestDifference(window().picture(), whole.copy(part)), 3);
        }
    }
}

TEST(RoundedRegion, IsThePaintedRoundedRectangleCutToTheBounds) {
    const QRect area(-40, 10, 300, 120);
    const int radius = 12;
    QPainterPath path;
    path.addRoundedRect(QRectF(area), radius, radius);
    QImage painted(400, 200, QImage::Format_ARGB32);
    painted.fill(Qt::transparent);
    QPainter(&painted).fillPath(path.translated(100, 0), Qt::black);
    for (const QRect bounds : {QRect(-100, 0, 400, 200), QRect(0, 0, 300, 200)}) {
        SCOPED_TRACE(bounds.x());
        const QRegion region = roundedRegion(area, radius, bounds);
        int differing = 0;
        for (int y = bounds.top(); y <= bounds.bottom(); ++y) {
            for (int x = bounds.left(); x <= bounds.right(); ++x)
                differing +=
                    region.contains(QPoint(x, y)) != (qAlpha(painted.pixel(x + 100, y)) >= 128);
        }
        EXPECT_LE(differing, 8) << "pixels on the arcs only";
        EXPECT_TRUE(bounds.contains(region.boundingRect()));
    }
    EXPECT_TRUE(roundedRegion(area, radius, QRect(0, 0, 100, 200))
                    .xored(QRegion(0, 10, 100, 120))
                    .isEmpty());
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
        EXPECT_EQ(window().isMapped(), compositor);
        EXPECT_TRUE(hud->panel->isVisible());
        loop.advance(0.2);
        if (compositor) {
            EXPECT_GT(window().windowOpacity(), 0.2);
            EXPECT_LT(window().windowOpacity(), 0.8);
        }
        hud->show(true);
        loop.advance(1.3);
        EXPECT_TRUE(window().isMapped());
        if (compositor) {
            EXPECT_DOUBLE_EQ(window().windowOpacity(), 1.0);
        }
        EXPECT_EQ(dismissed, 0);
        close();
        EXPECT_FALSE(window().isMapped());
    }
}

// A panel wider than the screen, centred: its window shows what the panel shows at that place,
// with only the cards on screen painted, and the card the screen's left edge cuts is drawn where
// it belongs and takes the pointer and clicks there, as do the other cards.
TEST_F(PanelWindow, AtTheScreensLeftEdgeThePanelIsPaintedAndTakesThePointerWhereItIs) {
    open(30);
    centre();
    QtViewPainter whole;
    const QImage full = testing::painted(root(), panelRect().size(), 1, std::nullopt, &whole);
    const QImage shown = window().grab().toImage();
    ASSERT_EQ(shown.size(), window().size());
    EXPECT_LE(testing::largestDifference(shown,
                                         full.copy(QRect(window().panelOrigin(), window().size()))),
              1);
    EXPECT_LT(window().viewPainter().viewsPaintedLastTime(), whole.viewsPaintedLastTime() / 2);

    // The cut card's face, lighter than the backdrop, up to its right edge, then the backdrop.
    const double edge = window().panelOrigin().x();
    std::size_t edgeCard = 0;
    while (edgeCard < hud->cardViews.size() &&
           !(inPanel(*hud->cardViews[edgeCard]).x < edge &&
             inPanel(*hud->cardViews[edgeCard]).maxX() > edge + 10))
        ++edgeCard;
    ASSERT_LT(edgeCard, hud->cardViews.size()) << "no card crosses the screen's left edge";
    const Rect card = inPanel(*hud->cardViews[edgeCard]);
    const QPoint face = inWindow(edgeCard, card.width - 6).toPoint();
    const QPoint gap = inWindow(edgeCard, card.width + 5).toPoint();
    ASSERT_GE(face.x(), 0);
    EXPECT_GT(shown.pixelColor(face).red(), shown.pixelColor(gap).red() + 10);

    const double visibleLeft = window().panelOrigin().x() - card.x; // card x at window's 0
    for (std::size_t target : {edgeCard, edgeCard + 2, edgeCard + 17}) {
        SCOPED_TRACE(target);
        activated.clear();
        hud->show(true);
        loop.advance(0.3);
        centre();
        const QPointF at = inWindow(target, target == edgeCard ? visibleLeft + 5 : -1);
        ASSERT_TRUE(window().rect().contains(at.toPoint()));
        QEnterEvent entry(at, at, window().mapToGlobal(at));
        QApplication::sendEvent(&window(), &entry);
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

    // Stepping slides the panel by a card, then to its other end: the window keeps what stays
    // in view and shows the rest as a whole paint would.
    open(30);
    centre();
    window().grab();
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

TEST_F(PanelWindow, ALongTitleEndsInAnEllipsisOnItsSecondLineAndStaysInTheCard) {
    const std::string longTitle = "Mail — Re: the quarterly planning meeting moved to Thursday "
                                  "afternoon because the big room is booked all week";
    open({WindowInfo{100, "Mail", longTitle, {}, 42, false}});
    const auto* title = dynamic_cast<const TextField*>(hud->cardViews[0]->subviews().at(2).get());
    ASSERT_NE(title, nullptr);
    const TextLayout& layout = title->textLayout();
    ASSERT_EQ(layout.lines.size(), 2u);
    EXPECT_TRUE(layout.truncated);
    EXPECT_TRUE(layout.lines[1].ends_with("…"));

    // Ink of the second line lies inside the label's 130-point width, and nothing is drawn on a
    // third line.
    const QImage image = render();
    const Rect card = inPanel(*hud->cardViews[0]), label = inPanel(*title);
    const double line = QtTextMetrics::lineHeight(title->font());
    auto ink = [&](double top, double bottom, double left, double right) {
        int count = 0;
        for (int y = int(top); y < int(bottom); ++y)
            for (int x = int(left); x < int(right); ++x)
                count += image.pixelColor(x, y).green() > 120;
        return count;
    };
    const double second = label.y + line;
    EXPECT_GT(ink(second, second + line, label.x, label.maxX()), 20);
    EXPECT_EQ(ink(second, second + line, label.maxX() + 0.5, card.maxX() - 1), 0);
    EXPECT_EQ(ink(second + line + 1, card.maxY() - 5, label.x, label.maxX()), 0);
}

TEST_F(PanelWindow, IconsStaySharpAtDoubleDensity) {
    auto split = std::make_shared<Image>(Image{96, 96, {}});
    for (int i = 0; i < 96 * 96; ++i)
        split->argb.push_back(i % 96 < 48 ? 0xFFFF0000u : 0xFF0000FFu);
    open({WindowInfo{100, "Editor", "notes.txt", split, 42, false}});
    const QImage hiDpi = render(2);
    const Rect card = inPanel(*hud->cardViews[0]);
    // 48 points at 2x are the image's 96 pixels: the halves meet without a blended column.
    const int seam = int((card.x + 70) * 2), row = int((card.y + 38) * 2);
    EXPECT_GT(hiDpi.pixelColor(seam - 1, row).red(), 240);
    EXPECT_GT(hiDpi.pixelColor(seam, row).blue(), 240);
    EXPECT_LT(hiDpi.pixelColor(seam, row).red(), 15);
}

} // namespace
} // namespace corvane
