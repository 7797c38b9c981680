#pragma once
// A typed value as the platform's property stores hand it over: preferences, a menu item's
// represented object. Plain data; copying a value copies everything in it.

#include <optional>
#include <string>
#include <variant>

namespace corvane {

// A value of a type Corvane does not read (a date, a list, raw data...). Only its description
// is kept, for logs and tests.
struct OtherValue {
    std::string description;
    bool operator==(const OtherValue&) const = default;
};

// std::monostate means "absent": no value is stored under the key.
using PropertyValue = std::variant<std::monostate, std::string, bool, double, OtherValue>;

inline bool isAbsent(const PropertyValue& value) {
    return std::holds_alternative<std::monostate>(value);
}

inline std::optional<std::string> stringValue(const PropertyValue& value) {
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    return std::nullopt;
}

inline std::optional<bool> boolValue(const PropertyValue& value) {
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag;
    return std::nullopt;
}

} // namespace corvane
