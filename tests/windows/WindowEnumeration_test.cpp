#include "fakes/RecordedDesktop.h"
#include "windows/WindowCatalogue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>

namespace corvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A record without its icon, so whole lists compare in one expectation.
struct Row {
    CGWindowID windowID;
    std::string appName, windowTitle;
    pid_t pid;
    bool isMinimized;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << "{" << row.windowID << ", \"" << row.appName << "\", \"" << row.windowTitle << "\", "
         << row.pid << ", " << (row.isMinimized ? "minimized" : "on screen") << "}";
}

std::vector<Row> rows(const std::vector<WindowInfo>& records) {
    std::vector<Row> result;
    for (const WindowInfo& info : records)
        result.push_back(
            {info.windowID, info.appName, info.windowTitle, info.pid, info.isMinimized});
    return result;
}

std::vector<std::string> titles(const std::vector<WindowInfo>& records) {
    std::vector<std::string> result;
    for (const WindowInfo& info : records)
        result.push_back(info.windowTitle);
    return result;
}

const std::string cafeComposed = "Caf\xC3\xA9";
const std::string cafeDecomposed = "Cafe\xCC\x81";

WindowListEntry entry(std::uint32_t number, pid_t pid, std::string owner, std::int64_t layer = 0) {
    return RecordedDesktop::onScreenEntry(number, pid, std::move(owner), layer);
}

TEST(WindowEnumeration, WorkedExample) {
    RecordedDesktop desktop(100);
    desktop.addApp(200, "Editor");
    desktop.addApp(300, std::nullopt);
    desktop.addApp(400, "Player", {.isHidden = true});
    desktop.addOnScreen(51, 200, "Editor");
    desktop.addOnScreen(60, 300, "Viewer", 25);
    desktop.addOnScreen(52, 100, "any");
    desktop.addOnScreen(53, 200, "Editor");
    desktop.addOnScreen(54, 300, "Viewer");
    desktop.addAXWindow(200, "Doc A");
    desktop.addAXWindow(200, "Doc B");
    desktop.addAXWindow(200, "Doc C", true);
    desktop.setAXWindowsAnswer(300, {kAXErrorCannotComplete, std::nullopt});
    desktop.addAXWindow(400, "Song");

    const auto list = enumerateWindows(desktop.catalogue());

    EXPECT_THAT(rows(list),
                ElementsAre(Row{51, "Editor", "Doc A", 200, false},
                            Row{53, "Editor", "Doc B", 200, false},
                            Row{54, "Viewer", "", 300, false}, Row{0, "Editor", "Doc C", 200, true},
                            Row{0, "Player", "Song", 400, true}));
    for (const WindowInfo& info : list) { // each application's icon carries its pid
        ASSERT_NE(info.appIcon, nullptr);
        EXPECT_EQ(info.appIcon->argb, std::vector{0xFF000000u | std::uint32_t(info.pid)});
    }
    EXPECT_THAT(desktop.log.startingWith("copyWindowList"),
                ElementsAre("copyWindowList options=17 relative=0"));
    EXPECT_EQ(desktop.log.startingWith("runningApplications").size(), 2u);
    // Titles pass: 200 then 300; the Accessibility pass: 200, 300 and 400, each once more.
    EXPECT_THAT(desktop.log.startingWith("createApplication"),
                ElementsAre("createApplication 200", "createApplication 300",
                            "createApplication 200", "createApplication 300",
                            "createApplication 400"));
}

TEST(WindowEnumeration, PairsTitlesByPositionAmongAcceptedWindowsOnly) {
    struct Case {
        const char* name;
        std::vector<WindowListEntry> entries;
        std::vector<std::string> expectedTitles;
    };
    auto offscreen = entry(12, 200, "Editor");
    offscreen[kCGWindowIsOnscreen] = false;
    const Case cases[] = {
        {"more windows than titles",
         {entry(11, 200, "Editor"), entry(12, 200, "Editor"), entry(13, 200, "Editor")},
         {"A", "B", ""}},
        {"an entry not on screen keeps its title for the next",
         {entry(11, 200, "Editor"), offscreen, entry(13, 200, "Editor")},
         {"A", "B"}},
        {"nor do a window number 0, an empty owner name or another layer",
         {entry(0, 200, "Editor"), entry(11, 200, ""), entry(12, 200, "Editor", 3),
          entry(13, 200, "Editor")},
         {"A"}},
        {"each process has its own cursor",
         {entry(11, 300, "Viewer"), entry(12, 200, "Editor"), entry(13, 300, "Viewer"),
          entry(14, 200, "Editor")},
         {"X", "A", "", "B"}},
    };
    for (const Case& c : cases) {
        RecordedDesktop desktop;
        desktop.addApp(200, "Editor");
        desktop.addApp(300, "Viewer");
        desktop.addAXWindow(200, "A");
        desktop.addAXWindow(200, "B");
        desktop.addAXWindow(300, "X");
        for (const auto& e : c.entries)
            desktop.addWindowListEntry(e);
        EXPECT_EQ(titles(enumerateWindows(desktop.catalogue())), c.expectedTitles) << c.name;
        // However many windows a process has, its titles are fetched once before the second
        // read of the running applications.
        const auto& calls = desktop.log.calls;
        const auto secondRead = std::find(calls.begin() + 1, calls.end(), "runningApplications");
        EXPECT_EQ(std::count(calls.begin(), secondRead, "copy 200 AXWindows"), 1) << c.name;
    }
}

