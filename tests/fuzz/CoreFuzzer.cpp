#include "fuzz/CoreFuzzer.h"

#include "fakes/ShellWorld.h"
#include "hud/SwitcherHUD.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

namespace corvane::testing::fuzz {
namespace {

constexpr std::array<pid_t, 3> kPids{200, 300, 400};
constexpr std::uint64_t CTRL = kCGEventFlagMaskControl;
constexpr std::uint64_t kChordBits = OPT | CMD;

struct Name {
    std::uint64_t value;
    std::string_view text;
};
// Letters and Up are keys the switcher never takes.
constexpr std::array<Name, 8> kKeyNames{{{kVK_Tab, "tab"},
                                         {kVK_LeftArrow, "left"},
                                         {kVK_RightArrow, "right"},
                                         {kVK_Return, "return"},
                                         {kVK_ANSI_KeypadEnter, "enter"},
                                         {kVK_Escape, "escape"},
                                         {0, "a"},
                                         {126, "up"}}};
constexpr std::array<Name, 4> kFlagNames{
    {{OPT, "opt"}, {CMD, "cmd"}, {SHIFT, "shift"}, {CTRL, "ctrl"}}};
constexpr std::array<double, 8> kWaits{0.05, 0.1, 0.2, 0.3, 0.5, 0.6, 1.0, 1.2};

bool isSwitchKey(std::int64_t key) {
    return key == kVK_Tab || key == kVK_LeftArrow || key == kVK_RightArrow || key == kVK_Return ||
           key == kVK_ANSI_KeypadEnter || key == kVK_Escape;
}

bool isEvent(const Step& step) {
    return step.kind == Step::Kind::keyDown || step.kind == Step::Kind::keyUp ||
           step.kind == Step::Kind::flags;
}

// splitmix64: tiny, fast, and the same sequence on every standard library.
struct Rng {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
};

// One window of the desktop model, front to back among the on-screen ones.
struct Window {
    std::uint32_t number;
    pid_t pid;
    std::string title;
    bool isMinimized = false;
    std::uint64_t element = 0; // its Accessibility window in the recorded desktop
};

struct Commit {
    WindowInfo chosen;
    std::optional<std::uint64_t> raised;
    int listCopies; // window lists fetched when it was made
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
        SwitcherHUD& h = hud();
        h.onActivate = [this, activate = std::move(h.onActivate)](WindowInfo info) {
            world.desktop.lastRaisedWindow.reset();
            activate(info);
            commits.push_back(
                {std::move(info), world.desktop.lastRaisedWindow, world.desktop.windowListCopies});
            world.desktop.lastRaisedWindow.reset();
        };
    }

    std::optional<std::string> play(const Step& step);
    std::optional<std::string> finish();

    // What the generator looks at.
    SwitcherHUD& hud() const { return *world.delegate->hud; }
    bool visible() const { return hud().panel && hud().panel->isVisible(); }
    bool fading() const { return hud().isFadingOut(); }
    bool isChord(const Step& step) const {
        return step.kind == Step::Kind::keyDown && step.key == kVK_Tab &&
               (step.flags & kChordBits) == chordFlag();
    }
    std::uint64_t chordFlag() const {
        return HotkeyMode::current(world.preferences).modifierFlag();
    }
    std::uint64_t held = 0;
    bool pointerIn = false;
    std::vector<Window> windows;
    std::uint32_t nextNumber = 11;
    int titlesMade = 0;
    mutable ShellWorld world;

  private:
    std::optional<std::string> send(const Step& step);
    void changeDesktop(const Step& step);
    void layOutDesktop();
    std::optional<std::string> checkCommit(const Commit& commit);
    std::optional<std::string> checkAfterRun();
    Window* windowNumbered(std::uint32_t number) {
        auto it = std::find_if(windows.begin(), windows.end(),
                               [&](const Window& w) { return w.number == number; });
        return it == windows.end() ? nullptr : &*it;
    }

