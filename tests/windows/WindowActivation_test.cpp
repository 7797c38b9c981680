#include "fakes/RecordedDesktop.h"
#include "windows/WindowCatalogue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

WindowInfo record(pid_t pid, std::string title, bool isMinimized = false, int occurrence = 0) {
    return WindowInfo{
        isMinimized ? 0u : 51u, "Editor", std::move(title), nullptr, pid, isMinimized, occurrence};
}

// Editor (200) with windows 1 "Doc A", 2 "Doc B", 3 "Doc B", 4 with a title that is not a string.
class WindowActivation : public ::testing::Test {
  protected:
    WindowActivation() {
        desktop.addApp(200, "Editor");
        desktop.addAXWindow(200, "Doc A");
        desktop.addAXWindow(200, "Doc B");
        desktop.addAXWindow(200, "Doc B");
        desktop.addAXWindowAnswering(200, {kAXErrorSuccess, OtherValue{"url"}}, {});
    }
    std::vector<std::string> accessibilityWrites() {
        auto writes = desktop.log.startingWith("set ");
        for (auto& line : desktop.log.startingWith("perform "))
            writes.push_back(line);
        return writes;
    }
    RecordedDesktop desktop;
};

TEST_F(WindowActivation, MakesTheFirstWindowWithTheTitleMainThenRaisesIt) {
    activateWindow(desktop.catalogue(), record(200, "Doc B"));
    EXPECT_THAT(desktop.log.calls,
                ElementsAre("runningApplicationWithProcessIdentifier 200",
                            "activateApplication 200 options=0", "createApplication 200",
                            "copy 200 AXWindows", "copy 200/1 AXTitle", "copy 200/2 AXTitle",
                            "set 200/2 AXMain true", "perform 200/2 AXRaise"));
    EXPECT_EQ(desktop.activeApp, 200);
}

TEST_F(WindowActivation, ChoosesTheTargetByTitle) {
    struct Case {
        const char* name;
        WindowInfo info;
        std::vector<std::string> writes;
    };
    const Case cases[] = {
        {"the second of two windows with one title",
         record(200, "Doc B", false, 1),
         {"set 200/3 AXMain true", "perform 200/3 AXRaise"}},
        {"a minimized record goes the same way",
         record(200, "Doc B", true, 1),
         {"set 200/3 AXMain true", "perform 200/3 AXRaise"}},
        {"an empty title is a title like any other",
         record(200, ""),
         {"set 200/4 AXMain true", "perform 200/4 AXRaise"}},
        {"no match raises the first window without making it main",
         record(200, "Renamed"),
         {"perform 200/1 AXRaise"}},
        {"nor does a same-titled window that has gone",
         record(200, "Doc B", false, 2),
         {"perform 200/1 AXRaise"}},
        {"a title that is not a string is never matched",
         record(200, "url"),
         {"perform 200/1 AXRaise"}},
        {"an added combining mark makes another title",
         record(200, "Doc\xCC\x81 A"),
         {"perform 200/1 AXRaise"}},
    };
    for (const Case& c : cases) {
        desktop.log.calls.clear();
        activateWindow(desktop.catalogue(), c.info);
        EXPECT_EQ(accessibilityWrites(), c.writes) << c.name;
    }

    desktop.addAXWindow(200, "R\xC3\xA9sum\xC3\xA9");
    desktop.log.calls.clear();
    activateWindow(desktop.catalogue(), record(200, "Re\xCC\x81sume\xCC\x81"));
    EXPECT_THAT(accessibilityWrites(),
                ElementsAre("set 200/5 AXMain true", "perform 200/5 AXRaise"));
}

TEST_F(WindowActivation, PassesActivationOptionsForTheSystemVersion) {
    desktop.setMacOS14(false);
    activateWindow(desktop.catalogue(), record(200, "Doc A"));
    desktop.setMacOS14(true);
    activateWindow(desktop.catalogue(), record(200, "Doc A"));
    EXPECT_THAT(
        desktop.log.startingWith("activateApplication"),
        ElementsAre("activateApplication 200 options=2", "activateApplication 200 options=0"));
}

TEST_F(WindowActivation, VanishedProcessStillGetsTheAccessibilitySteps) {
    desktop.addAXWindow(500, "Orphan"); // element 5; pid 500 is not a running application
    activateWindow(desktop.catalogue(), record(500, "Orphan"));
    EXPECT_THAT(desktop.log.startingWith("activateApplication"), IsEmpty());
    EXPECT_THAT(accessibilityWrites(),
                ElementsAre("set 500/5 AXMain true", "perform 500/5 AXRaise"));
}

TEST_F(WindowActivation, UnreadableWindowListLeavesOnlyTheApplicationActivation) {
    const AXCopyResult answers[] = {
        {kAXErrorCannotComplete, std::nullopt},
        {kAXErrorFailure, std::vector<AXUIElement>{{200, 1}}},
        {kAXErrorSuccess, true},
        {kAXErrorSuccess, std::vector<AXUIElement>{}},
    };
    for (const AXCopyResult& answer : answers) {
        desktop.setAXWindowsAnswer(200, answer);
        desktop.log.calls.clear();
        activateWindow(desktop.catalogue(), record(200, "Doc A"));
        EXPECT_THAT(desktop.log.startingWith("activateApplication"),
                    ElementsAre("activateApplication 200 options=0"));
        EXPECT_THAT(accessibilityWrites(), IsEmpty());
    }
}

} // namespace
} // namespace corvane::testing
