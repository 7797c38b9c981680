#include "input/KeyDecision.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

void PrintTo(const SwitchFlags& f, std::ostream* os) {
    *os << "{held " << f.hudModifierIsHeld << ", showing " << f.hudIsShowing << ", hover "
        << f.hudMouseHoverMode << "}";
}

namespace {

constexpr std::uint64_t OPT = kCGEventFlagMaskAlternate;
constexpr std::uint64_t CMD = kCGEventFlagMaskCommand;
constexpr std::uint64_t SHIFT = kCGEventFlagMaskShift;
constexpr std::uint64_t CTRL = kCGEventFlagMaskControl;
constexpr std::uint64_t CAPS = kCGEventFlagMaskAlphaShift;
constexpr std::int64_t kUpArrow = 126;
constexpr std::int64_t kLetterA = 0;

constexpr HotkeyMode kOption = HotkeyMode::optionTab;
constexpr HotkeyMode kCommand = HotkeyMode::cmdTab;

// Switch flags in the order (held, showing, hover).
constexpr SwitchFlags idle{false, false, false};
constexpr SwitchFlags held{true, false, false};
constexpr SwitchFlags switching{true, true, false};
constexpr SwitchFlags hover{false, false, true};
constexpr SwitchFlags hoverHeld{true, false, true};
constexpr SwitchFlags hoverSwitching{true, true, true};

constexpr auto none = SwitchAction::none;
constexpr auto begin = SwitchAction::beginSwitch;
constexpr auto advance = SwitchAction::advanceSwitch;
constexpr auto step = SwitchAction::stepSelection;
constexpr auto commit = SwitchAction::commitSwitch;
constexpr auto cancel = SwitchAction::cancelSwitch;
constexpr auto release = SwitchAction::handleModifierRelease;

constexpr bool fwd = true;
constexpr bool back = false;
constexpr TapResult PASS = TapResult::pass;
constexpr TapResult EAT = TapResult::swallow;

struct Row {
    const char* name;
    std::uint32_t type;
    std::int64_t keyCode;
    std::uint64_t flags;
    HotkeyMode mode;
    SwitchFlags before;
    SwitchFlags after;
    SwitchAction action;
    bool forward; // only checked for actions that take a direction
    TapResult result;
};

void expectRows(const std::vector<Row>& rows) {
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const KeyDecision got =
            decideKeyEvent(row.type, row.keyCode, row.flags, row.mode, row.before);
        EXPECT_EQ(got.flags, row.after);
        EXPECT_EQ(switchActionName(got.action), switchActionName(row.action));
        EXPECT_EQ(got.result, row.result);
        if (row.action == begin || row.action == advance || row.action == step) {
            EXPECT_EQ(got.forward, row.forward);
        }
    }
}

constexpr std::uint32_t DOWN = kCGEventKeyDown;
constexpr std::uint32_t UP = kCGEventKeyUp;
constexpr std::uint32_t FLAGS = kCGEventFlagsChanged;

TEST(KeyDecision, ChordKeyDownsBeginOrAdvanceTheSwitch) {
    expectRows({
        {"Option+Tab begins forward", DOWN, kVK_Tab, OPT, kOption, held, switching, begin, fwd,
         EAT},
        {"Option+Shift+Tab begins backward", DOWN, kVK_Tab, OPT | SHIFT, kOption, held, switching,
         begin, back, EAT},
        {"chord needs no held flag",
         DOWN,
         kVK_Tab,
         OPT,
         kOption,
         idle,
         {false, true, false},
         begin,
         fwd,
         EAT},
        {"Control does not stop the chord", DOWN, kVK_Tab, OPT | CTRL, kOption, held, switching,
         begin, fwd, EAT},
        {"Caps Lock does not stop the chord", DOWN, kVK_Tab, OPT | CAPS, kOption, held, switching,
         begin, fwd, EAT},
        {"all extras at once", DOWN, kVK_Tab, OPT | CAPS | CTRL | SHIFT, kOption, held, switching,
         begin, back, EAT},
        {"chord while showing advances", DOWN, kVK_Tab, OPT, kOption, switching, switching, advance,
         fwd, EAT},
        {"Shift chord while showing steps back", DOWN, kVK_Tab, OPT | SHIFT, kOption, switching,
         switching, advance, back, EAT},
        {"Command+Tab in Cmd mode begins", DOWN, kVK_Tab, CMD, kCommand, held, switching, begin,
         fwd, EAT},
        {"chord in hover mode begins anew", DOWN, kVK_Tab, OPT, kOption, hoverHeld, hoverSwitching,
         begin, fwd, EAT},
    });
}

