// The window cache on a real X server: after a first, full read, every change a window or the
// window manager makes is seen by the next enumeration, while a quiet desktop costs one stage
// and no per-window reads. Each scenario ends by comparing the cached snapshot with what a
// reader with an empty cache sees.

#include "harness/X11TestDesktop.h"
#include "windows/WindowCatalogue.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <xcb/xcb_icccm.h>

namespace corvane::testing {
namespace {

class X11WindowCacheTest : public ::testing::Test {
  protected:
    void start(bool withWindowManager) {
        std::string failure;
        desktop = X11TestDesktop::create(withWindowManager, failure);
        ASSERT_NE(desktop, nullptr) << failure;
        managed = withWindowManager;
    }

    XvfbSession::Client launch(const std::vector<std::string>& arguments) {
        auto client = desktop->session().launchClient(arguments);
        EXPECT_NE(client.pid, 0) << "corvane-testclient did not start";
        if (managed) {
            EXPECT_TRUE(desktop->waitUntilManaged(client.windows));
        }
        return client;
    }

    std::vector<WindowInfo> enumerate() {
        desktop->connection().drain();
        return enumerateWindows({desktop->windowServer(), desktop->accessibility(),
                                 desktop->workspace(), desktop->processInfo()});
    }
    const WindowInfo* find(const std::vector<WindowInfo>& list, const std::string& title) {
        auto at = std::find_if(list.begin(), list.end(),
                               [&](const WindowInfo& w) { return w.windowTitle == title; });
        return at == list.end() ? nullptr : &*at;
    }
    bool eventuallyListed(const std::string& title, bool listed = true) {
        return desktop->pumpUntil([&] {
            const auto list = enumerate();
            return (find(list, title) != nullptr) == listed;
        });
    }
    const X11ClientWindow* cached(xcb_window_t window) {
        desktop->connection().drain();
        return desktop->reader().snapshot().find(window);
    }

    void setTitle(xcb_window_t window, const std::string& title) {
        desktop->setProperty(window, desktop->atom("_NET_WM_NAME"), desktop->atom("UTF8_STRING"), 8,
                             title.data(), static_cast<std::uint32_t>(title.size()));
    }
    // A message to the window manager, as a pager or the client itself would send it.
    void askManager(xcb_window_t window, xcb_atom_t type, std::uint32_t data0) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = type;
        message.data.data32[0] = data0;
        xcb_send_event(desktop->helper(), 0, desktop->root(),
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&message));
        desktop->syncHelper();
    }

    // The warm snapshot must say exactly what a reader starting from nothing reads.
    void expectSameAsColdRead() {
        desktop->connection().drain();
        const X11DesktopSnapshot& warm = desktop->reader().snapshot();
        X11DesktopReader coldReader(desktop->connection());
        const X11DesktopSnapshot& cold = coldReader.snapshot();
        ASSERT_EQ(warm.windows.size(), cold.windows.size());
        EXPECT_EQ(warm.currentDesktop, cold.currentDesktop);
        EXPECT_EQ(warm.hasEwmhManager, cold.hasEwmhManager);
        for (std::size_t i = 0; i < warm.windows.size(); ++i) {
            const X11ClientWindow& w = warm.windows[i];
            const X11ClientWindow& c = cold.windows[i];
            EXPECT_EQ(w.id, c.id) << i;
            EXPECT_EQ(w.title, c.title) << i;
            EXPECT_EQ(w.ownerName, c.ownerName) << i;
            EXPECT_EQ(w.pid, c.pid) << i;
            EXPECT_EQ(w.layer, c.layer) << i;
            EXPECT_EQ(w.isViewable, c.isViewable) << i;
            EXPECT_EQ(w.isHidden, c.isHidden) << i;
            EXPECT_EQ(w.desktop, c.desktop) << i;
            EXPECT_EQ(w.isOnCurrentDesktop, c.isOnCurrentDesktop) << i;
        }
    }

    std::unique_ptr<X11TestDesktop> desktop;
    bool managed = false;
};

