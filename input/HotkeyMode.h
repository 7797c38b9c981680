#pragma once
// The chord that opens the switcher: Option+Tab or Command+Tab. The choice is stored in the
// preferences under "hotkeyMode" as the mode's raw value and read afresh at every use, so a
// change made in the menu applies from the very next key event.

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace corvane {

class PreferencesStore;

inline constexpr const char* kHotkeyModePreferenceKey = "hotkeyMode";

class HotkeyMode {
  public:
    enum Case : std::uint8_t { optionTab, cmdTab };

    constexpr HotkeyMode(Case value) : value_(value) {} // NOLINT: reads like the enum it wraps

    // Exactly "optionTab" or "cmdTab", compared in full and case-sensitively; nothing else.
    static std::optional<HotkeyMode> fromRawValue(std::string_view rawValue);
    static constexpr std::array<Case, 2> allCases() { return {optionTab, cmdTab}; }

    // The stored mode, read from the store at every call. Anything but exactly "cmdTab"
    // (absent, not a string, other capitalisation, blanks around it) means optionTab; the odd
    // value is left stored as it is.
    static HotkeyMode current(const PreferencesStore& store);

    std::string_view rawValue() const;
    std::string_view title() const;
    // The one bit of the event flag word that must be down for the chord.
    std::uint64_t modifierFlag() const;

    constexpr Case value() const { return value_; }
    constexpr bool operator==(const HotkeyMode&) const = default;
    constexpr auto operator<=>(const HotkeyMode&) const = default;

  private:
    Case value_;
};

} // namespace corvane

template <> struct std::hash<corvane::HotkeyMode> {
    std::size_t operator()(const corvane::HotkeyMode& mode) const noexcept {
        return std::hash<int>{}(static_cast<int>(mode.value()));
    }
};
