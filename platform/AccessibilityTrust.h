#pragma once
// Whether Corvane may intercept keys and raise windows, and where the user grants that.

#include <optional>
#include <string>

namespace corvane {

class AccessibilityTrust {
  public:
    virtual ~AccessibilityTrust() = default;

    // Asked without prompting: the platform shows no dialog of its own.
    virtual bool isProcessTrusted() = 0;

    // The system settings page where access is granted, as a URL; none where the platform has
    // no such page (the permission flow then opens nothing).
    virtual std::optional<std::string> accessibilitySettingsURL() const = 0;
};

} // namespace corvane
