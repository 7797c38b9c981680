#include "fakes/FakePreferences.h"
#include "input/HotkeyMode.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// Only exactly "cmdTab" selects Command+Tab; whatever else is stored reads as Option+Tab and is
// left as it is. A fresh store per case also catches a mode cached from an earlier read.
TEST(HotkeyMode, CurrentResolvesEveryStoredValueWithoutCorrectingIt) {
    struct Case {
        const char* name;
        PropertyValue stored;
        HotkeyMode expected;
    };
    const Case cases[] = {
        {"absent", PropertyValue{}, HotkeyMode::optionTab},
        {"cmdTab", std::string("cmdTab"), HotkeyMode::cmdTab},
        {"optionTab", std::string("optionTab"), HotkeyMode::optionTab},
        {"other capitalisation", std::string("CmdTab"), HotkeyMode::optionTab},
        {"leading blank", std::string(" cmdTab"), HotkeyMode::optionTab},
        {"trailing newline", std::string("cmdTab\n"), HotkeyMode::optionTab},
        {"a title", std::string("Cmd+Tab (replaces system switcher)"), HotkeyMode::optionTab},
        {"a Bool", true, HotkeyMode::optionTab},
        {"a number", 1.0, HotkeyMode::optionTab},
        {"something else", OtherValue{"<data>"}, HotkeyMode::optionTab},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::FakePreferences store;
        store.setObject(kHotkeyModePreferenceKey, c.stored);
        EXPECT_EQ(HotkeyMode::current(store), c.expected);
        EXPECT_EQ(store.objectForKey(kHotkeyModePreferenceKey), c.stored);
        // The rows named after a raw value are the only ones that convert back to a mode.
        if (const auto* text = std::get_if<std::string>(&c.stored)) {
            EXPECT_EQ(HotkeyMode::fromRawValue(*text).has_value(), *text == c.name);
        }
    }
}

} // namespace
} // namespace corvane
