#pragma once
// A panel backend factory whose backends write what the panel told them into one journal:
// "orderFront", "orderOut", "frame", "alpha", "ignoresMouse", "needsDisplay".

#include "fakes/CallLog.h"
#include "platform/ui/Panel.h"

#include <memory>

namespace corvane::testing {

class RecordingPanelBackendFactory : public PanelBackendFactory {
  public:
    std::unique_ptr<PanelBackend> createPanelBackend(Panel&) override {
        ++created;
        return std::make_unique<Backend>(journal, showsPartialAlpha);
    }

    int created = 0;
    CallLog journal;
    // What the backends answer, as a window system without a compositor would when false.
    bool showsPartialAlpha = true;

  private:
    struct Backend : PanelBackend {
        Backend(CallLog& log, const bool& partialAlpha) : journal(log), partial(partialAlpha) {}
        void panelDidOrderFront() override { journal.record("orderFront"); }
        void panelDidOrderOut() override { journal.record("orderOut"); }
        void panelDidChangeFrame() override { journal.record("frame"); }
        void panelDidChangeAlpha() override { journal.record("alpha"); }
        void panelDidChangeIgnoresMouseEvents() override { journal.record("ignoresMouse"); }
        void panelNeedsDisplay() override { journal.record("needsDisplay"); }
        bool showsPartialAlpha() const override { return partial; }
        CallLog& journal;
        const bool& partial;
    };
};

} // namespace corvane::testing