    std::weak_ptr<AppDelegate> weakDelegate;
    std::weak_ptr<SwitcherHUD> weakHud;
    std::vector<Commit> commits;
    std::vector<std::uint32_t> raisedNumbers;
    // Per application, the window lists fetched when its windows last changed.
    std::map<pid_t, int> listsAtChange;
    bool mayCommit = false; // a step since the last run that may end a switch with a raise
    int listCopiesSeen = 0;
    int listCopiesAtLastCommit = -1;
    bool wasFading = false;
    Rect shownOn; // the main screen when the panel was last put on screen
};

std::optional<std::string> Player::send(const Step& step) {
    static constexpr std::uint32_t types[] = {kCGEventKeyDown, kCGEventKeyUp, kCGEventFlagsChanged};
    const std::uint32_t type = types[static_cast<int>(step.kind)];
    const SwitchFlags before = world.flags();
    const bool chord = isChord(step);
    const TapResult result = world.taps.send(type, step.key, step.flags);
    if (step.kind == Step::Kind::flags)
        held = step.flags;
    mayCommit |= step.kind == Step::Kind::flags ||
                 (step.kind == Step::Kind::keyDown &&
                  (step.key == kVK_Return || step.key == kVK_ANSI_KeypadEnter));
    const bool mustPass = step.kind == Step::Kind::flags ||
                          (step.kind == Step::Kind::keyUp && step.key != kVK_Tab) ||
                          (step.kind == Step::Kind::keyDown && !isSwitchKey(step.key)) ||
                          (step.kind == Step::Kind::keyDown && !chord && !before.hudIsShowing &&
                           !before.hudMouseHoverMode);
    if (mustPass && result != TapResult::pass)
        return "a key that is not the switcher's was swallowed";
    return std::nullopt;
}

std::optional<std::string> Player::play(const Step& step) {
    switch (step.kind) {
    case Step::Kind::keyDown:
    case Step::Kind::keyUp:
    case Step::Kind::flags:
        if (auto broken = send(step))
            return broken;
        if (step.quick)
            return std::nullopt;
        break;
    case Step::Kind::over:
        if (visible()) {
            hud().panel->pointerMoved(Point{5, 5});
            pointerIn = true;
        }
        break;
    case Step::Kind::leave:
        if (visible())
            hud().panel->pointerLeft();
        pointerIn = false;
        break;
    case Step::Kind::click:
        if (visible() && step.number >= 0 &&
            static_cast<std::size_t>(step.number) < hud().cardWrappers.size()) {
            mayCommit = true;
            const Rect panel = hud().panel->frame();
            // A panel that kept its frame while the cards were rebuilt may hold cards beyond it.
            pointerIn = Rect{0, 0, panel.width, panel.height}.contains(
                world.clickCard(static_cast<std::size_t>(step.number)));
        }
        break;
    case Step::Kind::wait:
        mayCommit = true; // the dismiss timer
        world.loop.advance(step.seconds);
        break;
    case Step::Kind::keepOpen:
        world.preferences.setObject(kMouseHoverKeepOpenPreferenceKey, step.on);
        break;
    case Step::Kind::cmdTab:
        world.preferences.setObject(kHotkeyModePreferenceKey,
                                    std::string(step.on ? "cmdTab" : "optionTab"));
        break;
    case Step::Kind::screen:
        world.screen.frame =
            step.number > 0 ? std::optional(Rect{0, 0, 1.0 * step.number, 900}) : std::nullopt;
        break;
    default:
        changeDesktop(step);
        break;
    }
    world.loop.runQueued();
    return checkAfterRun();
}

void Player::changeDesktop(const Step& step) {
    if (step.kind == Step::Kind::open) {
        if (windowNumbered(static_cast<std::uint32_t>(step.number)) || step.number <= 0)
            return;
        listsAtChange[step.pid] = world.desktop.windowListCopies;
        windows.insert(windows.begin(),
                       Window{static_cast<std::uint32_t>(step.number), step.pid, step.title});
        nextNumber = std::max(nextNumber, static_cast<std::uint32_t>(step.number) + 1);
        ++titlesMade;
        layOutDesktop();
        return;
    }
    Window* window = windowNumbered(static_cast<std::uint32_t>(step.number));
    if (!window)
        return;
    listsAtChange[window->pid] = world.desktop.windowListCopies;
    if (step.kind == Step::Kind::close) {
        windows.erase(windows.begin() + (window - windows.data()));
    } else if (step.kind == Step::Kind::retitle) {
        window->title = step.title;
        ++titlesMade;
    } else {
        window->isMinimized = true;
    }
    layOutDesktop();
}

// The recorded desktop answers as a consistent one: each process's Accessibility windows list
// its on-screen windows in window-list order, then its minimized ones, so the positional title
// pairing of enumeration gives every on-screen window its own title.
void Player::layOutDesktop() {
    world.desktop.removeAllWindows();
    for (Window& window : windows) {
        if (!window.isMinimized)
            window.element =
                world.desktop.addOnScreenWindow(window.pid, window.number, window.title);
    }
    for (Window& window : windows) {
        if (window.isMinimized)
            window.element = world.desktop.addAXWindow(window.pid, window.title, true);
    }
}

std::optional<std::string> Player::checkCommit(const Commit& commit) {
    if (commit.listCopies == listCopiesAtLastCommit)
        return "a second commit from one window list: a switch showed the windows of the one "
               "before";
    listCopiesAtLastCommit = commit.listCopies;

    const WindowInfo& chosen = commit.chosen;
    const auto ofApp = std::count_if(windows.begin(), windows.end(),
                                     [&](const Window& w) { return w.pid == chosen.pid; });
    const auto sameTitled = std::count_if(windows.begin(), windows.end(), [&](const Window& w) {
        return w.pid == chosen.pid && w.title == chosen.windowTitle;
    });
    if (!commit.raised)
        return ofApp == 0 ? std::nullopt : std::optional<std::string>("a commit raised no window");
    auto raised = std::find_if(windows.begin(), windows.end(),
                               [&](const Window& w) { return w.element == *commit.raised; });
    if (raised == windows.end() || raised->pid != chosen.pid)
        return "a commit raised a window of another application";

    // The chosen window as the list saw it, if it still has that title. Windows of one title
    // are told apart by their order, which the application's windows changing since the list
    // was made may upset; and a window retitled or gone leaves the application's window of
    // that title, or its front one, to be raised, by design.
    const auto changed = listsAtChange.find(chosen.pid);
    const bool appChanged = changed != listsAtChange.end() && changed->second >= commit.listCopies;
    const Window* exact = chosen.windowID != 0 ? windowNumbered(chosen.windowID) : nullptr;
    const bool unchanged = exact && exact->title == chosen.windowTitle;
    // The application's front Accessibility window: its first on-screen one, else its first.
    auto front = std::find_if(windows.begin(), windows.end(), [&](const Window& w) {
        return w.pid == chosen.pid && !w.isMinimized;
    });
    if (front == windows.end())
        front = std::find_if(windows.begin(), windows.end(),
                             [&](const Window& w) { return w.pid == chosen.pid; });
    const bool wrong = unchanged && !appChanged ? &*raised != exact
                       : appChanged ? raised->title != chosen.windowTitle && raised != front
                                    : sameTitled > 0 && raised->title != chosen.windowTitle;
    if (wrong)
        return chosen.windowTitle.empty() || sameTitled > 1
                   ? "a commit raised a same-titled or untitled sibling of the chosen window"
                   : "a commit raised another window than the chosen one";

    if (!raised->isMinimized)
        raisedNumbers.push_back(raised->number);
    return std::nullopt;
}

// One card per window, exactly the selected one marked.
bool cardsShowSelection(const SwitcherHUD& hud) {
    const auto count = static_cast<int>(hud.windows.size());
    if (static_cast<int>(hud.cardViews.size()) != count)
        return false;
    // A chord in hover mode may fetch an empty list: the panel stays, empty, by design.
    if (count > 0 && (hud.selectedIndex < 0 || hud.selectedIndex >= count))
        return false;
    for (int i = 0; i < count; ++i) {
        if (hud.cardViews[static_cast<std::size_t>(i)]->isSelected() != (i == hud.selectedIndex))
            return false;
    }
    return true;
}

// A panel wider than its screen slides to keep the selected card on it (when a card fits).
bool selectionOnScreen(const SwitcherHUD& hud, const Rect& screen) {
    const Rect frame = hud.panel->frame();
    const auto selected = static_cast<std::size_t>(hud.selectedIndex);
    if (frame.width <= screen.width || selected >= hud.cardWrappers.size())
        return true;
    hud.panel->layoutIfNeeded();
    const Rect card = hud.cardWrappers[selected]->frameInAncestor(hud.panel->contentView().get());
    constexpr double tolerance = 1e-6;
    return card.width > screen.width || (frame.x + card.x >= screen.x - tolerance &&
                                         frame.x + card.maxX() <= screen.maxX() + tolerance);
}

std::optional<std::string> Player::checkAfterRun() {
    const bool presented = world.panelBackends.journal.count("orderFront") > 0;
    if (presented)
        shownOn = mainScreenFrameOrFallback(world.screen);
    // An ordered-out panel forgets the pointer, even if it is back on screen now.
    if (world.panelBackends.journal.count("orderOut") > 0)
        pointerIn = false;
    world.panelBackends.journal.calls.clear();
    const bool fetched = world.desktop.windowListCopies != listCopiesSeen;
    listCopiesSeen = world.desktop.windowListCopies;

    for (const Commit& commit : commits) {
        if (auto broken = checkCommit(commit))
            return broken;
    }
    if (!commits.empty() && !mayCommit)
        return "a window was raised on a step that commits nothing (Escape, a plain key, the "
               "pointer)";
    commits.clear();
    mayCommit = false;
    // Raised windows come to the front, as on a real desktop.
    for (std::uint32_t number : raisedNumbers) {
        auto raised = windows.begin() + (windowNumbered(number) - windows.data());
        listsAtChange[raised->pid] = world.desktop.windowListCopies;
        std::rotate(windows.begin(), raised, raised + 1);
    }
    if (!raisedNumbers.empty())
        layOutDesktop();
    raisedNumbers.clear();

    const bool isVisible = visible();
    const bool isFading = fading();
    if (presented && !fetched)
        return "the panel opened over a window list fetched for an earlier switch";
    if (presented && isFading)
        return "the panel was put on screen for a switch that had already ended";
    if (wasFading && !isFading && !presented && isVisible)
        return "a fade-out ended with the panel still on screen";
    wasFading = isFading;
    if (!isVisible)
        pointerIn = false;

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
    // A clicked card's panel fades out with the previous highlight, by design.
    if (isVisible && !isFading && !cardsShowSelection(h))
        return "the panel's cards do not match its windows and selection";
    if (isVisible && !isFading && !selectionOnScreen(h, shownOn))
        return "the selected card of a panel wider than its screen is off the screen";
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

// --- generation ---

std::string freshTitle(Rng& rng, const Player& player, const Features& features) {
    if (features.sharedTitles && rng.chance(30)) {
        const int pick = rng.below(static_cast<int>(player.windows.size()) + 2);
        if (pick == 0)
            return "";
        if (pick == 1)
            return "Same";
        return player.windows[static_cast<std::size_t>(pick - 2)].title;
    }
    return "t" + std::to_string(player.titlesMade);
}

std::uint64_t keyFlags(Rng& rng, const Player& player, const Features& features) {
    std::uint64_t flags = player.held;
    if (rng.chance(15))
        flags ^= SHIFT;
    if (rng.chance(5))
        flags ^= CTRL;
    if (features.unseenModifiers && rng.chance(8))
        flags = (flags & ~kChordBits) | (rng.chance(50) ? OPT : 0) | (rng.chance(50) ? CMD : 0);
    return flags;
}

Step desktopChange(Rng& rng, const Player& player, const Features& features) {
    Step step;
    const int roll = rng.below(100);
    if (roll < 40 || player.windows.empty()) {
        step.kind = Step::Kind::open;
        step.number = static_cast<int>(player.nextNumber);
        step.pid = kPids[static_cast<std::size_t>(rng.below(kPids.size()))];
        step.title = freshTitle(rng, player, features);
        return step;
    }
    const auto& window =
        player
            .windows[static_cast<std::size_t>(rng.below(static_cast<int>(player.windows.size())))];
    step.number = static_cast<int>(window.number);
    step.kind = roll < 60   ? Step::Kind::close
                : roll < 80 ? Step::Kind::retitle
                            : Step::Kind::minimize;
    if (step.kind == Step::Kind::retitle)
        step.title = freshTitle(rng, player, features);
    return step;
}

Step draw(Rng& rng, const Player& player, const Features& features) {
    Step step;
    const int roll = rng.below(100);
    if (roll < 20) {
        step.kind = Step::Kind::flags;
        const int which = rng.below(10);
        const std::uint64_t chord = player.chordFlag();
        const std::uint64_t bit = which < 5   ? chord
                                  : which < 7 ? (kChordBits & ~chord)
                                  : which < 9 ? SHIFT
                                              : CTRL;
        step.flags = player.held ^ bit;
    } else if (roll < 45) {
        step.kind = Step::Kind::keyDown;
        step.key = kVK_Tab;
        step.flags = keyFlags(rng, player, features);
    } else if (roll < 53) {
        step.kind = Step::Kind::keyUp;
        step.key = rng.chance(70) ? kVK_Tab
                                  : static_cast<std::int64_t>(
                                        kKeyNames[static_cast<std::size_t>(rng.below(8))].value);
        step.flags = keyFlags(rng, player, features);
    } else if (roll < 65) {
        step.kind = Step::Kind::keyDown;
        step.key =
            static_cast<std::int64_t>(kKeyNames[static_cast<std::size_t>(1 + rng.below(7))].value);
        step.flags = keyFlags(rng, player, features);
    } else if (roll < 70) {
        step.kind = Step::Kind::over;
    } else if (roll < 75) {
        step.kind = Step::Kind::leave;
    } else if (roll < 80) {
        step.kind = Step::Kind::click;
        step.number = rng.below(std::max<int>(1, static_cast<int>(player.hud().cardViews.size())));
    } else if (roll < 91) {
        step.kind = Step::Kind::wait;
        step.seconds = kWaits[static_cast<std::size_t>(rng.below(kWaits.size()))];
    } else if (roll < 98) {
        return desktopChange(rng, player, features);
    } else if (rng.chance(30)) {
        static constexpr std::array<int, 5> widths{1440, 1280, 700, 300, 0};
        step.kind = Step::Kind::screen;
        step.number = widths[static_cast<std::size_t>(rng.below(widths.size()))];
    } else if (features.unseenModifiers && rng.chance(50)) {
        // With the modifier down in one chord, the other one's modifier may be down unseen.
        step.kind = Step::Kind::cmdTab;
        step.on = player.chordFlag() == OPT;
    } else {
        step.kind = Step::Kind::keepOpen;
        step.on = rng.chance(50);
    }
    step.quick = isEvent(step) && features.quickEvents && rng.chance(15);
    return step;
}

bool allowed(const Step& step, const Player& player, const Features& features) {
    // A click or the dismiss timer ended the switch while the modifier is still held: the
    // switch flags still say it is under way.
    const bool heldCommit = player.world.delegate->hudIsShowing && player.fading();
    const std::uint64_t chord = player.chordFlag();
    const bool releases =
        step.kind == Step::Kind::flags && (player.held & chord) && !(step.flags & chord);
    if (!features.keysAfterHeldCommit && heldCommit && (releases || player.isChord(step)))
        return false;
    if (!player.isChord(step))
        return true;
    if (!features.chordOverFadingPanel && player.fading() && player.pointerIn &&
        !player.hud().mouseIsOver)
        return false;
    return true;
}

Step generate(Rng& rng, const Player& player, const Features& features) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        Step step = draw(rng, player, features);
        if (allowed(step, player, features))
            return step;
    }
    Step wait;
    wait.seconds = 0.05;
    return wait;
}

