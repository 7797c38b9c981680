#include "input/KeyDecision.h"

#include <cassert>

namespace corvane {
namespace {

struct EventFacts {
    bool isTab;
    bool chord;
    bool forward;
    bool modifierDown;
};

EventFacts factsOf(std::int64_t keyCode, std::uint64_t flags, HotkeyMode mode) {
    assert((mode.modifierFlag() & kChordModifierMask) == mode.modifierFlag() &&
           "a mode's modifier is one of the bits the chord test looks at");
    const bool isTab = keyCode == kVK_Tab;
    return EventFacts{
        .isTab = isTab,
        // Shift, Control, Caps Lock and every other bit play no part in the chord.
        .chord = isTab && (flags & kChordModifierMask) == mode.modifierFlag(),
        .forward = (flags & kCGEventFlagMaskShift) == 0,
        // The release test looks at the mode's own bit alone.
        .modifierDown = (flags & mode.modifierFlag()) != 0,
    };
}

KeyDecision act(SwitchFlags flags, SwitchAction action, bool forward = true) {
    return KeyDecision{flags, action, forward, TapResult::swallow};
}

KeyDecision pass(SwitchFlags flags, SwitchAction action = SwitchAction::none) {
    return KeyDecision{flags, action, true, TapResult::pass};
}

KeyDecision decideKeyDown(std::int64_t keyCode, const EventFacts& facts, SwitchFlags flags) {
    // The chord's own key-down carries the modifier in its flags: proof that it is held even
    // when no flags-changed event showed it going down (it was already down when listening
    // began, or went down while another program held the keyboard). Its release then counts.
    if (facts.chord)
        flags.hudModifierIsHeld = true;
    if (facts.chord && flags.hudIsShowing)
        return act(flags, SwitchAction::advanceSwitch, facts.forward);
    if (facts.chord) {
        flags.hudIsShowing = true;
        return act(flags, SwitchAction::beginSwitch, facts.forward);
    }
    if (!flags.hudIsShowing && !flags.hudMouseHoverMode)
        return pass(flags);

    switch (keyCode) {
    case kVK_Return:
    case kVK_ANSI_KeypadEnter:
        flags.hudIsShowing = false;
        flags.hudMouseHoverMode = false;
        return act(flags, SwitchAction::commitSwitch);
    case kVK_Escape:
        flags.hudIsShowing = false;
        flags.hudMouseHoverMode = false;
        return act(flags, SwitchAction::cancelSwitch);
    case kVK_Tab: // a Tab that is not the chord, e.g. with both Option and Command down
        return act(flags, SwitchAction::stepSelection, facts.forward);
    case kVK_LeftArrow: // arrows ignore Shift
        return act(flags, SwitchAction::stepSelection, false);
    case kVK_RightArrow:
        return act(flags, SwitchAction::stepSelection, true);
    default:
        return pass(flags);
    }
}

KeyDecision decideKeyUp(const EventFacts& facts, SwitchFlags flags) {
    // The Tab key-up of a chord is swallowed so the frontmost application never sees a lone
    // Tab release; every other key-up passes.
    if (facts.isTab && (flags.hudIsShowing || flags.hudMouseHoverMode))
        return KeyDecision{flags, SwitchAction::none, true, TapResult::swallow};
    return pass(flags);
}

KeyDecision decideFlagsChanged(const EventFacts& facts, SwitchFlags flags) {
    // Modifier changes always reach the applications, whatever the switch is doing.
    if (facts.modifierDown) {
        flags.hudModifierIsHeld = true;
        return pass(flags);
    }
    // A release counts only after a flags-changed event showed the modifier going down.
    if (!flags.hudModifierIsHeld)
        return pass(flags);
    flags.hudModifierIsHeld = false;
    if (!flags.hudIsShowing)
        return pass(flags);
    flags.hudIsShowing = false;
    return pass(flags, SwitchAction::handleModifierRelease);
}

} // namespace

std::string_view switchActionName(SwitchAction action) {
    switch (action) {
    case SwitchAction::none:
        return "none";
    case SwitchAction::beginSwitch:
        return "beginSwitch";
    case SwitchAction::advanceSwitch:
        return "advanceSwitch";
    case SwitchAction::stepSelection:
        return "stepSelection";
    case SwitchAction::commitSwitch:
        return "commitSwitch";
    case SwitchAction::cancelSwitch:
        return "cancelSwitch";
    case SwitchAction::handleModifierRelease:
        return "handleModifierRelease";
    }
    return "?";
}

KeyDecision decideKeyEvent(std::uint32_t type, std::int64_t keyCode, std::uint64_t flags,
                           HotkeyMode mode, SwitchFlags current) {
    const EventFacts facts = factsOf(keyCode, flags, mode);
    switch (type) {
    case kCGEventKeyDown:
        return decideKeyDown(keyCode, facts, current);
    case kCGEventKeyUp:
        return decideKeyUp(facts, current);
    case kCGEventFlagsChanged:
        return decideFlagsChanged(facts, current);
    default: // tap-disabled notifications and anything else
        return pass(current);
    }
}

} // namespace corvane
