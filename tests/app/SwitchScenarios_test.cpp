#include "hud/SwitcherHUD.h"
#include "tests/app/ShellWorld.h"

#include <gtest/gtest.h>
#include <map>

// Whole switches as the user makes them: keys enter through the tap callback, the run loop runs
// the queued actions and the HUD's fades and timers, the recorded desktop answers and raises.
namespace corvane::testing {
namespace {

struct SwitchWorld {
    ShellWorld world;
    std::map<std::uint64_t, std::string> titleOf;

    // Two applications, three windows on screen, front to back: Doc A, Shell, Doc B.
    void setUp() {
        world.desktop.addApp(200, "Editor");
        world.desktop.addApp(300, "Terminal");
        addWindow(200, 11, "Doc A");
        addWindow(300, 21, "Shell");
        addWindow(200, 12, "Doc B");
        world.launch();
        world.desktop.clearCalls();
    }
    void addWindow(pid_t pid, std::uint32_t number, const std::string& title) {
        titleOf[world.desktop.addOnScreenWindow(pid, number, title)] = title;
    }

    SwitcherHUD& hud() { return *world.delegate->hud; }
    // The title of the window raised last, or "" when none was.
    std::string raised() const {
        const auto window = world.desktop.lastRaisedWindow();
        return window ? titleOf.at(*window) : std::string();
    }
    std::size_t enumerations() const {
        return world.desktop.callsStartingWith("copyWindowList").size();
    }
    bool panelVisible() { return hud().panel && hud().panel->isVisible(); }

    void pointerOverPanel() { hud().panel->pointerMoved(Point{5, 5}); }
    void clickCard(std::size_t index) {
        Panel& panel = *hud().panel;
        panel.layoutIfNeeded();
        const Rect card = hud().cardWrappers.at(index)->frameInAncestor(panel.contentView().get());
        panel.pointerMoved(Point{card.midX(), card.midY()});
        panel.mouseUp(Point{card.midX(), card.midY()});
        world.loop.runQueued();
    }

