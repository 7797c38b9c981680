// The parts of the retained view layer that the HUD's own tests do not reach: constraints of a
// removed view, stack packing, proportional image rects, the deferred panel backend, pointer
// crossings, and cancelled or orphaned animations on the virtual clock.

#include "fakes/FakeTextMetrics.h"
#include "fakes/ManualRunLoop.h"
#include "fakes/RecordingPanelBackend.h"
#include "platform/ui/Animation.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Panel.h"
#include "platform/ui/StackView.h"

#include <gtest/gtest.h>
#include <tuple>
#include <utility>

namespace corvane {
namespace {

using testing::FakeTextMetrics;
using testing::ManualRunLoop;
using testing::RecordingPanelBackendFactory;

std::shared_ptr<View> sizedView(double w, double h) {
    auto view = std::make_shared<View>();
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    activateConstraints({view->widthAnchor().constraintEqualToConstant(w),
                         view->heightAnchor().constraintEqualToConstant(h)});
    return view;
}

TEST(ConstraintSolver, RemovingAViewDropsTheConstraintsThatNameIt) {
    auto root = std::make_shared<View>(Rect{0, 0, 100, 100});
    auto child = sizedView(10, 10);
    root->addSubview(child);
    activateConstraints({child->topAnchor().constraintEqualToAnchor(root->topAnchor(), 5)});
    child->removeFromSuperview();
    EXPECT_TRUE(root->constraints().empty());
    EXPECT_EQ(child->constraints().size(), 2u); // its own size stays with it
}

TEST(StackViewLayout, PacksCentredWithSpacingAndCrossAlignment) {
    FakeTextMetrics metrics;
    struct Case {
        StackOrientation orientation;
        LayoutAttribute alignment;
        Rect first, second;
    };
    const Case cases[] = {
        {StackOrientation::horizontal,
         LayoutAttribute::centerY,
         {31, 40, 30, 20},
         {69, 35, 40, 30}},
        {StackOrientation::vertical, LayoutAttribute::centerX, {55, 21, 30, 20}, {50, 49, 40, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.orientation));
        auto stack = std::make_shared<StackView>();
        stack->setFrame({0, 0, 140, 100});
        stack->setOrientation(c.orientation);
        stack->setAlignment(c.alignment);
        stack->setSpacing(8);
        auto a = sizedView(30, 20);
        auto b = sizedView(40, 30);
        stack->addArrangedSubview(a);
        stack->addArrangedSubview(b);
        stack->layoutSubtree(metrics);
        EXPECT_EQ(std::pair(a->frame(), b->frame()), std::pair(c.first, c.second));
    }
}

TEST(ImageViewScaling, ProportionalRectsAreCentredInTheBounds) {
    struct Case {
        int w, h;
        Rect expected;
    };
    const Case cases[] = {{16, 16, {0, 0, 48, 48}},
                          {256, 128, {0, 12, 48, 24}},
                          {16, 32, {12, 0, 24, 48}},
                          {0, 0, {}}};
    for (const auto& c : cases) {
        ImageView view;
        view.setFrame({10, 10, 48, 48});
        view.setImageScaling(ImageScaling::proportionallyUpOrDown);
        view.setImage(std::make_shared<Image>(Image{c.w, c.h, {}}));
        EXPECT_EQ(view.imageRect(), c.expected) << c.w << "x" << c.h;
    }
}

class Tracker : public View {
  public:
    void mouseEntered(const MouseEvent&) override { ++entered; }
    void mouseExited(const MouseEvent&) override { ++exited; }
    void mouseUp(const MouseEvent&) override { ++clicks; }
    void updateTrackingAreas() override {
        for (const auto& area : std::vector(trackingAreas()))
            removeTrackingArea(area);
        addTrackingArea(std::make_shared<TrackingArea>(
            TrackingArea{bounds(), TrackingArea::mouseEnteredAndExited}));
    }
    std::tuple<int, int, int> counts() const { return {entered, exited, clicks}; }
    int entered = 0, exited = 0, clicks = 0;
};

// A panel with a tracker over part of its content.
class PanelTest : public ::testing::Test {
  protected:
    PanelTest() {
        tracker->setFrame({20, 20, 40, 20});
        panel->contentView()->addSubview(tracker);
    }
    // A fade of the panel to `alpha`, counting its completions.
    std::shared_ptr<RunningAnimation> fade(AnimationContext& on, double alpha, double duration,
                                           int& completions) {
        return on.runAnimationGroup(
            [&](AnimationGroup& group) {
                group.duration = duration;
                group.animateAlphaValue(panel, alpha);
            },
            [&completions] { ++completions; });
    }
    FakeTextMetrics metrics;
    RecordingPanelBackendFactory backends;
    ManualRunLoop loop;
    AnimationContext animations{loop};
    std::shared_ptr<Tracker> tracker = std::make_shared<Tracker>();
    std::shared_ptr<Panel> panel = std::make_shared<Panel>(backends, metrics, Rect{0, 0, 100, 80},
                                                           WindowStyleMask::nonactivatingPanel,
                                                           BackingStoreType::buffered, true);
};

// The backend is made at the first order-front; an order-out is told once.
TEST_F(PanelTest, PointerCrossingsReachTrackingAreasOncePerCrossing) {
    EXPECT_EQ(backends.created, 0);
    panel->orderFrontRegardless();
    EXPECT_EQ(backends.created, 1);
    panel->setFrame({1, 2, 100, 81}, false);
    EXPECT_EQ(panel->contentView()->frame(), (Rect{0, 0, 100, 81}));
    for (Point p : {Point{5, 5}, Point{25, 25}, Point{30, 30}, Point{70, 30}, Point{50, 25}})
        panel->pointerMoved(p);
    EXPECT_EQ(tracker->counts(), std::tuple(2, 1, 0)); // entered, exited, clicked
    panel->pointerLeft();
    panel->pointerLeft();
    EXPECT_EQ(tracker->counts(), std::tuple(2, 2, 0));

    panel->pointerMoved({30, 30});
    panel->orderOut(); // forgets the pointer without telling anyone
    panel->orderOut();
    EXPECT_EQ(backends.journal.count("orderOut"), 1);
    panel->pointerLeft();
    panel->mouseUp({30, 30});
    EXPECT_EQ(tracker->counts(), std::tuple(3, 2, 0));
    panel->orderFrontRegardless();
    panel->mouseUp({30, 30});
    EXPECT_EQ(tracker->counts(), std::tuple(3, 2, 1));
}

TEST_F(PanelTest, CancelledGroupNeverCompletesAndANewerGroupTakesOverAlpha) {
    int outs = 0, ins = 0;
    fade(animations, 0, 0.5, outs);
    loop.advance(0.2);
    fade(animations, 1, 0.15, ins);
    loop.advance(0.4); // the fade-out ends after the fade-in without touching alpha
    EXPECT_EQ(std::tuple(panel->alphaValue(), outs, ins), std::tuple(1.0, 1, 1));

    auto cancelled = fade(animations, 0, 0.5, outs);
    loop.advance(0.1);
    cancelled->cancel();
    const double stoppedAt = panel->alphaValue();
    loop.advance(1);
    EXPECT_EQ(std::tuple(outs, cancelled->isDone(), panel->alphaValue()),
              std::tuple(1, true, stoppedAt));
    EXPECT_GT(stoppedAt, 0.7);
}

// Where partial alpha cannot be seen, a fade wakes for its first frame (a fading-out window
// goes there) and its last, not sixty times a second in between.
TEST_F(PanelTest, WithoutPartialAlphaAFadeRunsOnlyItsFirstAndLastFrames) {
    backends.showsPartialAlpha = false;
    panel->orderFrontRegardless();
    int outs = 0;
    fade(animations, 0, 0.5, outs);
    loop.advance(0.49);
    // Alpha changes told to the window system, and completions.
    EXPECT_EQ(std::pair(backends.journal.count("alpha"), outs), std::pair(1L, 0));
    loop.advance(0.01);
    EXPECT_EQ(std::pair(backends.journal.count("alpha"), outs), std::pair(2L, 1));
    EXPECT_EQ(panel->alphaValue(), 0);
}

TEST_F(PanelTest, UnfinishedAnimationDiesWithItsRunLoop) {
    const std::weak_ptr<Panel> watched = panel;
    {
        ManualRunLoop shortLived;
        AnimationContext dying(shortLived);
        int completions = 0;
        fade(dying, 0, 0.5, completions);
        shortLived.advance(0.1);
        panel.reset();
    }
    EXPECT_TRUE(watched.expired());
}

} // namespace
} // namespace corvane
