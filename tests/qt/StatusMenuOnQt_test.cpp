// Corvane's real status menu drawn by the Qt tray code over preferences in an INI file: how it
// looks, what the user sees ticked after choosing items, in this session and after a restart.
#include "fakes/ShellWorld.h"
#include "platform/qt/QtPreferencesStore.h"
#include "platform/qt/QtStatusBar.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <set>

namespace corvane {
namespace {

using namespace corvane::testing;

const QString kOption = QStringLiteral("Option+Tab");
const QString kCommand = QStringLiteral("Cmd+Tab (replaces system switcher)");
const QString kHover = QStringLiteral("Keep open on mouse hover");

QAction* actionTitled(const QMenu& menu, const QString& title) {
    for (QAction* action : menu.actions()) {
        if (action->text() == title)
            return action;
        if (QAction* inner = action->menu() ? actionTitled(*action->menu(), title) : nullptr)
            return inner;
    }
    return nullptr;
}

// One launch of Corvane's shell with the Qt menu and the INI preferences; the rest are fakes.
struct Session {
    explicit Session(const QString& path) : preferences(path, log) {
        world.delegate->setupStatusItem();
    }
    QMenu& menu() { return *dynamic_cast<QtStatusItem&>(*world.delegate->statusItem).qmenu(); }
    QAction* action(const QString& title) {
        QAction* found = actionTitled(menu(), title);
        EXPECT_NE(found, nullptr) << title.toStdString();
        return found;
    }
    std::vector<bool> ticks() {
        return {action(kOption)->isChecked(), action(kCommand)->isChecked(),
                action(kHover)->isChecked()};
    }

    FakeSystemLog log;
    QtPreferencesStore preferences;
    QtStatusBar statusBar{log};
    ShellWorld world{preferences, statusBar};
};

class StatusMenuOnQt : public ::testing::Test {
  protected:
    QString path() const { return dir.path() + QStringLiteral("/corvane.conf"); }
    QTemporaryDir dir;
};

TEST_F(StatusMenuOnQt, ShowsTheMenuAsAUserSeesItEvenWithoutATray) {
    Session session(path());
    for (const QString& title : {kOption, kCommand, kHover, QStringLiteral("Launch at Login")})
        EXPECT_TRUE(session.action(title)->isCheckable()) << title.toStdString();
    QAction* quit = session.action(QStringLiteral("Quit"));
    EXPECT_FALSE(quit->isCheckable()) << "no room for a checkmark beside an action";
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->trigger();
    EXPECT_EQ(session.world.application.terminateCount, 1);

    // The offscreen platform has no tray: one log line, and the menu is still there.
    ASSERT_EQ(session.log.lines.size(), 1u);
    EXPECT_NE(session.log.lines[0].find("no system tray"), std::string::npos);
}

TEST_F(StatusMenuOnQt, ChoicesShowAtOnceAndSurviveARestart) {
    {
        Session first(path());
        EXPECT_EQ(first.ticks(), (std::vector<bool>{true, false, true})) << "first launch";
        first.action(kCommand)->trigger();
        EXPECT_EQ(first.ticks(), (std::vector<bool>{false, true, true})) << "after selectHotkey:";
        first.action(kCommand)->trigger(); // Qt's own toggling must not untick the chosen mode
        EXPECT_EQ(first.ticks(), (std::vector<bool>{false, true, true}));
        first.action(kHover)->trigger();
        EXPECT_EQ(first.ticks(), (std::vector<bool>{false, true, false}))
            << "after toggleMouseHover:";
    }
    Session second(path());
    EXPECT_EQ(second.ticks(), (std::vector<bool>{false, true, false})) << "after a restart";
}

TEST(QtStatusMenu, ItemsOutlivingTheirQtMenuChangeSafely) {
    Menu menu;
    auto toggle = std::make_shared<MenuItem>("Keep open on mouse hover", "toggleMouseHover:", "");
    toggle->setShowsState(true);
    menu.addItem(toggle);
    {
        QMenu qmenu;
        fillQMenu(qmenu, menu);
        toggle->setState(ControlState::on);
        EXPECT_TRUE(qmenu.actions()[0]->isChecked()) << "a state set by the core shows at once";
    }
    toggle->setState(ControlState::off); // must not touch the freed action
    EXPECT_EQ(toggle->state(), ControlState::off);
}

TEST(QtStatusIcon, TemplateIconIsMonochromeAndNotEmpty) {
    const QIcon icon = statusIconFor(StatusIcon{"rectangle.3.offgrid", "Corvane", true});
    const QImage image = icon.pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull());
    int opaque = 0;
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) >= 200) {
                ++opaque;
                colours.insert(image.pixel(x, y) & 0xFFFFFF);
            }
    EXPECT_GT(opaque, 40);
    EXPECT_EQ(colours.size(), 1u);
    EXPECT_TRUE(icon.isMask());
}

} // namespace
} // namespace corvane
