// AppDelegate, part 1 of 5: construction, launch and termination, and the event tap.
#include "app/AppDelegate.h"

#include <cassert>

namespace corvane {

AppDelegate::AppDelegate(Platform& platform) : platform_(platform) {}

void AppDelegate::applicationDidFinishLaunching() {
    platform_.application.setActivationPolicy(ActivationPolicy::accessory);
    setupStatusItem();
    // The HUD exists before any key event can reach the program.
    setupHUD();
    if (platform_.accessibilityTrust.isProcessTrusted()) {
        startEventTap();
        return;
    }
    showAccessibilityAlert();
    startPermissionPolling();
}

void AppDelegate::applicationWillTerminate() {
    if (eventTap)
        eventTap->enable(false);
    if (permissionTimer)
        permissionTimer->invalidate();
}

void AppDelegate::startEventTap() {
    auto tap = platform_.eventTaps.createTap(kSwitcherEventMask, &eventTapCallback, this);
    if (!tap) {
        platform_.systemLog.log(kEventTapFailedLogLine);
        return;
    }
    assert(!eventTap && "the tap is started once, at launch or when permission arrives");
    eventTap = std::move(tap);
    runLoopSource = eventTap->createRunLoopSource();
    if (runLoopSource)
        runLoopSource->addToMainRunLoop();
    syncTapInterest();
    eventTap->enable(true);
}

TapResult AppDelegate::handleTapEvent(std::uint32_t type, const TapEvent& event) {
    const HotkeyMode mode = HotkeyMode::current(platform_.preferences);

    if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
        // The system switches a tap off when the main thread was slow to answer (a busy
        // application during enumeration, say). Left off, keyboard interception would end
        // silently until the next launch, so switch it straight back on.
        if (eventTap)
            eventTap->enable(true);
        return TapResult::pass;
    }

    const SwitchFlags before{hudModifierIsHeld, hudIsShowing, hudMouseHoverMode};
    const KeyDecision decision = decideKeyEvent(type, event.keyCode, event.flags, mode, before);
    hudModifierIsHeld = decision.flags.hudModifierIsHeld;
    hudIsShowing = decision.flags.hudIsShowing;
    hudMouseHoverMode = decision.flags.hudMouseHoverMode;
    if (decision.action != SwitchAction::none)
        queueAction(decision.action, decision.forward);
    syncTapInterest(mode);
    return decision.result;
}

void AppDelegate::queueAction(SwitchAction action, bool forward) {
    if (action == SwitchAction::beginSwitch)
        ++pendingBegins_;
    std::weak_ptr<AppDelegate> weakSelf = weak_from_this();
    platform_.mainQueue.async([weakSelf, action, forward] {
        auto self = weakSelf.lock();
        if (!self)
            return;
        switch (action) {
        case SwitchAction::beginSwitch:
            --self->pendingBegins_;
            self->beginSwitch(forward);
            break;
        case SwitchAction::advanceSwitch:
            self->advanceSwitch(forward);
            break;
        case SwitchAction::stepSelection:
            self->stepSelection(forward);
            break;
        case SwitchAction::commitSwitch:
            self->commitSwitch();
            break;
        case SwitchAction::cancelSwitch:
            self->cancelSwitch();
            break;
        case SwitchAction::handleModifierRelease:
            self->handleModifierRelease();
            break;
        case SwitchAction::none:
            break;
        }
    });
}

void AppDelegate::syncTapInterest() {
    syncTapInterest(HotkeyMode::current(platform_.preferences));
}

void AppDelegate::syncTapInterest(HotkeyMode mode) {
    if (!eventTap)
        return;
    eventTap->setInterest(TapInterest{
        .chordModifierFlag = mode.modifierFlag(),
        .switchKeysWanted = hudIsShowing || hudMouseHoverMode,
    });
}

TapResult eventTapCallback(std::uint32_t type, const TapEvent& event, void* userInfo) {
    if (userInfo == nullptr)
        return TapResult::pass;
    return static_cast<AppDelegate*>(userInfo)->handleTapEvent(type, event);
}

} // namespace corvane
