// macOS has no xcb: the syntax check puts this ahead of the system's xcb headers, so that a Qt
// backend file including xcb outside its CORVANE_QT_HAS_XCB guard fails as it would on a Mac.
#error "xcb is not available on macOS"
