#include "fakes/ShellWorld.h"

#include <gtest/gtest.h>

namespace corvane::testing {
namespace {

constexpr ControlState ON = ControlState::on, OFF = ControlState::off;

struct MenuWorld : ::testing::Test {
    ShellWorld world;
    ControlState state(const std::string& title) const { return world.statusBar.stateOf(title); }
    PropertyValue stored(const char* key) const { return world.preferences.objectForKey(key); }
};

// A foreign stored mode shows as Option+Tab and stays stored, as does a hotkey item whose raw
// value is no mode; a real one moves the single checkmark.
TEST_F(MenuWorld, ChoosingAHotkeyMovesTheSingleCheckmark) {
    const PropertyValue foreign = std::string("Cmd+Tab");
    world.preferences.setObject(kHotkeyModePreferenceKey, foreign);
    world.delegate->setupStatusItem();
    const std::string cmd = "Cmd+Tab (replaces system switcher)";
    auto item = world.statusBar.menuItem(cmd);
    for (PropertyValue odd : {PropertyValue{}, PropertyValue(1.0), PropertyValue(true),
                              PropertyValue(std::string("CmdTab"))}) {
        EXPECT_EQ(stored(kHotkeyModePreferenceKey), foreign);
        EXPECT_EQ(std::pair(state("Option+Tab"), state(cmd)), std::pair(ON, OFF));
        item->setRepresentedObject(odd);
        item->performAction();
    }
    item->setRepresentedObject(std::string("cmdTab"));
    for (const std::string& choice : {cmd, cmd, std::string("Option+Tab")}) {
        SCOPED_TRACE(choice);
        world.statusBar.choose(choice);
        const bool isCmd = choice == cmd;
        EXPECT_EQ(stored(kHotkeyModePreferenceKey),
                  PropertyValue(std::string(isCmd ? "cmdTab" : "optionTab")));
        EXPECT_EQ(std::pair(state("Option+Tab"), state(cmd)),
                  isCmd ? std::pair(OFF, ON) : std::pair(ON, OFF));
    }
}

TEST_F(MenuWorld, TogglingHoverStoresTheOppositeOfWhatTheMenuShowed) {
    struct Case {
        const char* name;
        PropertyValue before;
        ControlState shown;
        std::vector<bool> storedAfterToggles;
    };
    const Case cases[] = {
        {"absent counts as on", {}, ON, {false, true}},
        {"a text counts as on", std::string("false"), ON, {false, true}},
        {"a number counts as on", 0.0, ON, {false, true}},
        {"false", false, OFF, {true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShellWorld w;
        w.preferences.setObject(kMouseHoverKeepOpenPreferenceKey, c.before);
        w.delegate->setupStatusItem();
        EXPECT_EQ(w.statusBar.stateOf("Keep open on mouse hover"), c.shown);
        EXPECT_EQ(w.preferences.objectForKey(kMouseHoverKeepOpenPreferenceKey), c.before);
        for (bool expected : c.storedAfterToggles) {
            w.statusBar.choose("Keep open on mouse hover");
            EXPECT_EQ(w.preferences.objectForKey(kMouseHoverKeepOpenPreferenceKey),
                      PropertyValue(expected));
            EXPECT_EQ(w.statusBar.stateOf("Keep open on mouse hover"), expected ? ON : OFF);
            EXPECT_EQ(w.delegate->isMouseHoverKeepOpen(), expected);
        }
    }
}

TEST_F(MenuWorld, LaunchAtLoginFollowsTheCheckmarkAndTheCallsSuccess) {
    struct Case {
        const char* name;
        LoginItemStatus atLaunch, changedOutside;
        std::optional<std::string> failure;
        const char* expectedCall;
        ControlState after;
    };
    using enum LoginItemStatus;
    const std::string refused = "Operation not permitted";
    const Case cases[] = {
        {"off, registers", notRegistered, notRegistered, {}, "register", ON},
        {"on, unregisters", enabled, enabled, {}, "unregister", OFF},
        {"off, registration refused", notRegistered, notRegistered, refused, "register", OFF},
        {"on, but removed from outside", enabled, notRegistered, {}, "unregister", OFF},
        {"needs approval shows off", requiresApproval, requiresApproval, {}, "register", ON},
        {"not found shows off", notFound, notFound, {}, "register", ON},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShellWorld w;
        w.loginItems.currentStatus = c.atLaunch;
        w.delegate->setupStatusItem();
        w.loginItems.currentStatus = c.changedOutside;
        w.loginItems.failure = c.failure;
        w.statusBar.choose("Launch at Login");
        EXPECT_EQ(w.loginItems.log.calls, std::vector<std::string>{c.expectedCall});
        EXPECT_EQ(w.statusBar.stateOf("Launch at Login"), c.after);
        EXPECT_EQ(w.systemLog.lines,
                  c.failure ? std::vector{"Corvane: login item toggle failed: " + *c.failure}
                            : std::vector<std::string>{});
    }
}

TEST_F(MenuWorld, AboutShowsTheBuildVersionAndTheMakerLinkOpensItsPage) {
    world.delegate->setupStatusItem();
    world.statusBar.choose("About");
    ASSERT_EQ(world.alerts.shown.size(), 1u);
    ASSERT_TRUE(buildVersion().has_value());
    EXPECT_EQ(world.alerts.shown[0].informativeText.rfind("Version " + *buildVersion() + "\n", 0),
              0u);
    EXPECT_EQ(aboutInformativeText(std::nullopt).rfind("Version ?\n\n", 0), 0u);

    world.urls.succeeds = false;
    world.statusBar.choose("More from Tarrow");
    EXPECT_EQ(world.log.startingWith("openURL"),
              std::vector<std::string>{"openURL(https://tarrow.app/our-apps/?ref=corvane)"});
    EXPECT_TRUE(world.systemLog.lines.empty()) << "a failed open is not reported";
}

} // namespace
} // namespace corvane::testing
