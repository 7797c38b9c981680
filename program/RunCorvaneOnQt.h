#pragma once
// What every program on the Qt backend shares: the UI side of Corvane's platform built on Qt
// (main queue, timers, status item and menu, alerts, the screen, text metrics), bundled with the
// services each program builds for its own system, and run. Not the panel's window, the
// application object, the preferences store or the URL opener: they differ per platform and
// come with the system's services. Call once from main(), after the QApplication is made.

#include "app/Corvane.h"
#include "app/Platform.h"
#include "platform/qt/QtAlerts.h"
#include "platform/qt/QtRunLoop.h"
#include "platform/qt/QtScreen.h"
#include "platform/qt/QtStatusBar.h"
#include "platform/qt/QtTextMetrics.h"
#include "platform/ui/UiContext.h"

namespace corvane {

// The system's services a program built, each outliving the run; runCorvane's status once the
// application's run loop has ended.
inline int runCorvaneOnQt(Application& application, PreferencesStore& preferences,
                          SystemLog& systemLog, AccessibilityTrust& accessibilityTrust,
                          EventTapService& eventTaps, UrlOpener& urlOpener,
                          LoginItemService& loginItems, WindowServer& windowServer,
                          AccessibilityService& accessibility, Workspace& workspace,
                          ProcessInfo& processInfo, PanelBackendFactory& panelBackends) {
    QtMainQueue mainQueue;
    QtTimerScheduler timers;
    QtStatusBar statusBar(systemLog);
    QtAlertPresenter alerts;
    QtScreen screen;
    QtTextMetrics textMetrics;
    UiContext ui{timers, screen, textMetrics, panelBackends};
    Platform platform{
        .application = application,
        .preferences = preferences,
        .mainQueue = mainQueue,
        .timers = timers,
        .systemLog = systemLog,
        .accessibilityTrust = accessibilityTrust,
        .eventTaps = eventTaps,
        .statusBar = statusBar,
        .alerts = alerts,
        .urlOpener = urlOpener,
        .loginItems = loginItems,
        .windowServer = windowServer,
        .accessibility = accessibility,
        .workspace = workspace,
        .processInfo = processInfo,
        .ui = ui,
    };
    return runCorvane(platform);
}

} // namespace corvane