TEST(WindowEnumeration, ListsAnEntryOnlyWhenEveryValueConvertsExactly) {
    using I = std::int64_t;
    using S = std::string;
    struct Case {
        const char* key;
        std::vector<WindowListValue> accepted, rejected; // a missing key is always rejected
    };
    const Case cases[] = {
        {kCGWindowLayer,
         {I{0}, 0.0, -0.0},
         {0.5, I{1}, S("0"), false, std::nan(""), OtherValue{"x"}}},
        {kCGWindowNumber, {51.0, I{4294967295}}, {I{4294967296}, I{-1}, I{0}, 51.5, 1e19, true}},
        {kCGWindowOwnerPID, {200.0}, {I{4294967296 + 200}, I{0}, I{-200}, I{100}, S("200")}},
        {kCGWindowOwnerName, {S("Editor")}, {S(), I{5}}},
        {kCGWindowIsOnscreen, {true}, {false, I{1}, 1.0, S("true")}},
    };
    auto listedWith = [](const char* key, const std::optional<WindowListValue>& value) {
        RecordedDesktop desktop(100);
        desktop.addApp(200, "Editor");
        WindowListEntry e = entry(51, 200, "Editor");
        if (value)
            e[key] = *value;
        else
            e.erase(key);
        desktop.addWindowListEntry(e);
        return enumerateWindows(desktop.catalogue()).size() == 1;
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(listedWith(c.key, std::nullopt)) << c.key << " missing";
        for (std::size_t i = 0; i < c.accepted.size(); ++i)
            EXPECT_TRUE(listedWith(c.key, c.accepted[i])) << c.key << " accepted #" << i;
        for (std::size_t i = 0; i < c.rejected.size(); ++i)
            EXPECT_FALSE(listedWith(c.key, c.rejected[i])) << c.key << " rejected #" << i;
    }
}

TEST(WindowEnumeration, FailedWindowListListsNothingButAnEmptyOneStillListsMinimizedWindows) {
    RecordedDesktop desktop;
    desktop.addApp(200, "Notepad");
    desktop.addAXWindow(200, "Notes", true);
    EXPECT_THAT(rows(enumerateWindows(desktop.catalogue())),
                ElementsAre(Row{0, "Notepad", "Notes", 200, true}));

    desktop.failWindowList();
    desktop.log.calls.clear();
    EXPECT_THAT(enumerateWindows(desktop.catalogue()), IsEmpty());
    EXPECT_THAT(desktop.log.startingWith("copy "), IsEmpty());
}

TEST(WindowEnumeration, AccessibilityPassTakesWindowsByPolicyHiddenStateAndOwnership) {
    RecordedDesktop desktop(100);
    desktop.addApp(100, "Corvane", {.isHidden = true});
    desktop.addApp(0, "Kernel", {.isHidden = true});
    desktop.addApp(200, "Helper", {.activationPolicy = ActivationPolicy::accessory});
    desktop.addApp(250, "Agent",
                   {.activationPolicy = ActivationPolicy::prohibited, .isHidden = true});
    desktop.addApp(300, "Music", {.isHidden = true, .hasIcon = false});
    desktop.addOnScreen(52, 100, "Corvane");
    desktop.addAXWindow(100, "HUD", true);
    desktop.addAXWindow(0, "Root", true);
    desktop.addOnScreenWindow(200, 61, "Palette");
    desktop.addAXWindow(200, "Hidden palette", true);
    desktop.addAXWindow(250, "Agent window", true);
    desktop.addAXWindow(300, "Library");
    desktop.addAXWindowAnswering(300, {kAXErrorSuccess, std::string("Queue")},
                                 {kAXErrorSuccess, OtherValue{"number 1"}});
    desktop.addAXWindow(300, "Mini player", true);
    desktop.addOnScreen(70, 999, "Daemon"); // no running application

    const auto list = enumerateWindows(desktop.catalogue());

    EXPECT_THAT(rows(list), ElementsAre(Row{61, "Helper", "Palette", 200, false},
                                        Row{70, "Daemon", "", 999, false},
                                        Row{0, "Music", "Library", 300, true},
                                        Row{0, "Music", "Queue", 300, true},
                                        Row{0, "Music", "Mini player", 300, true}));
    EXPECT_EQ(std::pair(list[1].appIcon, list[2].appIcon), std::pair(ImageRef{}, ImageRef{}));
    EXPECT_THAT(desktop.log.startingWith("createApplication 100"), IsEmpty());
}

