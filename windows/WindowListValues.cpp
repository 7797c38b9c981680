#include "windows/WindowListValues.h"

#include <cmath>
#include <utility>

namespace corvane {

namespace {

const WindowListValue* find(const WindowListEntry& entry, const std::string& key) {
    const auto it = entry.find(key);
    return it == entry.end() ? nullptr : &it->second;
}

// A double converts to an integer only when it has no fraction and lies inside int64_t: 0.0 and
// -0.0 give 0, while 0.5, NaN, infinities and 2^63 give nothing.
std::optional<std::int64_t> exactInteger(double number) {
    constexpr double twoTo63 = 9223372036854775808.0;
    if (!std::isfinite(number) || number != std::trunc(number))
        return std::nullopt;
    if (number < -twoTo63 || number >= twoTo63)
        return std::nullopt;
    return static_cast<std::int64_t>(number);
}

template <typename Integer>
std::optional<Integer> readInteger(const WindowListEntry& entry, const std::string& key) {
    const WindowListValue* value = find(entry, key);
    if (value == nullptr)
        return std::nullopt;
    std::optional<std::int64_t> wide;
    if (const auto* integer = std::get_if<std::int64_t>(value))
        wide = *integer;
    else if (const auto* number = std::get_if<double>(value))
        wide = exactInteger(*number);
    if (!wide || !std::in_range<Integer>(*wide))
        return std::nullopt;
    return static_cast<Integer>(*wide);
}

} // namespace

std::optional<std::int64_t> readInt64(const WindowListEntry& entry, const std::string& key) {
    return readInteger<std::int64_t>(entry, key);
}

std::optional<pid_t> readPid(const WindowListEntry& entry, const std::string& key) {
    return readInteger<pid_t>(entry, key);
}

std::optional<std::uint32_t> readUInt32(const WindowListEntry& entry, const std::string& key) {
    return readInteger<std::uint32_t>(entry, key);
}

std::optional<bool> readBool(const WindowListEntry& entry, const std::string& key) {
    const WindowListValue* value = find(entry, key);
    if (value == nullptr)
        return std::nullopt;
    if (const auto* flag = std::get_if<bool>(value))
        return *flag;
    return std::nullopt;
}

const std::string* readString(const WindowListEntry& entry, const std::string& key) {
    const WindowListValue* value = find(entry, key);
    return value == nullptr ? nullptr : std::get_if<std::string>(value);
}

} // namespace corvane
