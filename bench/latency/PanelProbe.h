#pragma once
// Watches Corvane's panel from a second X client while it presses the chord through XTEST:
// the time from the Tab press to the panel's MapNotify (seen through SubstructureNotify on the
// root window, which reports override-redirect windows too) and to its first paint: the first
// DamageNotify on the panel window after which the pixel at its centre differs from what the
// desktop showed there before the press. (The map alone damages a window that has no
// background, before its client has drawn anything.)

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>
#include <xcb/damage.h>
#include <xcb/xcb.h>

namespace corvane::bench {

struct SwitchTiming {
    double toMappedMs = 0;
    std::optional<double> toPaintedMs; // absent when no paint was seen in time
    // From each further Tab press to the panel's next paint (absent: none seen in time).
    std::vector<std::optional<double>> stepToPaintedMs;
};

// What a switch does once its panel is up: Tab presses, then Escape (cancel) or the release of
// Alt (commit).
struct SwitchPlan {
    int steps = 0;
    bool commit = false;
    // Tab presses before the timed steps, untimed: a panel wider than the screen shows only its
    // middle, and a step between cards off screen repaints nothing.
    int stepsBefore = 0;
};

class PanelProbe {
  public:
    explicit PanelProbe(const std::string& displayName); // throws std::runtime_error
    ~PanelProbe();
    PanelProbe(const PanelProbe&) = delete;
    PanelProbe& operator=(const PanelProbe&) = delete;

    // One switch: Alt down, Tab down (the clock starts), panel mapped, panel painted, the plan's
    // steps (each timed from its Tab press to the next paint), then Escape and Alt up (or Alt up
    // alone to commit), and back once the panel is unmapped again. Nothing when the panel did
    // not appear within timeout.
    std::optional<SwitchTiming> measureSwitch(std::chrono::milliseconds timeout,
                                              SwitchPlan plan = {});

    // Presses the chord until the panel answers (Corvane grabs it a moment after start).
    bool waitUntilSwitching(std::chrono::seconds timeout);

  private:
    using Clock = std::chrono::steady_clock;

    xcb_keycode_t keycodeFor(xcb_keysym_t keysym) const;
    void key(xcb_keycode_t code, bool press);
    void sync();
    xcb_generic_event_t* nextEvent(Clock::time_point deadline);
    void watchPanel(xcb_window_t window);
    void noteGeometry(const xcb_generic_event_t& event);
    bool isPanelViewable();
    // The colour of one pixel of a window (0xRRGGBB); nothing when it cannot be read.
    std::optional<std::uint32_t> pixelAt(xcb_drawable_t drawable, int x, int y);
    // Whether the panel's centre shows something else than the desktop did before the press.
    bool showsItsPixels();
    bool waitForUnmap(Clock::time_point deadline);
    // Empties the panel's damage and the event queue, then presses Tab; returns when it did.
    Clock::time_point pressTabOnCleanSlate();
    std::optional<double> measureStep(std::chrono::milliseconds timeout);
    void drainFor(std::chrono::milliseconds quiet);
    void endSwitch(bool commit);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_keycode_t alt_ = 0, tab_ = 0, escape_ = 0;
    std::uint8_t damageNotify_ = 0;
    xcb_window_t panel_ = 0;
    xcb_damage_damage_t damage_ = 0;
    xcb_rectangle_t panelRect_{}; // on the root window, from its last ConfigureNotify
    std::optional<std::uint32_t> desktopPixel_;
};

} // namespace corvane::bench
