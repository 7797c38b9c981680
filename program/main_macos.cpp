// The Corvane application on macOS: the portable core on the macOS backend (event tap, window
// list, Accessibility, running applications, login item, log; platform/macos) and the Qt
// backend (run loop, timers, status item and menu, alerts, the panel; platform/qt), with the
// macOS steps of the Qt side (non-activating panel, activation policy, the defaults domain).
// Runs as an accessory application from Corvane.app (LSUIElement in its Info.plist).

#include "app/Corvane.h"
#include "app/Platform.h"
#include "platform/macos/MacAccessibility.h"
#include "platform/macos/MacEventTap.h"
#include "platform/macos/MacLoginItem.h"
#include "platform/macos/MacNativePanel.h"
#include "platform/macos/MacQtGlue.h"
#include "platform/macos/MacSystemLog.h"
#include "platform/macos/MacWindowServer.h"
#include "platform/macos/MacWorkspace.h"
#include "platform/qt/QtAlerts.h"
#include "platform/qt/QtRunLoop.h"
#include "platform/qt/QtScreen.h"
#include "platform/qt/QtStatusBar.h"
#include "platform/qt/QtTextMetrics.h"
#include "platform/ui/UiContext.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char** argv) {
    using namespace corvane;
    MacSystemLog log;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    // Closing an alert must not end an application that has no windows of its own.
    QApplication::setQuitOnLastWindowClosed(false);

    MacWindowServer windowServer;
    MacAccessibility accessibility;
    MacWorkspace workspace;
    MacProcessInfo processInfo;
    MacAccessibilityTrust accessibilityTrust;
    MacEventTapService eventTaps;
    MacLoginItem loginItems;
    MacUrlOpener urlOpener;

    MacApplication application(app, applyActivationPolicy);
    QtMainQueue mainQueue;
    QtTimerScheduler timers;
    MacPreferencesStore preferences(
        MacPreferencesStore::userDefaults(QStringLiteral(CORVANE_MAKER_HOST)));
    QtStatusBar statusBar(log);
    QtAlertPresenter alerts;
    QtScreen screen;
    QtTextMetrics textMetrics;
    MacPanelBackendFactory panelBackends(
        [](WId view) { makeNonActivatingPanel(reinterpret_cast<void*>(view)); });
    UiContext ui{timers, screen, textMetrics, panelBackends};

    Platform platform{
        .application = application,
        .preferences = preferences,
        .mainQueue = mainQueue,
        .timers = timers,
        .systemLog = log,
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
