#pragma once
// Modal alerts and opening addresses in the user's browser.

#include <string>
#include <vector>

namespace corvane {

enum class AlertStyle { warning = 0, informational = 1, critical = 2 };

inline constexpr long NSAlertFirstButtonReturn = 1000;
inline constexpr long NSAlertSecondButtonReturn = 1001;

struct Alert {
    std::string messageText;
    std::string informativeText;
    AlertStyle style = AlertStyle::warning;
    std::vector<std::string> buttons; // in order; the first is the default button
};

class AlertPresenter {
  public:
    virtual ~AlertPresenter() = default;
    // Shows the alert modally and returns when it is answered: 1000 for the first button,
    // 1001 for the second, and so on.
    virtual long runModal(const Alert& alert) = 0;
};

class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    // Opens the address in the default browser or settings app; false when that failed.
    virtual bool openURL(const std::string& url) = 0;
};

} // namespace corvane
