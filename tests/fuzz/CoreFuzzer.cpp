#include "fuzz/CoreFuzzer.h"

#include "fakes/ShellWorld.h"
#include "hud/SwitcherHUD.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace corvane::testing::fuzz {
namespace {

constexpr std::array<pid_t, 3> kPids{200, 300, 400};
constexpr std::uint64_t CTRL = kCGEventFlagMaskControl, kChordBits = OPT | CMD;

// Splits at each separator, keeping empty parts ("open:11:200:" has an empty title).
std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t at = 0;
    for (std::size_t end; (end = text.find(separator, at)) != std::string_view::npos; at = end + 1)
        parts.emplace_back(text.substr(at, end - at));
    parts.emplace_back(text.substr(at));
    return parts;
}

std::string flagsText(std::uint64_t flags) {
    std::string text;
    for (const auto& [name, bit] : kNamedFlags)
        text += flags & bit ? (text.empty() ? "" : "+") + name : "";
    return text.empty() ? "-" : text;
}

std::uint64_t flagsOf(std::string_view text) {
    std::uint64_t flags = 0;
    for (const std::string& name : text == "-" ? std::vector<std::string>{} : split(text, '+'))
        flags |= kNamedFlags.at(name);
    return flags;
}

// One window of the desktop model, front to back among the on-screen ones.
struct Window {
    std::uint32_t number;
    pid_t pid;
    std::string title;
    bool isMinimized = false;
    std::uint64_t element = 0; // its Accessibility window in the recorded desktop
};

// A ShellWorld with a model of the desktop and of the pointer, playing steps and checking the
// invariants after each one the run loop has caught up with.
class Player {
  public:
    Player() {
        world.desktop.setRecordingCalls(false);
        world.log.isRecording = false;
        for (pid_t pid : kPids)
            world.desktop.addApp(pid, "App " + std::to_string(pid));
        world.launch();
        weakDelegate = world.delegate;
        weakHud = world.delegate->hud;
        hud().onActivate = [this, activate = std::move(hud().onActivate)](WindowInfo chosen) {
            world.desktop.lastRaisedWindow.reset();
            activate(chosen);
            ++commits;
            if (!broken)
                broken = checkCommit(chosen, world.desktop.lastRaisedWindow);
        };
    }

    std::optional<std::string> play(std::string_view step);
    std::optional<std::string> finish();

    SwitcherHUD& hud() const { return *world.delegate->hud; }
    bool visible() const { return hud().panel && hud().panel->isVisible(); }
    std::uint64_t chordFlag() const {
        return HotkeyMode::current(world.preferences).modifierFlag();
    }

    // What the generator looks at.
    std::uint64_t held = 0;
    std::vector<Window> windows;
    std::uint32_t nextNumber = 11;
    int titlesMade = 0;

  private:
    std::optional<std::string> send(std::string_view verb, std::int64_t key, std::uint64_t flags);
    void changeDesktop(std::string_view verb, const std::vector<std::string>& part);
    void layOutDesktop();
    std::optional<std::string> checkCommit(const WindowInfo& chosen,
                                           std::optional<std::uint64_t> element);
    std::optional<std::string> checkAfterRun();
    std::vector<Window>::iterator windowNumbered(std::uint32_t number) {
        return std::ranges::find(windows, number, &Window::number);
    }

    mutable ShellWorld world;
    std::weak_ptr<AppDelegate> weakDelegate;
    std::weak_ptr<SwitcherHUD> weakHud;
    std::optional<std::string> broken; // by a commit, reported at the end of the step
    int commits = 0;                   // during this step
    bool mayCommit = false; // a step since the last run that may end a switch with a raise
    std::vector<std::uint32_t> raisedNumbers;
    // Per application, the window lists fetched when its windows last changed.
    std::map<pid_t, int> listsAtChange;
    int listsSeen = 0, listsAtLastCommit = -1;
    bool pointerIn = false, wasFading = false;
};

