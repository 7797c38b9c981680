#pragma once
// A panel backend that records what the panel told it, in order, in one journal shared by every
// backend the factory made: "orderFront", "orderOut", "frame", "alpha", "needsDisplay".

#include "platform/ui/Panel.h"

#include <memory>
#include <string>
#include <vector>

namespace corvane::testing {

class RecordingPanelBackendFactory : public PanelBackendFactory {
  public:
    std::unique_ptr<PanelBackend> createPanelBackend(Panel& panel) override;

    int created = 0;
    std::vector<std::string> journal;

    long count(const std::string& call) const;
};

} // namespace corvane::testing
