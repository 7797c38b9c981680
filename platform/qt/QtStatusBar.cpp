#include "platform/qt/QtStatusBar.h"

#include "platform/SystemLog.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QSvgRenderer>
#include <QSystemTrayIcon>

namespace corvane {

namespace {

QPixmap renderTinted(QSvgRenderer& renderer, int size, const QColor& colour) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), colour);
    return pixmap;
}

// A single character is a Command shortcut on macOS; Ctrl plays that part here. An upper-case
// letter adds Shift, as it does there.
QKeySequence shortcutFor(const std::string& keyEquivalent) {
    const QString key = QString::fromStdString(keyEquivalent);
    if (key.size() != 1)
        return {};
    const QChar letter = key.at(0);
    QString text = QStringLiteral("Ctrl+");
    if (letter.isLetter() && letter.isUpper())
        text += QStringLiteral("Shift+");
    return QKeySequence(text + letter.toUpper());
}

void syncAction(QAction& action, const MenuItem& item) {
    action.setEnabled(item.isEnabled());
    action.setCheckable(item.showsState());
    action.setChecked(item.showsState() && item.state() == ControlState::on);
}

QAction* addItem(QMenu& target, const std::shared_ptr<MenuItem>& item) {
    if (item->isSeparatorItem())
        return target.addSeparator();
    const QString title = QString::fromStdString(item->title());
    if (const auto& submenu = item->submenu()) {
        QMenu* child = target.addMenu(title);
        fillQMenu(*child, *submenu);
        child->menuAction()->setEnabled(item->isEnabled());
        return child->menuAction();
    }
    QAction* action = target.addAction(title);
    action->setShortcut(shortcutFor(item->keyEquivalent()));
    action->setShortcutVisibleInContextMenu(true);
    syncAction(*action, *item);

    QPointer<QAction> guarded = action;
    std::weak_ptr<MenuItem> weakItem = item;
    item->onChanged = [guarded, weakItem] {
        auto strong = weakItem.lock();
        if (guarded && strong)
            syncAction(*guarded, *strong);
    };
    QObject::connect(action, &QAction::triggered, action, [guarded, weakItem] {
        auto strong = weakItem.lock();
        if (!strong)
            return;
        strong->performAction();
        // QAction flips its own check on a click; the core's state decides.
        if (guarded)
            syncAction(*guarded, *strong);
    });
    return action;
}

} // namespace

QIcon statusIconFor(const StatusIcon& icon) {
    QSvgRenderer renderer(QStringLiteral(":/corvane/icons/rectangle.3.offgrid.svg"));
    const QColor colour = icon.isTemplate ? QGuiApplication::palette().color(QPalette::WindowText)
                                          : QColor(Qt::black);
    QIcon result;
    for (int size : {16, 22, 24, 32, 44, 48, 64})
        result.addPixmap(renderTinted(renderer, size, colour));
    result.setIsMask(icon.isTemplate);
    return result;
}

void fillQMenu(QMenu& target, const Menu& menu) {
    if (!menu.title().empty())
        target.setTitle(QString::fromStdString(menu.title()));
    for (const auto& item : menu.items())
        addItem(target, item);
}

QtStatusItem::QtStatusItem(SystemLog& log) : tray_(std::make_unique<QSystemTrayIcon>()) {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        // Qt docks the icon by itself if a tray starts later.
        log.log("Corvane: no system tray on this desktop yet; the menu shows once one starts, "
                "and the switcher works without it");
    tray_->setIcon(statusIconFor(StatusIcon{"rectangle.3.offgrid", {}, true}));
    tray_->show();
}

QtStatusItem::~QtStatusItem() {
    // The core may keep items after the menu goes; their callbacks must not reach freed actions.
    if (tray_)
        tray_->setContextMenu(nullptr);
}

void QtStatusItem::setImage(const StatusIcon& icon) {
    // No tooltip: the status item shows only its image.
    tray_->setIcon(statusIconFor(icon));
}

void QtStatusItem::setMenu(std::shared_ptr<Menu> menu) {
    menu_ = std::move(menu);
    auto qmenu = std::make_unique<QMenu>();
    if (menu_)
        fillQMenu(*qmenu, *menu_);
    tray_->setContextMenu(qmenu.get());
    qmenu_ = std::move(qmenu);
    // A left click shows the menu too, as a status item's click does.
    QObject::disconnect(tray_.get(), &QSystemTrayIcon::activated, nullptr, nullptr);
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger && qmenu_)
                             qmenu_->popup(QCursor::pos());
                     });
}

QtStatusBar::QtStatusBar(SystemLog& log) : log_(log) {}

std::shared_ptr<StatusItem> QtStatusBar::statusItemWithLength(double) {
    return std::make_shared<QtStatusItem>(log_);
}

} // namespace corvane