// --- text form ---

std::string flagsText(std::uint64_t flags) {
    std::string text;
    for (const Name& name : kFlagNames) {
        if (flags & name.value)
            text += (text.empty() ? "" : "+") + std::string(name.text);
    }
    return text.empty() ? "-" : text;
}

std::optional<std::uint64_t> flagsOf(std::string_view text) {
    if (text == "-")
        return 0;
    std::uint64_t flags = 0;
    while (!text.empty()) {
        const auto plus = text.find('+');
        const std::string_view part = text.substr(0, plus);
        auto found = std::find_if(kFlagNames.begin(), kFlagNames.end(),
                                  [&](const Name& name) { return name.text == part; });
        if (found == kFlagNames.end())
            return std::nullopt;
        flags |= found->value;
        text = plus == std::string_view::npos ? std::string_view() : text.substr(plus + 1);
    }
    return flags;
}

std::string_view keyText(std::int64_t key) {
    for (const Name& name : kKeyNames) {
        if (static_cast<std::int64_t>(name.value) == key)
            return name.text;
    }
    return "?";
}

std::string stepText(const Step& step) {
    std::string text = step.quick ? "!" : "";
    const std::string number = std::to_string(step.number);
    switch (step.kind) {
    case Step::Kind::keyDown:
    case Step::Kind::keyUp:
        return text + (step.kind == Step::Kind::keyDown ? "down:" : "up:") +
               std::string(keyText(step.key)) + ":" + flagsText(step.flags);
    case Step::Kind::flags:
        return text + "flags:" + flagsText(step.flags);
    case Step::Kind::over:
        return "over";
    case Step::Kind::leave:
        return "leave";
    case Step::Kind::click:
        return "click:" + number;
    case Step::Kind::wait: {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", step.seconds);
        return std::string("wait:") + seconds;
    }
    case Step::Kind::open:
        return "open:" + number + "@" + std::to_string(step.pid) + ":" + step.title;
    case Step::Kind::close:
        return "close:" + number;
    case Step::Kind::retitle:
        return "retitle:" + number + ":" + step.title;
    case Step::Kind::minimize:
        return "minimize:" + number;
    case Step::Kind::keepOpen:
        return std::string("keepopen:") + (step.on ? "on" : "off");
    case Step::Kind::cmdTab:
        return std::string("chord:") + (step.on ? "cmd" : "opt");
    case Step::Kind::screen:
        return "screen:" + number;
    }
    return "?";
}

