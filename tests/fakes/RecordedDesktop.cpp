#include "fakes/RecordedDesktop.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace corvane::testing {

namespace {

AXCopyResult answer(AXValue value) {
    return AXCopyResult{kAXErrorSuccess, std::move(value)};
}
const AXCopyResult cannotComplete{kAXErrorCannotComplete, std::nullopt};

std::string describe(const AXUIElement& element) {
    std::string text = std::to_string(element.pid);
    if (element.window != 0) {
        // Appended in two steps: GCC 12 at -O3 warns falsely (-Wrestrict) on "/" + string.
        text += '/';
        text += std::to_string(element.window);
    }
    return text;
}

} // namespace

void RecordedDesktop::addApp(pid_t pid, std::optional<std::string> name, AppTraits traits) {
    RunningApplication app{pid, std::move(name), nullptr, traits.activationPolicy, traits.isHidden};
    if (traits.hasIcon) {
        app.icon = std::make_shared<const Image>(
            Image{1, 1, {0xFF000000u | static_cast<std::uint32_t>(pid)}});
    }
    apps_.push_back(std::move(app));
    axWindowsOf_[pid];
}

WindowListEntry RecordedDesktop::onScreenEntry(std::uint32_t number, pid_t pid,
                                               std::string ownerName, std::int64_t layer) {
    return {{kCGWindowLayer, layer},
            {kCGWindowNumber, std::int64_t{number}},
            {kCGWindowOwnerPID, std::int64_t{pid}},
            {kCGWindowOwnerName, std::move(ownerName)},
            {kCGWindowIsOnscreen, true}};
}

void RecordedDesktop::removeAllWindows() {
    windowList_.clear();
    axWindows_.clear();
    for (auto& [pid, windows] : axWindowsOf_)
        windows.clear();
}

std::uint64_t RecordedDesktop::addAXWindow(pid_t pid, std::string title, bool isMinimized) {
    return addAXWindowAnswering(pid, answer(std::move(title)), answer(isMinimized));
}

std::uint64_t RecordedDesktop::addAXWindowAnswering(pid_t pid, AXCopyResult title,
                                                    AXCopyResult minimized) {
    const std::uint64_t id = nextWindowId_++;
    axWindows_[id] = AXWindow{pid, std::move(title), std::move(minimized)};
    axWindowsOf_[pid].push_back(id);
    return id;
}

void RecordedDesktop::retitleAXWindow(std::uint64_t window, std::string title) {
    axWindows_.at(window).title = answer(std::move(title));
}

std::uint64_t RecordedDesktop::addOnScreenWindow(pid_t pid, std::uint32_t number,
                                                 std::string title) {
    const RunningApplication* app = findApp(pid);
    addOnScreen(number, pid, app != nullptr ? app->localizedName.value_or("") : "");
    return addAXWindow(pid, std::move(title));
}

const RecordedDesktop::AXWindow* RecordedDesktop::windowOf(const AXUIElement& element) const {
    const auto it = axWindows_.find(element.window);
    return it == axWindows_.end() || it->second.pid != element.pid ? nullptr : &it->second;
}

const RunningApplication* RecordedDesktop::findApp(pid_t pid) const {
    const auto it = std::find_if(apps_.begin(), apps_.end(), [pid](const RunningApplication& app) {
        return app.processIdentifier == pid;
    });
    return it == apps_.end() ? nullptr : &*it;
}

std::optional<std::vector<WindowListEntry>>
RecordedDesktop::copyWindowList(std::uint32_t options, std::uint32_t relativeTo) {
    record([&] {
        return "copyWindowList options=" + std::to_string(options) +
               " relative=" + std::to_string(relativeTo);
    });
    ++windowListCopies;
    if (windowListFails_)
        return std::nullopt;
    return windowList_;
}

AXUIElement RecordedDesktop::createApplication(pid_t pid) {
    record([&] { return "createApplication " + std::to_string(pid); });
    return AXUIElement{pid, 0};
}

AXCopyResult RecordedDesktop::copyAttributeValue(const AXUIElement& element,
                                                 const std::string& attribute) {
    record([&] { return "copy " + describe(element) + " " + attribute; });
    if (accessibilityDenied_)
        return AXCopyResult{kAXErrorFailure, std::nullopt};
    if (element.window == 0) {
        if (attribute != kAXWindowsAttribute)
            return AXCopyResult{kAXErrorAttributeUnsupported, std::nullopt};
        if (const auto given = windowsAnswers_.find(element.pid); given != windowsAnswers_.end())
            return given->second;
        const auto known = axWindowsOf_.find(element.pid);
        if (known == axWindowsOf_.end())
            return cannotComplete;
        std::vector<AXUIElement> elements;
        for (std::uint64_t id : known->second)
            elements.push_back(AXUIElement{element.pid, id});
        return answer(std::move(elements));
    }
    const AXWindow* window = windowOf(element);
    if (window == nullptr)
        return cannotComplete;
    if (attribute == kAXTitleAttribute)
        return window->title;
    if (attribute == kAXMinimizedAttribute)
        return window->minimized;
    return AXCopyResult{kAXErrorAttributeUnsupported, std::nullopt};
}

AXError RecordedDesktop::setAttributeValue(const AXUIElement& element, const std::string& attribute,
                                           const AXValue& value) {
    // Corvane only ever sets true (AXMain).
    record([&] {
        return "set " + describe(element) + " " + attribute +
               (value == AXValue{true} ? " true" : " (other)");
    });
    if (accessibilityDenied_ || windowOf(element) == nullptr)
        return kAXErrorCannotComplete;
    return attribute == kAXMainAttribute ? kAXErrorSuccess : kAXErrorAttributeUnsupported;
}

AXError RecordedDesktop::performAction(const AXUIElement& element, const std::string& action) {
    record([&] { return "perform " + describe(element) + " " + action; });
    if (accessibilityDenied_ || windowOf(element) == nullptr || action != kAXRaiseAction)
        return kAXErrorCannotComplete;
    lastRaisedWindow = element.window;
    return kAXErrorSuccess;
}

std::vector<RunningApplication> RecordedDesktop::runningApplications() {
    record([] { return std::string("runningApplications"); });
    return apps_;
}

std::optional<RunningApplication>
RecordedDesktop::runningApplicationWithProcessIdentifier(pid_t pid) {
    record([&] { return "runningApplicationWithProcessIdentifier " + std::to_string(pid); });
    const RunningApplication* app = findApp(pid);
    return app == nullptr ? std::nullopt : std::optional<RunningApplication>(*app);
}

bool RecordedDesktop::activateApplication(pid_t pid, std::uint32_t options) {
    record([&] {
        return "activateApplication " + std::to_string(pid) + " options=" + std::to_string(options);
    });
    if (findApp(pid) == nullptr)
        return false;
    activeApp = pid;
    return true;
}

} // namespace corvane::testing
