#pragma once
// The Accessibility API on ApplicationServices.
// - MacAccessibility: application elements are made afresh for each call
//   (AXUIElementCreateApplication); window elements are those of the process's latest
//   "AXWindows" read, kept behind the core's handles by a MacAXElementTable. Values are
//   converted by axValueFromCF, error codes by axErrorFromSystem. Setting an attribute supports
//   the Bool values the core sets ("AXMain"); other values are refused as an illegal argument.
// - MacAccessibilityTrust: AXIsProcessTrustedWithOptions(NULL), so the system shows no prompt of
//   its own; the settings page is Privacy & Security → Accessibility.
// macOS only.

#include "platform/Accessibility.h"
#include "platform/AccessibilityTrust.h"
#include "platform/macos/MacAXElementTable.h"

namespace corvane {

class MacAccessibility : public AccessibilityService {
  public:
    MacAccessibility();

    AXCopyResult copyAttributeValue(const AXUIElement& element,
                                    const std::string& attribute) override;
    AXError setAttributeValue(const AXUIElement& element, const std::string& attribute,
                              const AXValue& value) override;
    AXError performAction(const AXUIElement& element, const std::string& action) override;

  private:
    MacAXElementTable windows_;
};

class MacAccessibilityTrust : public AccessibilityTrust {
  public:
    bool isProcessTrusted() override;
    std::optional<std::string> accessibilitySettingsURL() const override {
        return "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility";
    }
};

} // namespace corvane