std::optional<Step> parseStep(std::string_view token) {
    Step step;
    step.quick = token.starts_with('!');
    token.remove_prefix(step.quick ? 1 : 0);
    const auto colon = token.find(':');
    const std::string_view head = token.substr(0, colon);
    const std::string_view rest =
        colon == std::string_view::npos ? std::string_view() : token.substr(colon + 1);
    const std::string restText(rest);
    const auto restColon = rest.find(':');
    const std::string second =
        restColon == std::string_view::npos ? "" : std::string(rest.substr(restColon + 1));
    try {
        if (head == "down" || head == "up") {
            step.kind = head == "down" ? Step::Kind::keyDown : Step::Kind::keyUp;
            auto key = std::find_if(kKeyNames.begin(), kKeyNames.end(), [&](const Name& name) {
                return name.text == rest.substr(0, restColon);
            });
            auto flags = flagsOf(second);
            if (key == kKeyNames.end() || !flags)
                return std::nullopt;
            step.key = static_cast<std::int64_t>(key->value);
            step.flags = *flags;
        } else if (head == "flags") {
            auto flags = flagsOf(rest);
            if (!flags)
                return std::nullopt;
            step.kind = Step::Kind::flags;
            step.flags = *flags;
        } else if (head == "over" || head == "leave") {
            step.kind = head == "over" ? Step::Kind::over : Step::Kind::leave;
        } else if (head == "click" || head == "close" || head == "minimize" || head == "screen") {
            step.kind = head == "click"    ? Step::Kind::click
                        : head == "close"  ? Step::Kind::close
                        : head == "screen" ? Step::Kind::screen
                                           : Step::Kind::minimize;
            step.number = std::stoi(restText);
        } else if (head == "wait") {
            step.kind = Step::Kind::wait;
            step.seconds = std::stod(restText);
        } else if (head == "open") {
            step.kind = Step::Kind::open;
            const auto at = rest.find('@');
            step.number = std::stoi(std::string(rest.substr(0, at)));
            step.pid = std::stoi(std::string(rest.substr(at + 1, restColon - at - 1)));
            step.title = second;
        } else if (head == "retitle") {
            step.kind = Step::Kind::retitle;
            step.number = std::stoi(std::string(rest.substr(0, restColon)));
            step.title = second;
        } else if (head == "keepopen" || head == "chord") {
            step.kind = head == "keepopen" ? Step::Kind::keepOpen : Step::Kind::cmdTab;
            step.on = rest == "on" || rest == "cmd";
        } else {
            return std::nullopt;
        }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return step;
}

std::optional<Failure> playAll(Player& player, const Sequence& steps) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (auto broken = player.play(steps[i]))
            return Failure{*broken, i};
    }
    if (auto broken = player.finish())
        return Failure{*broken, steps.size()};
    return std::nullopt;
}

} // namespace

