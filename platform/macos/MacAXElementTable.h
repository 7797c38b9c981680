#pragma once
// The window elements Corvane has been handed by the Accessibility API, behind the plain
// handles the core passes around (AXUIElement: a process and a number).
//
// An AXUIElementRef is an opaque object with no number of its own that a later call could find
// it again by, so the backend keeps the elements it hands out: reading a process's "AXWindows"
// replaces that process's elements (releasing the earlier ones) and hands out fresh numbers,
// never reused. A handle from an earlier read, of a process that was dropped, or made up, finds
// nothing, and the call on it fails as a call on a window that has gone does. At most
// maxProcesses processes are kept; reading one more drops the one read longest ago, so that
// processes that quit do not leave their elements behind for the life of Corvane.
//
// The table takes a reference of its own to every element it holds (`retain`, CFRetain on macOS)
// and gives it back when it drops the element (`release`, CFRelease).

#include "platform/Accessibility.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <sys/types.h>

namespace corvane {

class MacAXElementTable {
  public:
    using Element = const void*;

    MacAXElementTable(std::function<Element(Element)> retain, std::function<void(Element)> release,
                      std::size_t maxProcesses = 64);
    ~MacAXElementTable();
    MacAXElementTable(const MacAXElementTable&) = delete;
    MacAXElementTable& operator=(const MacAXElementTable&) = delete;

    // Drops the process's elements from earlier reads; call before adding a fresh read's.
    void beginRead(pid_t pid);
    // Keeps an element of the process (retaining it) and answers its handle.
    AXUIElement add(pid_t pid, Element element);
    // The element behind a handle, borrowed; null when the handle names nothing held.
    Element find(const AXUIElement& handle) const;

    std::size_t size() const { return elements_.size(); }

  private:
    void drop(pid_t pid);

    std::function<Element(Element)> retain_;
    std::function<void(Element)> release_;
    std::size_t maxProcesses_;
    std::uint64_t nextNumber_ = 1;
    std::map<std::uint64_t, std::pair<pid_t, Element>> elements_;
    std::deque<pid_t> readOrder_; // processes held, the one read longest ago first
};

} // namespace corvane
