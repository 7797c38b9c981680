// Corvane's shell on Qt: the real status menu drawn by the Qt tray code over preferences in an
// INI file (how it looks, what the user sees ticked after choosing items), the alert and the URL
// opener.
#include "fakes/ShellWorld.h"
#include "platform/qt/QtAlerts.h"
#include "platform/qt/QtPreferencesStore.h"
#include "platform/qt/QtStatusBar.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
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

// The menu as a user sees it, even without a tray (one log line, and the menu is still there):
// the items showing a state can show a checkmark and Quit cannot; choices show at once. (That
// they are stored and read back is the preferences file's test and the core menu tests'.)
TEST(StatusMenuOnQt, ChoicesShowAtOnceEvenWithoutATray) {
    QTemporaryDir dir;
    Session session(dir.path() + QStringLiteral("/corvane.conf"));
    ASSERT_EQ(session.log.lines.size(), 1u);
    EXPECT_NE(session.log.lines[0].find("no system tray"), std::string::npos);
    for (const QString& title : {kOption, kCommand, kHover, QStringLiteral("Launch at Login")})
        EXPECT_TRUE(session.action(title)->isCheckable()) << title.toStdString();
    EXPECT_EQ(session.ticks(), (std::vector<bool>{true, false, true})) << "first launch";
    session.action(kCommand)->trigger();
    EXPECT_EQ(session.ticks(), (std::vector<bool>{false, true, true})) << "after selectHotkey:";
    session.action(kCommand)->trigger(); // Qt's own toggling must not untick the chosen mode
    EXPECT_EQ(session.ticks(), (std::vector<bool>{false, true, true}));
    session.action(kHover)->trigger();
    EXPECT_EQ(session.ticks(), (std::vector<bool>{false, true, false}))
        << "after toggleMouseHover:";
    QAction* quit = session.action(QStringLiteral("Quit"));
    EXPECT_FALSE(quit->isCheckable()) << "no room for a checkmark beside an action";
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->trigger();
    EXPECT_EQ(session.world.application.terminateCount, 1);
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

// The permission alert as the user meets it: texts shown as written, never as markup, Return
// on the first button and Escape on the second; the answer is the clicked button's position
// counted from 1000.
TEST(QtAlerts, ShowsItsTextsAsWrittenAndAnswersTheClickedButtonsPosition) {
    const Alert alert{"Accessibility Permission Required",
                      "Corvane needs access.\n\nPlease enable it.",
                      AlertStyle::warning,
                      {"Open System Settings", "Later"}};
    enum class Close { firstButton, secondButton, escape };
    const std::pair<Close, long> cases[] = {{Close::firstButton, NSAlertFirstButtonReturn},
                                            {Close::secondButton, NSAlertSecondButtonReturn},
                                            {Close::escape, NSAlertSecondButtonReturn}};
    for (const auto& [how, answer] : cases) {
        const Close close = how;
        QtAlertPresenter presenter;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->defaultButton()->text(), "Open System Settings");
            EXPECT_EQ(box->escapeButton()->text(), "Later");
            const auto* headline = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            EXPECT_EQ(headline ? headline->textFormat() : Qt::RichText, Qt::PlainText);
            if (close == Close::escape)
                box->reject();
            else
                (close == Close::firstButton ? box->defaultButton() : box->escapeButton())->click();
        });
        EXPECT_EQ(presenter.runModal(alert), answer) << int(close);
    }
}

TEST(QtUrlOpener, RefusesAddressesThatAreNotURLs) {
    QtUrlOpener opener;
    for (const char* address : {"", "not a url at all", "http://exa mple.com/"})
        EXPECT_FALSE(opener.openURL(address)) << address;
}

} // namespace
} // namespace corvane
