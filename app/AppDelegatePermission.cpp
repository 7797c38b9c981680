// AppDelegate, part 2 of 5: the Accessibility permission alert and polling.
#include "app/AppDelegate.h"

namespace corvane {
namespace {

Alert accessibilityAlert() {
    return Alert{
        .messageText = "Accessibility Permission Required",
        .informativeText = "Corvane needs Accessibility access to intercept Option+Tab and to "
                           "raise specific windows.\n\nPlease enable it in:\nSystem Settings "
                           "\u2192 Privacy & Security \u2192 Accessibility",
        .style = AlertStyle::warning,
        .buttons = {"Open System Settings", "Later"},
    };
}

} // namespace

void AppDelegate::showAccessibilityAlert() {
    if (platform_.alerts.runModal(accessibilityAlert()) == NSAlertFirstButtonReturn)
        openAccessibilitySettings();
}

void AppDelegate::openAccessibilitySettings() {
    const auto url = platform_.accessibilityTrust.accessibilitySettingsURL();
    if (!url || url->empty())
        return;
    platform_.urlOpener.openURL(*url);
}

void AppDelegate::startPermissionPolling() {
    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    permissionTimer =
        platform_.timers.scheduleTimer(kPermissionPollingInterval, true, [weakSelf](Timer& timer) {
            auto self = weakSelf.lock();
            if (!self) {
                timer.invalidate();
                return;
            }
            if (!self->platform_.accessibilityTrust.isProcessTrusted())
                return;
            timer.invalidate();
            self->permissionTimer = nullptr;
            self->startEventTap();
        });
}

} // namespace corvane
