// The window catalogue on a real X server: Corvane's enumeration and activation run on the X11
// backend against openbox and corvane-testclient windows.

#include "harness/X11TestDesktop.h"
#include "windows/WindowCatalogue.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

class X11Catalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string failure;
        desktop = X11TestDesktop::create(withWindowManager(), failure);
        ASSERT_NE(desktop, nullptr) << failure;
    }
    virtual bool withWindowManager() const { return true; }

    XvfbSession::Client launch(const std::vector<std::string>& arguments) {
        auto client = desktop->session().launchClient(arguments);
        EXPECT_NE(client.pid, 0) << "corvane-testclient did not start";
        if (withWindowManager()) {
            EXPECT_TRUE(desktop->waitUntilManaged(client.windows))
                << "on display " << desktop->session().display();
        }
        return client;
    }

    std::vector<WindowInfo> enumerate() {
        desktop->connection().drain(); // a new burst: read the desktop afresh
        return enumerateWindows(catalogue());
    }
    WindowCatalogue catalogue() {
        return {desktop->windowServer(), desktop->accessibility(), desktop->workspace(),
                desktop->processInfo()};
    }
    static const WindowInfo* find(const std::vector<WindowInfo>& list, const std::string& title) {
        auto at = std::find_if(list.begin(), list.end(),
                               [&](const WindowInfo& w) { return w.windowTitle == title; });
        return at == list.end() ? nullptr : &*at;
    }

    std::unique_ptr<X11TestDesktop> desktop;
};

TEST_F(X11Catalogue, ListsKnownWindowsFrontToBackThenMinimizedOnes) {
    auto editor = launch(
        {"--class", "editor,Editor", "--icon", "48", "--window", "Doc A", "--window", "Doc B"});
    auto viewer = launch(
        {"--class", "viewer,Viewer", "--window", "Picture", "--minimized", "--window", "Stowed"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return enumerate().size() == 4; }));

    const auto list = enumerate();
    const struct {
        std::string title, app;
        pid_t pid;
        bool minimized;
    } expected[] = {
        {"Picture", "Viewer", viewer.pid, false},
        {"Doc B", "Editor", editor.pid, false},
        {"Doc A", "Editor", editor.pid, false},
        {"Stowed", "Viewer", viewer.pid, true},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(list[i].windowTitle, expected[i].title) << i;
        EXPECT_EQ(list[i].appName, expected[i].app) << i;
        EXPECT_EQ(list[i].pid, expected[i].pid) << i;
        EXPECT_EQ(list[i].isMinimized, expected[i].minimized) << i;
    }
    EXPECT_EQ(list[0].windowID, viewer.windows[0]);
    EXPECT_EQ(list[1].windowID, editor.windows[1]);
    EXPECT_EQ(list[3].windowID, 0u);
    ASSERT_NE(list[1].appIcon, nullptr);
    EXPECT_EQ(list[1].appIcon->width, 48);
    EXPECT_EQ(list[2].appIcon, list[1].appIcon); // one icon per application
}

TEST_F(X11Catalogue, OneEnumerationCostsAFixedNumberOfRoundTrips) {
    launch({"--count", "30", "--window", "Many {n}"});
    launch({"--icon", "16", "--window", "One"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return enumerate().size() == 31; }));
    const int withMany = desktop->reader().lastRoundTrips();
    EXPECT_LE(withMany, 3); // the root, every window, the icons
}

TEST_F(X11Catalogue, ActivationRaisesPlainMinimizedAndFarAwayWindows) {
    auto editor = launch({"--class", "editor,Editor", "--window", "Doc A", "--window", "Doc B",
                          "--minimized", "--window", "Stowed"});
    auto far = launch({"--class", "far,Far", "--desktop", "1", "--window", "Elsewhere"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return enumerate().size() == 3; }));
    const auto list = enumerate();
    EXPECT_EQ(find(list, "Elsewhere"), nullptr); // not on the current desktop

    const WindowInfo* docA = find(list, "Doc A");
    ASSERT_NE(docA, nullptr);
    activateWindow(catalogue(), *docA);
    EXPECT_TRUE(desktop->pumpUntil([&] { return desktop->activeWindow() == editor.windows[0]; }));

    const WindowInfo* stowed = find(list, "Stowed");
    ASSERT_NE(stowed, nullptr);
    ASSERT_TRUE(stowed->isMinimized);
    EXPECT_FALSE(desktop->isViewable(editor.windows[2]));
    activateWindow(catalogue(), *stowed);
    EXPECT_TRUE(desktop->pumpUntil([&] {
        return desktop->activeWindow() == editor.windows[2] &&
               desktop->isViewable(editor.windows[2]);
    }));

    // A window on another desktop: raising its element switches there first.
    desktop->connection().drain();
    const AXUIElement element{far.pid, far.windows[0]};
    EXPECT_EQ(desktop->accessibility().performAction(element, kAXRaiseAction), kAXErrorSuccess);
    EXPECT_TRUE(desktop->pumpUntil([&] {
        return desktop->currentDesktop() == 1 && desktop->activeWindow() == far.windows[0];
    }));
}

TEST_F(X11Catalogue, AWindowThatVanishedFailsItsAccessibilityCalls) {
    auto client = launch({"--window", "Short-lived"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return enumerate().size() == 1; }));
    const AXUIElement element{client.pid, client.windows[0]};
    desktop->session().stopClient(client);
    desktop->connection().drain();
    EXPECT_EQ(desktop->accessibility().performAction(element, kAXRaiseAction), kAXErrorFailure);
    EXPECT_FALSE(desktop->accessibility().copyAttributeValue(element, kAXTitleAttribute).value);
    EXPECT_TRUE(enumerate().empty());
}

} // namespace
} // namespace corvane::testing
