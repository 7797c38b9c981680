#include "app/AppDelegate.h"
#include "hud/SwitcherHUD.h"
#include "windows/WindowCatalogue.h"

// The AppDelegate's side of a switch: the actions the key decisions queue, carried out on the
// main queue against the one HUD and the window catalogue.
namespace corvane {
namespace {

WindowCatalogue catalogueOf(Platform& platform) {
    return WindowCatalogue{platform.windowServer, platform.accessibility, platform.workspace,
                           platform.processInfo};
}

} // namespace

void AppDelegate::setupHUD() {
    hud = std::make_shared<SwitcherHUD>(platform_.ui);
    // The catalogue's services outlive the HUD; the closure holds nothing of the AppDelegate.
    hud->onActivate = [catalogue = catalogueOf(platform_)](WindowInfo info) {
        activateWindow(catalogue, info);
    };
    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    hud->onDismiss = [weakSelf] {
        if (auto self = weakSelf.lock())
            self->handleHUDDismiss();
    };
}

void AppDelegate::beginSwitch(bool forward) {
    hud->windows = enumerateWindows(catalogueOf(platform_));
    // The tap has already seen this switch end, before it could be shown: the chord and the
    // release arrived together (a quick Alt+Tab, a script). The action that ended it is queued
    // behind this one and commits or cancels the selection; a panel mapped now would only
    // stand over the raised window for its fade-out.
    if (!hudIsShowing && !hud->isOpen()) {
        hud->selectWithoutShowing(forward);
        return;
    }
    if (hud->panel)
        hud->rebuildCards();
    hud->show(forward);
}

void AppDelegate::advanceSwitch(bool forward) {
    // A click or the dismiss timer ended the last switch while the modifier stayed down: this
    // press begins a new one, over the windows as they are now.
    if (!hud->isOpen()) {
        beginSwitch(forward);
        return;
    }
    hud->moveSelection(forward);
}

void AppDelegate::stepSelection(bool forward) {
    hud->moveSelection(forward);
}

void AppDelegate::commitSwitch() {
    // The switch has ended already (a click, the dismiss timer, a release out of hover mode):
    // the hover flag that let this key through only waits for the fade-out.
    if (!hud->isOpen())
        return;
    hud->activateSelected();
}

void AppDelegate::cancelSwitch() {
    hud->hide();
}

void AppDelegate::handleModifierRelease() {
    // A click or the dismiss timer has ended the switch while the modifier was down.
    if (!hud->isOpen())
        return;
    // Decided now, on the main queue: where the pointer is when the action runs counts, not
    // where it was when the key went up.
    if (isMouseHoverKeepOpen() && hud->mouseIsOver) {
        hudMouseHoverMode = true;
        syncTapInterest();
        return;
    }
    hud->activateSelected();
}

void AppDelegate::handleHUDDismiss() {
    // The fade-out of the last switch ended after a chord had begun the next one, whose action
    // has not run yet: these flags are the new switch's.
    if (pendingBegins_ > 0)
        return;
    hudIsShowing = false;
    hudMouseHoverMode = false;
    syncTapInterest();
}

bool AppDelegate::isMouseHoverKeepOpen() const {
    return boolValue(platform_.preferences.objectForKey(kMouseHoverKeepOpenPreferenceKey))
        .value_or(true);
}

} // namespace corvane
