#pragma once
// Modal alerts for tests: records every alert shown and answers with the next queued answer
// (the first button when none is queued). whileShowing runs "while the alert is open", to play
// what the user does meanwhile.

#include "fakes/CallLog.h"
#include "platform/Alerts.h"

#include <deque>
#include <functional>
#include <vector>

namespace corvane::testing {

class FakeAlerts : public AlertPresenter {
  public:
    explicit FakeAlerts(CallLog* log = nullptr) : log_(log) {}

    long runModal(const Alert& alert) override {
        if (log_)
            log_->record("runModal(" + alert.messageText + ")");
        shown.push_back(alert);
        if (whileShowing)
            whileShowing();
        if (answers.empty())
            return NSAlertFirstButtonReturn;
        const long answer = answers.front();
        answers.pop_front();
        return answer;
    }

    void answerFirstButton() { answers.push_back(NSAlertFirstButtonReturn); }
    void answerSecondButton() { answers.push_back(NSAlertSecondButtonReturn); }

    std::vector<Alert> shown;
    std::deque<long> answers;
    std::function<void()> whileShowing;

  private:
    CallLog* log_;
};

} // namespace corvane::testing
