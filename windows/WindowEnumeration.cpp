#include "windows/AccessibilityReads.h"
#include "windows/UnicodeText.h"
#include "windows/WindowCatalogue.h"
#include "windows/WindowListValues.h"

#include <cassert>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvane {

namespace {

// The values of one window-list entry that enumeration reads, each converted once.
struct ListedWindow {
    std::optional<std::int64_t> layer;
    std::optional<std::uint32_t> number;
    std::optional<pid_t> pid;
    const std::string* ownerName = nullptr;
    std::optional<bool> isOnscreen;

    // Layer 0 and a process other than Corvane's own: enough to be worth fetching titles for.
    bool isOtherProcessAtNormalLayer(pid_t ownPid) const {
        return layer == 0 && pid && *pid >= 1 && *pid != ownPid;
    }

    bool isSwitchable(pid_t ownPid) const {
        return isOtherProcessAtNormalLayer(ownPid) && number && *number != 0 && ownerName &&
               !ownerName->empty() && isOnscreen == true;
    }
};

ListedWindow readListedWindow(const WindowListEntry& entry) {
    static const std::string layer = kCGWindowLayer;
    static const std::string number = kCGWindowNumber;
    static const std::string pid = kCGWindowOwnerPID;
    static const std::string ownerName = kCGWindowOwnerName;
    static const std::string isOnscreen = kCGWindowIsOnscreen;
    return ListedWindow{readInt64(entry, layer), readUInt32(entry, number), readPid(entry, pid),
                        readString(entry, ownerName), readBool(entry, isOnscreen)};
}

// A title and how many windows of the same process carried it before, in "AXWindows" order.
struct CountedTitle {
    std::string title;
    int occurrence = 0;
};

// Counts titles by their canonical form, so that a window can be found again among others of
// its application that read the same.
class TitleCounts {
  public:
    // The title's occurrence: how many times it was counted before this call.
    int count(std::string_view title) { return counts_[normalizedNFC(title)]++; }

  private:
    std::unordered_map<std::string, int> counts_;
};

// A process's Accessibility titles, handed out in order to its accepted on-screen windows.
struct TitleQueue {
    std::vector<std::string> titles;
    std::size_t cursor = 0;
    TitleCounts handedOut{};

    CountedTitle next() {
        const std::size_t index = cursor++;
        std::string title = index < titles.size() ? titles[index] : std::string();
        const int occurrence = handedOut.count(title);
        return {std::move(title), occurrence};
    }
};

std::vector<WindowInfo> onScreenRecords(const std::vector<ListedWindow>& listed, pid_t ownPid,
                                        const std::vector<RunningApplication>& applications,
                                        AccessibilityService& accessibility) {
    // A later entry for the same process replaces an earlier one.
    std::unordered_map<pid_t, const RunningApplication*> runningAppsByPid;
    runningAppsByPid.reserve(applications.size());
    for (const RunningApplication& application : applications)
        runningAppsByPid[application.processIdentifier] = &application;

    // Titles pass: each process's titles once, in the order of its first qualifying entry.
    std::unordered_map<pid_t, TitleQueue> titlesByPid;
    for (const ListedWindow& window : listed) {
        if (!window.isOtherProcessAtNormalLayer(ownPid) || titlesByPid.contains(*window.pid))
            continue;
        titlesByPid.emplace(*window.pid, TitleQueue{axWindowTitles(accessibility, *window.pid)});
    }

    // On-screen pass: only accepted windows advance their process's title cursor, so a skipped
    // entry never uses up a title.
    std::vector<WindowInfo> records;
    records.reserve(listed.size());
    for (const ListedWindow& window : listed) {
        if (!window.isSwitchable(ownPid))
            continue;
        const pid_t pid = *window.pid;
        const auto application = runningAppsByPid.find(pid);
        ImageRef icon = application == runningAppsByPid.end() ? nullptr : application->second->icon;
        const auto titles = titlesByPid.find(pid);
        assert(titles != titlesByPid.end() && "the titles pass read every switchable process");
        CountedTitle title = titles->second.next();
        records.push_back(WindowInfo{*window.number, *window.ownerName, std::move(title.title),
                                     std::move(icon), pid, false, title.occurrence});
    }
    return records;
}

// Minimized windows of regular applications and every window of hidden ones, skipping any
// whose window key is already taken by an on-screen record or an earlier window.
void appendAccessibilityRecords(std::vector<WindowInfo>& records, pid_t ownPid,
                                const std::vector<RunningApplication>& applications,
                                AccessibilityService& accessibility) {
    std::unordered_set<std::string> windowKeys;
    windowKeys.reserve(records.size() * 2);
    for (const WindowInfo& record : records)
        windowKeys.insert(windowKey(record));

    for (const RunningApplication& application : applications) {
        const pid_t pid = application.processIdentifier;
        if (application.activationPolicy != ActivationPolicy::regular || pid == ownPid || pid < 1)
            continue;
        const std::vector<AXUIElement> windows = copyWindowElements(accessibility, pid);
        // Titles of the windows before the current one, counted for occurrences. A skipped
        // window's title is read only once a later window of the application is taken.
        TitleCounts earlier;
        std::size_t counted = 0;
        for (std::size_t i = 0; i < windows.size(); ++i) {
            if (!copyWindowIsMinimized(accessibility, windows[i]) && !application.isHidden)
                continue;
            for (; counted < i; ++counted)
                earlier.count(copyWindowTitle(accessibility, windows[counted]));
            std::string title = copyWindowTitle(accessibility, windows[i]);
            const int occurrence = earlier.count(title);
            ++counted;
            if (!windowKeys.insert(windowKey(pid, title)).second)
                continue;
            records.push_back(WindowInfo{0, application.localizedName.value_or(std::string()),
                                         std::move(title), application.icon, pid, true,
                                         occurrence});
        }
    }
}

} // namespace

std::vector<std::string> axWindowTitles(AccessibilityService& accessibility, pid_t pid) {
    std::vector<std::string> titles;
    const std::vector<AXUIElement> windows = copyWindowElements(accessibility, pid);
    titles.reserve(windows.size());
    for (const AXUIElement& window : windows)
        titles.push_back(copyWindowTitle(accessibility, window));
    return titles;
}

std::vector<WindowInfo> enumerateWindows(const WindowCatalogue& catalogue) {
    const pid_t ownPid = catalogue.processInfo.processIdentifier();
    const std::vector<RunningApplication> firstRead = catalogue.workspace.runningApplications();

    const auto list = catalogue.windowServer.copyWindowList(
        kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID);
    // No list at all means the window server could not answer: list nothing rather than only
    // the Accessibility-found windows, which would put a minimized window first.
    if (!list)
        return {};

    std::vector<ListedWindow> listed;
    listed.reserve(list->size());
    for (const WindowListEntry& entry : *list)
        listed.push_back(readListedWindow(entry));

    std::vector<WindowInfo> records =
        onScreenRecords(listed, ownPid, firstRead, catalogue.accessibility);
    appendAccessibilityRecords(records, ownPid, catalogue.workspace.runningApplications(),
                               catalogue.accessibility);
    return records;
}

} // namespace corvane
