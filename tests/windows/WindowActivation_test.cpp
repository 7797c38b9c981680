#include "fakes/RecordedDesktop.h"
#include "windows/WindowCatalogue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

using Calls = std::vector<std::string>;

WindowInfo record(pid_t pid, std::string title, bool isMinimized = false, int occurrence = 0) {
    return WindowInfo{
        isMinimized ? 0u : 51u, "Editor", std::move(title), nullptr, pid, isMinimized, occurrence};
}

// Editor (200) with windows 1 "Doc A", 2 "Doc B", 3 "Doc B", 4 with a title that is not a string,
// 5 "Résumé" (precomposed); window 6 "Orphan" of pid 500, which is not a running application.
void layOut(RecordedDesktop& desktop) {
    desktop.addApp(200, "Editor");
    desktop.addAXWindow(200, "Doc A");
    desktop.addAXWindow(200, "Doc B");
    desktop.addAXWindow(200, "Doc B");
    desktop.addAXWindowAnswering(200, {kAXErrorSuccess, OtherValue{"url"}}, {});
    desktop.addAXWindow(200, "R\xC3\xA9sum\xC3\xA9");
    desktop.addAXWindow(500, "Orphan");
}

TEST(WindowActivation, MakesTheFirstWindowWithTheTitleMainThenRaisesIt) {
    RecordedDesktop desktop;
    layOut(desktop);
    activateWindow(desktop.catalogue(), record(200, "Doc B"));
    EXPECT_THAT(desktop.log.calls,
                ::testing::ElementsAre("runningApplicationWithProcessIdentifier 200",
                                       "activateApplication 200 options=0", "createApplication 200",
                                       "copy 200 AXWindows", "copy 200/1 AXTitle",
                                       "copy 200/2 AXTitle", "set 200/2 AXMain true",
                                       "perform 200/2 AXRaise"));
    EXPECT_EQ(desktop.activeApp, 200);
}

TEST(WindowActivation, ChoosesTheTargetByTitleAndItsOccurrence) {
    const Calls firstRaised{"perform 200/1 AXRaise"};
    const auto mainAndRaised = [](const std::string& window) {
        return Calls{"set " + window + " AXMain true", "perform " + window + " AXRaise"};
    };
    struct Case {
        const char* name;
        WindowInfo info;
        Calls writes;
        Calls activation = {"activateApplication 200 options=0"};
        std::optional<AXCopyResult> windowsAnswer = {};
        bool macOS14 = true;
    };
    const Case cases[] = {
        {"the second of two windows with one title", record(200, "Doc B", false, 1),
         mainAndRaised("200/3")},
        {"a minimized record goes the same way", record(200, "Doc B", true, 1),
         mainAndRaised("200/3")},
        {"an empty title is a title like any other", record(200, ""), mainAndRaised("200/4")},
        {"canonically equal titles match", record(200, "Re\xCC\x81sume\xCC\x81"),
         mainAndRaised("200/5")},
        {"no match raises the first window without making it main", record(200, "Renamed"),
         firstRaised},
        {"nor a same-titled window that has gone", record(200, "Doc B", false, 2), firstRaised},
        {"a title that is not a string is never matched", record(200, "url"), firstRaised},
        {"an added combining mark makes another title", record(200, "Doc\xCC\x81 A"), firstRaised},
        {"before macOS 14 the activation ignores other apps' windows",
         record(200, "Doc A"),
         mainAndRaised("200/1"),
         {"activateApplication 200 options=2"},
         {},
         false},
        {"a vanished process still gets the Accessibility steps",
         record(500, "Orphan"),
         mainAndRaised("500/6"),
         {}},
        // Which answers count as unreadable is AccessibilityReads', tested by enumeration.
        {"windows unreadable: no window is touched",
         record(200, "Doc A"),
         {},
         {"activateApplication 200 options=0"},
         AXCopyResult{kAXErrorFailure, std::vector<AXUIElement>{{200, 1}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedDesktop desktop;
        layOut(desktop);
        desktop.setMacOS14(c.macOS14);
        if (c.windowsAnswer)
            desktop.setAXWindowsAnswer(200, *c.windowsAnswer);
        activateWindow(desktop.catalogue(), c.info);
        Calls writes = desktop.log.startingWith("set ");
        for (auto& line : desktop.log.startingWith("perform "))
            writes.push_back(line);
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ(desktop.log.startingWith("activateApplication"), c.activation);
    }
}

} // namespace
} // namespace corvane::testing
