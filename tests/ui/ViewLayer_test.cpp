// The retained view layer: constraint solving, stack views, hit testing, appearance propagation,
// pointer tracking through the panel, and alpha animations on the virtual clock.

#include "fakes/FakeTextMetrics.h"
#include "fakes/ManualRunLoop.h"
#include "fakes/RecordingPanelBackend.h"
#include "platform/ui/Animation.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Panel.h"
#include "platform/ui/StackView.h"
#include "platform/ui/TextField.h"

#include <gtest/gtest.h>

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

class Recorder : public View {
  public:
    void mouseEntered(const MouseEvent&) override { ++entered; }
    void mouseExited(const MouseEvent&) override { ++exited; }
    void mouseUp(const MouseEvent&) override { ++clicks; }
    void viewDidChangeEffectiveAppearance() override { ++appearanceChanges; }
    void updateTrackingAreas() override {
        for (const auto& area : std::vector(trackingAreas()))
            removeTrackingArea(area);
        addTrackingArea(std::make_shared<TrackingArea>(
            TrackingArea{bounds(), TrackingArea::mouseEnteredAndExited}));
    }
    int entered = 0, exited = 0, clicks = 0, appearanceChanges = 0;
};

TEST(ConstraintSolver, EdgesCentresAndConstantsFixFrames) {
    FakeTextMetrics metrics;
    auto root = std::make_shared<View>(Rect{0, 0, 200, 100});
    auto centred = sizedView(40, 20);
    auto pinned = std::make_shared<View>();
    pinned->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto fixed = std::make_shared<View>(Rect{3, 4, 5, 6}); // keeps its frame
    root->addSubview(centred);
    root->addSubview(pinned);
    root->addSubview(fixed);
    activateConstraints({
        centred->centerXAnchor().constraintEqualToAnchor(root->centerXAnchor()),
        centred->centerYAnchor().constraintEqualToAnchor(root->centerYAnchor(), 10),
        pinned->leadingAnchor().constraintEqualToAnchor(root->leadingAnchor(), 12),
        pinned->trailingAnchor().constraintEqualToAnchor(root->trailingAnchor(), -12),
        pinned->topAnchor().constraintEqualToAnchor(centred->bottomAnchor(), 2),
        pinned->bottomAnchor().constraintEqualToAnchor(root->bottomAnchor(), -1),
    });
    root->layoutSubtree(metrics);
    EXPECT_EQ(centred->frame(), (Rect{80, 50, 40, 20}));
    EXPECT_EQ(pinned->frame(), (Rect{12, 72, 176, 27}));
    EXPECT_EQ(fixed->frame(), (Rect{3, 4, 5, 6}));
}

TEST(ConstraintSolver, LabelTakesItsTextHeightAtTheSolvedWidth) {
    FakeTextMetrics metrics; // 10 pt: 5 points a character, 12 a line
    auto root = std::make_shared<View>(Rect{0, 0, 60, 100});
    auto label = std::make_shared<TextField>();
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    label->setFont(Font::systemFont(10));
    label->setMaximumNumberOfLines(2);
    label->setStringValue("aaaa bbbb cccc dddd eeee");
    root->addSubview(label);
    activateConstraints({label->leadingAnchor().constraintEqualToAnchor(root->leadingAnchor()),
                         label->trailingAnchor().constraintEqualToAnchor(root->trailingAnchor()),
                         label->topAnchor().constraintEqualToAnchor(root->topAnchor())});
    root->layoutSubtree(metrics);
    EXPECT_EQ(label->frame(), (Rect{0, 0, 60, 24}));
    ASSERT_EQ(label->textLayout().lines.size(), 2u);
    EXPECT_EQ(label->textLayout().lines[0], "aaaa bbbb");
    EXPECT_EQ(label->textLayout().lines[1], "cccc dddd…");
}