std::optional<std::string> Player::send(std::string_view verb, std::int64_t key,
                                        std::uint64_t flags) {
    const SwitchFlags before = world.flags();
    const bool down = verb == "down";
    const bool chord = down && key == kVK_Tab && (flags & kChordBits) == chordFlag();
    const TapResult result = world.taps.send(down              ? kCGEventKeyDown
                                             : verb == "flags" ? kCGEventFlagsChanged
                                                               : kCGEventKeyUp,
                                             key, flags);
    if (verb == "flags")
        held = flags;
    mayCommit |= verb == "flags" || (down && (key == kVK_Return || key == kVK_ANSI_KeypadEnter));
    const bool switchKey = key != keyNamed("a") && key != keyNamed("up");
    const bool mayTake =
        down ? switchKey && (chord || before.hudIsShowing || before.hudMouseHoverMode)
             : verb == "up" && key == kVK_Tab;
    if (!mayTake && result != TapResult::pass)
        return "a key that is not the switcher's was swallowed";
    return std::nullopt;
}

std::optional<std::string> Player::play(std::string_view step) {
    const bool quick = step.starts_with('!');
    const std::vector<std::string> part = split(step.substr(quick ? 1 : 0), ':');
    const std::string& verb = part[0];
    if (verb == "down" || verb == "up" || verb == "flags") {
        const bool isKey = verb != "flags";
        const auto key = isKey ? keyNamed(part.at(1)) : 0;
        if (!key)
            throw std::invalid_argument("no key " + part.at(1));
        if (auto swallowed = send(verb, *key, flagsOf(part.at(isKey ? 2 : 1))))
            return swallowed;
        if (quick)
            return std::nullopt;
    } else if (verb == "over") {
        if (visible())
            hud().panel->pointerMoved(Point{5, 5});
        pointerIn |= visible();
    } else if (verb == "leave") {
        if (visible())
            hud().panel->pointerLeft();
        pointerIn = false;
    } else if (verb == "click") {
        const auto card = std::stoul(part.at(1));
        if (visible() && card < hud().cardWrappers.size()) {
            mayCommit = true;
            const Rect panel = hud().panel->frame();
            // A panel that kept its frame while the cards were rebuilt may hold cards beyond it.
            pointerIn = Rect{0, 0, panel.width, panel.height}.contains(world.clickCard(card));
        }
    } else if (verb == "wait") {
        mayCommit = true; // the dismiss timer
        world.loop.advance(std::stod(part.at(1)));
    } else if (verb == "keepopen") {
        world.preferences.setObject(kMouseHoverKeepOpenPreferenceKey, part.at(1) == "on");
    } else if (verb == "chord") {
        world.preferences.setObject(kHotkeyModePreferenceKey,
                                    std::string(part.at(1) == "cmd" ? "cmdTab" : "optionTab"));
    } else if (verb == "screen") {
        const double width = std::stod(part.at(1));
        world.screen.frame = width > 0 ? std::optional(Rect{0, 0, width, 900}) : std::nullopt;
    } else if (verb == "open" || verb == "close" || verb == "retitle" || verb == "minimize") {
        changeDesktop(verb, part);
    } else {
        throw std::invalid_argument("no step " + verb);
    }
    world.loop.runQueued();
    return checkAfterRun();
}

void Player::changeDesktop(std::string_view verb, const std::vector<std::string>& part) {
    const auto number = static_cast<std::uint32_t>(std::stoul(part.at(1)));
    const auto window = windowNumbered(number);
    if (verb == "open") {
        if (window != windows.end() || number == 0)
            return;
        windows.insert(windows.begin(), Window{number, std::stoi(part.at(2)), part.at(3)});
        nextNumber = std::max(nextNumber, number + 1);
        ++titlesMade;
        listsAtChange[windows.front().pid] = world.desktop.windowListCopies;
    } else {
        if (window == windows.end())
            return;
        listsAtChange[window->pid] = world.desktop.windowListCopies;
        if (verb == "close") {
            windows.erase(window);
        } else if (verb == "retitle") {
            window->title = part.at(2);
            ++titlesMade;
        } else {
            window->isMinimized = true;
        }
    }
    layOutDesktop();
}

