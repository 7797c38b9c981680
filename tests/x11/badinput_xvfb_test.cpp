// Bad input from other programs on a real X server: malformed and hostile properties, windows
// that vanish, no window manager or a stale one. Each ends in a shorter list, a default or a
// log line; never a crash or a hang.

#include "harness/X11TestDesktop.h"
#include "platform/x11/X11Icon.h"
#include "platform/x11/X11Text.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

namespace corvane::testing {
namespace {

class X11BadInput : public ::testing::Test {
  protected:
    void start(bool withWindowManager) {
        std::string failure;
        desktop = X11TestDesktop::create(withWindowManager, failure);
        ASSERT_NE(desktop, nullptr) << failure;
    }
    void setBytes(xcb_window_t window, const char* property, xcb_atom_t type,
                  const std::string& bytes) {
        desktop->setProperty(window, property, type, 8, bytes.data(), bytes.size());
    }
    void setWords(xcb_window_t window, const char* property, xcb_atom_t type,
                  const std::vector<std::uint32_t>& words) {
        desktop->setProperty(window, property, type, 32, words.data(), words.size());
    }
    static const WindowInfo* byId(const std::vector<WindowInfo>& list, std::uint32_t id) {
        auto at = std::find_if(list.begin(), list.end(),
                               [&](const WindowInfo& w) { return w.windowID == id; });
        return at == list.end() ? nullptr : &*at;
    }

    std::unique_ptr<X11TestDesktop> desktop;
};

TEST_F(X11BadInput, MalformedPropertiesAndTitlesFallBackToDefaultsAndStillActivate) {
    start(true);
    auto client = desktop->launch(
        {"--window", "Plain", "--window", "Odd", "--window", "Bad", "--window", "Long"});
    ASSERT_EQ(client.windows.size(), 4u);
    const xcb_window_t odd = client.windows[1];
    const xcb_atom_t utf8 = desktop->atom("UTF8_STRING");
    setBytes(odd, "_NET_WM_NAME", XCB_ATOM_STRING, "wrong type");
    setBytes(odd, "WM_NAME", XCB_ATOM_STRING, "caf\xE9");       // Latin-1, as ICCCM has it
    setBytes(odd, "WM_CLASS", XCB_ATOM_STRING, "abcd");         // no terminating NULs
    setBytes(odd, "_NET_WM_PID", XCB_ATOM_CARDINAL, "x");       // format 8
    setWords(odd, "_NET_WM_STATE", XCB_ATOM_CARDINAL, {12345}); // not atoms
    setWords(odd, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {0xFFFFFF, 0});
    setBytes(client.windows[2], "_NET_WM_NAME", utf8, "Bad \xFF\xFE name\n");
    setBytes(client.windows[3], "_NET_WM_NAME", utf8, std::string(100000, 'L'));
    const auto list = desktop->enumerate();
    ASSERT_EQ(list.size(), 4u);
    const WindowInfo* info = byId(list, odd);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windowTitle, "caf\xC3\xA9");
    EXPECT_EQ(info->appName, "abcd");
    EXPECT_EQ(info->pid, client.pid); // from X-Resource, whatever the property says
    EXPECT_FALSE(info->isMinimized);
    ASSERT_NE(byId(list, client.windows[2]), nullptr);
    EXPECT_EQ(byId(list, client.windows[2])->windowTitle, "Bad \xEF\xBF\xBD\xEF\xBF\xBD name ");
    const WindowInfo* longOne = byId(list, client.windows[3]);
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(longOne->windowTitle, std::string(kMaxTitleBytes, 'L'));
    desktop->connection().drain();
    activateWindow(desktop->catalogue(), *longOne);
    EXPECT_TRUE(desktop->pumpUntil([&] { return desktop->activeWindow() == client.windows[3]; }));

    setBytes(odd, "WM_CLASS", XCB_ATOM_STRING, ""); // empty: the process name stands in
    const auto again = desktop->enumerate();
    ASSERT_NE(byId(again, odd), nullptr);
    EXPECT_EQ(byId(again, odd)->appName, "corvane-testcli"); // /proc/<pid>/comm, cut at 15
}

TEST_F(X11BadInput, HostileIconsGiveNoIconOrTheUsableOne) {
    start(true);
    auto huge =
        desktop->launch({"--class", "huge,Huge", "--icon-claim", "65535x65535", "--window", "H"});
    auto cut = desktop->launch({"--class", "cut,Cut", "--icon", "16", "--window", "C"});
    // A usable 16 x 16 icon followed by a 64 x 64 one that stops after ten pixels.
    std::vector<std::uint32_t> words = {16, 16};
    words.resize(2 + 256, 0xFF00FF00u);
    words.insert(words.end(), {64, 64});
    words.resize(words.size() + 10, 0xFFFF0000u);
    setWords(cut.windows[0], "_NET_WM_ICON", XCB_ATOM_CARDINAL, words);
    desktop->connection().drain();
    std::map<pid_t, ImageRef> icons;
    for (const auto& application : desktop->workspace().runningApplications())
        icons[application.processIdentifier] = application.icon;
    // openbox gives icon-less windows its own icon; either way no 65535 x 65535 image.
    EXPECT_TRUE(icons[huge.pid] == nullptr || icons[huge.pid]->width <= kMaxIconSide);
    ASSERT_NE(icons[cut.pid], nullptr);
    EXPECT_EQ(icons[cut.pid]->width, 16);
    EXPECT_EQ(icons[cut.pid]->argb.front(), 0xFF00FF00u);
}

TEST_F(X11BadInput, WithoutAWindowManagerVanishedWindowsAreLeftOutAndTheRestRaisedDirectly) {
    start(false);
    auto client =
        desktop->launch({"--class", "ed,Editor", "--window", "Back", "--window", "Front"});
    ASSERT_EQ(client.windows.size(), 2u);
    auto list = desktop->enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].windowTitle, "Front");
    EXPECT_EQ(list[0].appName, "Editor");
    ASSERT_EQ(desktop->log().lines.size(), 1u); // said once, not at every switch
    EXPECT_NE(desktop->log().lines[0].find("no EWMH window manager"), std::string::npos);

    // A list naming a window that no longer exists, as a window manager's list can for a
    // moment, naming one twice, and out of order (as fluxbox keeps it): the windows as they
    // really stand, once each.
    setWords(desktop->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW,
             {client.windows[1], 0x03FFFFF0, client.windows[0], client.windows[0]});
    list = desktop->enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].windowID, client.windows[1]);
    EXPECT_EQ(list[1].windowID, client.windows[0]);
    // A list of the wrong type is no list: the screen's top-level windows stand in.
    setWords(desktop->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_CARDINAL, {1, 2, 3});
    list = desktop->enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].windowTitle, "Front");

    desktop->connection().drain();
    activateWindow(desktop->catalogue(), list[1]);
    EXPECT_TRUE(desktop->pumpUntil([&] {
        xcb_connection_t* c = desktop->helper();
        auto* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        const bool focused = focus != nullptr && focus->focus == client.windows[0];
        std::free(focus);
        return focused && desktop->enumerate().front().windowTitle == "Back";
    }));

    // EWMH-looking root properties from a window manager that has gone away.
    setWords(desktop->root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW, {client.windows[0]});
    setWords(desktop->root(), "_NET_SUPPORTED", XCB_ATOM_ATOM,
             {desktop->atom("_NET_ACTIVE_WINDOW")});
    desktop->connection().drain();
    EXPECT_FALSE(desktop->reader().snapshot().hasEwmhManager);
    EXPECT_EQ(desktop->enumerate().size(), 2u);
}

} // namespace
} // namespace corvane::testing
