// The Corvane application on macOS: the portable core on the macOS backend (event tap, window
// list, Accessibility, running applications, login item, log; platform/macos) and the Qt
// backend (run loop, timers, status item and menu, alerts, the panel; platform/qt), with the
// macOS steps of the Qt side (non-activating panel, activation policy, the defaults domain).
// Runs as an accessory application from Corvane.app (LSUIElement in its Info.plist).

#include "platform/macos/MacAccessibility.h"
#include "platform/macos/MacEventTap.h"
#include "platform/macos/MacLoginItem.h"
#include "platform/macos/MacNativePanel.h"
#include "platform/macos/MacQtGlue.h"
#include "platform/macos/MacSystemLog.h"
#include "platform/macos/MacWindowServer.h"
#include "platform/macos/MacWorkspace.h"
#include "program/RunCorvaneOnQt.h"

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
    MacPreferencesStore preferences(
        MacPreferencesStore::userDefaults(QStringLiteral(CORVANE_MAKER_HOST)));
    MacPanelBackendFactory panelBackends(
        [](WId view) { makeNonActivatingPanel(reinterpret_cast<void*>(view)); });

    return runCorvaneOnQt(application, preferences, log, accessibilityTrust, eventTaps, urlOpener,
                          loginItems, windowServer, accessibility, workspace, processInfo,
                          panelBackends);
}
