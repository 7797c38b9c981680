#include "windows/AccessibilityReads.h"

#include <utility>

namespace corvane {

std::vector<AXUIElement> copyWindowElements(AccessibilityService& accessibility, pid_t pid) {
    const AXUIElement application = accessibility.createApplication(pid);
    AXCopyResult result = accessibility.copyAttributeValue(application, kAXWindowsAttribute);
    if (result.error != kAXErrorSuccess || !result.value)
        return {};
    if (auto* windows = std::get_if<std::vector<AXUIElement>>(&*result.value))
        return std::move(*windows);
    return {};
}

std::string copyWindowTitle(AccessibilityService& accessibility, const AXUIElement& window) {
    AXCopyResult result = accessibility.copyAttributeValue(window, kAXTitleAttribute);
    if (!result.value)
        return {};
    if (auto* title = std::get_if<std::string>(&*result.value))
        return std::move(*title);
    return {};
}

bool copyWindowIsMinimized(AccessibilityService& accessibility, const AXUIElement& window) {
    const AXCopyResult result = accessibility.copyAttributeValue(window, kAXMinimizedAttribute);
    if (!result.value)
        return false;
    const auto* minimized = std::get_if<bool>(&*result.value);
    return minimized != nullptr && *minimized;
}

} // namespace corvane
