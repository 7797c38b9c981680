#pragma once
// Corvane's X11 backend on a connection of its own to a desktop, wired as program/main.cpp wires
// it (without the fallback icons), for the tests and benchmarks that call it in-process. What
// opens the connection and where its log goes is theirs.

#include "platform/x11/X11Accessibility.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11DesktopSnapshot.h"
#include "platform/x11/X11WindowServer.h"
#include "platform/x11/X11Workspace.h"
#include "windows/WindowCatalogue.h"

#include <memory>
#include <utility>

namespace corvane {

// Destroyed in reverse: the services before their reader, the reader before its connection.
struct X11Backend {
    explicit X11Backend(std::unique_ptr<X11Connection> opened) : connection(std::move(opened)) {}

    std::unique_ptr<X11Connection> connection;
    X11DesktopReader reader{*connection};
    X11WindowServer windowServer{reader};
    X11Accessibility accessibility{reader};
    X11Workspace workspace{reader};
    X11ProcessInfo processInfo;

    WindowCatalogue catalogue() { return {windowServer, accessibility, workspace, processInfo}; }
};

} // namespace corvane