TEST(ConstraintSolver, RemovingAViewDropsTheConstraintsThatNameIt) {
    auto root = std::make_shared<View>(Rect{0, 0, 100, 100});
    auto child = sizedView(10, 10);
    root->addSubview(child);
    activateConstraints({child->topAnchor().constraintEqualToAnchor(root->topAnchor(), 5)});
    ASSERT_EQ(root->constraints().size(), 1u);
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
        {StackOrientation::horizontal, LayoutAttribute::top, {31, 0, 30, 20}, {69, 0, 40, 30}},
        {StackOrientation::vertical, LayoutAttribute::centerX, {55, 21, 30, 20}, {50, 49, 40, 30}},
        {StackOrientation::vertical,
         LayoutAttribute::trailing,
         {110, 21, 30, 20},
         {100, 49, 40, 30}},
    };
    for (const auto& c : cases) {
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
        EXPECT_EQ(a->frame(), c.first) << static_cast<int>(c.orientation);
        EXPECT_EQ(b->frame(), c.second) << static_cast<int>(c.orientation);
    }
}

TEST(StackViewLayout, FittingSizeAndRemovalFromSuperview) {
    FakeTextMetrics metrics;
    auto stack = std::make_shared<StackView>();
    stack->setSpacing(8);
    auto a = sizedView(142, 122);
    auto b = sizedView(142, 122);
    stack->addArrangedSubview(a);
    stack->addArrangedSubview(b);
    EXPECT_EQ(stack->fittingSize(metrics), (Size{292, 122}));
    a->removeFromSuperview();
    ASSERT_EQ(stack->arrangedSubviews().size(), 1u);
    EXPECT_EQ(stack->fittingSize(metrics), (Size{142, 122}));
}

TEST(ImageViewScaling, ProportionalRectsAreCentredInTheBounds) {
    struct Case {
        int w, h;
        ImageScaling scaling;
        Rect expected;
    };
    const Case cases[] = {
        {16, 16, ImageScaling::proportionallyUpOrDown, {0, 0, 48, 48}},
        {256, 128, ImageScaling::proportionallyUpOrDown, {0, 12, 48, 24}},
        {16, 32, ImageScaling::proportionallyDown, {16, 8, 16, 32}},
        {96, 48, ImageScaling::proportionallyDown, {0, 12, 48, 24}},
        {0, 0, ImageScaling::proportionallyUpOrDown, {}},
    };
    for (const auto& c : cases) {
        ImageView view;
        view.setFrame({10, 10, 48, 48});
        view.setImageScaling(c.scaling);
        view.setImage(std::make_shared<Image>(Image{c.w, c.h, {}}));
        EXPECT_EQ(view.imageRect(), c.expected) << c.w << "x" << c.h;
    }
}

TEST(HitTesting, DeepestTopmostViewAndUnhandledClicksBubbleUp) {
    auto root = std::make_shared<Recorder>();
    root->setFrame({0, 0, 100, 100});
    auto under = std::make_shared<View>(Rect{10, 10, 50, 50});
    auto over = std::make_shared<View>(Rect{30, 30, 50, 50});
    auto leaf = std::make_shared<View>(Rect{5, 5, 10, 10}); // at 35..45 in the root
    over->addSubview(leaf);
    root->addSubview(under);
    root->addSubview(over);
    EXPECT_EQ(root->hitTest({40, 40}), leaf.get());
    EXPECT_EQ(root->hitTest({50, 50}), over.get());
    EXPECT_EQ(root->hitTest({15, 15}), under.get());
    EXPECT_EQ(root->hitTest({5, 5}), root.get());
    EXPECT_EQ(root->hitTest({100, 50}), nullptr);
    over->setHidden(true);
    EXPECT_EQ(root->hitTest({40, 40}), under.get());
    leaf->mouseUp({});
    EXPECT_EQ(root->clicks, 1);
}

class AppearanceTest : public ::testing::Test {
  protected:
    void TearDown() override { Appearance::setSystem(AppearanceName::aqua); }
};

