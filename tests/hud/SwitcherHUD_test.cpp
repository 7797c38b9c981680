// The switcher HUD over fakes and the virtual clock: row and frame arithmetic, fades and
// onDismiss, the dismiss timer, cards kept and clicked across window lists, and a chord during
// the fade-out. The first selection, stepping and an empty list are played through whole
// switches (tests/app) and the core fuzzer's invariants.

#include "fakes/FakeScreen.h"
#include "fakes/FakeTextMetrics.h"
#include "fakes/ManualRunLoop.h"
#include "fakes/RecordingPanelBackend.h"
#include "hud/SwitcherHUD.h"
#include "platform/ui/ImageView.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>
#include <utility>

namespace corvane {
namespace {

using namespace corvane::testing;

std::vector<WindowInfo> makeWindows(int count, const std::string& app = "App") {
    std::vector<WindowInfo> list;
    for (int i = 0; i < count; ++i)
        list.push_back(
            {CGWindowID(100 + i), app, app + " " + std::to_string(i), {}, 500 + i, false});
    return list;
}

class HUDTest : public ::testing::Test {
  protected:
    HUDTest() {
        hud->onActivate = [this](WindowInfo info) {
            activated.push_back(info.windowTitle);
            fadingWhenActivated = hud->isFadingOut();
        };
        hud->onDismiss = [this] { ++dismissals; };
    }

    // Opens a fresh switch of `count` windows, after the last one's fade-out when there was one.
    void open(int count, bool forward = true) {
        if (hud->panel) {
            hud->hide();
            loop.advance(0.5);
        }
        hud->windows = makeWindows(count);
        hud->show(forward);
    }
    // The middle of card i's application name: a click there reaches the card through the label.
    Point nameOfCard(std::size_t i) {
        hud->panel->layoutIfNeeded();
        const Rect r = hud->cardViews[i]->subviews().at(1)->frameInAncestor();
        return {r.midX(), r.midY()};
    }

