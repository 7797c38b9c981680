// Bad input from other programs on a real X server: malformed and hostile properties, windows
// that vanish, no window manager or a stale one. Each ends in a shorter list, a default or a
// log line; never a crash or a hang.

#include "harness/X11TestDesktop.h"
#include "platform/x11/X11Icon.h"
#include "platform/x11/X11Text.h"
#include "windows/WindowCatalogue.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

class X11BadInput : public ::testing::Test {
  protected:
    void start(bool withWindowManager) {
        std::string failure;
        desktop = X11TestDesktop::create(withWindowManager, failure);
        ASSERT_NE(desktop, nullptr) << failure;
        hasWindowManager = withWindowManager;
    }
    XvfbSession::Client launch(const std::vector<std::string>& arguments) {
        auto client = desktop->session().launchClient(arguments);
        EXPECT_NE(client.pid, 0);
        if (hasWindowManager) {
            EXPECT_TRUE(desktop->waitUntilManaged(client.windows));
        }
        return client;
    }
    std::vector<WindowInfo> enumerate() {
        desktop->connection().drain();
        return enumerateWindows({desktop->windowServer(), desktop->accessibility(),
                                 desktop->workspace(), desktop->processInfo()});
    }
    const WindowInfo* byWindow(const std::vector<WindowInfo>& list, std::uint32_t id) {
        for (const WindowInfo& window : list) {
            if (window.windowID == id)
                return &window;
        }
        return nullptr;
    }
    void setBytes(xcb_window_t window, const char* property, xcb_atom_t type,
                  const std::string& bytes) {
        desktop->setProperty(window, desktop->atom(property), type, 8, bytes.data(),
                             static_cast<std::uint32_t>(bytes.size()));
    }
    void setWords(xcb_window_t window, const char* property, xcb_atom_t type,
                  const std::vector<std::uint32_t>& words) {
        desktop->setProperty(window, desktop->atom(property), type, 32, words.data(),
                             static_cast<std::uint32_t>(words.size()));
    }

    std::unique_ptr<X11TestDesktop> desktop;
    bool hasWindowManager = false;
};

TEST_F(X11BadInput, PropertiesOfTheWrongTypeFormatOrLengthFallBackToDefaults) {
    start(true);
    auto client = launch({"--window", "Plain", "--window", "Odd"});
    const xcb_window_t odd = client.windows[1];
    setBytes(odd, "_NET_WM_NAME", XCB_ATOM_STRING, "wrong type");
    setBytes(odd, "WM_NAME", XCB_ATOM_STRING, "caf\xE9");       // Latin-1, as ICCCM has it
    setBytes(odd, "WM_CLASS", XCB_ATOM_STRING, "abcd");         // no terminating NULs
    setBytes(odd, "_NET_WM_PID", XCB_ATOM_CARDINAL, "x");       // format 8
    setWords(odd, "_NET_WM_STATE", XCB_ATOM_CARDINAL, {12345}); // not atoms
    setWords(odd, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {0xFFFFFF, 0});
    const auto list = enumerate();
    ASSERT_EQ(list.size(), 2u);
    const WindowInfo* info = byWindow(list, odd);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windowTitle, "caf\xC3\xA9");
    EXPECT_EQ(info->appName, "abcd");
    EXPECT_EQ(info->pid, client.pid); // from X-Resource, whatever the property says
    EXPECT_FALSE(info->isMinimized);

    setBytes(odd, "WM_CLASS", XCB_ATOM_STRING, ""); // empty: the process name stands in
    const auto again = enumerate();
    const WindowInfo* unnamed = byWindow(again, odd);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->appName, "corvane-testcli"); // /proc/<pid>/comm, cut at 15
}

TEST_F(X11BadInput, NonUtf8AndVeryLongTitlesAreCleanedAndStillActivate) {
    start(true);
    auto client = launch({"--window", "Bad", "--window", "Long"});
    setBytes(client.windows[0], "_NET_WM_NAME", desktop->atom("UTF8_STRING"),
             "Bad \xFF\xFE name\n");
    setBytes(client.windows[1], "_NET_WM_NAME", desktop->atom("UTF8_STRING"),
             std::string(100000, 'L'));
    const auto list = enumerate();
    ASSERT_EQ(list.size(), 2u);
    const WindowInfo* bad = byWindow(list, client.windows[0]);
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->windowTitle, "Bad \xEF\xBF\xBD\xEF\xBF\xBD name ");
    const WindowInfo* longOne = byWindow(list, client.windows[1]);
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(longOne->windowTitle, std::string(kMaxTitleBytes, 'L'));
    desktop->connection().drain();
    activateWindow({desktop->windowServer(), desktop->accessibility(), desktop->workspace(),
                    desktop->processInfo()},
                   *longOne);
    EXPECT_TRUE(desktop->pumpUntil([&] { return desktop->activeWindow() == client.windows[1]; }));
}

