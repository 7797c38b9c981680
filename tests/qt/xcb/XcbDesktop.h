#pragma once
// The X desktop the xcb-platform Qt tests run on (see XcbTestMain.cpp), and waiting on Qt's
// event loop against a deadline.

#include "harness/X11TestDesktop.h"

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

namespace corvane::testing {

extern X11TestDesktop* xcbDesktop;

// Runs Qt's event loop until the condition holds or the timeout passes.
inline bool pumpQtUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Lets whatever the server has sent in the given time reach the widgets.
inline void pumpQtFor(std::chrono::milliseconds time) {
    pumpQtUntil([] { return false; }, time);
}

} // namespace corvane::testing