// The recorded desktop answers as a consistent one: each process's Accessibility windows list
// its on-screen windows in window-list order, then its minimized ones, so the positional title
// pairing of enumeration gives every on-screen window its own title.
void Player::layOutDesktop() {
    world.desktop.removeAllWindows();
    for (bool minimized : {false, true}) {
        for (Window& w : windows) {
            if (w.isMinimized == minimized)
                w.element = minimized ? world.desktop.addAXWindow(w.pid, w.title, true)
                                      : world.desktop.addOnScreenWindow(w.pid, w.number, w.title);
        }
    }
}

// The window raised is the one chosen, as long as its application's windows are as they were
// when the list was made. Otherwise any of its windows may be, by design: a window retitled or
// gone leaves its front window, and same-titled ones are told apart by an order that changed.
std::optional<std::string> Player::checkCommit(const WindowInfo& chosen,
                                               std::optional<std::uint64_t> element) {
    const int lists = world.desktop.windowListCopies;
    if (std::exchange(listsAtLastCommit, lists) == lists)
        return "a second commit from one window list: a switch showed the windows of the one "
               "before";
    if (!element) {
        if (std::ranges::find(windows, chosen.pid, &Window::pid) == windows.end())
            return std::nullopt;
        return "a commit raised no window";
    }
    const auto raised = std::ranges::find(windows, *element, &Window::element);
    if (raised == windows.end() || raised->pid != chosen.pid)
        return "a commit raised a window of another application";
    const auto changed = listsAtChange.find(chosen.pid);
    const bool unchanged = changed == listsAtChange.end() || changed->second < lists;
    if (unchanged && (chosen.windowID != 0 ? raised->number != chosen.windowID
                                           : raised->title != chosen.windowTitle))
        return "a commit raised another window than the chosen one (a same-titled sibling?)";
    if (!raised->isMinimized)
        raisedNumbers.push_back(raised->number);
    return std::nullopt;
}

std::optional<std::string> Player::checkAfterRun() {
    CallLog& journal = world.panelBackends.journal;
    const bool presented = journal.count("orderFront") > 0;
    // An ordered-out panel forgets the pointer, even if it is back on screen now.
    if (journal.count("orderOut") > 0)
        pointerIn = false;
    journal.calls.clear();
    const int lists = world.desktop.windowListCopies;
    const bool fetched = std::exchange(listsSeen, lists) != lists;
    if (broken)
        return broken;
    if (std::exchange(commits, 0) > 0 && !mayCommit)
        return "a window was raised on a step that commits nothing (Escape, a plain key, the "
               "pointer)";
    mayCommit = false;
    // Raised windows come to the front, as on a real desktop.
    for (std::uint32_t number : std::exchange(raisedNumbers, {})) {
        const auto raised = windowNumbered(number);
        listsAtChange[raised->pid] = lists;
        std::rotate(windows.begin(), raised, raised + 1);
        layOutDesktop();
    }

    const bool isVisible = visible(), isFading = hud().isFadingOut();
    if (presented && !fetched)
        return "the panel opened over a window list fetched for an earlier switch";
    if (presented && isFading)
        return "the panel was put on screen for a switch that had already ended";
    if (std::exchange(wasFading, isFading) && !isFading && !presented && isVisible)
        return "a fade-out ended with the panel still on screen";
    pointerIn &= isVisible;

    const SwitchFlags flags = world.flags();
    const SwitcherHUD& h = hud();
    if (h.isOpen() && !flags.hudIsShowing && !flags.hudMouseHoverMode)
        return "the HUD holds a switch open (on screen or unseen) with no switch under way";
    if (flags.hudIsShowing && !flags.hudModifierIsHeld && !isFading)
        return "a switch is under way with the modifier up and nothing to end it";
    if (flags.hudMouseHoverMode && !isVisible)
        return "hover mode with no panel on screen";
    if (world.taps.tap()->interests.back().switchKeysWanted !=
        (flags.hudIsShowing || flags.hudMouseHoverMode))
        return "the switch keys are wanted outside a switch, or not during one";
    // One card per window, exactly the selected one marked; a clicked card's panel fades out
    // with the previous highlight, by design. A chord in hover mode may fetch an empty list: the
    // panel stays, empty, by design.
    const auto selected = static_cast<std::size_t>(h.selectedIndex);
    bool cardsMatch = h.cardViews.size() == h.windows.size() &&
                      (h.windows.empty() || (h.selectedIndex >= 0 && selected < h.windows.size()));
    for (std::size_t i = 0; cardsMatch && i < h.cardViews.size(); ++i)
        cardsMatch = h.cardViews[i]->isSelected() == (i == selected);
    if (isVisible && !isFading && !cardsMatch)
        return "the panel's cards do not match its windows and selection";
    if (!isVisible && h.mouseIsOver)
        return "the HUD takes the pointer to be over a panel that is not on screen";
    if (isVisible && !isFading && h.mouseIsOver != pointerIn)
        return pointerIn ? "the pointer rests on the panel but the HUD does not know it"
                         : "the HUD takes the pointer to be over the panel while it is elsewhere";
    return std::nullopt;
}

