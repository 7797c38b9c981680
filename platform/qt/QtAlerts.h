#pragma once
// Alerts on QMessageBox and addresses opened through QDesktopServices.
//
// Buttons keep the core's meaning: the first is the default (Return) and answers 1000, the
// second 1001, and so on. Their placement follows the desktop's dialog convention for accept
// and reject buttons, as an alert's buttons follow the platform's. Escape or closing the
// window answers as the last button does ("Later", "OK"), never as the default.
// Corvane is never the active application when it shows an alert, so the box is raised and
// activated explicitly and stays on top until answered.

#include "platform/Alerts.h"

#include <memory>

class QMessageBox;

namespace corvane {

class QtAlertPresenter : public AlertPresenter {
  public:
    long runModal(const Alert& alert) override;

    // Builds the box runModal shows; exposed for tests.
    static std::unique_ptr<QMessageBox> makeMessageBox(const Alert& alert);
    // The answer for a box after exec(): the clicked button's index plus 1000.
    static long answerFor(const QMessageBox& box);
};

class QtUrlOpener : public UrlOpener {
  public:
    bool openURL(const std::string& url) override;
};

} // namespace corvane