TEST(KeyDecision, TabThatIsNotTheChordPassesWhenIdleAndStepsDuringASwitch) {
    expectRows({
        {"Command+Tab in Option mode, idle", DOWN, kVK_Tab, CMD, kOption, idle, idle, none, fwd,
         PASS},
        {"Option+Tab in Cmd mode, idle", DOWN, kVK_Tab, OPT, kCommand, idle, idle, none, fwd, PASS},
        {"Option+Command+Tab, Option mode", DOWN, kVK_Tab, OPT | CMD, kOption, held, held, none,
         fwd, PASS},
        {"Option+Command+Tab, Cmd mode", DOWN, kVK_Tab, OPT | CMD, kCommand, held, held, none, fwd,
         PASS},
        {"plain Tab idle", DOWN, kVK_Tab, 0, kOption, idle, idle, none, fwd, PASS},
        {"Option+Command+Tab during a switch", DOWN, kVK_Tab, OPT | CMD, kOption, switching,
         switching, step, fwd, EAT},
        {"Option+Command+Shift+Tab during a switch", DOWN, kVK_Tab, OPT | CMD | SHIFT, kOption,
         switching, switching, step, back, EAT},
        {"plain Tab in hover mode", DOWN, kVK_Tab, 0, kOption, hover, hover, step, fwd, EAT},
        {"Shift+Tab in hover mode", DOWN, kVK_Tab, SHIFT, kOption, hover, hover, step, back, EAT},
    });
}

TEST(KeyDecision, SwitchKeysActOnlyDuringASwitchOrHover) {
    expectRows({
        {"Return idle", DOWN, kVK_Return, 0, kOption, idle, idle, none, fwd, PASS},
        {"Escape idle", DOWN, kVK_Escape, OPT, kOption, held, held, none, fwd, PASS},
        {"keypad Enter idle", DOWN, kVK_ANSI_KeypadEnter, 0, kOption, idle, idle, none, fwd, PASS},
        {"Left idle", DOWN, kVK_LeftArrow, 0, kOption, idle, idle, none, fwd, PASS},
        {"Right idle", DOWN, kVK_RightArrow, OPT, kOption, held, held, none, fwd, PASS},
        {"Return commits", DOWN, kVK_Return, OPT, kOption, switching, held, commit, fwd, EAT},
        {"keypad Enter commits from hover", DOWN, kVK_ANSI_KeypadEnter, 0, kOption, hover, idle,
         commit, fwd, EAT},
        {"Return clears both in (true, true)", DOWN, kVK_Return, OPT, kOption, hoverSwitching, held,
         commit, fwd, EAT},
        {"Escape cancels, modifier stays held", DOWN, kVK_Escape, OPT, kOption, switching, held,
         cancel, fwd, EAT},
        {"Escape cancels hover", DOWN, kVK_Escape, 0, kOption, hover, idle, cancel, fwd, EAT},
        {"Left steps back", DOWN, kVK_LeftArrow, OPT, kOption, switching, switching, step, back,
         EAT},
        {"Left ignores Shift", DOWN, kVK_LeftArrow, OPT | SHIFT, kOption, switching, switching,
         step, back, EAT},
        {"Right steps forward", DOWN, kVK_RightArrow, 0, kOption, hover, hover, step, fwd, EAT},
        {"Right ignores Shift", DOWN, kVK_RightArrow, OPT | SHIFT, kOption, switching, switching,
         step, fwd, EAT},
        {"Up arrow passes during a switch", DOWN, kUpArrow, OPT, kOption, switching, switching,
         none, fwd, PASS},
        {"a letter passes during a switch", DOWN, kLetterA, OPT, kOption, switching, switching,
         none, fwd, PASS},
        {"a letter passes in hover", DOWN, kLetterA, 0, kOption, hover, hover, none, fwd, PASS},
    });
}

TEST(KeyDecision, OnlyTheTabKeyUpOfASwitchIsSwallowed) {
    expectRows({
        {"Tab up during a switch", UP, kVK_Tab, OPT, kOption, switching, switching, none, fwd, EAT},
        {"Tab up in hover", UP, kVK_Tab, 0, kOption, hover, hover, none, fwd, EAT},
        {"Tab up idle", UP, kVK_Tab, OPT, kOption, held, held, none, fwd, PASS},
        {"Escape up during a switch", UP, kVK_Escape, OPT, kOption, switching, switching, none, fwd,
         PASS},
        {"Return up in hover", UP, kVK_Return, 0, kOption, hover, hover, none, fwd, PASS},
    });
}

