#pragma once
// The X desktop the xcb-platform Qt tests run on (see XcbTestMain.cpp), and waiting on Qt's
// event loop against a deadline (QtPump.h).

#include "harness/X11TestDesktop.h"
#include "qt/QtPump.h"

namespace corvane::testing {

extern X11TestDesktop* xcbDesktop;

} // namespace corvane::testing
