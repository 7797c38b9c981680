#pragma once
// The whole world the AppDelegate lives in, made of fakes: the services of the Platform bundle,
// a recorded desktop, a manual run loop with a virtual clock, and one journal of the calls that
// matter for ordering. Tests play the user (keys through the tap, menu choices, alert answers)
// and the clock.

#include "app/AppDelegate.h"
#include "fakes/CallLog.h"
#include "fakes/FakeAccessibilityTrust.h"
#include "fakes/FakeAlerts.h"
#include "fakes/FakeApplication.h"
#include "fakes/FakeEventTapService.h"
#include "fakes/FakeLoginItem.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeScreen.h"
#include "fakes/FakeStatusBar.h"
#include "fakes/FakeSystemLog.h"
#include "fakes/FakeTextMetrics.h"
#include "fakes/FakeUrlOpener.h"
#include "fakes/ManualRunLoop.h"
#include "fakes/RecordedDesktop.h"
#include "fakes/RecordingPanelBackend.h"

#include <memory>

namespace corvane::testing {

inline constexpr std::uint64_t OPT = kCGEventFlagMaskAlternate;
inline constexpr std::uint64_t CMD = kCGEventFlagMaskCommand;
inline constexpr std::uint64_t SHIFT = kCGEventFlagMaskShift;

struct ShellWorld {
    CallLog log;
    FakeApplication application{&log};
    FakePreferences preferences;
    ManualRunLoop loop;
    FakeSystemLog systemLog;
    FakeAccessibilityTrust trust{&log};
    FakeEventTapService taps{&log};
    FakeStatusBar statusBar{&log};
    FakeAlerts alerts{&log};
    FakeUrlOpener urls{&log};
    FakeLoginItem loginItems;
    RecordedDesktop desktop;
    FakeScreen screen;
    FakeTextMetrics textMetrics;
    RecordingPanelBackendFactory panelBackends;
    UiContext ui{loop, screen, textMetrics, panelBackends};
    Platform platform{application, preferences, loop,    loop, systemLog,  trust,
                      taps,        statusBar,   alerts,  urls, loginItems, desktop,
                      desktop,     desktop,     desktop, ui};
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>(platform);

    void launch() { delegate->applicationDidFinishLaunching(); }

    // The user's keys, through the tap; queued actions run as the run loop would, after the
    // callback has returned.
    TapResult keyDown(std::int64_t key, std::uint64_t flags) {
        const TapResult result = taps.keyDown(key, flags);
        loop.runQueued();
        return result;
    }
    TapResult keyUp(std::int64_t key, std::uint64_t flags) {
        const TapResult result = taps.keyUp(key, flags);
        loop.runQueued();
        return result;
    }
    void modifiers(std::uint64_t flags) {
        taps.flagsChanged(flags);
        loop.runQueued();
    }
    TapResult press(std::int64_t key, std::uint64_t flags) {
        const TapResult result = keyDown(key, flags);
        keyUp(key, flags);
        return result;
    }

    SwitchFlags flags() const {
        return {delegate->hudModifierIsHeld, delegate->hudIsShowing, delegate->hudMouseHoverMode};
    }
};

} // namespace corvane::testing
