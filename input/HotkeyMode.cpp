#include "input/HotkeyMode.h"

#include "platform/EventTap.h"
#include "platform/Preferences.h"

namespace corvane {

std::optional<HotkeyMode> HotkeyMode::fromRawValue(std::string_view rawValue) {
    for (HotkeyMode mode : allCases()) {
        if (mode.rawValue() == rawValue)
            return mode;
    }
    return std::nullopt;
}

HotkeyMode HotkeyMode::current(const PreferencesStore& store) {
    const std::string stored =
        stringValue(store.objectForKey(kHotkeyModePreferenceKey)).value_or(std::string{});
    return fromRawValue(stored).value_or(optionTab);
}

std::string_view HotkeyMode::rawValue() const {
    switch (value_) {
    case optionTab:
        return "optionTab";
    case cmdTab:
        return "cmdTab";
    }
    return "optionTab";
}

std::string_view HotkeyMode::title() const {
    switch (value_) {
    case optionTab:
        return "Option+Tab";
    case cmdTab:
        return "Cmd+Tab (replaces system switcher)";
    }
    return "Option+Tab";
}

std::uint64_t HotkeyMode::modifierFlag() const {
    return value_ == cmdTab ? kCGEventFlagMaskCommand : kCGEventFlagMaskAlternate;
}

} // namespace corvane
