#pragma once
// Animation groups on the run loop's clock, like NSAnimationContext: the changes made through a
// group's animator move from their current value to the target over the group's duration,
// stepped by a frame timer of the TimerScheduler; the completion runs once every change has
// arrived. Only a panel's alpha is animatable. Where no panel of a group can show partial alpha
// (PanelBackend::showsPartialAlpha), only its first and last frames run.
//
// A later animation of the same panel's alpha takes over that property at once; the earlier
// group still finishes on its own schedule and runs its completion. A group can be cancelled:
// its changes stop where they are and its completion never runs.
//
// Ownership: a running group holds its panels and its completion until it finishes or is
// cancelled; the returned handle does not keep it running.

#include "platform/Timers.h"

#include <functional>
#include <memory>
#include <vector>

namespace corvane {

class Panel;

class AnimationGroup {
  public:
    // Seconds; AppKit's default.
    double duration = 0.25;
    // panel.animator.alphaValue = alpha
    void animateAlphaValue(const std::shared_ptr<Panel>& panel, double alpha);

  private:
    friend class AnimationContext;
    struct AlphaChange {
        std::shared_ptr<Panel> panel;
        double target;
    };
    std::vector<AlphaChange> changes_;
};

class RunningAnimation {
  public:
    virtual ~RunningAnimation() = default;
    virtual void cancel() = 0;
    // Finished or cancelled.
    virtual bool isDone() const = 0;
};

class AnimationContext {
  public:
    explicit AnimationContext(TimerScheduler& timers) : timers_(timers) {}

    // Frames per second of the frame timer.
    static constexpr double kFrameRate = 60;

    std::shared_ptr<RunningAnimation>
    runAnimationGroup(std::function<void(AnimationGroup&)> changes,
                      std::function<void()> completion = {});

  private:
    TimerScheduler& timers_;
};

} // namespace corvane
