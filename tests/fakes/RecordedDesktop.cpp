#include "fakes/RecordedDesktop.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace corvane::testing {

namespace {

AXCopyResult answer(AXValue value) {
    return AXCopyResult{kAXErrorSuccess, std::move(value)};
}

std::string describeValue(const AXValue& value) {
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag ? "true" : "false";
    if (const auto* text = std::get_if<std::string>(&value))
        return "\"" + *text + "\"";
    if (const auto* other = std::get_if<OtherValue>(&value))
        return other->description;
    return "elements";
}

} // namespace

// ---- Building the desktop

void RecordedDesktop::addApp(pid_t pid, std::optional<std::string> name, AppTraits traits) {
    RunningApplication app;
    app.processIdentifier = pid;
    app.localizedName = std::move(name);
    app.activationPolicy = traits.activationPolicy;
    app.isHidden = traits.isHidden;
    if (traits.hasIcon) {
        // The pixel carries the pid, so an icon mix-up between applications shows.
        app.icon = std::make_shared<const Image>(
            Image{1, 1, {0xFF000000u | static_cast<std::uint32_t>(pid)}});
    }
    apps_.push_back(std::move(app));
    axProcesses_[pid];
}

void RecordedDesktop::setHidden(pid_t pid, bool isHidden) {
    for (RunningApplication& app : apps_) {
        if (app.processIdentifier == pid)
            app.isHidden = isHidden;
    }
}

void RecordedDesktop::quitApp(pid_t pid) {
    std::erase_if(apps_,
                  [pid](const RunningApplication& app) { return app.processIdentifier == pid; });
    axProcesses_[pid].isGone = true;
    if (activeApp_ == pid)
        activeApp_.reset();
}

ImageRef RecordedDesktop::iconOf(pid_t pid) const {
    const RunningApplication* app = findApp(pid);
    return app == nullptr ? nullptr : app->icon;
}

void RecordedDesktop::addOnScreen(std::uint32_t number, pid_t pid, std::string ownerName,
                                  std::int64_t layer) {
    addWindowListEntry({{kCGWindowLayer, layer},
                        {kCGWindowNumber, std::int64_t{number}},
                        {kCGWindowOwnerPID, std::int64_t{pid}},
                        {kCGWindowOwnerName, std::move(ownerName)},
                        {kCGWindowIsOnscreen, true}});
}

void RecordedDesktop::addWindowListEntry(WindowListEntry entry) {
    windowList_.push_back(std::move(entry));
}

std::uint64_t RecordedDesktop::addAXWindow(pid_t pid, std::string title, bool isMinimized) {
    return addAXWindowAnswering(pid, answer(std::move(title)), answer(isMinimized));
}

std::uint64_t RecordedDesktop::addAXWindowAnswering(pid_t pid, AXCopyResult title,
                                                    AXCopyResult minimized) {
    const std::uint64_t id = nextWindowId_++;
    axWindows_[id] = AXWindow{pid, std::move(title), std::move(minimized), false};
    axProcesses_[pid].windows.push_back(id);
    return id;
}

void RecordedDesktop::setAXWindowsAnswer(pid_t pid, AXCopyResult result) {
    axProcesses_[pid].windowsAnswer = std::move(result);
}

void RecordedDesktop::failAXWindows(pid_t pid, AXError error) {
    setAXWindowsAnswer(pid, AXCopyResult{error, std::nullopt});
}

void RecordedDesktop::retitleAXWindow(std::uint64_t window, std::string title) {
    axWindows_.at(window).title = answer(std::move(title));
}

void RecordedDesktop::closeAXWindow(std::uint64_t window) {
    AXWindow& closed = axWindows_.at(window);
    closed.isClosed = true;
    std::erase(axProcesses_[closed.pid].windows, window);
}

std::uint64_t RecordedDesktop::addOnScreenWindow(pid_t pid, std::uint32_t number,
                                                 std::string title) {
    const RunningApplication* app = findApp(pid);
    addOnScreen(number, pid, app != nullptr ? app->localizedName.value_or("") : "");
    return addAXWindow(pid, std::move(title), false);
}

std::uint64_t RecordedDesktop::addMinimizedWindow(pid_t pid, std::string title) {
    return addAXWindow(pid, std::move(title), true);
}

// ---- What happened

std::vector<std::string> RecordedDesktop::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> matching;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(matching),
                 [&](const std::string& line) { return line.starts_with(prefix); });
    return matching;
}

std::optional<std::uint64_t> RecordedDesktop::mainWindowOf(pid_t pid) const {
    const auto it = mainWindows_.find(pid);
    if (it == mainWindows_.end())
        return std::nullopt;
    return it->second;
}

void RecordedDesktop::record(std::string line) {
    if (isRecording_)
        calls_.push_back(std::move(line));
}

