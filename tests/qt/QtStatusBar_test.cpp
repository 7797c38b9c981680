#include "fakes/FakeSystemLog.h"
#include "platform/qt/QtStatusBar.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <gtest/gtest.h>

namespace corvane {
namespace {

// A menu shaped like Corvane's: header, a submenu of two choices, a toggle, a plain action, Quit.
struct SampleMenu {
    SampleMenu() {
        header->setEnabled(false);
        menu->addItem(header);
        menu->addItem(MenuItem::separatorItem());
        auto choices = std::make_shared<Menu>("Hotkey");
        for (const auto& choice : {first, second}) {
            choice->onAction = [this](MenuItem& sender) {
                first->setState(&sender == first.get() ? ControlState::on : ControlState::off);
                second->setState(&sender == second.get() ? ControlState::on : ControlState::off);
            };
            choices->addItem(choice);
        }
        first->setState(ControlState::on);
        hotkey->setSubmenu(choices);
        menu->addItem(hotkey);
        menu->addItem(MenuItem::separatorItem());
        toggle->onAction = [](MenuItem& sender) {
            sender.setState(sender.state() == ControlState::on ? ControlState::off
                                                               : ControlState::on);
        };
        menu->addItem(toggle);
        about->onAction = [this](MenuItem&) { ++aboutCount; };
        menu->addItem(about);
        menu->addItem(quit); // no handler of its own: goes to the application
    }

    std::shared_ptr<Menu> menu = std::make_shared<Menu>();
    std::shared_ptr<MenuItem> header = std::make_shared<MenuItem>("Corvane", "", "");
    std::shared_ptr<MenuItem> hotkey = std::make_shared<MenuItem>("Hotkey", "", "");
    std::shared_ptr<MenuItem> first = std::make_shared<MenuItem>("Option+Tab", "selectHotkey:", "");
    std::shared_ptr<MenuItem> second = std::make_shared<MenuItem>("Cmd+Tab", "selectHotkey:", "");
    std::shared_ptr<MenuItem> toggle =
        std::make_shared<MenuItem>("Keep open on mouse hover", "toggleMouseHover:", "");
    std::shared_ptr<MenuItem> about = std::make_shared<MenuItem>("About", "showAbout", "");
    std::shared_ptr<MenuItem> quit = std::make_shared<MenuItem>("Quit", "terminate:", "q");
    int aboutCount = 0;
};

QAction* actionTitled(const QMenu& menu, const QString& title) {
    for (QAction* action : menu.actions()) {
        if (action->text() == title)
            return action;
        if (action->menu())
            if (QAction* inner = actionTitled(*action->menu(), title))
                return inner;
    }
    return nullptr;
}

TEST(QtStatusMenu, ShowsTheMenuDataAsAUserSeesIt) {
    SampleMenu sample;
    QMenu qmenu;
    fillQMenu(qmenu, *sample.menu, {});

    const auto actions = qmenu.actions();
    ASSERT_EQ(actions.size(), 7);
    EXPECT_EQ(actions[0]->text(), "Corvane");
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_TRUE(actions[1]->isSeparator());
    ASSERT_NE(actions[2]->menu(), nullptr);
    EXPECT_EQ(actions[2]->text(), "Hotkey");
    EXPECT_TRUE(actions[3]->isSeparator());

    struct Expected {
        const char* title;
        bool checkable;
        bool checked;
    };
    for (const Expected& e : {Expected{"Option+Tab", true, true}, Expected{"Cmd+Tab", true, false},
                              Expected{"Keep open on mouse hover", true, false},
                              Expected{"About", false, false}, Expected{"Quit", false, false}}) {
        QAction* action = actionTitled(qmenu, e.title);
        ASSERT_NE(action, nullptr) << e.title;
        EXPECT_EQ(action->isCheckable(), e.checkable) << e.title;
        EXPECT_EQ(action->isChecked(), e.checked) << e.title;
    }
    EXPECT_EQ(actionTitled(qmenu, "Quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(actionTitled(qmenu, "Quit")->isShortcutVisibleInContextMenu());
}

TEST(QtStatusMenu, ChoosingItemsRunsTheirActionsAndTheCoreStateWins) {
    SampleMenu sample;
    std::vector<std::string> sentToApplication;
    QMenu qmenu;
    fillQMenu(qmenu, *sample.menu,
              [&](const std::string& name) { sentToApplication.push_back(name); });

    // Choosing the other choice moves the tick; Qt's own toggling must not leave both ticked.
    actionTitled(qmenu, "Cmd+Tab")->trigger();
    EXPECT_FALSE(actionTitled(qmenu, "Option+Tab")->isChecked());
    EXPECT_TRUE(actionTitled(qmenu, "Cmd+Tab")->isChecked());

    actionTitled(qmenu, "About")->trigger();
    EXPECT_EQ(sample.aboutCount, 1);
    actionTitled(qmenu, "Quit")->trigger();
    EXPECT_EQ(sentToApplication, std::vector<std::string>{"terminate:"});
}

TEST(QtStatusMenu, StateChangedByTheCoreShowsAtOnce) {
    SampleMenu sample;
    QMenu qmenu;
    fillQMenu(qmenu, *sample.menu, {});
    sample.about->setState(ControlState::on); // a state makes any item checkable
    sample.toggle->setEnabled(false);
    EXPECT_TRUE(actionTitled(qmenu, "About")->isChecked());
    EXPECT_FALSE(actionTitled(qmenu, "Keep open on mouse hover")->isEnabled());
}

TEST(QtStatusMenu, ItemsOutlivingTheirMenuChangeSafely) {
    SampleMenu sample;
    {
        QMenu qmenu;
        fillQMenu(qmenu, *sample.menu, {});
    }
    sample.toggle->setState(ControlState::on); // must not touch the freed action
    EXPECT_EQ(sample.toggle->state(), ControlState::on);
}

TEST(QtStatusIcon, TemplateIconIsMonochromeAndNotEmpty) {
    const QIcon icon = statusIconFor(StatusIcon{"rectangle.3.offgrid", "Corvane", true});
    const QImage image = icon.pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull());
    int opaque = 0;
    QRgb seen = 0;
    bool oneColour = true;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) < 200)
                continue;
            if (opaque++ && (pixel & 0xFFFFFF) != (seen & 0xFFFFFF))
                oneColour = false;
            seen = pixel;
        }
    EXPECT_GT(opaque, 40);
    EXPECT_TRUE(oneColour);
    EXPECT_TRUE(icon.isMask());
}

TEST(QtStatusItemWithoutTray, LogsOnceAndStillTakesItsMenu) {
    testing::FakeSystemLog log;
    QtStatusBar bar(log, {});
    auto item = bar.statusItemWithLength(NSSquareStatusItemLength);
    SampleMenu sample;
    item->setMenu(sample.menu);
    auto* qtItem = dynamic_cast<QtStatusItem*>(item.get());
    ASSERT_NE(qtItem, nullptr);
    ASSERT_NE(qtItem->qmenu(), nullptr);
    EXPECT_EQ(qtItem->qmenu()->actions().size(), 7);
    // The offscreen platform has no tray.
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("no system tray"), std::string::npos);
}

} // namespace
} // namespace corvane
