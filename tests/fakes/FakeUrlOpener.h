#pragma once
// Opening addresses for tests: records each address, answers `succeeds`.

#include "fakes/CallLog.h"
#include "platform/Alerts.h"

#include <string>
#include <vector>

namespace corvane::testing {

class FakeUrlOpener : public UrlOpener {
  public:
    explicit FakeUrlOpener(CallLog* log = nullptr) : log_(log) {}

    bool openURL(const std::string& url) override {
        if (log_)
            log_->record("openURL(" + url + ")");
        opened.push_back(url);
        return succeeds;
    }

    std::vector<std::string> opened;
    bool succeeds = true;

  private:
    CallLog* log_;
};

} // namespace corvane::testing
