#include "platform/qt/QtAlerts.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <memory>

namespace corvane {

namespace {

QMessageBox::Icon iconFor(AlertStyle style) {
    switch (style) {
    case AlertStyle::warning:
        return QMessageBox::Warning;
    case AlertStyle::informational:
        return QMessageBox::Information;
    case AlertStyle::critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::ButtonRole roleFor(std::size_t index, std::size_t count) {
    if (index == 0)
        return QMessageBox::AcceptRole;
    if (index + 1 == count)
        return QMessageBox::RejectRole;
    return QMessageBox::ActionRole;
}

} // namespace

std::unique_ptr<QMessageBox> QtAlertPresenter::makeMessageBox(const Alert& alert) {
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(QStringLiteral("Corvane"));
    box->setIcon(iconFor(alert.style));
    box->setText(QString::fromStdString(alert.messageText));
    box->setInformativeText(QString::fromStdString(alert.informativeText));
    box->setTextFormat(Qt::PlainText);
    // The message is the alert's headline: bold, as alerts show it. Qt names the label inside.
    if (auto* headline = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = headline->font();
        font.setBold(true);
        headline->setFont(font);
    }
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint);

    std::vector<std::string> titles = alert.buttons;
    if (titles.empty())
        titles.emplace_back("OK"); // an alert with no buttons gets the platform's default OK
    for (std::size_t i = 0; i < titles.size(); ++i) {
        QPushButton* button =
            box->addButton(QString::fromStdString(titles[i]), roleFor(i, titles.size()));
        button->setProperty("corvaneAnswer", qlonglong(NSAlertFirstButtonReturn + long(i)));
        if (i == 0)
            box->setDefaultButton(button);
        if (i + 1 == titles.size())
            box->setEscapeButton(button);
    }
    return box;
}

long QtAlertPresenter::answerFor(const QMessageBox& box) {
    const QAbstractButton* clicked = box.clickedButton();
    if (!clicked)
        clicked = box.escapeButton();
    if (!clicked)
        return NSAlertFirstButtonReturn;
    return long(clicked->property("corvaneAnswer").toLongLong());
}

long QtAlertPresenter::runModal(const Alert& alert) {
    const std::unique_ptr<QMessageBox> box = makeMessageBox(alert);
    box->show();
    box->raise();
    box->activateWindow();
    box->exec();
    return answerFor(*box);
}

bool QtUrlOpener::openURL(const std::string& url) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid() || address.scheme().isEmpty())
        return false;
    return QDesktopServices::openUrl(address);
}

} // namespace corvane
