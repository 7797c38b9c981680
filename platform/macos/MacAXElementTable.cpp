// The table of Accessibility elements behind the core's handles (see MacAXElementTable.h).

#include "platform/macos/MacAXElementTable.h"

#include <algorithm>

namespace corvane {

MacAXElementTable::MacAXElementTable(std::function<Element(Element)> retain,
                                     std::function<void(Element)> release, std::size_t maxProcesses)
    : retain_(std::move(retain)), release_(std::move(release)),
      maxProcesses_(std::max<std::size_t>(maxProcesses, 1)) {}

MacAXElementTable::~MacAXElementTable() {
    for (const auto& [number, held] : elements_)
        release_(held.second);
}

void MacAXElementTable::drop(pid_t pid) {
    for (auto it = elements_.begin(); it != elements_.end();) {
        if (it->second.first != pid) {
            ++it;
            continue;
        }
        release_(it->second.second);
        it = elements_.erase(it);
    }
    readOrder_.erase(std::remove(readOrder_.begin(), readOrder_.end(), pid), readOrder_.end());
}

void MacAXElementTable::beginRead(pid_t pid) {
    drop(pid);
    while (readOrder_.size() >= maxProcesses_)
        drop(readOrder_.front());
    readOrder_.push_back(pid);
}

AXUIElement MacAXElementTable::add(pid_t pid, Element element) {
    if (std::find(readOrder_.begin(), readOrder_.end(), pid) == readOrder_.end())
        beginRead(pid);
    const std::uint64_t number = nextNumber_++;
    elements_.emplace(number, std::make_pair(pid, retain_(element)));
    return {pid, number};
}

MacAXElementTable::Element MacAXElementTable::find(const AXUIElement& handle) const {
    const auto it = elements_.find(handle.window);
    if (it == elements_.end() || it->second.first != handle.pid)
        return nullptr;
    return it->second.second;
}

} // namespace corvane
