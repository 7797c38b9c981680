#include "platform/ui/Animation.h"

#include "platform/ui/Panel.h"

#include <algorithm>

namespace corvane {

void AnimationGroup::animateAlphaValue(const std::shared_ptr<Panel>& panel, double alpha) {
    if (panel)
        changes_.push_back({panel, std::clamp(alpha, 0.0, 1.0)});
}

class AlphaAnimationRun : public RunningAnimation,
                          public std::enable_shared_from_this<AlphaAnimationRun> {
  public:
    struct Track {
        std::shared_ptr<Panel> panel;
        double from;
        double to;
        unsigned long long id;
    };

    AlphaAnimationRun(TimerScheduler& timers, double duration, std::function<void()> completion)
        : timers_(timers), start_(timers.now()), duration_(duration),
          completion_(std::move(completion)) {}

    void addTrack(const std::shared_ptr<Panel>& panel, double target) {
        static unsigned long long nextId = 0;
        const auto id = ++nextId;
        panel->alphaAnimationId_ = id;
        tracks_.push_back({panel, panel->alphaValue(), target, id});
    }

    void start() {
        // The timer's block keeps the run alive until it finishes or is cancelled.
        auto self = shared_from_this();
        timer_ = timers_.scheduleTimer(1.0 / AnimationContext::kFrameRate, true,
                                       [self](Timer&) { self->step(); });
    }

    void cancel() override {
        if (done_)
            return;
        completion_ = nullptr;
        finish();
    }

    bool isDone() const override { return done_; }

  private:
    void step() {
        // Frame times on a clock that adds 1/60 repeatedly land a hair short of the end.
        constexpr double tolerance = 1e-6;
        const double elapsed = timers_.now() - start_;
        const bool last = duration_ <= 0 || elapsed >= duration_ - tolerance;
        const double progress = last ? 1.0 : std::clamp(elapsed / duration_, 0.0, 1.0);
        for (const auto& track : tracks_) {
            if (track.panel->alphaAnimationId_ == track.id)
                track.panel->setAlphaValue(track.from + (track.to - track.from) * progress);
        }
        if (!last) {
            if (!showsSteps())
                skipToEnd(elapsed);
            return;
        }
        auto completion = std::move(completion_);
        auto keepAlive = shared_from_this();
        finish();
        if (completion)
            completion();
    }

    // The first frame went out (a window system that shows no translucency hides a fading-out
    // panel there); with nobody to see the frames between, the next one is the last.
    bool showsSteps() const {
        return std::any_of(tracks_.begin(), tracks_.end(), [](const Track& track) {
            const PanelBackend* backend = track.panel->backend();
            return !backend || backend->showsPartialAlpha();
        });
    }
    void skipToEnd(double elapsed) {
        if (auto timer = timer_.lock())
            timer->invalidate();
        auto self = shared_from_this();
        timer_ = timers_.scheduleTimer(std::max(0.0, duration_ - elapsed), false,
                                       [self](Timer&) { self->step(); });
    }

    void finish() {
        done_ = true;
        for (const auto& track : tracks_) {
            if (track.panel->alphaAnimationId_ == track.id)
                track.panel->alphaAnimationId_ = 0;
        }
        tracks_.clear();
        if (auto timer = timer_.lock())
            timer->invalidate();
        timer_.reset();
    }

    TimerScheduler& timers_;
    double start_;
    double duration_;
    std::function<void()> completion_;
    std::vector<Track> tracks_;
    // Weak: the timer's block holds this run, and the scheduler holds the timer.
    std::weak_ptr<Timer> timer_;
    bool done_ = false;
};

std::shared_ptr<RunningAnimation>
AnimationContext::runAnimationGroup(std::function<void(AnimationGroup&)> changes,
                                    std::function<void()> completion) {
    AnimationGroup group;
    if (changes)
        changes(group);
    auto run = std::make_shared<AlphaAnimationRun>(timers_, group.duration, std::move(completion));
    for (const auto& change : group.changes_)
        run->addTrack(change.panel, change.target);
    run->start();
    return run;
}

} // namespace corvane
