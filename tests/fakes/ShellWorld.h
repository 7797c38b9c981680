#pragma once
// The whole world the AppDelegate lives in, made of fakes: the services of the Platform bundle,
// a recorded desktop, a manual run loop with a virtual clock, and one journal of the calls whose
// order matters. Tests play the user (keys through the tap, menu choices, alert answers) and the
// clock. A test of a real backend hands in its own preferences store or status bar instead.

#include "app/AppDelegate.h"
#include "fakes/CallLog.h"
#include "fakes/FakeEventTapService.h"
#include "fakes/FakePreferences.h"
#include "fakes/FakeScreen.h"
#include "fakes/FakeSystemLog.h"
#include "fakes/FakeTextMetrics.h"
#include "fakes/ManualRunLoop.h"
#include "fakes/RecordedDesktop.h"
#include "fakes/RecordingPanelBackend.h"
#include "fakes/ShellFakes.h"
#include "hud/SwitcherHUD.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::testing {

inline constexpr std::uint64_t OPT = kCGEventFlagMaskAlternate;
inline constexpr std::uint64_t CMD = kCGEventFlagMaskCommand;
inline constexpr std::uint64_t SHIFT = kCGEventFlagMaskShift;

// Keys and modifiers by the names tests write: the switcher's six keys, then a letter and Up,
// which it never takes.
inline const std::vector<std::pair<std::string, std::int64_t>> kNamedKeys{
    {"tab", kVK_Tab},
    {"left", kVK_LeftArrow},
    {"right", kVK_RightArrow},
    {"return", kVK_Return},
    {"enter", kVK_ANSI_KeypadEnter},
    {"escape", kVK_Escape},
    {"a", 0},
    {"up", 126}};
inline const std::map<std::string, std::uint64_t, std::less<>> kNamedFlags{
    {"opt", OPT}, {"cmd", CMD}, {"shift", SHIFT}, {"ctrl", kCGEventFlagMaskControl}};
inline std::optional<std::int64_t> keyNamed(std::string_view name) {
    for (const auto& [keyName, code] : kNamedKeys) {
        if (keyName == name)
            return code;
    }
    return std::nullopt;
}

struct ShellWorld {
    ShellWorld() : ShellWorld(preferences, statusBar) {}
    // Binds the delegate to these instead of the fake preferences and status bar.
    ShellWorld(PreferencesStore& prefs, StatusBar& bar)
        : platform{application, prefs, loop,       loop,    systemLog, trust,   taps,    bar,
                   alerts,      urls,  loginItems, desktop, desktop,   desktop, desktop, ui} {}

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
    Platform platform;
    std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>(platform);

    void launch() { delegate->applicationDidFinishLaunching(); }

    // The user's keys, through the tap; queued actions run as the run loop would, after the
    // callback has returned.
    TapResult send(std::uint32_t type, std::int64_t key, std::uint64_t flags) {
        const TapResult result = taps.send(type, key, flags);
        loop.runQueued();
        return result;
    }
    TapResult keyDown(std::int64_t key, std::uint64_t flags) {
        return send(kCGEventKeyDown, key, flags);
    }
    void modifiers(std::uint64_t flags) { send(kCGEventFlagsChanged, 0, flags); }

    // The pointer moves to the middle of card `index` of the HUD's panel and clicks there;
    // returns that point, in the panel's content coordinates.
    Point clickCard(std::size_t index) {
        SwitcherHUD& hud = *delegate->hud;
        Panel& panel = *hud.panel;
        panel.layoutIfNeeded();
        const Rect card = hud.cardWrappers.at(index)->frameInAncestor(panel.contentView().get());
        const Point middle{card.midX(), card.midY()};
        panel.pointerMoved(middle);
        panel.mouseUp(middle);
        loop.runQueued();
        return middle;
    }

    SwitchFlags flags() const {
        return {delegate->hudModifierIsHeld, delegate->hudIsShowing, delegate->hudMouseHoverMode};
    }
};

} // namespace corvane::testing
