#pragma once
// A seeded fuzzer over Corvane's core. It plays random sequences of the user's keys, modifier
// changes, pointer crossings and card clicks, passing time and desktop changes (windows opening,
// closing, retitled, minimized) into a ShellWorld, the way the scenario tests do: keys through
// the tap callback, actions, fades and timers on the manual run loop, windows in the recorded
// desktop. After every step it checks what must always hold of a switch; at the end it destroys
// the AppDelegate and runs the loop on, so a closure that outlives its owner shows (under ASan).
// A failing sequence shrinks to a minimal one, printed in a text form that replays it.
//
// It covers the portable core only: no backend, no real timing, one screen, three applications.

#include "platform/EventTap.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace corvane::testing::fuzz {

// What the generator may do. Each can be left out, e.g. while a fault it provokes is mended.
struct Features {
    // Events that arrive before the run loop has run the action of the one before.
    bool quickEvents = true;
    // Key events carrying Option or Command although the tap never saw that modifier go down,
    // and the chord changing mid-sequence (its modifier may already be down).
    bool unseenModifiers = true;
    // After a click or the dismiss timer ended the switch with the modifier still held: the
    // chord, or the modifier's release.
    bool keysAfterHeldCommit = true;
    // A chord Tab during the fade-out while the pointer rests on the panel.
    bool chordOverFadingPanel = true;
    // Windows of one application with the same title, and untitled windows.
    bool sharedTitles = true;
};

struct Step {
    enum class Kind {
        keyDown,  // key, flags
        keyUp,    // key, flags
        flags,    // flags: the modifiers now down
        over,     // the pointer moves onto the panel, away from the cards
        leave,    // the pointer leaves the panel
        click,    // number: the card clicked
        wait,     // seconds pass
        open,     // window number of pid opens in front, titled title
        close,    // window number closes
        retitle,  // window number is now titled title
        minimize, // window number is minimized
        keepOpen, // the hover preference is set to on
        cmdTab,   // the chord becomes Cmd+Tab (on) or Option+Tab
        screen,   // number: the main screen's width now (0: no main screen)
    };
    Kind kind = Kind::wait;
    // An event that arrives before the run loop runs again.
    bool quick = false;
    std::int64_t key = 0;
    std::uint64_t flags = 0;
    double seconds = 0;
    int number = 0;
    pid_t pid = 0;
    std::string title;
    bool on = false;
};
using Sequence = std::vector<Step>;

struct Failure {
    std::string invariant;
    std::size_t step = 0; // index of the step after which it was broken
};

// One step per token, separated by spaces, e.g. "flags:opt !down:tab:opt flags:- wait:0.5";
// format and parse are inverses.
std::string format(const Sequence& sequence);
std::optional<Sequence> parse(std::string_view text, std::string& error);

// Plays a fixed sequence; the first broken invariant, if any.
std::optional<Failure> replay(const Sequence& sequence);
// Generates a sequence from the seed while playing it; on failure `played` holds the steps up to
// the failing one.
std::optional<Failure> fuzzOne(std::uint64_t seed, const Features& features, Sequence& played);
// Drops steps while the same invariant still breaks (delta debugging).
Sequence shrink(Sequence sequence, const Failure& failure);

// The first failing seed of a run, shrunk.
struct Finding {
    std::uint64_t seed = 0;
    Failure failure;
    Sequence minimal;
    std::string describe() const;
};
// Plays `count` sequences from seeds first, first + 1, ...; stops at the first failure.
std::optional<Finding> fuzzSeeds(std::uint64_t first, std::size_t count, const Features& features);
Finding findingOf(std::uint64_t seed, const Failure& failure, const Sequence& played);

} // namespace corvane::testing::fuzz
