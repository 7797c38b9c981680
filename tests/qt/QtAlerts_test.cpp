#include "platform/qt/QtAlerts.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace corvane {
namespace {

Alert permissionLikeAlert() {
    return Alert{"Accessibility Permission Required",
                 "Corvane needs access.\n\nPlease enable it.",
                 AlertStyle::warning,
                 {"Open System Settings", "Later"}};
}

QPushButton* buttonTitled(QMessageBox& box, const QString& title) {
    for (QAbstractButton* button : box.buttons())
        if (button->text() == title)
            return qobject_cast<QPushButton*>(button);
    return nullptr;
}

TEST(QtAlerts, BoxCarriesTextsStyleAndDefaultButton) {
    const std::unique_ptr<QMessageBox> box =
        QtAlertPresenter::makeMessageBox(permissionLikeAlert());
    EXPECT_EQ(box->informativeText(), "Corvane needs access.\n\nPlease enable it.");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->defaultButton(), buttonTitled(*box, "Open System Settings"));
    EXPECT_EQ(box->escapeButton(), buttonTitled(*box, "Later"));
    auto* headline = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(headline, nullptr);
    EXPECT_EQ(headline->textFormat(), Qt::PlainText)
        << "texts are shown as written, never as markup";
}

TEST(QtAlerts, AnswerIsTheClickedButtonsPositionFromOneThousand) {
    struct Case {
        const char* click; // nullptr: closed with Escape
        long answer;
    };
    for (const Case& c :
         {Case{"Open System Settings", NSAlertFirstButtonReturn},
          Case{"Later", NSAlertSecondButtonReturn}, Case{nullptr, NSAlertSecondButtonReturn}}) {
        QtAlertPresenter presenter;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            if (c.click)
                buttonTitled(*box, c.click)->click();
            else
                box->reject();
        });
        EXPECT_EQ(presenter.runModal(permissionLikeAlert()), c.answer)
            << (c.click ? c.click : "escape");
    }
}

TEST(QtUrlOpener, RefusesAddressesThatAreNotURLs) {
    QtUrlOpener opener;
    for (const char* address : {"", "not a url at all", "http://exa mple.com/"})
        EXPECT_FALSE(opener.openURL(address)) << address;
}

} // namespace
} // namespace corvane
