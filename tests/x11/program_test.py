# The corvane program's own life on a display, where only the real binary shows a fault: one
# instance per display, a display that goes away, a preferences path that is no file, and a chord
# begun with Alt already held when Corvane started. Uses the shared desktop harness
# (tools/desktop/desktop.py); CORVANE_BIN and CORVANE_TESTCLIENT name the binaries.

import ctypes
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "tools", "desktop"))  # the desktop harness

import desktop as desk  # noqa: E402
import xprobe  # noqa: E402
from xprobe import wait_until  # noqa: E402

OUTPUT = os.environ.get("CORVANE_PROGRAM_TEST_OUTPUT",
                        os.path.join(os.getcwd(), "program-test-output"))


def wait_for_exit(child, timeout=20):
    try:
        return child.popen.wait(timeout=timeout)
    except Exception:
        raise AssertionError(f"{child.name} is still running:\n{child.log_text()}") from None


class Program(unittest.TestCase):
    def setUp(self):
        self.binary = desk.find_executable("CORVANE_BIN", "corvane")
        self.client = desk.find_executable("CORVANE_TESTCLIENT", "corvane-testclient")
        if not self.binary or not self.client:
            self.skipTest("corvane or corvane-testclient is not built")
        self.d = None

    def tearDown(self):
        if self.d:
            self.d.stop()

    def start_desktop(self, folder=None, windows=True, **options):
        output = os.path.join(OUTPUT, folder or self.id().split(".")[-1])
        shutil.rmtree(output, ignore_errors=True)  # logs are appended to
        self.d = desk.Desktop(output, tray=windows, **options).start()
        if windows:  # the panel shows only when there is something to switch to
            # and away from the pointer, which would keep it open for a click
            self.d.move_pointer(5, desk.SCREEN_HEIGHT - 5)
            self.windows = desk.TestClient(self.d, self.client,
                                           ["--window", "Back", "--window", "Front"],
                                           record_keys=False).windows
        return self.d

    def start_corvane(self, log_name="corvane"):
        return self.d.start_corvane(self.binary, log_name)

    def assert_switches(self, corvane):
        d = self.d
        d.corvane = corvane
        d.keydown("Alt_L")
        d.tap("Tab")
        d.wait_for_panel()
        d.tap("Escape")
        d.keyup("Alt_L")
        d.wait_for_no_panel()

    def test_a_second_instance_steps_aside_and_a_later_one_takes_over(self):
        d = self.start_desktop(wm="openbox")
        first = self.start_corvane("corvane-first")
        second = d.spawn("corvane-second", [self.binary])
        self.assertEqual(wait_for_exit(second), 0)
        self.assertIn(f"Corvane: already running on display {d.display_name} "
                      f"(pid {first.pid}); this instance exits", second.log_text())
        # (The window manager's own bindings of other keys may be named; the chord never.)
        self.assertNotIn("Corvane: Alt+Tab is already grabbed",
                         second.log_text() + first.log_text())
        self.assert_switches(first)

        # The first one ends: its selection goes with it, and the next start takes over.
        first.stop()
        third = self.start_corvane("corvane-third")
        self.assert_switches(third)

        # Another client takes the selection: the running instance leaves, its grabs with it.
        x = d.x
        xlib = xprobe._xlib
        xlib.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                            ctypes.c_ulong]
        xlib.XSetSelectionOwner(x._dpy, x.atom("CORVANE_S0"), x.root, 0)
        xlib.XSync(x._dpy, 0)
        self.assertEqual(wait_for_exit(third), 0)
        self.assertIn("Corvane: another program took over the CORVANE_S0 selection on display "
                      f"{d.display_name}; exiting", third.log_text())
        self.assertEqual(x.try_grab_keyboard(), "GrabSuccess")

    def assert_ends_with_corvanes_line(self, corvane, line):
        status = wait_for_exit(corvane)
        log = corvane.log_text().splitlines()
        ours = [i for i, text in enumerate(log) if line in text]
        toolkit = [i for i, text in enumerate(log) if "The X11 connection broke" in text]
        self.assertEqual(len(ours), 1, log)
        self.assertTrue(not toolkit or ours[0] < toolkit[0], log)
        self.assertEqual(status, 1, log)

    def test_losing_the_display_logs_corvanes_line_first_and_exits_with_status_1(self):
        # Which connection notices a dead server first, Corvane's or the toolkit's, is a race:
        # several rounds.
        for round_number in range(4):
            with self.subTest(round=round_number):
                d = self.start_desktop(f"display-lost-{round_number}", windows=False, wm=None)
                corvane = self.start_corvane()
                # The probe goes first: libX11 would end this process with the server.
                d.x.close()
                d.x = None
                d.children[0].stop()  # Xvfb
                self.assert_ends_with_corvanes_line(
                    corvane, "Corvane: lost the connection to the X server")
                d.stop()
                self.d = None
        # The toolkit's connection alone is cut (mid-switch, the panel up): Qt ends the process
        # itself, and Corvane's line still comes first.
        d = self.start_desktop("toolkit-connection-lost", wm="openbox")
        corvane = self.start_corvane()
        d.corvane = corvane
        d.keydown("Alt_L")
        d.tap("Tab")
        panel = d.wait_for_panel()[0]
        xlib = xprobe._xlib
        xlib.XKillClient.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        xlib.XKillClient(d.x._dpy, panel)
        xlib.XSync(d.x._dpy, 0)
        self.assert_ends_with_corvanes_line(
            corvane, "Corvane: the toolkit lost its connection to the X server; exiting")
        d.keyup("Alt_L")
        self.assertEqual(d.x.try_grab_keyboard(), "GrabSuccess")

    def test_a_preferences_fifo_means_defaults_and_start_up_goes_on(self):
        d = self.start_desktop(wm="openbox")
        path = os.path.join(d.config_home, "corvane", "corvane.conf")
        os.makedirs(os.path.dirname(path))
        os.mkfifo(path)
        corvane = self.start_corvane()
        self.assertEqual(corvane.log_text().count("is not a regular file"), 1,
                         corvane.log_text())
        self.assert_switches(corvane)
        self.assertFalse(os.path.isfile(path))

    def test_alt_held_before_start_still_commits_on_its_release(self):
        d = self.start_desktop(wm="openbox")
        back, front = self.windows
        d.activate(back)
        d.activate(front)
        d.keydown("Alt_L")
        d.corvane = self.start_corvane()
        d.tap("Tab")
        d.wait_for_panel()
        d.keyup("Alt_L")
        d.wait_for_no_panel()
        wait_until(lambda: d.x.active_window() == back, 5, "the window behind to be raised")


if __name__ == "__main__":
    unittest.main()
