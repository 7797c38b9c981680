#pragma once
// The Accessibility operations Corvane uses on other applications' windows. Elements are plain
// handles that only the backend interprets; they own nothing and may name a window that has
// since gone away, in which case the calls on them fail with an error code.

#include "platform/PropertyValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <variant>
#include <vector>

namespace corvane {

using AXError = std::int32_t;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorNoValue = -25212;

inline constexpr const char* kAXWindowsAttribute = "AXWindows";
inline constexpr const char* kAXTitleAttribute = "AXTitle";
inline constexpr const char* kAXMinimizedAttribute = "AXMinimized";
inline constexpr const char* kAXMainAttribute = "AXMain";
inline constexpr const char* kAXRaiseAction = "AXRaise";

// An application element (window == 0) or one of its window elements.
struct AXUIElement {
    pid_t pid = 0;
    std::uint64_t window = 0;
    bool operator==(const AXUIElement&) const = default;
};

// A list of elements, a string, a Bool, or anything else.
using AXValue = std::variant<std::vector<AXUIElement>, std::string, bool, OtherValue>;

struct AXCopyResult {
    AXError error = kAXErrorFailure;
    std::optional<AXValue> value; // may be present even when error is not success
};

class AccessibilityService {
  public:
    virtual ~AccessibilityService() = default;
    // The application element of a process: the same handle on every backend, which finds the
    // process's windows from it.
    virtual AXUIElement createApplication(pid_t pid) { return {pid, 0}; }
    virtual AXCopyResult copyAttributeValue(const AXUIElement& element,
                                            const std::string& attribute) = 0;
    virtual AXError setAttributeValue(const AXUIElement& element, const std::string& attribute,
                                      const AXValue& value) = 0;
    virtual AXError performAction(const AXUIElement& element, const std::string& action) = 0;
};

} // namespace corvane