std::string RecordedDesktop::describe(const AXUIElement& element) {
    std::string text = std::to_string(element.pid);
    if (element.window != 0) {
        // Appended in two steps: GCC 12 at -O3 warns falsely (-Wrestrict) on "/" + string.
        text += '/';
        text += std::to_string(element.window);
    }
    return text;
}

const RunningApplication* RecordedDesktop::findApp(pid_t pid) const {
    const auto it = std::find_if(apps_.begin(), apps_.end(), [pid](const RunningApplication& app) {
        return app.processIdentifier == pid;
    });
    return it == apps_.end() ? nullptr : &*it;
}

// ---- WindowServer

std::optional<std::vector<WindowListEntry>>
RecordedDesktop::copyWindowList(std::uint32_t options, std::uint32_t relativeToWindow) {
    if (isRecording_) {
        record("copyWindowList options=" + std::to_string(options) +
               " relative=" + std::to_string(relativeToWindow));
    }
    if (windowListFails_)
        return std::nullopt;
    return windowList_;
}

// ---- AccessibilityService

AXUIElement RecordedDesktop::createApplication(pid_t pid) {
    if (isRecording_)
        record("createApplication " + std::to_string(pid));
    return AXUIElement{pid, 0};
}

const RecordedDesktop::AXWindow* RecordedDesktop::liveWindow(const AXUIElement& element) const {
    const auto it = axWindows_.find(element.window);
    if (it == axWindows_.end() || it->second.isClosed || it->second.pid != element.pid)
        return nullptr;
    const auto process = axProcesses_.find(element.pid);
    if (process != axProcesses_.end() && process->second.isGone)
        return nullptr;
    return &it->second;
}

AXCopyResult RecordedDesktop::copyApplicationAttribute(pid_t pid, const std::string& attribute) {
    const auto process = axProcesses_.find(pid);
    if (process == axProcesses_.end() || process->second.isGone)
        return AXCopyResult{kAXErrorCannotComplete, std::nullopt};
    if (attribute != kAXWindowsAttribute)
        return AXCopyResult{kAXErrorAttributeUnsupported, std::nullopt};
    if (process->second.windowsAnswer)
        return *process->second.windowsAnswer;
    std::vector<AXUIElement> elements;
    elements.reserve(process->second.windows.size());
    for (std::uint64_t id : process->second.windows)
        elements.push_back(AXUIElement{pid, id});
    return answer(std::move(elements));
}

AXCopyResult RecordedDesktop::copyAttributeValue(const AXUIElement& element,
                                                 const std::string& attribute) {
    if (isRecording_)
        record("copy " + describe(element) + " " + attribute);
    if (accessibilityDenied_)
        return AXCopyResult{kAXErrorFailure, std::nullopt};
    if (element.window == 0)
        return copyApplicationAttribute(element.pid, attribute);
    const AXWindow* window = liveWindow(element);
    if (window == nullptr)
        return AXCopyResult{kAXErrorCannotComplete, std::nullopt};
    if (attribute == kAXTitleAttribute)
        return window->title;
    if (attribute == kAXMinimizedAttribute)
        return window->minimized;
    return AXCopyResult{kAXErrorAttributeUnsupported, std::nullopt};
}

AXError RecordedDesktop::setAttributeValue(const AXUIElement& element, const std::string& attribute,
                                           const AXValue& value) {
    record("set " + describe(element) + " " + attribute + " " + describeValue(value));
    if (accessibilityDenied_ || liveWindow(element) == nullptr)
        return kAXErrorCannotComplete;
    if (attribute != kAXMainAttribute)
        return kAXErrorAttributeUnsupported;
    if (value == AXValue{true})
        mainWindows_[element.pid] = element.window;
    return kAXErrorSuccess;
}

AXError RecordedDesktop::performAction(const AXUIElement& element, const std::string& action) {
    record("perform " + describe(element) + " " + action);
    if (accessibilityDenied_ || liveWindow(element) == nullptr)
        return kAXErrorCannotComplete;
    if (action != kAXRaiseAction)
        return kAXErrorCannotComplete;
    lastRaised_ = element.window;
    return kAXErrorSuccess;
}

// ---- Workspace

std::vector<RunningApplication> RecordedDesktop::runningApplications() {
    record("runningApplications");
    return apps_;
}

std::optional<RunningApplication>
RecordedDesktop::runningApplicationWithProcessIdentifier(pid_t pid) {
    if (isRecording_)
        record("runningApplicationWithProcessIdentifier " + std::to_string(pid));
    const RunningApplication* app = findApp(pid);
    if (app == nullptr)
        return std::nullopt;
    return *app;
}

bool RecordedDesktop::activateApplication(pid_t pid, std::uint32_t options) {
    record("activateApplication " + std::to_string(pid) + " options=" + std::to_string(options));
    if (findApp(pid) == nullptr)
        return false;
    activeApp_ = pid;
    return true;
}

} // namespace corvane::testing
