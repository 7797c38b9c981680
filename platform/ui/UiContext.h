#pragma once
// The user-interface services a view owner needs, bundled. Every service is owned by the
// backend (or by a test) and outlives whatever is built from the bundle.

#include "platform/Timers.h"
#include "platform/ui/Panel.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextMetrics.h"

namespace corvane {

struct UiContext {
    TimerScheduler& timers;
    Screen& screen;
    TextMetrics& textMetrics;
    PanelBackendFactory& panelBackends;
};

} // namespace corvane