TEST(WindowEnumeration, WindowKeysKeepAccessibilityWindowsFromRepeating) {
    RecordedDesktop desktop;
    desktop.addApp(200, "Editor");
    desktop.addApp(300, "Mail");
    desktop.addOnScreenWindow(200, 51, "Untitled");
    desktop.addOnScreenWindow(200, 52, "Untitled");
    desktop.addAXWindow(200, "Untitled", true); // same key as an on-screen record
    desktop.addAXWindow(200, "Draft", true);
    desktop.addAXWindow(200, "Draft", true); // repeats the one before
    desktop.addAXWindow(200, cafeDecomposed, true);
    desktop.addAXWindow(200, cafeComposed, true); // canonically the same as the one before
    desktop.addOnScreen(61, 300, "Mail");         // more windows than titles: titled ""
    desktop.addAXWindow(300, "", true);           // hidden by the on-screen key "300:"
    desktop.addAXWindow(300, "Inbox", true);

    EXPECT_THAT(rows(enumerateWindows(desktop.catalogue())),
                ElementsAre(Row{51, "Editor", "Untitled", 200, false},
                            Row{52, "Editor", "Untitled", 200, false},
                            Row{61, "Mail", "", 300, false}, Row{0, "Editor", "Draft", 200, true},
                            Row{0, "Editor", cafeDecomposed, 200, true},
                            Row{0, "Mail", "Inbox", 300, true}));
}

TEST(WindowEnumeration, CountsEachWindowAmongItsApplicationsWindowsOfTheSameTitle) {
    RecordedDesktop desktop;
    desktop.addApp(200, "Terminal");
    desktop.addApp(300, "Browser");
    std::uint32_t number = 51;
    for (const char* title : {"Shell", "Logs", "Shell", "", ""})
        desktop.addOnScreenWindow(200, number++, title);
    desktop.addOnScreen(59, 200, "Terminal"); // more windows than titles: the third untitled
    desktop.addOnScreenWindow(300, 61, cafeComposed);
    desktop.addAXWindow(300, "New Tab");       // neither on screen nor minimized: not listed
    desktop.addAXWindow(300, "New Tab", true); // but still the first of the two
    desktop.addAXWindow(300, cafeDecomposed, true);

    std::vector<std::pair<std::string, int>> occurrences;
    for (const WindowInfo& info : enumerateWindows(desktop.catalogue()))
        occurrences.emplace_back(info.windowTitle, info.titleOccurrence);
    EXPECT_THAT(occurrences,
                ElementsAre(std::pair{"Shell", 0}, std::pair{"Logs", 0}, std::pair{"Shell", 1},
                            std::pair{"", 0}, std::pair{"", 1}, std::pair{"", 2},
                            std::pair{cafeComposed, 0}, std::pair{"New Tab", 1}));
}

TEST(WindowEnumeration, UnreadableAccessibilityAnswersShortenTheList) {
    const std::pair<const char*, AXCopyResult> cases[] = {
        {"error", {kAXErrorCannotComplete, std::nullopt}},
        {"error with a list left behind", {kAXErrorFailure, std::vector<AXUIElement>{{200, 1}}}},
        {"not a list", {kAXErrorSuccess, std::string("windows")}},
        {"empty list", {kAXErrorSuccess, std::vector<AXUIElement>{}}},
    };
    for (const auto& [name, windowsAnswer] : cases) {
        RecordedDesktop desktop;
        desktop.addApp(200, "Editor", {.isHidden = true});
        desktop.addOnScreen(51, 200, "Editor");
        desktop.addAXWindow(200, "Doc"); // element 1, not reachable through the answer
        desktop.setAXWindowsAnswer(200, windowsAnswer);
        EXPECT_THAT(rows(enumerateWindows(desktop.catalogue())),
                    ElementsAre(Row{51, "Editor", "", 200, false}))
            << name;
    }

    RecordedDesktop denied;
    denied.addApp(200, "Editor", {.isHidden = true});
    denied.addOnScreenWindow(200, 51, "Doc");
    denied.addAXWindow(200, "Old", true);
    denied.denyAccessibility();
    EXPECT_THAT(rows(enumerateWindows(denied.catalogue())),
                ElementsAre(Row{51, "Editor", "", 200, false}));

    // The title's value counts whatever the error code; a value that is not a string does not.
    RecordedDesktop odd;
    odd.addApp(200, "Editor");
    odd.addOnScreen(51, 200, "Editor");
    odd.addOnScreen(52, 200, "Editor");
    odd.addAXWindowAnswering(200, {kAXErrorFailure, std::string("Kept")}, {});
    odd.addAXWindowAnswering(200, {kAXErrorSuccess, true}, {});
    EXPECT_THAT(titles(enumerateWindows(odd.catalogue())), ElementsAre("Kept", ""));
}

} // namespace
} // namespace corvane::testing
