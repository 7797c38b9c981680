#pragma once
// The one object that owns Corvane's running state for the life of the process: the status item
// and its menu, the switcher HUD, the keyboard event tap and its run-loop source, the three
// switch flags and the Accessibility polling timer. It is made with std::make_shared (closures
// that outlive their call hold it weakly) and kept by the process entry until the process ends.
// It uses the services of the Platform bundle it is given, which outlives it.
//
// Everything here runs on the main thread.

#include "app/Platform.h"
#include "input/HotkeyMode.h"
#include "input/KeyDecision.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace corvane {

class SwitcherHUD;

inline constexpr const char* kMouseHoverKeepOpenPreferenceKey = "mouseHoverKeepOpen";
inline constexpr const char* kEventTapFailedLogLine =
    "Corvane: CGEvent tap creation failed \u2014 ensure Accessibility permission is granted.";
inline constexpr const char* kLoginItemToggleFailedPrefix = "Corvane: login item toggle failed: ";
inline constexpr double kPermissionPollingInterval = 5.0;

class AppDelegate : public ApplicationDelegate, public std::enable_shared_from_this<AppDelegate> {
  public:
    explicit AppDelegate(Platform& platform);

    // The ten fields, in this order.
    std::shared_ptr<StatusItem> statusItem;
    std::shared_ptr<SwitcherHUD> hud;
    std::map<HotkeyMode, std::shared_ptr<MenuItem>> hotkeyMenuItems;
    std::shared_ptr<MenuItem> mouseHoverMenuItem;
    bool hudMouseHoverMode = false;
    std::unique_ptr<EventTap> eventTap;
    std::unique_ptr<RunLoopSource> runLoopSource;
    bool hudModifierIsHeld = false;
    bool hudIsShowing = false;
    std::shared_ptr<Timer> permissionTimer;

    // Application lifecycle.
    void applicationDidFinishLaunching() override;
    void applicationWillTerminate() override;

    // Menu actions, each called with its menu item as the sender.
    void selectHotkey(MenuItem& sender);
    void toggleMouseHover(MenuItem& sender);
    void toggleLoginItem(MenuItem& sender);
    void openMoreApps();
    void showAbout();

    // Status menu and preferences.
    void setupStatusItem();
    void refreshHotkeyChecks();
    bool isMouseHoverKeepOpen() const;

    // Accessibility permission flow.
    void showAccessibilityAlert();
    void openAccessibilitySettings();
    void startPermissionPolling();

    // Keyboard interception.
    void startEventTap();
    TapResult handleTapEvent(std::uint32_t type, const TapEvent& event);

    // The switch controller: run on the main queue after the tap callback that decided them.
    void setupHUD();
    void beginSwitch(bool forward);
    void advanceSwitch(bool forward);
    void stepSelection(bool forward);
    void commitSwitch();
    void cancelSwitch();
    void handleModifierRelease();
    void handleHUDDismiss();

  private:
    void queueAction(SwitchAction action, bool forward);
    // Tells the tap which keys matter now: the chord always, the switch keys during a switch or
    // hover mode. A tap made of key grabs (X11) grabs exactly these.
    void syncTapInterest();
    void syncTapInterest(HotkeyMode mode);
    // Keeping the panel ready between switches: the window server reports changes, the HUD's
    // cards are rebuilt a moment later, and a chord with no change since uses them as they are.
    void windowListDidChange();
    void prepareSwitch();

    Platform& platform_;
    // beginSwitch actions queued and not yet run: the switch they begin is under way already.
    int pendingBegins_ = 0;
    bool windowListIsObserved_ = false;
    bool preparedIsCurrent_ = false;
    std::shared_ptr<Timer> prepareTimer_;
    double lastPrepareTime_ = -1e9;
};

// The tap's callback: userInfo is the AppDelegate, not retained; without one every event passes.
TapResult eventTapCallback(std::uint32_t type, const TapEvent& event, void* userInfo);

// The About alert's informative text for a version (none: shown as "?").
std::string aboutInformativeText(const std::optional<std::string>& version);
// The version the program was built as; none when the build gave none.
std::optional<std::string> buildVersion();
// The maker's page of other applications.
std::string moreAppsURL();

} // namespace corvane
