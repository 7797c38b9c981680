#pragma once
// For the leak checker of sanitizer builds: allocations that system libraries keep for the life
// of the process are not Corvane's leaks. The D-Bus connection the tray and the platform theme
// open (and the error libdbus keeps when no session bus answers), font caches, and the libX11
// display Qt's xcb plugin leaves open when the X server has gone. Corvane itself speaks to X
// through xcb only. Included by exactly one file of each program that runs Qt (its main).

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\nleak:libfontconfig.so\nleak:libX11.so\n";
}
#endif
