#pragma once
// The window server's list of on-screen windows, front to back. Each entry is a dictionary of
// typed values under string keys, as the window server gives it; Corvane converts a value only
// when it is present and exactly representable in the type it needs.

#include "platform/PropertyValue.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace corvane {

inline constexpr std::uint32_t kCGWindowListOptionOnScreenOnly = 1;
inline constexpr std::uint32_t kCGWindowListExcludeDesktopElements = 16;
inline constexpr std::uint32_t kCGNullWindowID = 0;

inline constexpr const char* kCGWindowLayer = "kCGWindowLayer";
inline constexpr const char* kCGWindowNumber = "kCGWindowNumber";
inline constexpr const char* kCGWindowOwnerPID = "kCGWindowOwnerPID";
inline constexpr const char* kCGWindowOwnerName = "kCGWindowOwnerName";
inline constexpr const char* kCGWindowIsOnscreen = "kCGWindowIsOnscreen";

// An integer, a floating-point number, a Bool, a string, or anything else.
using WindowListValue = std::variant<std::int64_t, double, bool, std::string, OtherValue>;
using WindowListEntry = std::map<std::string, WindowListValue>;

class WindowServer {
  public:
    virtual ~WindowServer() = default;

    // The on-screen windows, front to back, or nothing when the list cannot be had. An empty
    // list is an answer, not a failure.
    virtual std::optional<std::vector<WindowListEntry>>
    copyWindowList(std::uint32_t options, std::uint32_t relativeToWindow) = 0;

    // Calls handler on the main thread whenever what enumeration reads may have changed (a
    // window opened, closed, renamed, restacked, minimized, moved to another desktop), before
    // any input that arrived after the change is handled. Returns false when this window server
    // cannot tell, and then never calls it: the list must be read afresh at every switch.
    virtual bool observeWindowListChanges(std::function<void()> handler) {
        (void)handler;
        return false;
    }
};

} // namespace corvane
