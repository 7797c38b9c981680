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
#include "fakes/FakeStatusBar.h"
#include "fakes/FakeSystemLog.h"
#include "fakes/FakeUrlOpener.h"
#include "fakes/ManualRunLoop.h"
#include "fakes/RecordedDesktop.h"
#include "platform/ui/Panel.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextMetrics.h"

#include <memory>

namespace corvane::testing {

inline constexpr std::uint64_t OPT = kCGEventFlagMaskAlternate;
inline constexpr std::uint64_t CMD = kCGEventFlagMaskCommand;
inline constexpr std::uint64_t SHIFT = kCGEventFlagMaskShift;

// Simple deterministic text metrics: 7 points per byte, lines of 1.2 × the point size.
class PlainTextMetrics : public TextMetrics {
  public:
    TextLayout layoutText(std::string_view utf8, const Font& font, double width,
                          int maxLines) const override {
        TextLayout layout = measureSingleLine(utf8, font);
        if (width > 0 && layout.width > width) {
            layout.width = width;
            layout.truncated = maxLines == 1;
            if (maxLines != 1)
                layout.height *= 2;
        }
        return layout;
    }
    TextLayout measureSingleLine(std::string_view utf8, const Font& font) const override {
        return TextLayout{{std::string(utf8)},
                          7.0 * static_cast<double>(utf8.size()),
                          font.pointSize * 1.2,
                          false};
    }
};

class FixedScreen : public Screen {
  public:
    std::optional<Rect> mainScreenFrame() const override { return Rect{0, 0, 1440, 900}; }
};

class SilentPanelBackends : public PanelBackendFactory {
  public:
    std::unique_ptr<PanelBackend> createPanelBackend(Panel&) override {
        return std::make_unique<Backend>();
    }

  private:
    struct Backend : PanelBackend {
        void panelDidOrderFront() override {}
        void panelDidOrderOut() override {}
        void panelDidChangeFrame() override {}
        void panelDidChangeAlpha() override {}
        void panelNeedsDisplay() override {}
    };
};

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
    FixedScreen screen;
    PlainTextMetrics textMetrics;
    SilentPanelBackends panelBackends;
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
