#pragma once
// Running Qt's event loop in a test until a condition holds, against a deadline: a guard
// against a hang, never a measurement.

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace corvane::testing {

// Runs Qt's event loop until the condition holds or the timeout passes.
inline bool pumpQtUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        // A loop that goes on until it would sleep, as the program's does: what waits for
        // that moment (the panel's map) runs too.
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Lets whatever has arrived in the given time reach its receivers.
inline void pumpQtFor(std::chrono::milliseconds time) {
    pumpQtUntil([] { return false; }, time);
}

} // namespace corvane::testing
