#pragma once
// Every platform service Corvane's application shell uses, gathered in one bundle. The program's
// entry (or a test) builds the services, owns them, and keeps them alive for longer than the
// AppDelegate that uses them through this bundle; the bundle itself owns nothing.

#include "platform/Accessibility.h"
#include "platform/AccessibilityTrust.h"
#include "platform/Alerts.h"
#include "platform/Application.h"
#include "platform/EventTap.h"
#include "platform/LoginItem.h"
#include "platform/MainQueue.h"
#include "platform/Preferences.h"
#include "platform/StatusBar.h"
#include "platform/SystemLog.h"
#include "platform/Timers.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"
#include "platform/ui/UiContext.h"

namespace corvane {

struct Platform {
    Application& application;
    PreferencesStore& preferences;
    MainQueue& mainQueue;
    TimerScheduler& timers;
    SystemLog& systemLog;
    AccessibilityTrust& accessibilityTrust;
    EventTapService& eventTaps;
    StatusBar& statusBar;
    AlertPresenter& alerts;
    UrlOpener& urlOpener;
    LoginItemService& loginItems;
    WindowServer& windowServer;
    AccessibilityService& accessibility;
    Workspace& workspace;
    ProcessInfo& processInfo;
    // What the switcher panel is drawn with: clock, screen, text metrics, the panel backend.
    UiContext& ui;
};

} // namespace corvane
