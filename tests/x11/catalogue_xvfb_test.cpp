// The window catalogue on a real X server: Corvane's enumeration, activation and window cache on
// the X11 backend against openbox (or no window manager) and corvane-testclient windows, and bad
// input from other programs (malformed and hostile properties, windows that vanish, no window
// manager or a stale one): each ends in a shorter list, a default or a log line, never a crash
// or a hang.

#include "harness/X11TestDesktop.h"
#include "platform/x11/X11Icon.h"
#include "platform/x11/X11Text.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <tuple>
#include <xcb/xcb_icccm.h>

namespace corvane::testing {
namespace {

class X11Catalogue : public ::testing::Test {
  protected:
    void start(bool withWindowManager = true) {
        std::string failure;
        desktop = X11TestDesktop::create(withWindowManager, failure);
        ASSERT_NE(desktop, nullptr) << failure;
    }
    bool eventuallyListed(const std::string& title, bool listed = true) {
        return desktop->pumpUntil(
            [&] { return (findTitle(desktop->enumerate(), title) != nullptr) == listed; });
    }
    void setTitle(xcb_window_t window, const std::string& title) {
        setBytes(window, "_NET_WM_NAME", desktop->atom("UTF8_STRING"), title);
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
    // The cached snapshot must come to say exactly what a reader starting from nothing reads,
    // once the events already sent have arrived: a missed event leaves it stale for good. The
    // order is left out: it follows the activations each reader has seen.
    void expectSameAsColdRead() {
        using Facts = std::vector<std::tuple<xcb_window_t, std::string, std::string, pid_t, int,
                                             bool, bool, std::uint32_t, bool>>;
        const auto facts = [](const X11DesktopSnapshot& snapshot) {
            Facts rows{{0, "current desktop", snapshot.hasEwmhManager ? "EWMH manager" : "none", 0,
                        0, false, false, snapshot.currentDesktop, false}};
            for (const X11ClientWindow& w : snapshot.windows)
                rows.emplace_back(w.id, w.title, w.ownerName, w.pid, w.layer, w.isViewable,
                                  w.isHidden, w.desktop, w.isOnCurrentDesktop);
            std::sort(rows.begin(), rows.end());
            return rows;
        };
        Facts warm, cold;
        desktop->pumpUntil(
            [&] {
                X11DesktopReader coldReader(desktop->connection());
                warm = facts(desktop->reader().snapshot());
                cold = facts(coldReader.snapshot());
                return warm == cold;
            },
            std::chrono::seconds(2));
        EXPECT_EQ(warm, cold);
    }

    std::unique_ptr<X11TestDesktop> desktop;
};

TEST_F(X11Catalogue, ListsKnownWindowsAndRaisesOneOnAnotherDesktop) {
    start();
    auto editor = desktop->launch({"--class", "editor,Editor", "--icon", "48", "--window", "Doc A",
                                   "--window", "Doc B", "--minimized", "--window", "Stowed"});
    auto viewer = desktop->launch({"--class", "viewer,Viewer", "--window", "Picture"});
    auto far = desktop->launch({"--class", "far,Far", "--desktop", "1", "--window", "Elsewhere"});
    // Once the manager's activations of the new windows have all been seen.
    ASSERT_TRUE(desktop->pumpUntil([&] {
        const auto list = desktop->enumerate();
        return list.size() == 4 && list[0].windowTitle == "Picture" &&
               list[1].windowTitle == "Doc B";
    }));
    const auto list = desktop->enumerate();
    // A minimized window has no on-screen entry, so no id; "Elsewhere" is on another desktop.
    using Row = std::tuple<std::string, std::string, pid_t, bool, std::uint32_t>;
    std::vector<Row> rows;
    for (const WindowInfo& w : list)
        rows.emplace_back(w.windowTitle, w.appName, w.pid, w.isMinimized, w.windowID);
    ASSERT_EQ(rows, (std::vector<Row>{{"Picture", "Viewer", viewer.pid, false, viewer.windows[0]},
                                      {"Doc B", "Editor", editor.pid, false, editor.windows[1]},
                                      {"Doc A", "Editor", editor.pid, false, editor.windows[0]},
                                      {"Stowed", "Editor", editor.pid, true, 0}}));
    ASSERT_NE(list[1].appIcon, nullptr);
    EXPECT_EQ(list[1].appIcon->width, 48);
    EXPECT_EQ(list[2].appIcon, list[1].appIcon); // one icon per application

    // A window on another desktop: raising its element switches there first.
    desktop->connection().drain();
    const AXUIElement element{far.pid, far.windows[0]};
    EXPECT_EQ(desktop->accessibility().performAction(element, kAXRaiseAction), kAXErrorSuccess);
    EXPECT_TRUE(desktop->pumpUntil([&] {
        return desktop->currentDesktop() == 1 && desktop->activeWindow() == far.windows[0];
    }));
}

// Icewm-like nesting (client in a container in the frame) under a manager whose stacking list
// is out of date, with activations as a tiling manager makes them (no restacking).
TEST_F(X11Catalogue, OrderIsMostRecentlyActiveFirstThenTheRealStacking) {
    start(false);
    auto first = desktop->launch({"--class", "a,A", "--window", "One", "--window", "Two"});
    auto second = desktop->launch({"--class", "b,B", "--window", "Three", "--window", "Four"});
    const xcb_window_t one = first.windows[0], two = first.windows[1];
    const xcb_window_t three = second.windows[0], four = second.windows[1];
    desktop->playWindowManager({one, two, three, four}, 2);
    const struct {
        const char* what;
        std::vector<xcb_window_t> bottomToTop, activated, expected;
    } steps[] = {
        {"never active: by the frames", {three, one, four, two}, {}, {two, four, one, three}},
        {"activated: latest first", {three, one, four, two}, {one, three}, {three, one, two, four}},
        {"activated again, restacked", {two, four, three, one}, {one}, {one, three, four, two}},
    };
    const auto titled = [&](const std::vector<xcb_window_t>& ids) {
        const std::map<xcb_window_t, std::string> titles{
            {one, "One"}, {two, "Two"}, {three, "Three"}, {four, "Four"}};
        std::vector<std::pair<std::uint32_t, std::string>> rows;
        for (xcb_window_t id : ids)
            rows.emplace_back(id, titles.at(id));
        return rows;
    };
    for (const auto& step : steps) {
        desktop->stackFrames(step.bottomToTop);
        for (xcb_window_t window : step.activated) {
            desktop->announceActive(window);
            // Seen before the next one, as activations a person makes are.
            desktop->pumpUntil([&] {
                const auto& windows = desktop->reader().snapshot().windows;
                return !windows.empty() && windows.front().id == window;
            });
        }
        std::vector<std::pair<std::uint32_t, std::string>> listed;
        // Titles are paired with the on-screen entries by position: they must agree as well.
        desktop->pumpUntil([&] {
            listed.clear();
            for (const WindowInfo& info : desktop->enumerate())
                listed.emplace_back(info.windowID, info.windowTitle);
            return listed == titled(step.expected);
        });
        EXPECT_EQ(listed, titled(step.expected)) << step.what;
    }
    // A reader starting now knows only the window active now.
    X11DesktopReader fresh(desktop->connection());
    std::vector<xcb_window_t> order;
    for (const X11ClientWindow& window : fresh.snapshot().windows)
        order.push_back(window.id);
    EXPECT_EQ(order, (std::vector<xcb_window_t>{one, three, four, two}));
}

TEST_F(X11Catalogue, ACommitSendsOneActivationAndOneRaiseForTheChosenWindowOnly) {
    start();
    auto editor =
        desktop->launch({"--class", "editor,Editor", "--window", "Doc A", "--window", "Doc B"});
    auto viewer = desktop->launch({"--class", "viewer,Viewer", "--window", "Picture"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return desktop->enumerate().size() == 3; }));
    // The commit's look-up of the application costs at most the root's stage (none on a desktop
    // that has not changed since it was read): no icon is read.
    desktop->connection().drain();
    ASSERT_TRUE(desktop->workspace().runningApplicationWithProcessIdentifier(editor.pid));
    EXPECT_LE(desktop->reader().lastRoundTrips(), 1);
    desktop->listenToRoot();
    const struct {
        std::string title, renamedTo; // renamed after the list was made: the front window then
        xcb_window_t expected;
    } commits[] = {
        {"Doc A", "", editor.windows[0]}, // not the application's front window
        {"Picture", "Picture, renamed", viewer.windows[0]},
    };
    for (const auto& commit : commits) {
        const auto list = desktop->enumerate();
        const WindowInfo* chosen = findTitle(list, commit.title);
        ASSERT_NE(chosen, nullptr) << commit.title;
        if (!commit.renamedTo.empty())
            setTitle(commit.expected, commit.renamedTo);
        desktop->rootMessages();
        desktop->connection().drain();
        activateWindow(desktop->catalogue(), *chosen);
        EXPECT_EQ(desktop->rootMessages(),
                  (std::vector<std::pair<xcb_atom_t, xcb_window_t>>{
                      {desktop->atom("_NET_ACTIVE_WINDOW"), commit.expected},
                      {desktop->atom("_NET_RESTACK_WINDOW"), commit.expected}}))
            << commit.title;
        EXPECT_TRUE(desktop->pumpUntil([&] { return desktop->activeWindow() == commit.expected; }));
    }
}

TEST_F(X11Catalogue, RoundTripsStayConstantAndAQuietDesktopReadsNothing) {
    start();
    auto first = desktop->launch({"--icon", "16", "--window", "Alone"});
    const auto coldStages = [&] {
        desktop->connection().drain();
        X11DesktopReader cold(desktop->connection());
        cold.snapshot();
        cold.icons(48);
        return cold.lastRoundTrips();
    };
    const int forOne = coldStages();
    EXPECT_LE(forOne, 3); // the root, every window, the icons
    desktop->launch({"--icon", "16", "--count", "30", "--window", "Many {n}"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return desktop->enumerate().size() == 31; }));
    EXPECT_EQ(coldStages(), forOne);