std::string format(const Sequence& sequence) {
    std::string text;
    for (const Step& step : sequence)
        text += (text.empty() ? "" : " ") + stepText(step);
    return text;
}

std::optional<Sequence> parse(std::string_view text, std::string& error) {
    Sequence sequence;
    std::istringstream tokens{std::string(text)};
    for (std::string token; tokens >> token;) {
        auto step = parseStep(token);
        if (!step) {
            error = "cannot read step \"" + token + "\"";
            return std::nullopt;
        }
        sequence.push_back(*step);
    }
    return sequence;
}

std::optional<Failure> replay(const Sequence& sequence) {
    Player player;
    return playAll(player, sequence);
}

std::optional<Failure> fuzzOne(std::uint64_t seed, const Features& features, Sequence& played) {
    Rng rng{seed};
    Player player;
    played.clear();
    const auto play = [&](Step step) -> std::optional<Failure> {
        played.push_back(std::move(step));
        if (auto broken = player.play(played.back()))
            return Failure{*broken, played.size() - 1};
        return std::nullopt;
    };
    // The setting: the chord, the hover preference and the windows open at the start.
    Step setting;
    setting.kind = Step::Kind::cmdTab;
    setting.on = rng.chance(50);
    if (auto failure = play(setting))
        return failure;
    setting.kind = Step::Kind::keepOpen;
    setting.on = rng.chance(70);
    if (auto failure = play(setting))
        return failure;
    const int initialWindows = rng.chance(5) ? 0 : 1 + rng.below(6);
    for (int i = 0; i < initialWindows; ++i) {
        Step open{.kind = Step::Kind::open,
                  .number = static_cast<int>(player.nextNumber),
                  .pid = kPids[static_cast<std::size_t>(rng.below(kPids.size()))],
                  .title = freshTitle(rng, player, features)};
        if (auto failure = play(open))
            return failure;
    }
    const int length = 5 + rng.below(56);
    for (int i = 0; i < length; ++i) {
        if (auto failure = play(generate(rng, player, features)))
            return failure;
    }
    if (auto broken = player.finish())
        return Failure{*broken, played.size()};
    return std::nullopt;
}

