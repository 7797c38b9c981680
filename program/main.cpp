// The corvane program: Corvane's core on the X11 backend (keyboard, windows, activation, login
// item, log; on a connection of its own) and the Qt backend (run loop, preferences, tray menu,
// alerts, the panel). It runs on the display named by $DISPLAY, once per display, and ends
// cleanly when the process is asked to stop (SIGINT, SIGTERM, SIGHUP) or another program takes
// its selection (status 0), and when the display goes away (status 1, whichever connection,
// Corvane's or the toolkit's, notices first).

#include "platform/qt/QtAlerts.h"
#include "platform/qt/QtImageDecoder.h"
#include "platform/qt/QtPanelBackend.h"
#include "platform/qt/QtPreferencesStore.h"
#include "platform/qt/QtRunLoop.h"
#include "platform/qt/SystemLibraryLeaks.h"
#include "platform/x11/SyslogSystemLog.h"
#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11DesktopSnapshot.h"
#include "platform/x11/X11EventTap.h"
#include "platform/x11/X11InstanceSelection.h"
#include "platform/x11/X11Replies.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XdgApplicationIcons.h"
#include "platform/x11/XdgAutostartLoginItem.h"
#include "program/RunCorvaneOnQt.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void forwardSignal(int) {
    const char byte = 1;
    // Nothing more can be done in a signal handler if the pipe is full: a stop is pending anyway.
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

// Turns the stop signals into a terminate() on the main run loop, so the delegate's
// termination (tap disabled, grabs released) runs as it does for Quit.
std::unique_ptr<QSocketNotifier> watchStopSignals(corvane::Application& application,
                                                  corvane::SystemLog& log) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return nullptr;
    struct sigaction action = {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    auto notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [&application, &log] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        log.log("Corvane: asked to stop; quitting");
        application.terminate();
    });
    return notifier;
}

corvane::X11Connection* watchedConnection = nullptr;
QtMessageHandler toolkitMessageHandler = nullptr;

// Qt's xcb plugin ends the process itself (exit(1), straight after a warning that begins "The
// X11 connection broke") when its own connection to the X server breaks, and that can happen
// before Corvane's connection has noticed anything. Recognising the warning puts Corvane's line
// first, and the process then ends with the status a lost display always has here.
void handleToolkitMessage(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
    const bool connectionBroke = message.startsWith(QLatin1String("The X11 connection broke"));
    if (connectionBroke && watchedConnection != nullptr) {
        watchedConnection->drain(); // notices the loss and logs it, unless that is done already
        if (!watchedConnection->isLost())
            watchedConnection->log().log(
                "Corvane: the toolkit lost its connection to the X server; exiting");
    }
    toolkitMessageHandler(type, context, message);
    if (connectionBroke)
        std::_Exit(EXIT_FAILURE);
}

// The user's icon theme as Qt knows it from the desktop's settings. Without a desktop to say,
// Qt answers hicolor or nothing, and hicolor has no generic application icon: Adwaita, which
// most systems carry, stands in.
std::string iconThemeName() {
    const QString name = QIcon::themeName();
    return name.isEmpty() || name == QStringLiteral("hicolor") ? "Adwaita" : name.toStdString();
}

} // namespace

int main(int argc, char** argv) {
    using namespace corvane;
    SyslogSystemLog log;

    // Corvane's own connection first: without a display there is nothing to do, and Qt would
    // abort with a message of its own instead of a log line.
    std::unique_ptr<X11Connection> connection = X11Connection::open(log);
    if (!connection)
        return EXIT_FAILURE;
    // One Corvane per display, settled before the keyboard is grabbed.
    const auto instance = X11InstanceSelection::claim(*connection);
    if (!instance)
        return connection->isLost() ? EXIT_FAILURE : EXIT_SUCCESS;
    // The panel, the tray and the compositor check are X11 features.
    qputenv("QT_QPA_PLATFORM", "xcb");
    watchedConnection = connection.get();
    toolkitMessageHandler = qInstallMessageHandler(handleToolkitMessage);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));
    QApplication::setDesktopFileName(QStringLiteral("corvane"));

    X11DesktopReader desktop(*connection);
    desktop.snapshot(); // fills the window cache, so that the first switch is as quick as the rest
    X11WindowServer windowServer(desktop);
    X11Accessibility accessibility(desktop);
    XdgApplicationIcons fallbackIcons(XdgIconPlaces::fromEnvironment(iconThemeName()),
                                      decodeImageFile);
    X11Workspace workspace(desktop);
    workspace.setDevicePixelRatio(app.devicePixelRatio());
    fallbackIcons.prepare(app.devicePixelRatio());
    workspace.setFallbackIcons(&fallbackIcons);
    X11ProcessInfo processInfo;
    X11AccessibilityTrust accessibilityTrust(*connection);
    X11EventTapService eventTaps(*connection);
    XdgAutostartLoginItem loginItems(XdgAutostartLoginItem::currentExecutablePath(),
                                     XdgAutostartLoginItem::defaultConfigHome());

    QtApplication application(app);
    QtPreferencesStore preferences(QtPreferencesStore::defaultFilePath(), log);
    QtUrlOpener urlOpener;
    QtPanelBackendFactory panelBackends;

    // The X11 connection logs its own loss, and the selection its takeover; the switcher then
    // ends like a Quit.
    connection->onConnectionLost = [&application] { application.terminate(); };
    instance->onLost = [&application] { application.terminate(); };
    // Before the panel maps, the server has handled the chord's answer: a release it held
    // meanwhile is read first, and a switch that release ends never shows its panel.
    QtConnectionWatcher watcher(
        connection->fileDescriptor(), [&connection] { connection->drain(); },
        [&connection] { connection->settle(); });
    const auto signalWatch = watchStopSignals(application, log);

    // Once the launch has set up the keyboard grabs and the server has answered them (a chord
    // held by another program is logged by then), one line says Corvane is running: the signal
    // scripts and tests wait for before they press the chord.
    QTimer::singleShot(0, [&connection, &log] {
        awaitAllReplies(connection->xcb());
        connection->drain();
        if (!connection->isLost())
            log.log("Corvane: running on display " + connection->displayName() + " (pid " +
                    std::to_string(getpid()) + ")");
    });
    const int status = runCorvaneOnQt(application, preferences, log, accessibilityTrust, eventTaps,
                                      urlOpener, loginItems, windowServer, accessibility, workspace,
                                      processInfo, panelBackends);
    return connection->isLost() ? EXIT_FAILURE : status;
}
