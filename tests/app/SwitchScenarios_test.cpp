// Whole switches as the user makes them, written as data: keys enter through the tap callback,
// the run loop runs the queued actions and the HUD's fades and timers, the recorded desktop
// answers and raises. Each scenario ends with the panel faded out and the switch state idle,
// and names every window raised on the way, so a commit made twice shows.
#include "fakes/ShellWorld.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <tuple>

namespace corvane::testing {
namespace {

using Titles = std::vector<std::string>;

// Two applications, three windows on screen, front to back: Doc A, Shell, Doc B.
struct SwitchWorld {
    // Watched: the desktop reports its changes, and the panel is kept ready between switches.
    explicit SwitchWorld(bool watched = false) {
        world.desktop.reportsChanges = watched;
        world.desktop.addApp(200, "Editor");
        world.desktop.addApp(300, "Terminal");
        addWindow(200, 11, "Doc A");
        addWindow(300, 21, "Shell");
        addWindow(200, 12, "Doc B");
        world.launch();
        world.desktop.log.calls.clear();
    }
    void addWindow(pid_t pid, std::uint32_t number, const std::string& title) {
        titleOf[world.desktop.addOnScreenWindow(pid, number, title)] = title;
    }
    SwitcherHUD& hud() { return *world.delegate->hud; }
    Titles raised() const {
        Titles titles;
        for (const std::string& call : world.desktop.log.startingWith("perform "))
            titles.push_back(titleOf.at(std::stoull(call.substr(call.find('/') + 1))));
        return titles;
    }
    // Whether the panel shows, the switch state, and whether the switch keys are grabbed.
    auto state() {
        return std::tuple(hud().panel && hud().panel->isVisible(), world.flags(),
                          world.taps.tap()->interests.back().switchKeysWanted);
    }

    // Plays one step of a scenario:
    //   opt, opt+shift, cmd  the modifiers now down; release: all up
    //   tab, shift+tab, cmd+shift+tab, left, right, return, enter, escape, a, up
    //                        a key press with the modifiers down plus those named; swallowed,
    //                        or passed when written with a leading ~
    //   =N                   card N is selected       lists:N  N window lists fetched so far
    //   cards:N              N cards on the panel     visible, hidden  the panel is shown or not
    //   over, leave          the pointer enters or leaves the panel;  click:N  a click on card N
    //   wait:S               S seconds pass           none     nothing raised yet
    //   hovering             the panel stays open in hover mode, switch keys still grabbed
    //   keepopen:off         the hover preference is turned off
    //   +Logs                Terminal opens a fourth window, "Logs" (reported when watched)
    //   nowindows            every window closes
    //   ^tab, ^release ...   the keys reach the tap before the queued actions run, as when
    //                        the whole chord arrives at once; the next plain step runs them
    //   fronts:N             the panel has been ordered front N times so far
    //   rename:T>U           the window titled T is retitled U (reported when watched)
    //   shown:N=T            card N's title label reads T
    // A scenario that starts with "watched" runs on a desktop that reports its changes; after
    // "->" come the windows raised, in order.
    void play(const std::string& step) {
        SCOPED_TRACE(step);
        const auto arg = [&] { return step.substr(step.find(':') + 1); };
        if (step.starts_with("="))
            EXPECT_EQ(hud().selectedIndex, std::stoi(step.substr(1)));
        else if (step.starts_with("lists:"))
            EXPECT_EQ(world.desktop.log.startingWith("copyWindowList").size(), std::stoul(arg()));
        else if (step.starts_with("cards:"))
            EXPECT_EQ(hud().cardViews.size(), std::stoul(arg()));
        else if (step == "visible" || step == "hidden")
            EXPECT_EQ(std::get<0>(state()), step == "visible");
        else if (step == "over")
            hud().panel->pointerMoved(Point{5, 5});
        else if (step == "leave")
            hud().panel->pointerLeft();
        else if (step.starts_with("click:"))
            world.clickCard(std::stoul(arg()));
        else if (step.starts_with("wait:"))
            world.loop.advance(std::stod(arg()));
        else if (step == "none")
            EXPECT_TRUE(raised().empty());
        else if (step == "hovering") {
            EXPECT_TRUE(raised().empty());
            EXPECT_EQ(state(), std::tuple(true, SwitchFlags{false, false, true}, true));
        } else if (step == "keepopen:off")
            world.preferences.setObject(kMouseHoverKeepOpenPreferenceKey, false);
        else if (step == "+Logs") {
            addWindow(300, 22, "Logs");
            world.desktop.windowListChanged();
        } else if (step.starts_with("rename:")) {
            const std::string from = arg().substr(0, arg().find('>'));
            for (auto& [window, title] : titleOf) {
                if (title == from) {
                    title = arg().substr(arg().find('>') + 1);
                    world.desktop.retitleAXWindow(window, title);
                }
            }
            world.desktop.windowListChanged();
        } else if (step.starts_with("shown:")) {
            const auto& card = *hud().cardViews.at(std::stoul(arg()));
            EXPECT_EQ(dynamic_cast<const TextField&>(*card.subviews()[2]).stringValue(),
                      arg().substr(arg().find('=') + 1));
        } else if (step == "nowindows") {
            world.desktop.removeAllWindows();
            world.desktop.windowListChanged();
        } else if (step.starts_with("fronts:"))
            EXPECT_EQ(world.panelBackends.journal.count("orderFront"), std::stoi(arg()));
        else
            playKeys(step);
    }
    void playKeys(const std::string& step) {
        const bool passes = step.starts_with("~"), early = step.starts_with("^");
        std::istringstream parts(step.substr(passes || early ? 1 : 0));
        std::uint64_t word = 0;
        for (std::string part; std::getline(parts, part, '+');) {
            if (const auto key = keyNamed(part)) {
                EXPECT_EQ(send(kCGEventKeyDown, *key, held | word, early),
                          passes ? TapResult::pass : TapResult::swallow);
                send(kCGEventKeyUp, *key, held | word, early);
                return;
            }
            word |= part == "release" ? 0 : kNamedFlags.at(part);
        }
        held = word;
        send(kCGEventFlagsChanged, 0, held, early);
    }
    TapResult send(std::uint32_t type, std::int64_t key, std::uint64_t flags, bool early) {
        return early ? world.taps.send(type, key, flags) : world.send(type, key, flags);
    }