TEST(KeyDecision, ModifierChangesAlwaysPassAndTrackTheRelease) {
    expectRows({
        {"F1 Option down", FLAGS, 0, OPT, kOption, idle, held, none, fwd, PASS},
        {"F1 Option down during a switch", FLAGS, 0, OPT | SHIFT, kOption, switching, switching,
         none, fwd, PASS},
        {"F1 Command down in Cmd mode", FLAGS, 0, CMD, kCommand, idle, held, none, fwd, PASS},
        {"Command is not the modifier in Option mode", FLAGS, 0, CMD, kOption, idle, idle, none,
         fwd, PASS},
        {"F2 release during a switch", FLAGS, 0, 0, kOption, switching, idle, release, fwd, PASS},
        {"F2 keeps hover for the controller", FLAGS, 0, 0, kOption, hoverSwitching, hover, release,
         fwd, PASS},
        {"F2 Option up, Command still down", FLAGS, 0, CMD, kOption, switching, idle, release, fwd,
         PASS},
        {"F3 release with no switch", FLAGS, 0, 0, kOption, held, idle, none, fwd, PASS},
        {"F3 release after Escape", FLAGS, 0, SHIFT, kOption, held, idle, none, fwd, PASS},
        {"F4 release never seen held",
         FLAGS,
         0,
         0,
         kOption,
         {false, true, false},
         {false, true, false},
         none,
         fwd,
         PASS},
        {"F4 Shift alone", FLAGS, 0, SHIFT, kOption, idle, idle, none, fwd, PASS},
    });
}

TEST(KeyDecision, OtherEventTypesPassUntouched) {
    expectRows({
        {"tap disabled by timeout", kCGEventTapDisabledByTimeout, kVK_Tab, OPT, kOption, switching,
         switching, none, fwd, PASS},
        {"tap disabled by user input", kCGEventTapDisabledByUserInput, kVK_Escape, 0, kOption,
         hover, hover, none, fwd, PASS},
        {"a mouse event", 1, kVK_Tab, OPT, kOption, held, held, none, fwd, PASS},
    });
}

// Plays a run of events from idle and collects what would be queued.
struct Replay {
    HotkeyMode mode = kOption;
    SwitchFlags flags;
    std::vector<std::string> queued;
    std::vector<TapResult> results;

    Replay& event(std::uint32_t type, std::int64_t keyCode, std::uint64_t word) {
        const KeyDecision d = decideKeyEvent(type, keyCode, word, mode, flags);
        flags = d.flags;
        results.push_back(d.result);
        if (d.action != SwitchAction::none)
            queued.push_back(std::string(switchActionName(d.action)) +
                             (d.action == begin || d.action == advance || d.action == step
                                  ? (d.forward ? "(fwd)" : "(back)")
                                  : ""));
        return *this;
    }
    Replay& down(std::int64_t key, std::uint64_t word) { return event(DOWN, key, word); }
    Replay& up(std::int64_t key, std::uint64_t word) { return event(UP, key, word); }
    Replay& mods(std::uint64_t word) { return event(FLAGS, 0, word); }
};

using Queued = std::vector<std::string>;

TEST(KeyDecisionSequence, ReleasingTheModifierWithTabStillDownLetsItsKeyUpPass) {
    Replay r;
    r.mods(OPT).down(kVK_Tab, OPT).mods(0).up(kVK_Tab, 0);
    EXPECT_EQ(r.queued, (Queued{"beginSwitch(fwd)", "handleModifierRelease"}));
    EXPECT_EQ(r.results.back(), PASS);

    // Unless hover mode is already in force when the key-up arrives.
    Replay hovering;
    hovering.mods(OPT).down(kVK_Tab, OPT).mods(0);
    hovering.flags.hudMouseHoverMode = true; // the controller ran and kept the HUD open
    hovering.up(kVK_Tab, 0);
    EXPECT_EQ(hovering.results.back(), EAT);
}

TEST(KeyDecisionSequence, ASwitchBegunWithTheModifierAlreadyDownIsNotCommittedByItsRelease) {
    Replay r; // no flags-changed event saw Option go down
    r.down(kVK_Tab, OPT).up(kVK_Tab, OPT).mods(0);
    EXPECT_EQ(r.queued, (Queued{"beginSwitch(fwd)"}));
    EXPECT_TRUE(r.flags.hudIsShowing);
    // Return still ends it.
    r.down(kVK_Return, 0);
    EXPECT_EQ(r.queued.back(), "commitSwitch");
    EXPECT_EQ(r.flags, idle);
}

} // namespace
} // namespace corvane
