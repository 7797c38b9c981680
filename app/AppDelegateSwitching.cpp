// AppDelegate, part 5 of 5: the switch controller, the actions the key decisions queue.
#include "app/AppDelegate.h"
#include "hud/SwitcherHUD.h"
#include "windows/WindowCatalogue.h"

#include <algorithm>

// The AppDelegate's side of a switch: the actions the key decisions queue, carried out on the
// main queue against the one HUD and the window catalogue.
namespace corvane {
namespace {

WindowCatalogue catalogueOf(Platform& platform) {
    return WindowCatalogue{platform.windowServer, platform.accessibility, platform.workspace,
                           platform.processInfo};
}

// Changes come in bursts (a window opening sets a dozen properties): the cards are rebuilt once
// the burst is over. A window that keeps changing (a clock in a title) has them rebuilt at most
// once a second; a chord in between reads the list itself.
constexpr double kPrepareDelay = 0.05;
constexpr double kPrepareInterval = 1.0;

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
    windowListIsObserved_ = platform_.windowServer.observeWindowListChanges([weakSelf] {
        if (auto self = weakSelf.lock())
            self->windowListDidChange();
    });
    if (windowListIsObserved_)
        prepareSwitch();
}

void AppDelegate::windowListDidChange() {
    preparedIsCurrent_ = false;
    if (prepareTimer_)
        return;
    const double sinceLast = platform_.timers.now() - lastPrepareTime_;
    const double delay = std::max(kPrepareDelay, kPrepareInterval - sinceLast);
    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    prepareTimer_ = platform_.timers.scheduleTimer(delay, false, [weakSelf](Timer&) {
        if (auto self = weakSelf.lock()) {
            self->prepareTimer_ = nullptr;
            self->prepareSwitch();
        }
    });
}

void AppDelegate::prepareSwitch() {
    // The cards on screen stay as the switch began; the dismissal prepares again.
    if (hudIsShowing || hud->isFadingOut())
        return;
    lastPrepareTime_ = platform_.timers.now();
    hud->windows = enumerateWindows(catalogueOf(platform_));
    hud->prepare();
    preparedIsCurrent_ = true;
}

void AppDelegate::beginSwitch(bool forward) {
    // A change reported before the chord (its events were handled first) makes the prepared
    // cards stale: the list is read now.
    const bool isStale = !windowListIsObserved_ || !preparedIsCurrent_;
    if (isStale)
        hud->windows = enumerateWindows(catalogueOf(platform_));
    // The tap has already seen this switch end, before it could be shown: the chord and the
    // release arrived together (a quick Alt+Tab, a script). The action that ended it is queued
    // behind this one and commits or cancels the selection; a panel mapped now would only
    // stand over the raised window for its fade-out.
    if (!hudIsShowing && !hud->isOpen()) {
        hud->selectWithoutShowing(forward);
        return;
    }
    preparedIsCurrent_ = windowListIsObserved_;
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
    if (windowListIsObserved_ && !preparedIsCurrent_)
        windowListDidChange();
}

bool AppDelegate::isMouseHoverKeepOpen() const {
    return boolValue(platform_.preferences.objectForKey(kMouseHoverKeepOpenPreferenceKey))
        .value_or(true);
}

} // namespace corvane