TEST_F(X11BadInput, HostileIconsGiveNoIconOrTheUsableOne) {
    start(true);
    auto huge = launch({"--class", "huge,Huge", "--icon-claim", "65535x65535", "--window", "H"});
    auto cut = launch({"--class", "cut,Cut", "--icon", "16", "--window", "C"});
    // A usable 16 x 16 icon followed by a 64 x 64 one that stops after ten pixels.
    std::vector<std::uint32_t> words = {16, 16};
    words.resize(2 + 256, 0xFF00FF00u);
    words.insert(words.end(), {64, 64});
    words.resize(words.size() + 10, 0xFFFF0000u);
    setWords(cut.windows[0], "_NET_WM_ICON", XCB_ATOM_CARDINAL, words);
    const auto applications = [&] {
        desktop->connection().drain();
        return desktop->workspace().runningApplications();
    }();
    auto iconOf = [&](pid_t pid) {
        for (const auto& application : applications) {
            if (application.processIdentifier == pid)
                return application.icon;
        }
        return ImageRef{};
    };
    // openbox gives icon-less windows its own icon; either way no 65535 x 65535 image.
    const ImageRef hugeIcon = iconOf(huge.pid);
    EXPECT_TRUE(hugeIcon == nullptr || hugeIcon->width <= kMaxIconSide);
    const ImageRef cutIcon = iconOf(cut.pid);
    ASSERT_NE(cutIcon, nullptr);
    EXPECT_EQ(cutIcon->width, 16);
    EXPECT_EQ(cutIcon->argb.front(), 0xFF00FF00u);
}

TEST_F(X11BadInput, WindowsThatVanishBeforeTheirRepliesAreLeftOut) {
    start(false);
    auto client = launch({"--window", "Stays", "--window", "Also stays"});
    // A list naming a window that no longer exists, as a window manager's list can for a moment.
    setWords(desktop->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW,
             {client.windows[0], 0x03FFFFF0, client.windows[1], client.windows[1]});
    const auto list = enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].windowID, client.windows[1]);
    EXPECT_EQ(list[1].windowID, client.windows[0]);
    // A list of the wrong type is no list: the screen's top-level windows stand in.
    setWords(desktop->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_CARDINAL, {1, 2, 3});
    EXPECT_EQ(enumerate().size(), 2u);
}

TEST_F(X11BadInput, WithoutAWindowManagerWindowsAreListedAndRaisedDirectly) {
    start(false);
    auto client = launch({"--class", "ed,Editor", "--window", "Back", "--window", "Front"});
    const auto list = enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].windowTitle, "Front");
    EXPECT_EQ(list[0].appName, "Editor");
    const auto noManager = std::count_if(
        desktop->log().lines.begin(), desktop->log().lines.end(),
        [](const std::string& l) { return l.find("no EWMH window manager") != std::string::npos; });
    EXPECT_EQ(noManager, 1);
    enumerate();
    EXPECT_EQ(desktop->log().lines.size(), 1u); // said once, not at every switch

    desktop->connection().drain();
    activateWindow({desktop->windowServer(), desktop->accessibility(), desktop->workspace(),
                    desktop->processInfo()},
                   list[1]);
    EXPECT_TRUE(desktop->pumpUntil([&] {
        xcb_connection_t* c = desktop->helper();
        auto* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        const bool focused = focus != nullptr && focus->focus == client.windows[0];
        std::free(focus);
        return focused && enumerate().front().windowTitle == "Back";
    }));
}

TEST_F(X11BadInput, AManagerThatLeftItsCheckWindowBehindCountsAsNone) {
    start(false);
    auto client = launch({"--window", "Lonely"});
    // EWMH-looking root properties from a window manager that has gone away.
    setWords(desktop->root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, {client.windows[0]});
    setWords(desktop->root(), "_NET_SUPPORTED", XCB_ATOM_ATOM,
             {desktop->atom("_NET_ACTIVE_WINDOW")});
    desktop->connection().drain();
    EXPECT_FALSE(desktop->reader().snapshot().hasEwmhManager);
    EXPECT_EQ(enumerate().size(), 1u);
}

} // namespace
} // namespace corvane::testing
