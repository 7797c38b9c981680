"""Corvane as a user meets it: the real corvane binary on a private Xvfb desktop with a real
window manager, a tray and the project's test client, driven with xdotool (XTEST).

Environment:
  CORVANE_BIN          the corvane executable
  CORVANE_TESTCLIENT   the corvane-testclient executable
  CORVANE_E2E_WM       openbox (default) or fluxbox
  CORVANE_E2E_COMPOSITOR  1: run xcompmgr, so the panel is translucent and fades in and out
  CORVANE_E2E_OUTPUT   where each failing scenario leaves a screenshot, Corvane's log and the
                       window stacking (default: ./e2e-output/<wm>)

What is asserted is only what a user could observe: which window is active
(_NET_ACTIVE_WINDOW), whether it is minimized, where Corvane's panel is and whether it has the
focus, which keys the focused client received, and that nobody holds the keyboard afterwards.
"""

import contextlib
import os
import re
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import desktop as desk  # noqa: E402
import xprobe  # noqa: E402
from xprobe import stays, wait_until  # noqa: E402

WM = os.environ.get("CORVANE_E2E_WM", "openbox")
COMPOSITOR = os.environ.get("CORVANE_E2E_COMPOSITOR") == "1"
OUTPUT = os.environ.get("CORVANE_E2E_OUTPUT", os.path.join(os.getcwd(), "e2e-output", WM))
ALT_MASK = 0x8  # the core X modifier bit Mod1
MODIFIER_KEYSYMS = {"Alt_L", "Alt_R", "Super_L", "Super_R", "Shift_L", "Shift_R"}

# How long a thing that must NOT happen is watched for. A commit or a new panel shows within
# a few tens of milliseconds when it happens at all, so this is ample; it is a lower bound,
# and a loaded machine only makes an unwanted event later, never earlier.
QUIET_PERIOD = 0.8


