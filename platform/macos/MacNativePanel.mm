// The non-activating panel step (see MacNativePanel.h).
//
// Qt's window flags (a frameless tool window that does not accept focus, shown without
// activation) give an NSPanel that still activates Corvane when it is ordered front or
// clicked: the application the user is in would lose its key window in the middle of a switch,
// and the HUD would vanish behind a full-screen application or stay on one Space. AppKit has no
// flag for the rest, so it is set on the NSWindow itself:
// - NSWindowStyleMaskNonactivatingPanel (NSPanel only): ordering front and clicking never
//   activate Corvane;
// - becomesKeyOnlyIfNeeded: the panel takes no key status (it has no text to type into);
// - canJoinAllSpaces | fullScreenAuxiliary | stationary: shown on the current Space, over a
//   full-screen application, and left out of Mission Control's shuffling;
// - the pop-up menu level: above the menu bar and every normal or floating window;
// - hidesOnDeactivate NO: Corvane, an accessory application, is never the active one.

#include "platform/macos/MacNativePanel.h"

#import <AppKit/AppKit.h>

namespace corvane {

namespace {

NSView* viewFrom(void* nsView) {
    // A void pointer becomes an object pointer only through a bridged cast, which has only the C
    // form.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wold-style-cast"
    return (__bridge NSView*)nsView;
#pragma clang diagnostic pop
}

} // namespace

void makeNonActivatingPanel(void* nsView) {
    NSWindow* window = [viewFrom(nsView) window];
    if (window == nil)
        return;
    if ([window isKindOfClass:[NSPanel class]]) {
        NSPanel* panel = static_cast<NSPanel*>(window);
        [panel setStyleMask:[panel styleMask] | NSWindowStyleMaskNonactivatingPanel];
        [panel setBecomesKeyOnlyIfNeeded:YES];
        [panel setFloatingPanel:YES];
    }
    const NSWindowCollectionBehavior behaviour =
        static_cast<NSWindowCollectionBehavior>(NSWindowCollectionBehaviorCanJoinAllSpaces) |
        NSWindowCollectionBehaviorFullScreenAuxiliary | NSWindowCollectionBehaviorStationary;
    [window setCollectionBehavior:behaviour];
    [window setLevel:NSPopUpMenuWindowLevel];
    [window setHidesOnDeactivate:NO];
}

} // namespace corvane