std::optional<std::string> Player::finish() {
    world.delegate.reset();
    world.loop.advance(3);
    if (!weakDelegate.expired() || !weakHud.expired())
        return "the AppDelegate or its HUD outlives its owner";
    if (world.loop.validTimerCount() != 0)
        return "a timer is still armed after its owner is gone";
    return std::nullopt;
}

// --- generation; std::mt19937_64 gives the same numbers with every standard library ---

struct Rng : std::mt19937_64 {
    using std::mt19937_64::mt19937_64;
    std::size_t below(std::size_t n) { return static_cast<std::size_t>((*this)() % n); }
    bool chance(std::size_t percent) { return below(100) < percent; }
    template <typename T> const T& pick(const std::vector<T>& from) {
        return from[below(from.size())];
    }
};

// Mostly a new title; sometimes one that makes same-titled or untitled windows.
std::string freshTitle(Rng& rng, const Player& player) {
    if (!rng.chance(30))
        return "t" + std::to_string(player.titlesMade);
    const std::size_t pick = rng.below(player.windows.size() + 2);
    return pick == 0 ? "" : pick == 1 ? "Same" : player.windows[pick - 2].title;
}

std::string openWindow(Rng& rng, const Player& player) {
    const pid_t pid = kPids[rng.below(kPids.size())];
    return "open:" + std::to_string(player.nextNumber) + ":" + std::to_string(pid) + ":" +
           freshTitle(rng, player);
}

std::string draw(Rng& rng, const Player& player) {
    const std::size_t roll = rng.below(100);
    // Events sometimes arrive before the run loop has run the action of the one before.
    const std::string event = rng.chance(15) ? "!" : "";
    // The modifiers held, with Shift or Control sometimes toggled, and sometimes Option or
    // Command down although the tap never saw it go down.
    const auto key = [&](const char* verb, const std::string& name) {
        std::uint64_t flags =
            player.held ^ (rng.chance(15) ? SHIFT : 0) ^ (rng.chance(5) ? CTRL : 0);
        if (rng.chance(8))
            flags = (flags & ~kChordBits) | (rng.chance(50) ? OPT : 0) | (rng.chance(50) ? CMD : 0);
        return event + verb + ":" + name + ":" + flagsText(flags);
    };
    if (roll < 20) {
        const std::size_t which = rng.below(10);
        const std::uint64_t chord = player.chordFlag();
        const std::uint64_t bit = which < 5   ? chord
                                  : which < 7 ? (kChordBits & ~chord)
                                  : which < 9 ? SHIFT
                                              : CTRL;
        return event + "flags:" + flagsText(player.held ^ bit);
    }
    if (roll < 45)
        return key("down", "tab");
    if (roll < 53)
        return key("up", rng.chance(70) ? "tab" : rng.pick(kNamedKeys).first);
    if (roll < 65)
        return key("down", kNamedKeys[1 + rng.below(kNamedKeys.size() - 1)].first);
    if (roll < 80) {
        const std::size_t cards = std::max<std::size_t>(1, player.hud().cardViews.size());
        return roll < 70   ? "over"
               : roll < 75 ? "leave"
                           : "click:" + std::to_string(rng.below(cards));
    }
    if (roll < 91)
        return "wait:" +
               rng.pick<std::string>({"0.05", "0.1", "0.2", "0.3", "0.5", "0.6", "1", "1.2"});
    if (roll < 98) {
        const std::size_t change = rng.below(100);
        if (change < 40 || player.windows.empty())
            return openWindow(rng, player);
        const std::string number = std::to_string(rng.pick(player.windows).number);
        if (change < 60)
            return "close:" + number;
        return change < 80 ? "retitle:" + number + ":" + freshTitle(rng, player)
                           : "minimize:" + number;
    }
    if (rng.chance(30))
        return "screen:" + rng.pick<std::string>({"1440", "1280", "700", "300", "0"});
    // With the modifier down in one chord, the other one's modifier may be down unseen.
    if (rng.chance(50))
        return player.chordFlag() == OPT ? "chord:cmd" : "chord:opt";
    return rng.chance(50) ? "keepopen:on" : "keepopen:off";
}