TEST_F(X11WindowCacheTest, AQuietDesktopIsOneStageWithNoWindowRead) {
    start(true);
    launch({"--count", "20", "--window", "Quiet {n}"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return enumerate().size() == 20; }));
    desktop->connection().drain();
    desktop->reader().snapshot();
    EXPECT_EQ(desktop->reader().lastRoundTrips(), 1);
    EXPECT_EQ(desktop->reader().lastWindowsRead(), 0u);
}

TEST_F(X11WindowCacheTest, TitlesMinimizingAndDestructionAreSeenAtTheNextSwitch) {
    start(true);
    auto editor = launch({"--class", "editor,Editor", "--window", "Draft", "--window", "Notes"});
    auto viewer = launch({"--class", "viewer,Viewer", "--window", "Photo"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return enumerate().size() == 3; }));

    // A title change re-reads that one window only.
    setTitle(editor.windows[0], "Draft, edited");
    ASSERT_TRUE(eventuallyListed("Draft, edited"));
    EXPECT_TRUE(eventuallyListed("Draft", false));
    setTitle(editor.windows[0], "Draft, edited twice");
    desktop->connection().drain();
    desktop->reader().snapshot();
    EXPECT_EQ(desktop->reader().lastWindowsRead(), 1u);

    // Minimized through the window manager: listed after the on-screen ones, as minimized.
    askManager(viewer.windows[0], desktop->atom("WM_CHANGE_STATE"), XCB_ICCCM_WM_STATE_ICONIC);
    ASSERT_TRUE(desktop->pumpUntil([&] {
        const auto list = enumerate();
        return list.size() == 3 && list.back().windowTitle == "Photo" && list.back().isMinimized;
    }));
    expectSameAsColdRead();

    // Destroyed: gone from the list, and from the cache.
    xcb_destroy_window(desktop->helper(), editor.windows[1]);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Notes", false));
    EXPECT_EQ(cached(editor.windows[1]), nullptr);
    expectSameAsColdRead();
}

TEST_F(X11WindowCacheTest, NewWindowsAndDesktopChangesAreSeenAtTheNextSwitch) {
    start(true);
    auto first = launch({"--class", "first,First", "--window", "Here"});
    ASSERT_TRUE(eventuallyListed("Here"));

    auto later = launch({"--class", "later,Later", "--icon", "16", "--window", "Newcomer"});
    ASSERT_TRUE(eventuallyListed("Newcomer"));
    const auto list = enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].appName, "Later");
    EXPECT_EQ(list[0].pid, later.pid);
    EXPECT_NE(list[0].appIcon, nullptr);

    // The window moves to the second desktop, then the user follows it there.
    xcb_ewmh_request_change_wm_desktop(&desktop->helperEwmh(), 0, later.windows[0], 1,
                                       XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Newcomer", false));
    ASSERT_NE(cached(later.windows[0]), nullptr);
    EXPECT_EQ(cached(later.windows[0])->desktop, 1u);
    expectSameAsColdRead();

    xcb_ewmh_request_change_current_desktop(&desktop->helperEwmh(), 0, 1, XCB_CURRENT_TIME);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Newcomer"));
    EXPECT_TRUE(eventuallyListed("Here", false));
    EXPECT_EQ(first.windows.size(), 1u);
    expectSameAsColdRead();
}

TEST_F(X11WindowCacheTest, WithoutAManagerMappingAndClassChangesAreSeen) {
    start(false);
    auto client = launch({"--class", "ed,Editor", "--window", "Back", "--window", "Front"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return enumerate().size() == 2; }));

    // Unmapped by its client: no longer a top-level window worth listing; mapped again: back.
    xcb_unmap_window(desktop->helper(), client.windows[1]);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Front", false));
    xcb_map_window(desktop->helper(), client.windows[1]);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Front"));

    const std::string renamed("ed\0Renamed", 11);
    desktop->setProperty(client.windows[0], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, renamed.data(),
                         static_cast<std::uint32_t>(renamed.size()));
    ASSERT_TRUE(desktop->pumpUntil([&] {
        const auto list = enumerate();
        const WindowInfo* back = find(list, "Back");
        return back != nullptr && back->appName == "Renamed";
    }));
    expectSameAsColdRead();
}

} // namespace
} // namespace corvane::testing
