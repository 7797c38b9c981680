// The real status menu of Corvane, drawn by the Qt tray code over preferences in an INI file:
// what the user sees ticked after choosing items, in this session and after a restart.
#include "app/AppDelegate.h"
#include "fakes/FakeAccessibilityTrust.h"
#include "fakes/FakeAlerts.h"
#include "fakes/FakeApplication.h"
#include "fakes/FakeEventTapService.h"
#include "fakes/FakeLoginItem.h"
#include "fakes/FakeScreen.h"
#include "fakes/FakeSystemLog.h"
#include "fakes/FakeTextMetrics.h"
#include "fakes/FakeUrlOpener.h"
#include "fakes/ManualRunLoop.h"
#include "fakes/RecordedDesktop.h"
#include "fakes/RecordingPanelBackend.h"
#include "platform/qt/QtPreferencesStore.h"
#include "platform/qt/QtStatusBar.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace corvane {
namespace {

using namespace corvane::testing;

const QString kOption = QStringLiteral("Option+Tab");
const QString kCommand = QStringLiteral("Cmd+Tab (replaces system switcher)");
const QString kHover = QStringLiteral("Keep open on mouse hover");

// One launch of Corvane's shell with the Qt menu and the INI preferences; the rest are fakes.
struct Session {
    explicit Session(const QString& preferencesPath) : preferences(preferencesPath, systemLog) {
        delegate->setupStatusItem();
    }

    QMenu& menu() {
        auto* item = dynamic_cast<QtStatusItem*>(delegate->statusItem.get());
        EXPECT_NE(item, nullptr);
        return *item->qmenu();
    }

    QAction* action(const QString& title) {
        std::function<QAction*(QMenu&)> find = [&](QMenu& in) -> QAction* {
            for (QAction* a : in.actions()) {
                if (a->text() == title)
                    return a;
                if (a->menu())
                    if (QAction* inner = find(*a->menu()))
                        return inner;
            }
            return nullptr;
        };
        QAction* found = find(menu());
        EXPECT_NE(found, nullptr) << title.toStdString();
        return found;
    }

    std::vector<bool> ticks() {
        return {action(kOption)->isChecked(), action(kCommand)->isChecked(),
                action(kHover)->isChecked()};
    }

    FakeSystemLog systemLog;
    FakeApplication application;
    QtPreferencesStore preferences;
    ManualRunLoop loop;
    FakeAccessibilityTrust trust;
    FakeEventTapService taps;
    QtStatusBar statusBar{systemLog, {}};
    FakeAlerts alerts;
    FakeUrlOpener urls;
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
};

class StatusMenuOnQt : public ::testing::Test {
  protected:
    QString path() const { return dir.path() + QStringLiteral("/corvane.conf"); }
    QTemporaryDir dir;
};

TEST_F(StatusMenuOnQt, ChoicesShowAtOnceAndSurviveARestart) {
    {
        Session first(path());
        EXPECT_EQ(first.ticks(), (std::vector<bool>{true, false, true})) << "first launch";

        first.action(kCommand)->trigger();
        EXPECT_EQ(first.ticks(), (std::vector<bool>{false, true, true})) << "after selectHotkey:";
        first.action(kCommand)->trigger(); // choosing the ticked mode again keeps it ticked
        EXPECT_EQ(first.ticks(), (std::vector<bool>{false, true, true}));

        first.action(kHover)->trigger();
        EXPECT_EQ(first.ticks(), (std::vector<bool>{false, true, false}))
            << "after toggleMouseHover:";
    }
    Session second(path());
    EXPECT_EQ(second.ticks(), (std::vector<bool>{false, true, false})) << "after a restart";

    second.action(kHover)->trigger();
    second.action(kOption)->trigger();
    EXPECT_EQ(second.ticks(), (std::vector<bool>{true, false, true}));
    Session third(path());
    EXPECT_EQ(third.ticks(), (std::vector<bool>{true, false, true}));
}

TEST_F(StatusMenuOnQt, HandEditedValuesReadAsTheMenuPromises) {
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // A foreign chord counts as Option+Tab; a hover value that is not exactly a boolean counts
    // as on. Both stay stored until the user chooses.
    file.write("[General]\nhotkeyMode=altTab\nmouseHoverKeepOpen=no\n");
    file.close();

    Session session(path());
    EXPECT_EQ(session.ticks(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(session.preferences.objectForKey("hotkeyMode"), PropertyValue(std::string("altTab")));

    session.action(kHover)->trigger(); // "no" counted as on: the toggle stores false
    EXPECT_EQ(session.preferences.objectForKey("mouseHoverKeepOpen"), PropertyValue(false));
    EXPECT_FALSE(session.action(kHover)->isChecked());
}

TEST_F(StatusMenuOnQt, QuitShowsCtrlQAndTerminatesTheApplication) {
    Session session(path());
    QAction* quit = session.action(QStringLiteral("Quit"));
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->trigger();
    EXPECT_EQ(session.application.terminateCount, 1);
}

} // namespace
} // namespace corvane