Sequence shrink(Sequence sequence, const Failure& failure) {
    const auto stillFails = [&](const Sequence& candidate) {
        auto found = replay(candidate);
        return found && found->invariant == failure.invariant;
    };
    if (failure.step + 1 < sequence.size())
        sequence.resize(failure.step + 1);
    for (std::size_t chunk = std::max<std::size_t>(sequence.size() / 2, 1);; chunk /= 2) {
        for (std::size_t start = 0; start < sequence.size();) {
            Sequence candidate = sequence;
            candidate.erase(candidate.begin() + static_cast<std::ptrdiff_t>(start),
                            candidate.begin() + static_cast<std::ptrdiff_t>(
                                                    std::min(start + chunk, sequence.size())));
            if (stillFails(candidate))
                sequence = std::move(candidate);
            else
                start += chunk;
        }
        if (chunk <= 1)
            break;
    }
    // Quick events only where they matter.
    for (Step& step : sequence) {
        if (!step.quick)
            continue;
        step.quick = false;
        if (!stillFails(sequence))
            step.quick = true;
    }
    return sequence;
}

std::string Finding::describe() const {
    return "seed " + std::to_string(seed) + ": " + failure.invariant + "\n  minimal (" +
           std::to_string(minimal.size()) + " steps): " + format(minimal) +
           "\n  replay: CORVANE_FUZZ_REPLAY='" + format(minimal) + "'";
}

Finding findingOf(std::uint64_t seed, const Failure& failure, const Sequence& played) {
    return Finding{seed, failure, shrink(played, failure)};
}

std::optional<Finding> fuzzSeeds(std::uint64_t first, std::size_t count, const Features& features) {
    Sequence played;
    for (std::size_t i = 0; i < count; ++i) {
        if (auto failure = fuzzOne(first + i, features, played))
            return findingOf(first + i, *failure, played);
    }
    return std::nullopt;
}

} // namespace corvane::testing::fuzz
