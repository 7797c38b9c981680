#include "app/AppDelegate.h"

// Seams until the switcher HUD lands: the actions are callable and do nothing yet.
namespace corvane {

void AppDelegate::setupHUD() {}
void AppDelegate::beginSwitch(bool) {}
void AppDelegate::advanceSwitch(bool) {}
void AppDelegate::stepSelection(bool) {}
void AppDelegate::commitSwitch() {}
void AppDelegate::cancelSwitch() {}
void AppDelegate::handleModifierRelease() {}
void AppDelegate::handleHUDDismiss() {
    hudIsShowing = false;
    hudMouseHoverMode = false;
    syncTapInterest();
}

bool AppDelegate::isMouseHoverKeepOpen() const {
    return boolValue(platform_.preferences.objectForKey(kMouseHoverKeepOpenPreferenceKey))
        .value_or(true);
}

} // namespace corvane