std::optional<Failure> playAll(const Sequence& steps) {
    Player player;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        try {
            if (auto broken = player.play(steps[i]))
                return Failure{*broken, i};
        } catch (const std::exception&) {
            return Failure{"cannot read step \"" + steps[i] + "\"", i};
        }
    }
    if (auto broken = player.finish())
        return Failure{*broken, steps.size()};
    return std::nullopt;
}

} // namespace

std::optional<Failure> replay(std::string_view steps) {
    std::istringstream words{std::string(steps)};
    return playAll(Sequence(std::istream_iterator<std::string>(words), {}));
}

std::optional<Failure> fuzzOne(std::uint64_t seed, Sequence& played) {
    Rng rng(seed);
    Player player;
    // The setting: the chord, the hover preference and the windows open at the start.
    const std::size_t opens = rng.chance(5) ? 0 : 1 + rng.below(6);
    const std::size_t length = 2 + opens + 5 + rng.below(56);
    played.clear();
    for (std::size_t i = 0; i < length; ++i) {
        played.push_back(i == 0          ? (rng.chance(50) ? "chord:cmd" : "chord:opt")
                         : i == 1        ? (rng.chance(70) ? "keepopen:on" : "keepopen:off")
                         : i < 2 + opens ? openWindow(rng, player)
                                         : draw(rng, player));
        if (auto broken = player.play(played.back()))
            return Failure{*broken, i};
    }
    if (auto broken = player.finish())
        return Failure{*broken, played.size()};
    return std::nullopt;
}

// Drops steps while the same invariant still breaks (delta debugging), then quick events
// where they do not matter.
std::string report(std::uint64_t seed, const Failure& failure, Sequence played) {
    const auto stillFails = [&](const Sequence& candidate) {
        const auto found = playAll(candidate);
        return found && found->invariant == failure.invariant;
    };
    played.resize(std::min(played.size(), failure.step + 1));
    for (std::size_t chunk = std::max<std::size_t>(played.size() / 2, 1);; chunk /= 2) {
        for (std::size_t start = 0; start < played.size();) {
            Sequence candidate = played;
            const auto from = candidate.begin() + static_cast<std::ptrdiff_t>(start);
            candidate.erase(
                from, from + static_cast<std::ptrdiff_t>(std::min(chunk, played.size() - start)));
            if (stillFails(candidate))
                played = std::move(candidate);
            else
                start += chunk;
        }
        if (chunk <= 1)
            break;
    }
    for (std::string& step : played) {
        if (step.starts_with('!')) {
            step.erase(0, 1);
            if (!stillFails(played))
                step.insert(0, "!");
        }
    }
    std::string text;
    for (const std::string& step : played)
        text += (text.empty() ? "" : " ") + step;
    return "seed " + std::to_string(seed) + ": " + failure.invariant + "\n  minimal (" +
           std::to_string(played.size()) + " steps), replay with: CORVANE_FUZZ_REPLAY='" + text +
           "'";
}

std::optional<std::string> fuzzSeeds(std::uint64_t first, std::size_t count) {
    Sequence played;
    for (std::size_t i = 0; i < count; ++i) {
        if (auto failure = fuzzOne(first + i, played))
            return report(first + i, *failure, played);
    }
    return std::nullopt;
}

} // namespace corvane::testing::fuzz
