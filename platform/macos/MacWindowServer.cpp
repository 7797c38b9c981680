// The on-screen window list from Core Graphics (see MacWindowServer.h).

#include "platform/macos/MacWindowServer.h"

#include "platform/macos/MacCoreFoundation.h"

#include <ApplicationServices/ApplicationServices.h>
#include <CoreFoundation/CoreFoundation.h>

namespace corvane {

std::optional<std::vector<WindowListEntry>>
MacWindowServer::copyWindowList(std::uint32_t options, std::uint32_t relativeToWindow) {
    const CFArrayRef list = CGWindowListCopyWindowInfo(static_cast<CGWindowListOption>(options),
                                                       static_cast<CGWindowID>(relativeToWindow));
    if (list == nullptr)
        return std::nullopt;
    std::vector<WindowListEntry> entries = windowListFromCF(CoreFoundationReader{}, list);
    CFRelease(list);
    return entries;
}

} // namespace corvane
