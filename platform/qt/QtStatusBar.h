#pragma once
// The status item as a tray icon (QSystemTrayIcon: XEmbed or StatusNotifier, whichever the
// desktop offers) with a QMenu drawn from the core's menu data.
//
// Covers: titles, separators, disabled items, submenus, checkmarks on the items that show a
// state, kept in sync through MenuItem::onChanged, key equivalents shown as Ctrl shortcuts
// (Command's counterpart), and a template icon tinted with the desktop palette's text colour.
// Choosing an item runs its onAction; an item without one does nothing.
// Not covered: menu item images, alternate items, live menus (the core builds the menu once).
// Without a system tray the item exists but is invisible until one starts; that is logged once.

#include "platform/StatusBar.h"

#include <QObject>
#include <memory>

class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace corvane {

class SystemLog;

// Builds the icon for a named symbol. Only "rectangle.3.offgrid" has a drawing of its own;
// other names get the same drawing, so a tray never shows an empty slot.
QIcon statusIconFor(const StatusIcon& icon);

// Fills a QMenu from menu data; exposed for tests, which check the menu a user would see.
void fillQMenu(QMenu& target, const Menu& menu);

class QtStatusItem : public StatusItem {
  public:
    explicit QtStatusItem(SystemLog& log);
    ~QtStatusItem() override;

    bool hasButton() const override { return true; }
    void setImage(const StatusIcon& icon) override;
    void setMenu(std::shared_ptr<Menu> menu) override;

    QMenu* qmenu() const { return qmenu_.get(); }

  private:
    std::shared_ptr<Menu> menu_;
    std::unique_ptr<QMenu> qmenu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
};

class QtStatusBar : public StatusBar {
  public:
    explicit QtStatusBar(SystemLog& log);
    std::shared_ptr<StatusItem> statusItemWithLength(double length) override;

  private:
    SystemLog& log_;
};

} // namespace corvane