def expected_frames(count, screen_width=desk.SCREEN_WIDTH, screen_height=desk.SCREEN_HEIGHT):
    """The panel frames Corvane may show for count windows, centred on the screen: sized from
    the 140x120 card (148 pitch), or grown to the 142x122 card wrappers (150 pitch)."""
    capacity = max(1, (screen_width - 80 - 24) // 148)
    if capacity < count:
        rows, per_row = 2, (count + 1) // 2
    else:
        rows, per_row = 1, count
    sizes = [(per_row * 148 - 8 + 24, rows * 120 + (rows - 1) * 8 + 32),
             (per_row * 150 + 16, rows * 122 + (rows - 1) * 8 + 32)]
    return [xprobe.Geometry(int((screen_width - w) / 2), int((screen_height - h) / 2), w, h)
            for w, h in sizes]


def card_center(panel, index, count):
    """The middle of card index in a one-row panel: the row is centred in the panel and the
    cards sit 150 points apart (142-point wrappers, 8 apart)."""
    x = panel.x + panel.width / 2 + (index - (count - 1) / 2) * 150
    return int(x), panel.y + panel.height // 2


class Corvane(unittest.TestCase):
    """Scenarios over four windows of two applications: Alpha and Bravo (Editor), Charlie
    (Terminal) and Delta (Terminal, minimized). Before every scenario Alpha is active and the
    stacking, front to back, is Alpha, Bravo, Charlie, so the switch list is
    [Alpha, Bravo, Charlie, Delta]."""

    desktop = None

    @classmethod
    def setUpClass(cls):
        binary = desk.find_executable("CORVANE_BIN", "corvane")
        client = desk.find_executable("CORVANE_TESTCLIENT", "corvane-testclient")
        if not binary or not client:
            raise unittest.SkipTest("corvane or corvane-testclient is not built")
        cls.client_binary = client
        shutil.rmtree(OUTPUT, ignore_errors=True)
        cls.desktop = desk.Desktop(OUTPUT, wm=WM, compositor=COMPOSITOR).start()
        try:
            cls.editor = desk.TestClient(cls.desktop, client, [
                "--class", "editor,Editor", "--icon", "48", "--window", "Alpha",
                "--window", "Bravo"], name="editor")
            cls.terminal = desk.TestClient(cls.desktop, client, [
                "--class", "terminal,Terminal", "--icon", "32", "--window", "Charlie",
                "--minimized", "--window", "Delta"], name="terminal")
            cls.alpha, cls.bravo = cls.editor.windows
            cls.charlie, cls.delta = cls.terminal.windows
            cls.names = {cls.alpha: "Alpha", cls.bravo: "Bravo", cls.charlie: "Charlie",
                         cls.delta: "Delta"}
            cls.clients = [cls.editor, cls.terminal]
            cls.desktop.start_corvane(binary)
            cls._wait_until_corvane_switches()
        except BaseException:
            cls.desktop.screenshot(os.path.join(OUTPUT, "setup-failed.png"))
            cls.desktop.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.desktop:
            cls.desktop.stop()

    @classmethod
    def _wait_until_corvane_switches(cls):
        """Corvane grabs the chord shortly after it starts; until then Alt+Tab goes to the
        focused client. Try the chord until the panel answers, then cancel."""
        d = cls.desktop
        deadline = time.monotonic() + 30
        while True:
            if not d.corvane.alive():
                raise RuntimeError("corvane exited at start:\n" + d.corvane.log_text())
            d.keydown("Alt_L")
            d.tap("Tab")
            shown = stays(lambda: d.panel() is None, 1.0) is False
            if shown:
                d.tap("Escape")
            d.keyup("Alt_L")
            if shown:
                d.wait_for_no_panel()
                return
            if time.monotonic() > deadline:
                raise AssertionError("Corvane never showed its panel for Alt+Tab:\n"
                                     + d.corvane.log_text())

    # --- per-scenario world -------------------------------------------------------------------

    def setUp(self):
        self.d = self.desktop
        self.x = self.d.x
        self.extra_clients = []
        self.reset()

    def reset(self):
        """Alpha active in front of Bravo and Charlie, Delta minimized, no key held, the
        pointer away from where the panel opens, the default preferences."""
        d, x = self.d, self.x
        d.release_everything()
        self.write_preferences(None)
        self._recover_from_a_stuck_panel()
        d.move_pointer(5, desk.SCREEN_HEIGHT - 5)
        for window in (self.charlie, self.bravo, self.alpha):
            if x.is_minimized(window):
                continue
            d.activate(window)
        wait_until(lambda: x.active_window() == self.alpha, 5, "Alpha to be active")
        if not x.is_minimized(self.delta):
            d.minimize(self.delta)
            wait_until(lambda: x.is_minimized(self.delta), 5, "Delta to be minimized")
        listed = self.switch_list()
        self.assertEqual(listed[:3], [self.alpha, self.bravo, self.charlie])
        self.assertEqual(listed[-1], self.delta)
        self.key_marks = [len(c.keys()) for c in self.clients]

    def _recover_from_a_stuck_panel(self):
        """A scenario that failed may leave the panel up; later scenarios still deserve a
        clean start. Escape first, as a user would; a restart of Corvane if even that fails.
        (The failing scenario has reported the stuck panel already.)"""
        d = self.d

        def panel_goes(timeout):
            try:
                d.wait_for_no_panel(timeout)
                return True
            except AssertionError:
                return False

        if panel_goes(1.5):  # a fade-out takes half a second
            return
        d.tap("Escape")
        if panel_goes(1.5):
            return
        binary = d.corvane.popen.args[0]
        d.stop_corvane()
        d.start_corvane(binary, log_name="corvane-restarted")
        self._wait_until_corvane_switches()

    def tearDown(self):
        try:
            if self._test_method_failed():
                self.capture(self.id().split(".")[-1])
            self.assert_keyboard_is_free()
        finally:
            self.d.release_everything()

    def _test_method_failed(self):
        # unittest has recorded the test method's failure by the time tearDown runs, but only
        # in the result object; table rows (subtests) leave their evidence themselves.
        result = getattr(self._outcome, "result", None)
        if result is None:
            return False
        return any(test is self for test, _ in result.failures + result.errors)

    def switch_list(self):
        """The test clients' windows in the order Corvane lists them: those on screen front
        to back, then the minimized ones."""
        ours = set(self.names)
        for client in self.clients + self.extra_clients:
            ours |= set(client.windows)
        front_to_back = list(reversed(self.x.visible_stacking(ours)))
        shown = [w for w in front_to_back if not self.x.is_minimized(w)]
        return shown + [w for w in front_to_back if w not in shown]

    # --- helpers ------------------------------------------------------------------------------

    def write_preferences(self, values):
        """Corvane's preferences file, replaced whole (None: no file, all defaults)."""
        path = os.path.join(self.d.config_home, "corvane", "corvane.conf")
        if values is None:
            if os.path.exists(path):
                os.remove(path)
            return
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path + ".tmp", "w") as f:
            f.write("[General]\n")
            for key, value in values.items():
                f.write(f"{key}={value}\n")
        os.replace(path + ".tmp", path)

    def new_keys(self):
        """Key events the clients received since the scenario began."""
        events = []
        for client, mark in zip(self.clients, self.key_marks):
            events += client.keys()[mark:]
        return events

    def presses(self):
        """Key presses the clients received, without the modifiers the scenario held (those
        always pass, by design)."""
        return [(sym, state, window) for kind, sym, state, window in self.new_keys()
                if kind == "press" and sym not in MODIFIER_KEYSYMS]

    def wait_active(self, window, timeout=5):
        wait_until(lambda: self.x.active_window() == window, timeout,
                   f"{self.names.get(window, window)} to become active "
                   f"(active: {self.names.get(self.x.active_window(), self.x.active_window())})")

    def assert_stays_active(self, window, duration=QUIET_PERIOD):
        self.assertTrue(stays(lambda: self.x.active_window() == window, duration),
                        f"{self.names.get(window)} stopped being the active window")

    def open_switch(self, *first_keys, modifier="Alt_L"):
        """Holds the modifier, presses the first chord key(s), and returns the panel."""
        self.d.keydown(modifier)
        self.d.tap(*(first_keys or ("Tab",)))
        return self.d.wait_for_panel()

    def assert_keyboard_is_free(self):
        self.d.wait_for_no_panel()
        grab = self.x.try_grab_keyboard()
        self.assertEqual(grab, "GrabSuccess", "someone still holds the keyboard")
        # And a plain key reaches the focused client.
        focused = self.x.active_window()
        mark = sum(len(c.keys()) for c in self.clients)
        self.d.tap("a")
        wait_until(lambda: any(e[0] == "press" and e[1] == "a" and e[3] == focused
                               for c in self.clients for e in c.keys()) and
                   sum(len(c.keys()) for c in self.clients) > mark, 5,
                   "a plain 'a' to reach the focused client after the switch")

    @contextlib.contextmanager
    def case(self, name, **params):
        """One row of a table-driven scenario, in a fresh world, with evidence on failure."""
        with self.subTest(name, **params):
            try:
                self.reset()
                yield
                self.d.release_everything()
                self.assert_keyboard_is_free()
            except BaseException:
                self.capture(f"{self.id().split('.')[-1]}-{re.sub(r'[^A-Za-z0-9]+', '-', name)}")
                self.d.release_everything()
                raise

    def capture(self, name):
        folder = os.path.join(OUTPUT, name)
        os.makedirs(folder, exist_ok=True)
        self.d.screenshot(os.path.join(folder, "screen.png"))
        if self.d.corvane:
            shutil.copy(self.d.corvane.log_path, os.path.join(folder, "corvane.log"))
        with open(os.path.join(folder, "desktop.txt"), "w") as f:
            x = self.x
            f.write(f"active: {self.names.get(x.active_window(), hex(x.active_window()))}\n")
            f.write(f"input focus: {hex(x.input_focus())}\n")
            f.write(f"panel: {self.d.panel()}\n")
            f.write("switch list expected from the screen: "
                    f"{[self.names.get(w, hex(w)) for w in self.switch_list()]}\n")
            f.write("stacking as shown, front to back:\n")
            for w in reversed(x.visible_stacking(x.stacking())):
                f.write(f"  {hex(w)} {x.title(w)!r} states={sorted(x.state_atoms(w))}\n")
            f.write("_NET_CLIENT_LIST_STACKING, front to back:\n")
            for w in reversed(x.stacking()):
                f.write(f"  {hex(w)} {x.title(w)!r}\n")
            f.write("keys since the scenario began:\n")
            for event in self.new_keys():
                f.write(f"  {event}\n")

    # --- scenarios ----------------------------------------------------------------------------

    def test_chord_then_release_raises_the_previous_window(self):
        # Lock keys change the modifier state a grab must match; the chord works with any.
        for locks in ([], ["Num_Lock"], ["Caps_Lock"], ["Num_Lock", "Caps_Lock"]):
            with self.case("locks: " + (" ".join(locks) or "none")):
                for lock in locks:
                    self.d.tap(lock)
                try:
                    self.open_switch()
                    self.d.keyup("Alt_L")
                    self.wait_active(self.bravo)
                    self.d.wait_for_no_panel()
                    self.assertNotIn("Tab", [sym for sym, _, _ in self.presses()],
                                     "the chord's Tab leaked to the client")
                finally:
                    for lock in locks:
                        self.d.tap(lock)

    def test_keys_held_under_alt_move_the_selection(self):
        # (keys after the first Tab, how the switch ends, the window raised)
        table = [
            ("Tab", "release", self.charlie),
            ("Tab Tab Tab Tab", "release", self.bravo),  # 1 -> 2 -> 3 -> 0 -> 1: wraps
            ("Right", "release", self.charlie),
            ("Left Left", "release", self.delta),  # 1 -> 0 -> 3: wraps backwards
            ("Tab Tab shift+Tab", "release", self.charlie),  # 1 -> 2 -> 3 -> 2
            ("Right Right Left", "release", self.charlie),
            ("Tab", "Return", self.charlie),  # Return raises while Alt is still down
        ]
        for keys, end, raised in table:
            with self.case(f"{keys} then {end}"):
                self.open_switch()
                self.d.tap(*keys.split())
                if end == "Return":
                    self.d.tap("Return")
                    self.wait_active(raised)
                    self.d.wait_for_no_panel()
                    self.d.keyup("Alt_L")
                else:
                    self.assertIsNotNone(self.d.panel())
                    self.d.keyup("Alt_L")
                    self.wait_active(raised)
                self.assert_stays_active(raised, 0.3)
                self.assertFalse(self.x.is_minimized(raised))

    def test_shift_as_first_press_raises_the_last_window_and_unminimizes_it(self):
        self.open_switch("shift+Tab")
        self.d.keyup("Alt_L")
        self.wait_active(self.delta)
        wait_until(lambda: not self.x.is_minimized(self.delta) and self.x.is_viewable(self.delta),
                   5, "Delta to be restored from its minimized state")

    def test_quick_second_chord_during_the_fade_out_switches_back(self):
        # The everyday toggle between two windows: the second chord comes while the first
        # switch's panel is still fading out, and must still be a switch of its own.
        self.open_switch()
        self.d.keyup("Alt_L")
        released = time.monotonic()
        self.wait_active(self.bravo)
        self.d.keydown("Alt_L")
        self.d.tap("Tab")
        pressed = time.monotonic()
        self.d.keyup("Alt_L")
        self.wait_active(self.alpha)
        self.assert_stays_active(self.alpha, 0.6)  # no late commit from the first switch
        if pressed - released > 0.45:
            self.skipTest(f"the machine took {pressed - released:.2f} s to send the second "
                          "chord, past the half-second fade-out this scenario is about")

    def test_escape_cancels_and_the_later_release_does_nothing(self):
        self.open_switch("Tab", "Tab")
        self.d.tap("Escape")
        self.d.wait_for_no_panel()
        self.assert_stays_active(self.alpha, 0.3)
        self.d.keyup("Alt_L")
        self.assertTrue(stays(lambda: self.x.active_window() == self.alpha
                              and self.d.panel() is None, QUIET_PERIOD),
                        "the Alt release after Escape switched or reopened the panel")
        self.assertNotIn("Escape", [sym for sym, _, _ in self.presses()])

    def test_keys_that_are_not_the_switchers_reach_the_focused_client(self):
        self.open_switch()
        self.d.tap("x", "Up", "Down", "space")
        wait_until(lambda: len(self.presses()) >= 4, 5, "the four keys to reach Alpha")
        self.d.tap("Escape")
        self.d.keyup("Alt_L")
        presses = self.presses()
        self.assertEqual([sym for sym, _, _ in presses], ["x", "Up", "Down", "space"])
        for sym, state, window in presses:
            self.assertEqual(window, self.alpha, f"{sym} went to another window")
            self.assertTrue(state & ALT_MASK, f"{sym} arrived without the held Alt")

    def test_panel_frame_matches_the_window_count_and_never_takes_focus(self):
        # (extra windows opened by a third application, total listed)
        for extra, total in [(0, 4), (5, 9), (6, 10), (7, 11)]:
            with self.case(f"{total} windows"):
                more = None
                if extra:
                    more = desk.TestClient(self.d, self.client_binary, [
                        "--class", "viewer,Viewer", "--count", str(extra), "--window",
                        "Page {n}"], name=f"viewer{extra}", record_keys=False)
                    self.extra_clients = [more]
                    self.reset()
                try:
                    self.assertEqual(len(self.switch_list()), total)
                    window, frame = self.open_switch()
                    self.assertIn(frame, expected_frames(total))
                    self.assertEqual(self.x.active_window(), self.alpha)
                    focus = self.x.input_focus()
                    self.assertNotIn(window, self.x.ancestors(focus) if focus > 1 else [],
                                     "the panel took the input focus")
                    self.d.tap("Escape")
                    self.d.keyup("Alt_L")
                    self.d.wait_for_no_panel()
                finally:
                    if more:
                        self.extra_clients = []
                        more.stop()
                        wait_until(lambda: not set(more.windows) & set(self.x.stacking()), 5,
                                   "the extra windows to close")

    def test_cmd_tab_mode_takes_super_tab_and_lets_alt_tab_through(self):
        self.write_preferences({"hotkeyMode": "cmdTab"})
        try:
            self.d.keydown("Alt_L")
            self.d.tap("Tab")
            self.assertTrue(stays(lambda: self.d.panel() is None, QUIET_PERIOD),
                            "Alt+Tab still opened the panel in Cmd+Tab mode")
            self.d.keyup("Alt_L")
            wait_until(lambda: ("Tab", ALT_MASK) in [(s, st & ALT_MASK)
                                                     for s, st, _ in self.presses()],
                       5, "Alt+Tab to pass through to the focused client")
            self.open_switch(modifier="Super_L")
            self.d.keyup("Super_L")
            self.wait_active(self.bravo)
        finally:
            self.write_preferences(None)

    def test_hover_keeps_the_panel_until_a_click_or_leaving_it(self):
        for way in ("click Charlie", "leave for a second", "hover switched off"):
            with self.case(way):
                if way == "hover switched off":
                    self.write_preferences({"mouseHoverKeepOpen": "false"})
                _, panel = self.open_switch()
                self.d.move_pointer(*panel.center())
                # Corvane hears the pointer through its toolkit's X connection and the Alt
                # release through its own; nothing orders the two, and nothing outside tells
                # when the entry was seen. A hand takes far longer from mouse to key than this.
                time.sleep(0.3)
                self.d.keyup("Alt_L")
                if way == "hover switched off":
                    self.wait_active(self.bravo)
                    continue
                self.assertTrue(stays(lambda: self.d.panel() is not None, QUIET_PERIOD),
                                "the panel closed although the pointer was over it")
                self.assertEqual(self.x.active_window(), self.alpha)
                if way == "click Charlie":
                    self.d.click(*card_center(panel, 2, 4))
                    self.wait_active(self.charlie)
                else:
                    # Taken before the move, so a slow harness can only lengthen the interval
                    # it measures; a commit less than a second after this is premature.
                    leaving = time.monotonic()
                    self.d.move_pointer(5, desk.SCREEN_HEIGHT - 5)
                    self.wait_active(self.bravo, timeout=5)
                    self.assertGreaterEqual(time.monotonic() - leaving, 0.95,
                                            "committed before the pointer was away a second")
                self.d.wait_for_no_panel()


if __name__ == "__main__":
    unittest.main(verbosity=2)
