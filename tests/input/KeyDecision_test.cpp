// The key decision routine as data: events in; flags, queued action and swallow/pass out.
#include "input/KeyDecision.h"

#include <gtest/gtest.h>
#include <ostream>
#include <span>

namespace corvane {

void PrintTo(const SwitchFlags& f, std::ostream* os) {
    *os << "{held " << f.hudModifierIsHeld << ", showing " << f.hudIsShowing << ", hover "
        << f.hudMouseHoverMode << "}";
}

namespace {

constexpr std::uint64_t OPT = kCGEventFlagMaskAlternate, CMD = kCGEventFlagMaskCommand;
constexpr std::uint64_t SHIFT = kCGEventFlagMaskShift;
constexpr std::uint64_t EXTRAS =
    kCGEventFlagMaskShift | kCGEventFlagMaskControl | kCGEventFlagMaskAlphaShift;
constexpr std::int64_t kUpArrow = 126, kLetterA = 0;
constexpr std::uint32_t DOWN = kCGEventKeyDown, UP = kCGEventKeyUp, FLAGS = kCGEventFlagsChanged;
constexpr HotkeyMode kCmdMode = HotkeyMode::cmdTab;

// Switch flags in the order (held, showing, hover).
constexpr SwitchFlags idle{false, false, false}, held{true, false, false};
constexpr SwitchFlags showing{false, true, false}, switching{true, true, false};
constexpr SwitchFlags hover{false, false, true}, hoverHeld{true, false, true};
constexpr SwitchFlags hoverSwitching{true, true, true};

// An action with its direction; the direction is checked only for the actions that take one.
struct Act {
    SwitchAction action;
    bool forward = true;
};
constexpr Act none{SwitchAction::none}, beginFwd{SwitchAction::beginSwitch, true};
constexpr Act beginBack{SwitchAction::beginSwitch, false};
constexpr Act advanceFwd{SwitchAction::advanceSwitch, true};
constexpr Act advanceBack{SwitchAction::advanceSwitch, false};
constexpr Act stepFwd{SwitchAction::stepSelection, true};
constexpr Act stepBack{SwitchAction::stepSelection, false}, commit{SwitchAction::commitSwitch};
constexpr Act cancel{SwitchAction::cancelSwitch}, release{SwitchAction::handleModifierRelease};
constexpr TapResult PASS = TapResult::pass, EAT = TapResult::swallow;

struct Row {
    const char* name;
    std::int64_t keyCode;
    std::uint64_t flags;
    SwitchFlags before, after;
    Act act;
    TapResult result;
    HotkeyMode mode = HotkeyMode::optionTab;
};

void expectRows(std::uint32_t type, std::span<const Row> rows) {
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const KeyDecision got = decideKeyEvent(type, row.keyCode, row.flags, row.mode, row.before);
        EXPECT_EQ(std::tuple(got.flags, switchActionName(got.action), got.result),
                  std::tuple(row.after, switchActionName(row.act.action), row.result));
        const SwitchAction a = row.act.action;
        if (a == SwitchAction::beginSwitch || a == SwitchAction::advanceSwitch ||
            a == SwitchAction::stepSelection) {
            EXPECT_EQ(got.forward, row.act.forward);
        }
    }
}

TEST(KeyDecision, ChordKeyDownsBeginOrAdvanceTheSwitch) {
    const Row rows[] = {
        {"Option+Tab begins forward", kVK_Tab, OPT, held, switching, beginFwd, EAT},
        {"Option+Shift+Tab begins backward", kVK_Tab, OPT | SHIFT, held, switching, beginBack, EAT},
        {"the chord marks the modifier held", kVK_Tab, OPT, idle, switching, beginFwd, EAT},
        {"Shift, Control and Caps Lock do not stop it", kVK_Tab, OPT | EXTRAS, held, switching,
         beginBack, EAT},
        {"chord while showing advances", kVK_Tab, OPT, switching, switching, advanceFwd, EAT},
        {"Shift chord while showing", kVK_Tab, OPT | SHIFT, switching, switching, advanceBack, EAT},
        {"Command+Tab in Cmd mode", kVK_Tab, CMD, held, switching, beginFwd, EAT, kCmdMode},
        {"chord in hover mode begins anew", kVK_Tab, OPT, hoverHeld, hoverSwitching, beginFwd, EAT},
        {"chord in hover mode, release unseen", kVK_Tab, OPT, hover, hoverSwitching, beginFwd, EAT},
        {"chord while showing, release unseen", kVK_Tab, OPT, showing, switching, advanceFwd, EAT},
        {"Command+Tab marks Command held", kVK_Tab, CMD, idle, switching, beginFwd, EAT, kCmdMode},
    };
    expectRows(DOWN, rows);
}

TEST(KeyDecision, TabThatIsNotTheChordPassesWhenIdleAndStepsDuringASwitch) {
    const Row rows[] = {
        {"Command+Tab in Option mode", kVK_Tab, CMD, idle, idle, none, PASS},
        {"Option+Tab in Cmd mode", kVK_Tab, OPT, idle, idle, none, PASS, kCmdMode},
        {"Option+Command+Tab", kVK_Tab, OPT | CMD, held, held, none, PASS},
        {"Option+Command+Tab in Cmd mode", kVK_Tab, OPT | CMD, held, held, none, PASS, kCmdMode},
        {"plain Tab", kVK_Tab, 0, idle, idle, none, PASS},
        {"Option+Command+Tab in a switch", kVK_Tab, OPT | CMD, switching, switching, stepFwd, EAT},
        {"Option+Command+Shift+Tab in a switch", kVK_Tab, OPT | CMD | SHIFT, switching, switching,
         stepBack, EAT},
        {"plain Tab in hover mode", kVK_Tab, 0, hover, hover, stepFwd, EAT},
        {"Shift+Tab in hover mode", kVK_Tab, SHIFT, hover, hover, stepBack, EAT},
    };
    expectRows(DOWN, rows);
}

TEST(KeyDecision, SwitchKeysActOnlyDuringASwitchOrHover) {
    const Row rows[] = {
        {"Return idle", kVK_Return, 0, idle, idle, none, PASS},
        {"Escape with the modifier held", kVK_Escape, OPT, held, held, none, PASS},
        {"keypad Enter idle", kVK_ANSI_KeypadEnter, 0, idle, idle, none, PASS},
        {"Right with the modifier held", kVK_RightArrow, OPT, held, held, none, PASS},
        {"Return commits", kVK_Return, OPT, switching, held, commit, EAT},
        {"keypad Enter commits from hover", kVK_ANSI_KeypadEnter, 0, hover, idle, commit, EAT},
        {"Return clears showing and hover", kVK_Return, OPT, hoverSwitching, held, commit, EAT},
        {"Escape cancels, modifier held", kVK_Escape, OPT, switching, held, cancel, EAT},
        {"Escape cancels hover", kVK_Escape, 0, hover, idle, cancel, EAT},
        {"Left steps back", kVK_LeftArrow, OPT, switching, switching, stepBack, EAT},
        {"Left ignores Shift", kVK_LeftArrow, OPT | SHIFT, switching, switching, stepBack, EAT},
        {"Right steps forward", kVK_RightArrow, 0, hover, hover, stepFwd, EAT},
        {"Right ignores Shift", kVK_RightArrow, OPT | SHIFT, switching, switching, stepFwd, EAT},
        {"Up arrow passes in a switch", kUpArrow, OPT, switching, switching, none, PASS},
        {"a letter passes in hover", kLetterA, 0, hover, hover, none, PASS},
    };
    expectRows(DOWN, rows);
}

TEST(KeyDecision, OnlyTheTabKeyUpOfASwitchIsSwallowed) {
    const Row rows[] = {
        {"Tab up in a switch", kVK_Tab, OPT, switching, switching, none, EAT},
        {"Tab up in hover", kVK_Tab, 0, hover, hover, none, EAT},
        {"Tab up idle", kVK_Tab, OPT, held, held, none, PASS},
        {"Tab up after the release ended the switch", kVK_Tab, 0, idle, idle, none, PASS},
        {"Escape up in a switch", kVK_Escape, OPT, switching, switching, none, PASS},
        {"Return up in hover", kVK_Return, 0, hover, hover, none, PASS},
    };
    expectRows(UP, rows);
}

TEST(KeyDecision, ModifierChangesAlwaysPassAndTrackTheRelease) {
    const Row rows[] = {
        {"Option down", 0, OPT, idle, held, none, PASS},
        {"Shift down in a switch", 0, OPT | SHIFT, switching, switching, none, PASS},
        {"Command down in Cmd mode", 0, CMD, idle, held, none, PASS, kCmdMode},
        {"Command is not Option mode's modifier", 0, CMD, idle, idle, none, PASS},
        {"release in a switch", 0, 0, switching, idle, release, PASS},
        {"release keeps hover for the controller", 0, 0, hoverSwitching, hover, release, PASS},
        {"Option up, Command still down", 0, CMD, switching, idle, release, PASS},
        {"release with no switch", 0, 0, held, idle, none, PASS},
        {"release after Escape", 0, SHIFT, held, idle, none, PASS},
        {"release never seen held", 0, 0, showing, showing, none, PASS},
        {"Shift alone", 0, SHIFT, idle, idle, none, PASS},
    };
    expectRows(FLAGS, rows);
}

TEST(KeyDecision, OtherEventTypesPassUntouched) {
    const Row rows[] = {{"chord", kVK_Tab, OPT, held, held, none, PASS},
                        {"Escape", kVK_Escape, OPT, switching, switching, none, PASS}};
    for (std::uint32_t type : {kCGEventTapDisabledByTimeout, kCGEventTapDisabledByUserInput, 1u}) {
        SCOPED_TRACE(type);
        expectRows(type, rows);
    }
}

} // namespace
} // namespace corvane
