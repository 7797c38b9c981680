#pragma once
// The window server's list on Core Graphics: CGWindowListCopyWindowInfo, each entry converted
// into the core's typed dictionary (see MacValueConversion.h). A NULL answer (no window server
// session) is "no list". macOS only.

#include "platform/WindowServer.h"

namespace corvane {

class MacWindowServer : public WindowServer {
  public:
    std::optional<std::vector<WindowListEntry>>
    copyWindowList(std::uint32_t options, std::uint32_t relativeToWindow) override;
};

} // namespace corvane