TEST_F(AppearanceTest, ViewsAreToldWhenTheirEffectiveAppearanceChanges) {
    auto dark = std::make_shared<View>();
    dark->setAppearance(Appearance::named(AppearanceName::darkAqua));
    auto middle = std::make_shared<View>();
    auto leaf = std::make_shared<Recorder>();
    middle->addSubview(leaf);
    EXPECT_EQ(leaf->appearanceChanges, 0);
    dark->addSubview(middle); // the subtree enters a dark tree
    EXPECT_EQ(leaf->appearanceChanges, 1);
    EXPECT_EQ(leaf->effectiveAppearance().name(), AppearanceName::darkAqua);
    dark->setAppearance(Appearance::named(AppearanceName::darkAqua)); // no change, no call
    EXPECT_EQ(leaf->appearanceChanges, 1);
    middle->removeFromSuperview(); // back to the system's light appearance
    EXPECT_EQ(leaf->appearanceChanges, 2);
    Appearance::setSystem(AppearanceName::darkAqua);
    middle->propagateEffectiveAppearance();
    EXPECT_EQ(leaf->appearanceChanges, 3);
}

TEST_F(AppearanceTest, DynamicColoursResolveUnderTheCurrentDrawingAppearance) {
    const Color label = Color::labelColor().colorWithAlphaComponent(0.18);
    EXPECT_EQ(label.cgColor(), (RGBA{0, 0, 0, 0.18}));
    RGBA inDark;
    Appearance::named(AppearanceName::darkAqua).performAsCurrentDrawingAppearance([&] {
        inDark = label.cgColor();
    });
    EXPECT_EQ(inDark, (RGBA{1, 1, 1, 0.18}));
    EXPECT_EQ(Appearance::currentDrawingAppearance().name(), AppearanceName::aqua);
    EXPECT_EQ(Color::labelColor().resolvedIn(Appearance::named(AppearanceName::darkAqua)),
              (RGBA{1, 1, 1, 0.85}));
    EXPECT_EQ(Appearance::named(AppearanceName::aqua)
                  .bestMatchFromAppearancesWithNames({AppearanceName::darkAqua}),
              std::nullopt);
}

class PanelTest : public ::testing::Test {
  protected:
    std::shared_ptr<Panel> makePanel() {
        auto panel = std::make_shared<Panel>(backends, metrics, Rect{0, 0, 100, 80},
                                             WindowStyleMask::nonactivatingPanel,
                                             BackingStoreType::buffered, true);
        tracker = std::make_shared<Recorder>();
        tracker->setFrame({20, 20, 40, 20});
        panel->contentView()->addSubview(tracker);
        return panel;
    }
    FakeTextMetrics metrics;
    RecordingPanelBackendFactory backends;
    ManualRunLoop loop;
    std::shared_ptr<Recorder> tracker;
};

TEST_F(PanelTest, DeferredBackendIsMadeAtFirstOrderFrontAndToldOfChanges) {
    auto panel = makePanel();
    EXPECT_EQ(backends.created, 0);
    panel->orderFrontRegardless();
    EXPECT_EQ(backends.created, 1);
    EXPECT_TRUE(panel->isVisible());
    tracker->setAlphaValue(0.5);
    tracker->setAlphaValue(0.4); // coalesced until the next layout pass
    EXPECT_EQ(backends.count("needsDisplay"), 1);
    panel->layoutIfNeeded();
    tracker->setHidden(true);
    EXPECT_EQ(backends.count("needsDisplay"), 2);
    panel->setFrame({1, 2, 30, 40}, false);
    EXPECT_EQ(panel->contentView()->frame(), (Rect{0, 0, 30, 40}));
    panel->orderOut();
    panel->orderOut();
    EXPECT_EQ(backends.count("orderOut"), 1);
    EXPECT_EQ(flippedScreenRect({638, 374, 164, 152}, 900), (Rect{638, 374, 164, 152}));
    EXPECT_EQ(flippedScreenRect({0, 0, 10, 20}, 900), (Rect{0, 880, 10, 20}));
}

