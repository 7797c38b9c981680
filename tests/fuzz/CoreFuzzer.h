#pragma once
// A seeded fuzzer over Corvane's core. It plays random sequences of the user's keys, modifier
// changes, pointer crossings and card clicks, passing time and desktop changes (windows opening,
// closing, retitled, minimized) into a ShellWorld, the way the scenario tests do: keys through
// the tap callback, actions, fades and timers on the manual run loop, windows in the recorded
// desktop, which it keeps as a model of its own. After every step it checks what must always
// hold of a switch; at the end it destroys the AppDelegate and runs the loop on, so a closure
// that outlives its owner shows (under ASan). A failing sequence shrinks to a minimal one.
//
// It covers the portable core only: no backend, no real timing, one screen, three applications.
//
// A sequence is text, one step per word: "flags:opt !down:tab:opt up:tab:opt flags:- wait:0.5".
//   down:KEY:FLAGS, up:KEY:FLAGS, flags:FLAGS   a key event or modifier change through the tap;
//       KEY is tab left right return enter escape a up; FLAGS opt+cmd+shift+ctrl, or "-"; a
//       leading ! delivers it before the run loop runs the action of the one before
//   over, leave, click:N        the pointer enters or leaves the panel, clicks card N
//   wait:S                      S seconds pass
//   open:N:PID:TITLE, close:N, retitle:N:TITLE, minimize:N   window N changes
//   keepopen:on|off, chord:cmd|opt, screen:W   preferences; the main screen's width (0: none)

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing::fuzz {

using Sequence = std::vector<std::string>;

struct Failure {
    std::string invariant;
    std::size_t step = 0; // index of the step after which it was broken
};

// Plays a sequence written as above; the first broken invariant, or the step it cannot read.
std::optional<Failure> replay(std::string_view steps);
// Generates a sequence from the seed while playing it; `played` holds the steps played.
std::optional<Failure> fuzzOne(std::uint64_t seed, Sequence& played);
// The seed, the invariant and the played steps shrunk to a minimal sequence that still breaks
// it, in a form to replay.
std::string report(std::uint64_t seed, const Failure& failure, Sequence played);
// Plays `count` sequences from seeds first, first + 1, ...; the report of the first failure.
std::optional<std::string> fuzzSeeds(std::uint64_t first, std::size_t count);

} // namespace corvane::testing::fuzz
