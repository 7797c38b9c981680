// The Qt backend on a real X server: every test process starts its own Xvfb, room for two
// 1440×900 heads side by side, before Qt connects to it on the xcb platform. Listing the tests
// needs no display.
#include "platform/qt/SystemLibraryLeaks.h"
#include "qt/xcb/XcbDesktop.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>

namespace corvane::testing {
X11TestDesktop* xcbDesktop = nullptr;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    std::string failure;
    auto desktop = corvane::testing::X11TestDesktop::create(false, failure, 2);
    if (!desktop) {
        std::cerr << failure << "\n";
        return EXIT_FAILURE;
    }
    setenv("DISPLAY", desktop->display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    corvane::testing::xcbDesktop = desktop.get();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