    // Once the manager has settled (it focuses and stacks the newcomers), nothing is asked.
    EXPECT_TRUE(desktop->pumpUntil([&] {
        desktop->reader().snapshot();
        desktop->reader().icons(48);
        return desktop->reader().lastRoundTrips() == 0;
    }));
    setTitle(first.windows[0], "Alone, renamed"); // re-reads that one window only
    desktop->connection().drain();
    desktop->reader().snapshot();
    EXPECT_EQ(desktop->reader().lastWindowsRead(), 1u);
    EXPECT_NE(findTitle(desktop->enumerate(), "Alone, renamed"), nullptr);
}

// Corvane keeps its panel ready between switches and trusts it at the chord only when no
// change was signalled since. A change whose events are queued before the chord's key press
// must therefore be signalled before the press is handled, and the list read then shows it;
// the cache then agrees with a cold read.
TEST_F(X11Catalogue, AChangeQueuedBeforeAKeyPressIsSignalledBeforeItAndTheCacheKeepsUp) {
    start();
    auto app = desktop->launch(
        {"--class", "app,App", "--window", "Kept", "--window", "Doomed", "--window", "Sleepy"});
    ASSERT_TRUE(desktop->pumpUntil([&] { return desktop->enumerate().size() == 3; }));
    constexpr std::uint32_t kF12 = 0xffc9;
    xcb_connection_t* own = desktop->connection().xcb();
    xcb_grab_key(own, 1, desktop->root(), XCB_MOD_MASK_ANY, desktop->keycodeFor(kF12),
                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    std::free(xcb_get_input_focus_reply(own, xcb_get_input_focus(own), nullptr));

    // Listens after the reader, as the event tap does.
    struct Order : X11EventListener {
        std::vector<std::string> log;
        void handleX11Event(const xcb_generic_event_t& event) override {
            if ((event.response_type & 0x7F) == XCB_KEY_PRESS)
                log.push_back("key");
        }
    } order;
    desktop->connection().addListener(&order);
    desktop->reader().onChange = [&] { order.log.push_back("change"); };

    using List = std::vector<WindowInfo>;
    const struct {
        const char* change;
        std::function<void()> make;
        std::function<bool(const List&)> shows;
    } cases[] = {
        {"renamed", [&] { setTitle(app.windows[0], "Kept, renamed"); },
         [](const List& list) { return findTitle(list, "Kept, renamed") != nullptr; }},
        {"minimized",
         [&] { // asked of the window manager, as a pager would
             xcb_client_message_event_t message{};
             message.response_type = XCB_CLIENT_MESSAGE;
             message.format = 32;
             message.window = app.windows[2];
             message.type = desktop->atom("WM_CHANGE_STATE");
             message.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
             xcb_send_event(desktop->helper(), 0, desktop->root(),
                            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                                XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                            reinterpret_cast<const char*>(&message));
             while (desktop->isViewable(app.windows[2]))
                 desktop->syncHelper();
         },
         [](const List& list) { // listed after the on-screen ones, as minimized
             return !list.empty() && list.back().windowTitle == "Sleepy" && list.back().isMinimized;
         }},
        {"destroyed",
         [&] {
             xcb_destroy_window(desktop->helper(), app.windows[1]);
             desktop->syncHelper();
         },
         [](const List& list) { return findTitle(list, "Doomed") == nullptr; }},
        {"created",
         [&] {
             desktop->launch({"--class", "late,Late", "--window", "Late"});
         },
         [](const List& list) { return findTitle(list, "Late") != nullptr; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        desktop->enumerate(); // the panel prepared from the desktop as it was
        order.log.clear();
        c.make(); // nothing drains Corvane's connection from here to the press
        desktop->tap(kF12);
        ASSERT_TRUE(desktop->pumpUntil([&] {
            return std::find(order.log.begin(), order.log.end(), "key") != order.log.end();
        }));
        EXPECT_EQ(order.log.front(), "change"); // not empty: it holds the key
        // What the switch reads as the press is handled: no further drain.
        EXPECT_TRUE(c.shows(enumerateWindows(desktop->catalogue())));
        expectSameAsColdRead();
    }
    desktop->connection().removeListener(&order);

    // The destroyed window is gone from the cache; its element fails instead of crashing.
    const AXUIElement doomed{app.pid, app.windows[1]};
    EXPECT_EQ(desktop->reader().snapshot().find(app.windows[1]), nullptr);
    EXPECT_EQ(desktop->accessibility().performAction(doomed, kAXRaiseAction), kAXErrorFailure);
    EXPECT_FALSE(desktop->accessibility().copyAttributeValue(doomed, kAXTitleAttribute).value);

    // Moved to the second desktop a window leaves the list, and comes back when the user
    // follows it there, where the first desktop's windows are not listed.
    xcb_ewmh_request_change_wm_desktop(&desktop->helperEwmh(), 0, app.windows[0], 1,
                                       XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Kept, renamed", false));
    expectSameAsColdRead();
    xcb_ewmh_request_change_current_desktop(&desktop->helperEwmh(), 0, 1, XCB_CURRENT_TIME);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Kept, renamed"));
    EXPECT_TRUE(eventuallyListed("Late", false));
    expectSameAsColdRead();
}

TEST_F(X11Catalogue, MalformedPropertiesAndTitlesFallBackToDefaultsAndStillActivate) {
    start();
    auto client = desktop->launch({"--window", "Plain", "--window", "Odd", "--window", "Long"});
    ASSERT_EQ(client.windows.size(), 3u);
    const xcb_window_t odd = client.windows[1];
    const xcb_atom_t utf8 = desktop->atom("UTF8_STRING");
    setBytes(odd, "_NET_WM_NAME", XCB_ATOM_STRING, "wrong type");
    setBytes(odd, "WM_NAME", XCB_ATOM_STRING, "caf\xE9");       // Latin-1, as ICCCM has it
    setBytes(odd, "WM_CLASS", XCB_ATOM_STRING, "abcd");         // no terminating NULs
    setBytes(odd, "_NET_WM_PID", XCB_ATOM_CARDINAL, "x");       // format 8
    setWords(odd, "_NET_WM_STATE", XCB_ATOM_CARDINAL, {12345}); // not atoms
    setWords(odd, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {0xFFFFFF, 0});
    // Read whole, however long, then cut as any title is.
    setBytes(client.windows[2], "_NET_WM_NAME", utf8, std::string(100000, 'L'));
    const auto list = desktop->enumerate();
    ASSERT_EQ(list.size(), 3u);
    const WindowInfo* info = byId(list, odd);
    ASSERT_NE(info, nullptr);
    // The pid from X-Resource, whatever the property says.
    EXPECT_EQ(std::tuple(info->windowTitle, info->appName, info->pid, info->isMinimized),
              std::tuple("caf\xC3\xA9", "abcd", client.pid, false));
    const WindowInfo* longOne = byId(list, client.windows[2]);
    ASSERT_NE(longOne, nullptr);
    EXPECT_EQ(longOne->windowTitle, std::string(kMaxTitleBytes, 'L'));
    desktop->connection().drain();
    activateWindow(desktop->catalogue(), *longOne);
    EXPECT_TRUE(desktop->pumpUntil([&] { return desktop->activeWindow() == client.windows[2]; }));

    setBytes(odd, "WM_CLASS", XCB_ATOM_STRING, ""); // empty: the process name stands in
    const auto again = desktop->enumerate();
    ASSERT_NE(byId(again, odd), nullptr);
    EXPECT_EQ(byId(again, odd)->appName, "corvane-testcli"); // /proc/<pid>/comm, cut at 15
}

TEST_F(X11Catalogue, HostileIconsGiveNoIconOrTheUsableOne) {
    start();
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
    EXPECT_EQ(std::pair(icons[cut.pid]->width, icons[cut.pid]->argb.front()),
              std::pair(16, 0xFF00FF00u));
}

TEST_F(X11Catalogue, WithoutAManagerChangesAreSeenVanishedWindowsLeftOutAndTheRestRaisedDirectly) {
    start(false);
    auto client =
        desktop->launch({"--class", "ed,Editor", "--window", "Back", "--window", "Front"});
    ASSERT_EQ(client.windows.size(), 2u);
    auto list = desktop->enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(std::tuple(list[0].windowTitle, list[0].appName), std::tuple("Front", "Editor"));
    ASSERT_EQ(desktop->log().lines.size(), 1u); // said once, not at every switch
    EXPECT_NE(desktop->log().lines[0].find("no EWMH window manager"), std::string::npos);

    // Unmapped, mapped again, its class changed: seen, and the cache agrees with a cold read.
    xcb_unmap_window(desktop->helper(), client.windows[1]);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Front", false));
    xcb_map_window(desktop->helper(), client.windows[1]);
    desktop->syncHelper();
    ASSERT_TRUE(eventuallyListed("Front"));
    setBytes(client.windows[0], "WM_CLASS", XCB_ATOM_STRING, std::string("ed\0Editor2", 11));
    ASSERT_TRUE(desktop->pumpUntil([&] {
        list = desktop->enumerate();
        const WindowInfo* back = findTitle(list, "Back");
        return back != nullptr && back->appName == "Editor2";
    }));
    expectSameAsColdRead();

    // A list naming a window that no longer exists, as a window manager's list can for a
    // moment, naming one twice, and out of order (as fluxbox keeps it): the windows as they
    // really stand, once each.
    setWords(desktop->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW,
             {client.windows[1], 0x03FFFFF0, client.windows[0], client.windows[0]});
    list = desktop->enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(std::pair(list[0].windowID, list[1].windowID),
              std::pair(client.windows[1], client.windows[0]));
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