TEST_F(PanelTest, PointerCrossingsReachTrackingAreasOncePerCrossing) {
    auto panel = makePanel();
    panel->orderFrontRegardless();
    const Point path[] = {{5, 5}, {25, 25}, {30, 30}, {70, 30}, {50, 25}};
    for (Point p : path)
        panel->pointerMoved(p);
    EXPECT_EQ(tracker->entered, 2);
    EXPECT_EQ(tracker->exited, 1);
    panel->pointerLeft();
    EXPECT_EQ(tracker->exited, 2);
    panel->pointerLeft();
    EXPECT_EQ(tracker->exited, 2);

    panel->pointerMoved({30, 30});
    panel->orderOut(); // forgets the pointer without telling anyone
    panel->pointerLeft();
    panel->mouseUp({30, 30});
    EXPECT_EQ(tracker->exited, 2);
    EXPECT_EQ(tracker->clicks, 0);
    panel->orderFrontRegardless();
    panel->mouseUp({30, 30});
    EXPECT_EQ(tracker->clicks, 1);
}

TEST_F(PanelTest, AlphaAnimationRunsOnTheVirtualClockAndCompletesOnce) {
    auto panel = makePanel();
    AnimationContext animations(loop);
    int completions = 0;
    panel->setAlphaValue(0);
    animations.runAnimationGroup(
        [&](AnimationGroup& group) {
            group.duration = 0.5;
            group.animateAlphaValue(panel, 1);
        },
        [&] { ++completions; });
    loop.advance(0.25);
    EXPECT_NEAR(panel->alphaValue(), 0.5, 0.04);
    EXPECT_EQ(completions, 0);
    loop.advance(0.25);
    EXPECT_EQ(panel->alphaValue(), 1);
    EXPECT_EQ(completions, 1);
    loop.advance(1);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(loop.validTimerCount(), 0u);
}

TEST_F(PanelTest, CancelledGroupStopsAndNeverCompletesNewerGroupTakesOverAlpha) {
    auto panel = makePanel();
    AnimationContext animations(loop);
    int outs = 0, ins = 0;
    auto fadeOut = animations.runAnimationGroup(
        [&](AnimationGroup& group) {
            group.duration = 0.5;
            group.animateAlphaValue(panel, 0);
        },
        [&] { ++outs; });
    loop.advance(0.2);
    auto fadeIn = animations.runAnimationGroup(
        [&](AnimationGroup& group) {
            group.duration = 0.15;
            group.animateAlphaValue(panel, 1);
        },
        [&] { ++ins; });
    loop.advance(0.4); // the fade-out ends after the fade-in without touching alpha
    EXPECT_EQ(panel->alphaValue(), 1);
    EXPECT_EQ(outs, 1);
    EXPECT_EQ(ins, 1);

    auto cancelled = animations.runAnimationGroup(
        [&](AnimationGroup& group) {
            group.duration = 0.5;
            group.animateAlphaValue(panel, 0);
        },
        [&] { ++outs; });
    loop.advance(0.1);
    cancelled->cancel();
    const double stoppedAt = panel->alphaValue();
    loop.advance(1);
    EXPECT_EQ(outs, 1);
    EXPECT_TRUE(cancelled->isDone());
    EXPECT_EQ(panel->alphaValue(), stoppedAt);
    EXPECT_GT(stoppedAt, 0.7);
}

TEST_F(PanelTest, UnfinishedAnimationDiesWithItsRunLoop) {
    std::weak_ptr<Panel> watched;
    {
        ManualRunLoop shortLived;
        AnimationContext animations(shortLived);
        auto panel = makePanel();
        watched = panel;
        animations.runAnimationGroup(
            [&](AnimationGroup& group) { group.animateAlphaValue(panel, 0); });
        shortLived.advance(0.1);
    }
    EXPECT_TRUE(watched.expired());
}

} // namespace
} // namespace corvane
