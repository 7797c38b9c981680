#pragma once
// The Accessibility trust check for tests: grant() and revoke() play the user's answer in the
// system settings.

#include "fakes/CallLog.h"
#include "platform/AccessibilityTrust.h"

namespace corvane::testing {

class FakeAccessibilityTrust : public AccessibilityTrust {
  public:
    explicit FakeAccessibilityTrust(CallLog* log = nullptr) : log_(log) {}

    bool isProcessTrusted() override {
        ++checkCount;
        if (log_)
            log_->record(trusted ? "isProcessTrusted -> true" : "isProcessTrusted -> false");
        return trusted;
    }
    std::optional<std::string> accessibilitySettingsURL() const override { return settingsURL; }

    void grant() { trusted = true; }
    void revoke() { trusted = false; }

    bool trusted = true;
    std::optional<std::string> settingsURL = std::string(
        "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
    int checkCount = 0;

  private:
    CallLog* log_;
};

} // namespace corvane::testing