    // Option down, then the chord `tabs` times (the first with Shift when backward).
    void holdAndTab(int tabs, bool shiftFirst = false) {
        world.modifiers(OPT);
        for (int i = 0; i < tabs; ++i) {
            const std::uint64_t flags = (i == 0 && shiftFirst) ? OPT | SHIFT : OPT;
            EXPECT_EQ(world.press(kVK_Tab, flags), TapResult::swallow);
        }
    }
    void release() { world.modifiers(0); }
    void fadeOut() { world.loop.advance(0.6); }
};

struct SwitchScenario : ::testing::Test, SwitchWorld {
    void SetUp() override { setUp(); }
};

TEST_F(SwitchScenario, OneWholeSwitchRaisesTheSecondWindow) {
    holdAndTab(1);
    EXPECT_TRUE(panelVisible());
    EXPECT_EQ(hud().selectedIndex, 1);
    EXPECT_EQ(raised(), "");
    release();
    EXPECT_EQ(raised(), "Shell");
    EXPECT_EQ(world.desktop.activeApp(), 300);
    EXPECT_EQ(world.flags(), (SwitchFlags{false, false, false}));
    fadeOut();
    EXPECT_FALSE(panelVisible());
    EXPECT_EQ(world.flags(), (SwitchFlags{false, false, false}));
    EXPECT_FALSE(world.taps.tap()->interests.back().switchKeysWanted);
}

TEST_F(SwitchScenario, FurtherTabsStepAndWrapWithoutFetchingTheListAgain) {
    holdAndTab(3);
    EXPECT_EQ(enumerations(), 1u);
    EXPECT_EQ(hud().selectedIndex, 0);
    release();
    EXPECT_EQ(raised(), "Doc A");
}

TEST_F(SwitchScenario, ShiftAsTheFirstPressSelectsTheLastWindow) {
    world.modifiers(OPT);
    world.modifiers(OPT | SHIFT);
    world.press(kVK_Tab, OPT | SHIFT);
    EXPECT_EQ(hud().selectedIndex, 2);
    world.press(kVK_Tab, OPT | SHIFT);
    EXPECT_EQ(hud().selectedIndex, 1);
    world.modifiers(OPT);
    release();
    EXPECT_EQ(raised(), "Shell");
}

TEST_F(SwitchScenario, ArrowsAndPlainTabStepWhileOtherKeysPass) {
    holdAndTab(1);
    struct Step {
        std::int64_t key;
        std::uint64_t flags;
        int selectedAfter;
    };
    const Step steps[] = {
        {kVK_RightArrow, OPT, 2},        {kVK_RightArrow, OPT, 0}, {kVK_LeftArrow, OPT, 2},
        {kVK_LeftArrow, OPT | SHIFT, 1}, {kVK_Tab, OPT | CMD, 2},  {kVK_Tab, OPT | CMD | SHIFT, 1},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(world.press(step.key, step.flags), TapResult::swallow);
        EXPECT_EQ(hud().selectedIndex, step.selectedAfter);
    }
    EXPECT_EQ(world.keyDown(0 /* A */, OPT), TapResult::pass);
    EXPECT_EQ(world.keyDown(126 /* Up */, OPT), TapResult::pass);
    release();
    EXPECT_EQ(raised(), "Shell");
}

TEST_F(SwitchScenario, ReturnOrKeypadEnterCommitsAtOnceAndTheReleaseDoesNothingMore) {
    for (std::int64_t key : {kVK_Return, kVK_ANSI_KeypadEnter}) {
        SCOPED_TRACE(key);
        holdAndTab(2);
        EXPECT_EQ(world.press(key, OPT), TapResult::swallow);
        EXPECT_EQ(raised(), "Doc B");
        const auto activations = world.desktop.callsStartingWith("activateApplication").size();
        release();
        EXPECT_EQ(world.desktop.callsStartingWith("activateApplication").size(), activations);
        fadeOut();
        EXPECT_EQ(world.flags(), (SwitchFlags{false, false, false}));
        world.desktop.clearCalls();
    }
}

TEST_F(SwitchScenario, EscapeThenReleaseRaisesNothing) {
    holdAndTab(2);
    EXPECT_EQ(world.press(kVK_Escape, OPT), TapResult::swallow);
    release();
    fadeOut();
    EXPECT_EQ(raised(), "");
    EXPECT_TRUE(world.desktop.callsStartingWith("activateApplication").empty());
    EXPECT_FALSE(panelVisible());
}

TEST_F(SwitchScenario, HoverModeKeepsThePanelUntilTheUserEndsIt) {
    struct Ending {
        const char* name;
        std::function<void(SwitchWorld&)> end;
        std::string raised;
    };
    const Ending endings[] = {
        {"click on the third card", [](SwitchWorld& s) { s.clickCard(2); }, "Doc B"},
        {"Return", [](SwitchWorld& s) { s.world.press(kVK_Return, 0); }, "Shell"},
        {"Escape", [](SwitchWorld& s) { s.world.press(kVK_Escape, 0); }, ""},
        {"a second outside the panel",
         [](SwitchWorld& s) {
             s.hud().panel->pointerLeft();
             s.world.loop.advance(0.9);
             EXPECT_EQ(s.raised(), "");
             s.world.loop.advance(0.2);
         },
         "Shell"},
    };
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        SwitchWorld s;
        s.setUp();
        s.holdAndTab(1);
        s.pointerOverPanel();
        s.release();
        EXPECT_EQ(s.raised(), "");
        EXPECT_TRUE(s.panelVisible());
        EXPECT_EQ(s.world.flags(), (SwitchFlags{false, false, true}));
        EXPECT_TRUE(s.world.taps.tap()->interests.back().switchKeysWanted);
        EXPECT_EQ(s.world.press(kVK_RightArrow, 0), TapResult::swallow);
        EXPECT_EQ(s.world.press(kVK_Tab, SHIFT), TapResult::swallow);
        EXPECT_EQ(s.hud().selectedIndex, 1);

        ending.end(s);
        EXPECT_EQ(s.raised(), ending.raised);
        s.fadeOut();
        EXPECT_FALSE(s.panelVisible());
        EXPECT_EQ(s.world.flags(), (SwitchFlags{false, false, false}));
        EXPECT_FALSE(s.world.taps.tap()->interests.back().switchKeysWanted);
    }
}

TEST_F(SwitchScenario, WithKeepOpenOffTheReleaseRaisesEvenOverThePanel) {
    world.preferences.set(kMouseHoverKeepOpenPreferenceKey, false);
    holdAndTab(1);
    pointerOverPanel();
    release();
    EXPECT_EQ(raised(), "Shell");
    EXPECT_FALSE(world.delegate->hudMouseHoverMode);
}

TEST_F(SwitchScenario, TheChordInHoverModeFetchesAFreshListAndStepsOn) {
    holdAndTab(1);
    pointerOverPanel();
    release();
    addWindow(300, 22, "Logs");
    holdAndTab(1);
    EXPECT_EQ(enumerations(), 2u);
    EXPECT_EQ(hud().windows.size(), 4u);
    EXPECT_EQ(hud().cardViews.size(), 4u);
    EXPECT_EQ(hud().selectedIndex, 2);
    world.loop.runQueued();
    hud().panel->pointerLeft();
    release();
    EXPECT_EQ(raised(), "Doc B");
}

TEST_F(SwitchScenario, AnEmptyWindowListShowsNothingAndEndsQuietly) {
    ShellWorld empty;
    empty.launch();
    empty.modifiers(OPT);
    EXPECT_EQ(empty.press(kVK_Tab, OPT), TapResult::swallow);
    EXPECT_TRUE(empty.delegate->hudIsShowing);
    EXPECT_TRUE(empty.delegate->hud->panel == nullptr || !empty.delegate->hud->panel->isVisible());
    empty.modifiers(0);
    empty.loop.advance(2);
    EXPECT_FALSE(empty.desktop.lastRaisedWindow().has_value());
    EXPECT_EQ(empty.flags(), (SwitchFlags{false, false, false}));
}

TEST_F(SwitchScenario, AChordDuringThePreviousFadeOutIsAFreshSwitch) {
    holdAndTab(1);
    release();
    ASSERT_EQ(raised(), "Shell");
    world.loop.advance(0.2); // the panel is still fading out

    holdAndTab(1);
    EXPECT_EQ(enumerations(), 2u);
    EXPECT_EQ(hud().selectedIndex, 1) << "first-selection rule, not the old index plus one";
    world.loop.advance(1.0); // held past the old fade-out's end
    EXPECT_TRUE(panelVisible());
    EXPECT_TRUE(world.delegate->hudIsShowing);
    world.press(kVK_Tab, OPT);
    release();
    EXPECT_EQ(raised(), "Doc B");
}

} // namespace
} // namespace corvane::testing
