// A panel wider than the screen: the real window is only its on-screen part, painted and
// hit-tested in the panel's coordinates; the painter skips what lies outside the area it paints.
#include "fakes/FakeScreen.h"
#include "fakes/ManualRunLoop.h"
#include "hud/SwitcherHUD.h"
#include "platform/qt/QtPanelBackend.h"
#include "platform/qt/QtTextMetrics.h"
#include "platform/qt/QtViewPainter.h"

#include <QApplication>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::FakeScreen;
using testing::ManualRunLoop;

// Qt's offscreen screen (800×600 unless configured): narrow enough that 11 windows overflow.
QRect qtScreen() {
    return QGuiApplication::primaryScreen()->geometry();
}

QImage blank(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// The largest difference of any channel between two images of one size.
int largestDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    if (x.size() != y.size())
        return 256;
    int worst = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            for (int shift : {0, 8, 16, 24})
                worst =
                    std::max(worst, std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
        }
    return worst;
}

std::size_t visibleViewsIn(const View& view) {
    if (view.isHidden())
        return 0;
    std::size_t count = 1;
    for (const auto& subview : view.subviews())
        count += visibleViewsIn(*subview);
    return count;
}

class OversizedPanel : public ::testing::Test {
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

    // A point of card i, in the window's coordinates.
    QPointF inWindow(std::size_t i, double dx, double dy) {
        const Rect r = inPanel(*hud->cardViews[i]);
        return QPointF(r.x + dx, r.y + dy) - QPointF(window().panelOrigin());
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

TEST_F(OversizedPanel, TheWindowIsThePanelsOnScreenPartWhileThePanelKeepsItsFrame) {
    ASSERT_EQ(qtScreen().width(), 800) << "the counts below assume four cards a row fit";
    struct Case {
        std::size_t windows;
        bool fits;
    };
    for (Case c : {Case{3, true}, {9, true}, {11, false}, {30, false}, {1000, false}}) {
        SCOPED_TRACE(c.windows);
        open(c.windows);
        EXPECT_EQ(hud->panel->frame(), SwitcherHUD::panelFrame(*screen.frame, c.windows));
        const QRect whole = panelRect();
        EXPECT_EQ(whole.width() <= qtScreen().width(), c.fits);
        const QRect expected = c.fits ? whole : whole.intersected(qtScreen());
        EXPECT_EQ(window().geometry(), expected);
        EXPECT_EQ(window().panelOrigin(), expected.topLeft() - whole.topLeft());
        hud->hide();
        loop.advance(1);
    }
}

TEST_F(OversizedPanel, PaintsWhatThePanelShowsAtThatPlaceAndOnlyTheCardsOnScreen) {
    open(30);
    QtViewPainter whole;
    QImage full = blank(panelRect().size());
    {
        QPainter painter(&full);
        whole.paint(painter, root());
    }
    const QImage shown = window().grab().toImage();
    ASSERT_EQ(shown.size(), window().size());
    EXPECT_LE(largestDifference(shown, full.copy(QRect(window().panelOrigin(), window().size()))),
              1);

    // The card cut by the screen's left edge shows its visible part where it belongs: its face,
    // lighter than the backdrop, up to its right edge, and the backdrop just after it.
    const std::size_t edgeCard = cardAtLeftEdge();
    const Rect card = inPanel(*hud->cardViews[edgeCard]);
    const QPoint face = inWindow(edgeCard, card.width - 6, card.height / 2).toPoint();
    const QPoint gap = inWindow(edgeCard, card.width + 5, card.height / 2).toPoint();
    ASSERT_GE(face.x(), 0);
    EXPECT_GT(shown.pixelColor(face).red(), shown.pixelColor(gap).red() + 10);

    const std::size_t all = visibleViewsIn(root());
    EXPECT_LT(window().viewPainter().viewsPaintedLastTime(), all / 2);
    EXPECT_EQ(whole.viewsPaintedLastTime(), all);
}

TEST_F(OversizedPanel, PaintingOneCardsAreaDrawsThatCardAndItsAncestorsOnly) {
    open(30);
    const auto& wrapper = hud->cardWrappers[20];
    const Rect r = inPanel(*wrapper);
    QImage target = blank(panelRect().size());
    QPainter painter(&target);
    QtViewPainter viewPainter;
    viewPainter.paint(painter, root(), QRectF(r.x + 2, r.y + 2, r.width - 4, r.height - 4));
    // The content view, the column of rows, one row, then the card's own subtree.
    EXPECT_EQ(viewPainter.viewsPaintedLastTime(), 3 + visibleViewsIn(*wrapper));
}

TEST_F(OversizedPanel, PointerAndClicksAtTheLeftScreenEdgeReachTheCardThere) {
    open(30);
    const std::size_t edgeCard = cardAtLeftEdge();
    const Rect card = inPanel(*hud->cardViews[edgeCard]);
    const double visibleLeft = window().panelOrigin().x() - card.x; // card x at window's 0
    for (std::size_t target : {edgeCard, edgeCard + 2, edgeCard + 17}) {
        SCOPED_TRACE(target);
        activated.clear();
        hud->show(true);
        loop.advance(0.3);
        const double dx = target == edgeCard ? visibleLeft + 5 : card.width / 2;
        const QPointF at = inWindow(target, dx, card.height / 2);
        ASSERT_TRUE(window().rect().contains(at.toPoint()));
        QEnterEvent enter(at, at, window().mapToGlobal(at));
        QApplication::sendEvent(&window(), &enter);
        EXPECT_TRUE(hud->mouseIsOver);
        send(QEvent::MouseMove, at);
        send(QEvent::MouseButtonPress, at);
        send(QEvent::MouseButtonRelease, at);
        EXPECT_EQ(activated, std::vector<std::string>{"Window " + std::to_string(target)});
        loop.advance(1);
    }
}

TEST_F(OversizedPanel, WithoutACompositorOnlyOnScreenCornersAreCut) {
    struct Case {
        std::size_t windows;
        bool cornersCut; // the window's own corners are the panel's rounded ones
    };
    for (Case c : {Case{3, true}, {30, false}}) {
        SCOPED_TRACE(c.windows);
        open(c.windows, false);
        ASSERT_TRUE(backend->usesShapeMask());
        const QRegion mask = window().mask();
        const int w = window().width();
        const int h = window().height();
        for (QPoint corner :
             {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
            EXPECT_EQ(mask.contains(corner), !c.cornersCut) << corner.x() << "," << corner.y();
        EXPECT_TRUE(mask.contains(QPoint(w / 2, 0))) << "top edge kept";
        EXPECT_TRUE(window().rect().contains(mask.boundingRect()));
        hud->hide();
        loop.advance(1);
    }
}

// Painting only an area gives, inside it, the pixels a full paint gives: for groups (alpha,
// rounded masks) whose layer image is cut to the area, and for a child drawn outside a parent
// that does not clip.
TEST(PainterArea, InsideTheAreaMatchesAFullPaint) {
    auto box = [](Rect frame, RGBA colour, double radius = 0) {
        auto view = std::make_shared<View>();
        view->setFrame(frame);
        view->setWantsLayer(true);
        view->layer()->setBackgroundColor(colour);
        view->layer()->setCornerRadius(radius);
        return view;
    };
    struct Case {
        const char* name;
        double parentAlpha;
        bool parentMasks;
        Rect childFrame;
    };
    const Case cases[] = {
        {"plain", 1, false, {40, 40, 60, 60}},
        {"translucent group", 0.5, false, {40, 40, 60, 60}},
        {"rounded mask", 1, true, {0, 0, 200, 60}},
        {"child outside a parent that does not clip", 1, false, {130, 130, 40, 40}},
    };
    const QRectF area(90, 95, 80, 80);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto root = box({0, 0, 200, 200}, {0, 0, 0.3, 1});
        auto parent = box({20, 20, 110, 110}, {0.2, 0.6, 0.2, 1}, 30);
        parent->setAlphaValue(c.parentAlpha);
        parent->layer()->setMasksToBounds(c.parentMasks);
        parent->addSubview(box(c.childFrame, {0.9, 0.1, 0.1, 1}));
        root->addSubview(parent);

        QImage full = blank({200, 200});
        QImage part = blank({200, 200});
        {
            QPainter painter(&full);
            QtViewPainter().paint(painter, *root);
        }
        {
            QPainter painter(&part);
            painter.setClipRect(area);
            QtViewPainter().paint(painter, *root, area);
        }
        const QRect inside = area.toRect();
        EXPECT_LE(largestDifference(full.copy(inside), part.copy(inside)), 1);
        const QColor probe = part.pixelColor(160, 160);
        EXPECT_EQ(probe.red() > 200, c.childFrame.x == 130) << "the overflowing child is drawn";
    }
}

} // namespace
} // namespace corvane
