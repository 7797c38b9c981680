#include "tests/app/ShellWorld.h"

#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

constexpr ControlState ON = ControlState::on;
constexpr ControlState OFF = ControlState::off;

struct MenuWorld : ::testing::Test {
    ShellWorld world;
    const Menu& menu() const { return *world.statusBar.item->menu; }
    ControlState state(const std::string& title) const { return world.statusBar.stateOf(title); }
    PropertyValue stored(const char* key) const { return world.preferences.objectForKey(key); }
};

TEST_F(MenuWorld, TheMenuHasItsThirteenItemsInOrder) {
    world.delegate->setupStatusItem();
    EXPECT_EQ(world.statusBar.requestedLength, NSSquareStatusItemLength);
    ASSERT_TRUE(world.statusBar.item->image.has_value());
    EXPECT_EQ(world.statusBar.item->image->symbolName, "rectangle.3.offgrid");
    EXPECT_EQ(world.statusBar.item->image->accessibilityDescription, "ZudedaVedudida");
    EXPECT_TRUE(world.statusBar.item->image->isTemplate);

    struct Expected {
        const char* title; // "-" for a separator
        const char* action;
        const char* key;
        bool enabled;
    };
    const Expected expected[] = {
        {"ZudedaVedudida", "", "", false},
        {"-", "", "", false},
        {"Hotkey", "", "", true},
        {"-", "", "", false},
        {"Keep open on mouse hover", "toggleMouseHover:", "", true},
        {"-", "", "", false},
        {"Launch at Login", "toggleLoginItem:", "", true},
        {"-", "", "", false},
        {"More from Tarrow", "openMoreApps", "", true},
        {"-", "", "", false},
        {"About", "showAbout", "", true},
        {"-", "", "", false},
        {"Quit", "terminate:", "q", true},
    };
    const auto& items = menu().items();
    ASSERT_EQ(items.size(), std::size(expected));
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i + 1));
        const bool separator = std::string(expected[i].title) == "-";
        EXPECT_EQ(items[i]->isSeparatorItem(), separator);
        if (separator)
            continue;
        EXPECT_EQ(items[i]->title(), expected[i].title);
        EXPECT_EQ(items[i]->actionName(), expected[i].action);
        EXPECT_EQ(items[i]->keyEquivalent(), expected[i].key);
        EXPECT_EQ(items[i]->isEnabled(), expected[i].enabled);
    }
    // Every separator is an item of its own.
    EXPECT_NE(items[1], items[3]);

    const auto& hotkeyMenu = items[2]->submenu();
    ASSERT_NE(hotkeyMenu, nullptr);
    EXPECT_EQ(hotkeyMenu->title(), "Hotkey");
    ASSERT_EQ(hotkeyMenu->items().size(), 2u);
    EXPECT_EQ(hotkeyMenu->items()[0]->title(), "Option+Tab");
    EXPECT_EQ(hotkeyMenu->items()[0]->representedObject(), PropertyValue(std::string("optionTab")));
    EXPECT_EQ(hotkeyMenu->items()[1]->title(), "Cmd+Tab (replaces system switcher)");
    EXPECT_EQ(hotkeyMenu->items()[1]->representedObject(), PropertyValue(std::string("cmdTab")));
    for (const auto& item : hotkeyMenu->items())
        EXPECT_EQ(item->actionName(), "selectHotkey:");
    EXPECT_EQ(world.delegate->hotkeyMenuItems.at(HotkeyMode::cmdTab), hotkeyMenu->items()[1]);
    EXPECT_EQ(world.delegate->mouseHoverMenuItem, items[4]);
}

