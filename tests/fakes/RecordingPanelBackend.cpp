#include "fakes/RecordingPanelBackend.h"

#include <algorithm>

namespace corvane::testing {

namespace {

class RecordingPanelBackend : public PanelBackend {
  public:
    explicit RecordingPanelBackend(std::vector<std::string>& journal) : journal_(journal) {}
    void panelDidOrderFront() override { journal_.emplace_back("orderFront"); }
    void panelDidOrderOut() override { journal_.emplace_back("orderOut"); }
    void panelDidChangeFrame() override { journal_.emplace_back("frame"); }
    void panelDidChangeAlpha() override { journal_.emplace_back("alpha"); }
    void panelNeedsDisplay() override { journal_.emplace_back("needsDisplay"); }

  private:
    std::vector<std::string>& journal_;
};

} // namespace

std::unique_ptr<PanelBackend> RecordingPanelBackendFactory::createPanelBackend(Panel&) {
    ++created;
    return std::make_unique<RecordingPanelBackend>(journal);
}

long RecordingPanelBackendFactory::count(const std::string& call) const {
    return std::count(journal.begin(), journal.end(), call);
}

} // namespace corvane::testing