    ManualRunLoop loop;
    FakeScreen screen;
    FakeTextMetrics metrics;
    RecordingPanelBackendFactory backends;
    UiContext ui{loop, screen, metrics, backends};
    std::shared_ptr<SwitcherHUD> hud = std::make_shared<SwitcherHUD>(ui);
    std::vector<std::string> activated;
    bool fadingWhenActivated = false;
    int dismissals = 0;
};

// Screen widths and how many cards fit in one row.
const std::pair<double, int> kRowCapacities[] = {{1440, 9}, {1280, 7}, {1920, 12}, {2560, 16},
                                                 {300, 1},  {200, 1},  {104, 1}};

TEST(HUDRows, CapacityFollowsTheScreenWidth) {
    for (auto [width, capacity] : kRowCapacities)
        EXPECT_EQ(SwitcherHUD::rowCapacity(width), capacity) << width;
    for (double nonsense : {0.0, -50.0, double(NAN)})
        EXPECT_EQ(SwitcherHUD::rowCapacity(nonsense), 1) << nonsense;
    const auto twoSingles = SwitcherHUD::rowLayout(200, 2);
    EXPECT_EQ(std::pair(twoSingles.rows, twoSingles.perRow), std::pair(2, 1));
}

TEST_F(HUDTest, PanelFrameAndRowsForEachListLength) {
    struct Case {
        int windows;
        Rect frame;
        std::vector<std::size_t> rowSizes;
    };
    const Case cases[] = {
        {1, {637, 373, 166, 154}, {1}},
        {3, {487, 373, 466, 154}, {3}},
        {9, {37, 373, 1366, 154}, {9}},
        {10, {337, 308, 766, 284}, {5, 5}},
        {11, {262, 308, 916, 284}, {6, 5}},
        // Wider than the screen: slid right from x = -413 to show the second card.
        {30, {-150, 308, 2266, 284}, {15, 15}},
    };
    for (const auto& c : cases) {
        open(c.windows);
        EXPECT_EQ(hud->panel->frame(), c.frame) << c.windows;
        std::vector<std::size_t> rowSizes;
        for (const auto& row : hud->containerStack->arrangedSubviews())
            rowSizes.push_back(dynamic_cast<StackView&>(*row).arrangedSubviews().size());
        EXPECT_EQ(rowSizes, c.rowSizes) << c.windows;
        // The backdrop tracks the pointer over the whole panel with one area, however often
        // the panel is refilled.
        View& background = *hud->panel->contentView();
        background.updateTrackingAreas();
        ASSERT_EQ(background.trackingAreas().size(), 1u);
        EXPECT_EQ(background.trackingAreas()[0]->rect, (Rect{0, 0, c.frame.width, c.frame.height}));
    }
    EXPECT_EQ(backends.created, 1) << "one panel, built once";
}

TEST_F(HUDTest, FullRowsLieInsideThePanelWithEqualSideMargins) {
    for (auto [width, capacity] : kRowCapacities) {
        for (int windows : {capacity, 2 * capacity}) {
            SCOPED_TRACE(::testing::Message() << width << " points, " << windows << " windows");
            screen.frame = Rect{0, 0, width, 900};
            open(windows);
            hud->panel->layoutIfNeeded();
            const Rect bounds = hud->panel->contentView()->bounds();
            for (const auto& row : hud->containerStack->arrangedSubviews()) {
                const auto& wrappers = dynamic_cast<StackView&>(*row).arrangedSubviews();
                const Rect first =
                    wrappers.front()->frameInAncestor(hud->panel->contentView().get());
                const Rect last = wrappers.back()->frameInAncestor(hud->panel->contentView().get());
                // At least the backdrop's insets all round, the same at both sides.
                EXPECT_GE(first.x, 12);
                EXPECT_EQ(first.x, bounds.width - last.maxX());
                EXPECT_GE(first.y, 16);
                EXPECT_GE(bounds.height - first.maxY(), 16);
            }
        }
    }
}

TEST_F(HUDTest, APanelWiderThanTheScreenKeepsTheSelectedCardOnScreen) {
    for (int count : {20, 30, 60}) {
        for (bool forward : {true, false}) {
            SCOPED_TRACE(::testing::Message() << count << " windows, forward " << forward);
            open(count, forward);
            const Rect centred = SwitcherHUD::panelFrame(*screen.frame, count);
            for (int step = 0; step <= count; ++step) {
                const Rect frame = hud->panel->frame();
                const Rect card = hud->cardWrappers[hud->selectedIndex]->frameInAncestor();
                EXPECT_GE(frame.x + card.x, screen.frame->x) << hud->selectedIndex;
                EXPECT_LE(frame.x + card.maxX(), screen.frame->maxX()) << hud->selectedIndex;
                // Only sideways, and still past both edges.
                EXPECT_EQ((Rect{centred.x, frame.y, frame.width, frame.height}), centred);
                EXPECT_LE(frame.x, screen.frame->x);
                EXPECT_GE(frame.maxX(), screen.frame->maxX());
                hud->moveSelection(forward);
            }
        }
    }
}

TEST_F(HUDTest, OpensCentredOnWhicheverScreenIsMainAtThatMoment) {
    screen.frame = Rect{1440, 0, 1920, 1080};
    open(1);
    EXPECT_EQ(hud->panel->frame(), (Rect{2317, 463, 166, 154}));
    screen.frame.reset(); // no screen: the fallback frame
    hud->show(true);      // still open: does not move
    EXPECT_EQ(hud->panel->frame(), (Rect{2317, 463, 166, 154}));
    open(1);
    EXPECT_EQ(hud->panel->frame(), (Rect{637, 373, 166, 154}));
}

TEST_F(HUDTest, OnDismissFollowsEachFadeOutOnce) {
    hud->hide(); // never opened
    open(3);
    loop.advance(0.15);
    hud->hide();
    loop.advance(0.49);
    EXPECT_EQ(std::pair(dismissals, hud->panel->isVisible()), std::pair(0, true));
    hud->hide(); // a second group while the first runs
    loop.advance(0.01);
    EXPECT_EQ(std::pair(dismissals, hud->panel->isVisible()), std::pair(1, false));
    loop.advance(0.5);
    EXPECT_EQ(dismissals, 2);
    hud->hide(); // hidden: no animation, no call
    loop.advance(1);
    EXPECT_EQ(std::tuple(dismissals, backends.journal.count("orderOut")), std::tuple(2, 1));
}

TEST_F(HUDTest, DismissTimerCommitsOneSecondAfterThePointerLastLeft) {
    open(3);
    Panel& panel = *hud->panel;
    const Point inside{50, 50};

    panel.pointerMoved(inside);
    panel.pointerLeft();
    loop.advance(0.9);
    panel.pointerMoved(inside); // back in time: no commit
    loop.advance(2);
    EXPECT_TRUE(activated.empty());

    panel.pointerLeft(); // t = 2.9
    loop.advance(0.3);
    panel.pointerMoved(inside);
    loop.advance(0.3);
    panel.pointerLeft(); // 0.6 s after the first exit
    loop.advance(0.99);
    EXPECT_TRUE(activated.empty());
    loop.advance(0.01);
    EXPECT_EQ(activated, std::vector<std::string>{"App 1"});
    loop.advance(3);
    EXPECT_EQ(activated.size(), 1u);
}

// The panel is prepared for one list and shown for another, as when windows change between
// two switches: every card must show its window as it is now, whatever was kept, and only the
// kept cards that look different may be repainted (the others are copied from their pictures).
TEST_F(HUDTest, CardsShowTheWindowsAsTheyAreAtTheChordKeepingWhatTheyCan) {
    using Change = std::function<void(std::vector<WindowInfo>&)>;
    struct Case {
        const char* name;
        Change change;
        std::size_t kept;      // cards of the prepared panel still on it
        std::size_t repainted; // of those, the ones that look different
    };
    auto pixels = [](const ImageRef& image) {
        return image ? image->argb : std::vector<std::uint32_t>{};
    };
    const auto icon = std::make_shared<Image>(Image{1, 1, {0xFF00FF00u}});
    const auto otherIcon = std::make_shared<Image>(Image{1, 1, {0xFFFF0000u}});
    const Case cases[] = {
        {"the committed window moves to the front (the selection moves with the cards)",
         [](auto& w) { std::rotate(w.begin(), w.begin() + 2, w.begin() + 3); }, 5, 2},
        {"a window renamed", [](auto& w) { w[2].windowTitle = "App Renamed"; }, 5, 1},
        {"an icon changed", [&](auto& w) { w[3].appIcon = otherIcon; }, 5, 1},
        {"the same icon in a new image",
         [](auto& w) { w[3].appIcon = std::make_shared<Image>(*w[3].appIcon); }, 5, 0},
        {"two windows minimized, one selected: both dimmed",
         [](auto& w) {
             for (auto* minimized : {&w[1], &w[3]}) {
                 minimized->windowID = 0;
                 minimized->isMinimized = true;
             }
         },
         3, 0},
        {"a window created", [](auto& w) { w.insert(w.begin(), makeWindows(1, "New")[0]); }, 5, 2},
        {"a window destroyed", [](auto& w) { w.erase(w.begin() + 3); }, 4, 0},
        {"the same numbers for other windows", [](auto& w) { w = makeWindows(4, "Other"); }, 4, 4},
        {"two rows", [](auto& w) { w.resize(12, makeWindows(1, "More")[0]); }, 5, 0},
        {"back to one row", [](auto& w) { w.resize(2); }, 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        open(5);
        hud->hide();
        loop.advance(0.5);
        for (auto& window : hud->windows)
            window.appIcon = icon;
        hud->prepare();
        const auto prepared = hud->cardViews;
        std::vector<std::uint64_t> generations;
        for (const auto& wrapper : hud->cardWrappers)
            generations.push_back(wrapper->displayGeneration());
        c.change(hud->windows);
        hud->show(true);

        ASSERT_EQ(hud->cardViews.size(), hud->windows.size());
        std::vector<std::shared_ptr<View>> arranged;
        for (const auto& row : hud->containerStack->arrangedSubviews())
            for (const auto& wrapper : dynamic_cast<StackView&>(*row).arrangedSubviews())
                arranged.push_back(wrapper);
        EXPECT_EQ(arranged, hud->cardWrappers);
        std::size_t kept = 0, repainted = 0;
        for (std::size_t i = 0; i < hud->windows.size(); ++i) {
            const WindowInfo& window = hud->windows[i];
            const auto& card = hud->cardViews[i];
            if (auto was = std::find(prepared.begin(), prepared.end(), card);
                was != prepared.end()) {
                ++kept;
                repainted += hud->cardWrappers[i]->displayGeneration() !=
                             generations[std::size_t(was - prepared.begin())];
            }
            EXPECT_EQ(pixels(dynamic_cast<ImageView&>(*card->subviews()[0]).image()),
                      pixels(window.appIcon));
            EXPECT_EQ(dynamic_cast<TextField&>(*card->subviews()[1]).stringValue(), window.appName);
            EXPECT_EQ(dynamic_cast<TextField&>(*card->subviews()[2]).stringValue(),
                      window.windowTitle);
            EXPECT_EQ(card->alphaValue(), window.isMinimized ? 0.5 : 1);
            // The second card is selected, and only it has the selection ring.
            EXPECT_EQ(card->isSelected(), i == 1);
            EXPECT_EQ(hud->cardWrappers[i]->layer()->borderWidth(), i == 1 ? 1 : 0);
        }
        EXPECT_EQ(std::pair(kept, repainted), std::pair(c.kept, c.repainted));
        // A click starts the fade, then commits the window of the card clicked, where it is now.
        hud->panel->mouseUp(nameOfCard(0));
        ASSERT_FALSE(activated.empty()) << "a click on the label reaches the card";
        EXPECT_EQ(activated.back(), hud->windows[0].windowTitle);
        EXPECT_TRUE(fadingWhenActivated);
        EXPECT_EQ(hud->selectedIndex, 0);
        EXPECT_TRUE(hud->cardViews[1]->isSelected()) << "the fading panel keeps its highlight";
    }
    hud->selectedIndex = 7; // out of range: nothing committed
    hud->activateSelected();
    EXPECT_EQ(activated.size(), std::size(cases));
}

TEST_F(HUDTest, ChordDuringTheFadeOutOpensAFreshSwitch) {
    open(3);
    hud->moveSelection(true); // "App 2"
    hud->activateSelected();
    loop.advance(0.2);

    hud->windows = makeWindows(4, "Next"); // the controller's fresh list
    hud->show(true);
    // The first-selection rule on the rebuilt cards: the second window.
    EXPECT_EQ(hud->cardViews.at(hud->selectedIndex)->info().windowTitle, "Next 1");
    EXPECT_EQ(std::pair(hud->panel->frame(), hud->panel->alphaValue()),
              std::pair(SwitcherHUD::panelFrame(*screen.frame, 4), 0.0));

    loop.advance(1); // past the old fade's end
    EXPECT_EQ(std::tuple(dismissals, hud->panel->isVisible(), hud->panel->alphaValue()),
              std::tuple(0, true, 1.0));

    hud->activateSelected();
    EXPECT_EQ(activated, (std::vector<std::string>{"App 2", "Next 1"}));
    loop.advance(0.5);
    EXPECT_EQ(dismissals, 1);
}

TEST_F(HUDTest, TheFadingPanelCommitsNothingMoreAndClosuresDieWithTheHUD) {
    open(3);
    auto panel = hud->panel;
    panel->pointerMoved({50, 50});
    hud->activateSelected();
    EXPECT_TRUE(panel->ignoresMouseEvents()) << "the pointer goes through the fading panel";
    panel->pointerLeft();
    panel->mouseUp(nameOfCard(0)); // the fading panel's cards commit nothing either
    panel->pointerMoved({50, 50});
    EXPECT_FALSE(hud->mouseIsOver) << "no switch to keep open";
    loop.advance(2);
    EXPECT_EQ(activated.size(), 1u) << "no second commit";
    EXPECT_EQ(loop.validTimerCount(), 0u);

    hud->show(true);
    EXPECT_FALSE(panel->ignoresMouseEvents());
    panel->pointerMoved({50, 50});
    panel->pointerLeft(); // arms the timer
    hud->activateSelected();
    hud.reset();
    loop.advance(2);
    EXPECT_FALSE(panel->isVisible()); // the fade still orders the panel out
    EXPECT_EQ(std::tuple(dismissals, activated.size()), std::tuple(1, 2u));
}

} // namespace
} // namespace corvane