TEST_F(MenuWorld, CheckmarksAtLaunchFollowTheStoredValues) {
    struct Case {
        const char* name;
        PropertyValue hotkeyMode;
        PropertyValue keepOpen;
        LoginItemStatus login;
        ControlState option, command, hover, launchAtLogin;
    };
    const Case cases[] = {
        {"first launch", {}, {}, LoginItemStatus::notRegistered, ON, OFF, ON, OFF},
        {"cmdTab stored", std::string("cmdTab"), false, LoginItemStatus::enabled, OFF, ON, OFF, ON},
        {"a foreign mode", std::string("Cmd+Tab"), true, LoginItemStatus::requiresApproval, ON, OFF,
         ON, OFF},
        {"hover as text", std::string("optionTab"), std::string("no"), LoginItemStatus::notFound,
         ON, OFF, ON, OFF},
        {"hover as number", {}, 0.0, LoginItemStatus::notRegistered, ON, OFF, ON, OFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShellWorld w;
        w.preferences.setObject(kHotkeyModePreferenceKey, c.hotkeyMode);
        w.preferences.setObject(kMouseHoverKeepOpenPreferenceKey, c.keepOpen);
        w.loginItems.currentStatus = c.login;
        w.delegate->setupStatusItem();
        EXPECT_EQ(w.statusBar.stateOf("Option+Tab"), c.option);
        EXPECT_EQ(w.statusBar.stateOf("Cmd+Tab (replaces system switcher)"), c.command);
        EXPECT_EQ(w.statusBar.stateOf("Keep open on mouse hover"), c.hover);
        EXPECT_EQ(w.statusBar.stateOf("Launch at Login"), c.launchAtLogin);
        // Reading never corrects what is stored.
        EXPECT_EQ(w.preferences.objectForKey(kHotkeyModePreferenceKey), c.hotkeyMode);
        EXPECT_EQ(w.preferences.objectForKey(kMouseHoverKeepOpenPreferenceKey), c.keepOpen);
    }
}

TEST_F(MenuWorld, ChoosingAHotkeyMovesTheSingleCheckmark) {
    world.preferences.set(kHotkeyModePreferenceKey, std::string("something old"));
    world.delegate->setupStatusItem();
    EXPECT_EQ(stored(kHotkeyModePreferenceKey), PropertyValue(std::string("something old")));

    world.statusBar.choose("Cmd+Tab (replaces system switcher)");
    EXPECT_EQ(stored(kHotkeyModePreferenceKey), PropertyValue(std::string("cmdTab")));
    EXPECT_EQ(state("Option+Tab"), OFF);
    EXPECT_EQ(state("Cmd+Tab (replaces system switcher)"), ON);

    const int writes = world.preferences.writeCount;
    world.statusBar.choose("Cmd+Tab (replaces system switcher)");
    EXPECT_EQ(world.preferences.writeCount, writes + 1) << "the same value is stored again";
    EXPECT_EQ(state("Cmd+Tab (replaces system switcher)"), ON);

    world.statusBar.choose("Option+Tab");
    EXPECT_EQ(stored(kHotkeyModePreferenceKey), PropertyValue(std::string("optionTab")));
    EXPECT_EQ(state("Option+Tab"), ON);
    EXPECT_EQ(state("Cmd+Tab (replaces system switcher)"), OFF);
}

TEST_F(MenuWorld, AHotkeyItemWithoutAValidRawValueChangesNothing) {
    world.delegate->setupStatusItem();
    auto item = world.statusBar.menuItem("Cmd+Tab (replaces system switcher)");
    for (PropertyValue odd : {PropertyValue{}, PropertyValue(1.0), PropertyValue(true),
                              PropertyValue(std::string("CmdTab"))}) {
        item->setRepresentedObject(odd);
        const int writes = world.preferences.writeCount;
        world.statusBar.choose("Cmd+Tab (replaces system switcher)");
        EXPECT_EQ(world.preferences.writeCount, writes);
        EXPECT_EQ(state("Option+Tab"), ON);
    }
}

TEST_F(MenuWorld, TogglingHoverFromAbsentStoresFalseThenTrue) {
    world.delegate->setupStatusItem();
    world.statusBar.choose("Keep open on mouse hover");
    EXPECT_EQ(stored(kMouseHoverKeepOpenPreferenceKey), PropertyValue(false));
    EXPECT_EQ(state("Keep open on mouse hover"), OFF);
    world.statusBar.choose("Keep open on mouse hover");
    EXPECT_EQ(stored(kMouseHoverKeepOpenPreferenceKey), PropertyValue(true));
    EXPECT_EQ(state("Keep open on mouse hover"), ON);
}

TEST_F(MenuWorld, AHoverValueThatIsNotABooleanCountsAsTrueAndToggleStoresFalse) {
    world.preferences.set(kMouseHoverKeepOpenPreferenceKey, std::string("false"));
    EXPECT_TRUE(world.delegate->isMouseHoverKeepOpen());
    world.delegate->setupStatusItem();
    EXPECT_EQ(state("Keep open on mouse hover"), ON);
    world.statusBar.choose("Keep open on mouse hover");
    EXPECT_EQ(stored(kMouseHoverKeepOpenPreferenceKey), PropertyValue(false));
    EXPECT_FALSE(world.delegate->isMouseHoverKeepOpen());
}

TEST_F(MenuWorld, WithoutAButtonTheMenuIsStillAttached) {
    world.statusBar.itemsHaveButtons = false;
    world.delegate->setupStatusItem();
    EXPECT_FALSE(world.statusBar.item->image.has_value());
    ASSERT_NE(world.statusBar.item->menu, nullptr);
    EXPECT_EQ(world.statusBar.item->menu->items().size(), 13u);
}

TEST_F(MenuWorld, QuitTerminatesThroughTheApplication) {
    world.application.setDelegate(world.delegate.get());
    world.launch();
    world.statusBar.choose("Quit");
    EXPECT_EQ(world.application.terminateCount, 1);
    EXPECT_FALSE(world.taps.tap()->isEnabled);
}

TEST_F(MenuWorld, MenuItemsDoNotKeepTheDelegateAlive) {
    world.delegate->setupStatusItem();
    auto hover = world.statusBar.menuItem("Keep open on mouse hover");
    std::weak_ptr<AppDelegate> weak = world.delegate;
    world.delegate.reset();
    EXPECT_TRUE(weak.expired());
    const int writes = world.preferences.writeCount;
    hover->performAction();
    EXPECT_EQ(world.preferences.writeCount, writes);
}

TEST_F(MenuWorld, LaunchAtLoginFollowsTheCheckmarkAndTheCallsSuccess) {
    struct Case {
        const char* name;
        LoginItemStatus atLaunch;
        LoginItemStatus changedOutside;
        std::optional<std::string> failure;
        const char* expectedCall;
        ControlState after;
        std::vector<std::string> logged;
    };
    const Case cases[] = {
        {"off, registers",
         LoginItemStatus::notRegistered,
         LoginItemStatus::notRegistered,
         {},
         "register",
         ON,
         {}},
        {"on, unregisters",
         LoginItemStatus::enabled,
         LoginItemStatus::enabled,
         {},
         "unregister",
         OFF,
         {}},
        {"off, registration refused",
         LoginItemStatus::notRegistered,
         LoginItemStatus::notRegistered,
         std::string("Operation not permitted"),
         "register",
         OFF,
         {"Corvane: login item toggle failed: Operation not permitted"}},
        {"on, but removed from outside",
         LoginItemStatus::enabled,
         LoginItemStatus::notRegistered,
         {},
         "unregister",
         OFF,
         {}},
        {"needs approval shows off, registers",
         LoginItemStatus::requiresApproval,
         LoginItemStatus::requiresApproval,
         {},
         "register",
         ON,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShellWorld w;
        w.loginItems.currentStatus = c.atLaunch;
        w.delegate->setupStatusItem();
        w.loginItems.currentStatus = c.changedOutside;
        w.loginItems.failure = c.failure;
        w.loginItems.calls.clear();
        w.statusBar.choose("Launch at Login");
        EXPECT_EQ(w.loginItems.calls, std::vector<std::string>{c.expectedCall});
        EXPECT_EQ(w.statusBar.stateOf("Launch at Login"), c.after);
        EXPECT_EQ(w.systemLog.lines, c.logged);
    }
}

TEST_F(MenuWorld, AboutShowsTheBuildVersionAndTheMakerLinkOpensItsPage) {
    world.delegate->setupStatusItem();
    world.statusBar.choose("About");
    ASSERT_EQ(world.alerts.shown.size(), 1u);
    const Alert& about = world.alerts.shown[0];
    EXPECT_EQ(about.messageText, "Corvane");
    EXPECT_EQ(about.style, AlertStyle::informational);
    EXPECT_EQ(about.buttons, std::vector<std::string>{"OK"});
    ASSERT_TRUE(buildVersion().has_value());
    EXPECT_EQ(about.informativeText.rfind("Version " + *buildVersion() +
                                              "\n\nKeyboard-driven window switcher.\n"
                                              "Press Option+Tab to switch windows.\n\n",
                                          0),
              0u);
    const std::string notice =
        about.informativeText.substr(about.informativeText.rfind("\n\n") + 2);
    EXPECT_FALSE(notice.empty());
    EXPECT_EQ(notice.find('\n'), std::string::npos) << "the maker notice is one line";

    EXPECT_EQ(aboutInformativeText(std::nullopt).rfind("Version ?\n\n", 0), 0u);

    world.urls.succeeds = false;
    world.statusBar.choose("More from Tarrow");
    EXPECT_EQ(world.urls.opened,
              std::vector<std::string>{"https://tarrow.app/our-apps/?ref=corvane"});
    EXPECT_TRUE(world.systemLog.lines.empty()) << "a failed open is not reported";
}

} // namespace
} // namespace corvane::testing