    ShellWorld world;
    std::map<std::uint64_t, std::string> titleOf;
    std::uint64_t held = 0;
};

TEST(SwitchScenario, FromChordToRaisedWindow) {
    struct Scenario {
        const char *name, *steps;
    };
    const Scenario scenarios[] = {
        {"one switch raises the second window", "opt tab =1 visible none release -> Shell"},
        {"watched, no change: the chord shows the cards made in advance",
         "watched opt tab lists:0 cards:3 =1 release -> Shell"},
        {"watched, a change just before the chord: the list is read at the chord",
         "watched +Logs opt tab lists:1 cards:4 release -> Shell"},
        {"watched, a change a moment before: the cards were remade in advance",
         "watched +Logs wait:1 lists:1 opt tab lists:1 cards:4 release -> Shell"},
        {"watched, a window renamed just before the chord: its kept card shows the new title",
         "watched rename:Shell>Console opt tab lists:1 cards:3 shown:1=Console release -> Console"},
        {"watched, renamed a moment before: the kept card was updated in advance",
         "watched rename:Shell>Console wait:1 opt tab lists:1 cards:3 shown:1=Console release -> "
         "Console"},
        {"watched, a change during a switch: the cards on screen stay, the next switch has it",
         "watched opt tab +Logs wait:1 lists:0 cards:3 release wait:0.6 opt tab lists:1 cards:4 "
         "release -> Shell, Shell"},
        {"tabs step and wrap on one list", "opt tab tab tab =0 lists:1 release -> Doc A"},
        {"Shift as the first press", "opt opt+shift tab =2 tab =1 opt release -> Shell"},
        {"arrows and Option+Command+Tab step, other keys pass",
         "opt tab right =2 right =0 left =2 shift+left =1 cmd+tab =2 cmd+shift+tab =1 ~a ~up "
         "release -> Shell"},
        {"Return commits at once, the release adds nothing", "opt tab tab return release -> Doc B"},
        {"keypad Enter commits too", "opt tab tab enter release -> Doc B"},
        {"Escape, then the release raises nothing", "opt tab tab escape release ->"},
        {"hover mode ended by a click",
         "opt tab over release hovering right shift+tab =1 click:2 -> Doc B"},
        {"hover mode ended by Return",
         "opt tab over release hovering right shift+tab =1 return -> Shell"},
        {"hover mode ended by Escape", "opt tab over release hovering right escape ->"},
        {"hover mode ended by a second outside the panel",
         "opt tab over release hovering leave wait:0.9 none wait:0.2 -> Shell"},
        {"keep-open off: the release raises", "keepopen:off opt tab over release -> Shell"},
        {"the chord in hover mode fetches a fresh list and steps on",
         "opt tab over release +Logs opt tab lists:2 cards:4 =2 leave release -> Doc B"},
        {"a chord during the fade-out is a fresh switch",
         "opt tab release wait:0.2 opt tab lists:2 =1 wait:1 visible tab release -> Shell, Doc B"},
        {"a click with the modifier down ends the switch: the next Tab begins a fresh one",
         "opt tab click:2 +Logs tab lists:2 cards:4 =1 visible leave release -> Doc B, Shell"},
        {"so does the dismiss timer",
         "opt tab over leave wait:1 tab lists:2 =1 visible release -> Shell, Shell"},
        {"a chord released before its switch runs raises without showing the panel",
         "opt ^tab release fronts:0 -> Shell"},
        {"the same with Shift", "opt opt+shift ^tab release fronts:0 -> Doc B"},
        {"steps before release count", "opt ^tab ^tab ^shift+tab ^tab release fronts:0 -> Doc B"},
        {"Return", "opt ^tab ^return release fronts:0 -> Shell"},
        {"Escape", "opt ^tab ^escape release fronts:0 ->"},
        {"a quick chord over the fading panel",
         "opt tab release wait:0.2 opt ^tab release fronts:1 -> Shell, Shell"},
        {"a quick Tab after a click",
         "opt tab click:2 ^tab release fronts:1 lists:2 -> Doc B, Shell"},
        {"the pointer over the fading panel still counts when a chord reopens it",
         "opt tab over escape release wait:0.2 opt tab release hovering right return -> Doc B"},
        {"Escape on the fading panel does not close the next switch",
         "opt tab over release hovering click:2 wait:0.4 escape wait:0.2 opt tab visible wait:0.4 "
         "visible release -> Doc B, Shell"},
        {"the release after a click with the modifier down raises nothing more",
         "opt tab click:2 right release -> Doc B"},
        {"Return after a click in hover mode raises nothing more",
         "opt tab over release hovering click:2 return -> Doc B"},
        {"Return after the release of a chord made in hover mode raises nothing more",
         "opt tab over release hovering leave opt tab release right return -> Doc B"},
        {"a chord whose action runs after the fade-out ended still opens a switch",
         "opt tab release wait:0.49 opt ^tab wait:0.1 visible =1 release -> Shell, Shell"},
        {"the pointer entering the fading panel counts for that panel only",
         "opt tab release wait:0.2 over wait:0.5 opt tab release -> Shell, Shell"},
        {"an empty window list shows nothing and ends quietly",
         "nowindows opt tab hidden cards:0 release wait:2 ->"},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const std::string text = scenario.steps;
        const bool watched = text.starts_with("watched ");
        SwitchWorld s(watched);
        std::istringstream steps(text.substr(watched ? 8 : 0));
        for (std::string step; steps >> step && step != "->";)
            s.play(step);
        Titles raised;
        for (std::string title; std::getline(steps >> std::ws, title, ',');)
            raised.push_back(title);
        s.world.loop.advance(0.6);
        EXPECT_EQ(s.raised(), raised);
        EXPECT_EQ(s.state(), std::tuple(false, SwitchFlags{}, false));
    }
}

} // namespace
} // namespace corvane::testing
