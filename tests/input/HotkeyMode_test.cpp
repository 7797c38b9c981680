#include "fakes/FakePreferences.h"
#include "input/HotkeyMode.h"
#include "platform/EventTap.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using testing::FakePreferences;

TEST(HotkeyMode, CasesCarryTheirRawValuesTitlesAndModifierBits) {
    const auto cases = HotkeyMode::allCases();
    ASSERT_EQ(cases.size(), 2u);
    EXPECT_EQ(cases[0], HotkeyMode::optionTab);
    EXPECT_EQ(cases[1], HotkeyMode::cmdTab);

    EXPECT_EQ(HotkeyMode(HotkeyMode::optionTab).rawValue(), "optionTab");
    EXPECT_EQ(HotkeyMode(HotkeyMode::optionTab).title(), "Option+Tab");
    EXPECT_EQ(HotkeyMode(HotkeyMode::optionTab).modifierFlag(), 0x80000u);
    EXPECT_EQ(HotkeyMode(HotkeyMode::cmdTab).rawValue(), "cmdTab");
    EXPECT_EQ(HotkeyMode(HotkeyMode::cmdTab).title(), "Cmd+Tab (replaces system switcher)");
    EXPECT_EQ(HotkeyMode(HotkeyMode::cmdTab).modifierFlag(), 0x100000u);
}

TEST(HotkeyMode, RawValueConversionIsExactAndCaseSensitive) {
    EXPECT_EQ(HotkeyMode::fromRawValue("optionTab"), HotkeyMode(HotkeyMode::optionTab));
    EXPECT_EQ(HotkeyMode::fromRawValue("cmdTab"), HotkeyMode(HotkeyMode::cmdTab));
    for (const char* odd : {"", "CmdTab", "cmdtab", " cmdTab", "cmdTab ", "Option+Tab", "cmdTab\n"})
        EXPECT_EQ(HotkeyMode::fromRawValue(odd), std::nullopt) << '"' << odd << '"';
}

TEST(HotkeyMode, CurrentResolvesEveryStoredValue) {
    struct Case {
        const char* name;
        PropertyValue stored;
        HotkeyMode expected;
    };
    const Case cases[] = {
        {"absent", PropertyValue{}, HotkeyMode::optionTab},
        {"optionTab", std::string("optionTab"), HotkeyMode::optionTab},
        {"cmdTab", std::string("cmdTab"), HotkeyMode::cmdTab},
        {"other capitalisation", std::string("CMDTAB"), HotkeyMode::optionTab},
        {"leading blank", std::string(" cmdTab"), HotkeyMode::optionTab},
        {"trailing blank", std::string("cmdTab "), HotkeyMode::optionTab},
        {"empty text", std::string(""), HotkeyMode::optionTab},
        {"a Bool", true, HotkeyMode::optionTab},
        {"a number", 1.0, HotkeyMode::optionTab},
        {"something else", OtherValue{"<data>"}, HotkeyMode::optionTab},
    };
    for (const auto& c : cases) {
        FakePreferences store;
        store.setObject(kHotkeyModePreferenceKey, c.stored);
        EXPECT_EQ(HotkeyMode::current(store), c.expected) << c.name;
        // The odd value is read, never corrected.
        EXPECT_EQ(store.objectForKey(kHotkeyModePreferenceKey), c.stored) << c.name;
    }
}

TEST(HotkeyMode, CurrentReadsTheStoreAtEveryCall) {
    FakePreferences store;
    EXPECT_EQ(HotkeyMode::current(store), HotkeyMode::optionTab);
    store.set(kHotkeyModePreferenceKey, std::string("cmdTab"));
    EXPECT_EQ(HotkeyMode::current(store), HotkeyMode::cmdTab);
    store.remove(kHotkeyModePreferenceKey);
    EXPECT_EQ(HotkeyMode::current(store), HotkeyMode::optionTab);
    EXPECT_EQ(store.readCount, 3);
}

} // namespace
} // namespace corvane
