"""The Python side of Corvane's one desktop harness, a tool shared like tools/testclient
(XvfbDesktop.h, next to it, states the procedure both sides follow: Xvfb on an explicit display
number, the window manager up once it lists a probe window, clients ready once listed): Xvfb, a window manager of the matrix, a
tray, the project's test client and the real corvane binary, each a child process that is always
ended, even when a scenario fails or the harness is interrupted.

Used by the end-to-end suite (tests/e2e/e2e_test.py), the program tests
(tests/x11/program_test.py) and the demo (tools/demo).
"""

import atexit
import contextlib
import ctypes
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

import xprobe

SCREEN_WIDTH, SCREEN_HEIGHT = 1440, 900

# Every desktop still running; ended at interpreter exit and on SIGTERM/SIGINT, so a killed
# test run (CTest's timeout sends SIGTERM... then SIGKILL) leaves no Xvfb or grab behind.
_live_desktops = []


def _end_all_desktops(*_args):
    for desktop in list(_live_desktops):
        desktop.stop()


def _on_signal(signum, _frame):
    _end_all_desktops()
    raise SystemExit(128 + signum)


atexit.register(_end_all_desktops)
for _sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    signal.signal(_sig, _on_signal)


_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1


def _die_with_the_harness():
    # Runs in the child between fork and exec: a harness killed outright (SIGKILL from a CTest
    # timeout) takes its X server, window manager and Corvane with it.
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


class Child:
    """One child process in a session of its own, with its output in a log file."""

    def __init__(self, name, argv, env, log_path):
        self.name = name
        self.log_path = log_path
        self._log = open(log_path, "ab")
        self.popen = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=self._log,
                                      stderr=subprocess.STDOUT, start_new_session=True,
                                      preexec_fn=_die_with_the_harness)

    @property
    def pid(self):
        return self.popen.pid

    def alive(self):
        return self.popen.poll() is None

    def stop(self, grace=2.0):
        for sig, timeout in ((signal.SIGTERM, grace), (signal.SIGKILL, 5)):
            if not self.alive():
                break
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.popen.pid, sig)
            with contextlib.suppress(subprocess.TimeoutExpired):
                self.popen.wait(timeout=timeout)
        self._log.close()

    def log_text(self):
        self._log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")


def _lock_holder(number):
    try:
        with open(f"/tmp/.X{number}-lock") as f:
            return int(f.read().strip() or 0)
    except (OSError, ValueError):
        return 0


def wait_for_line(child, text, timeout=30):
    """Waits until child's log holds text; fails early, with the log, when child exits."""
    def seen():
        if text in child.log_text():
            return True
        if not child.alive():
            raise AssertionError(f"{child.name} exited before logging {text!r}")
        return False
    try:
        xprobe.wait_until(seen, timeout, f"{child.name} to log {text!r}")
    except AssertionError as failure:
        raise AssertionError(f"{failure}\n{child.log_text()}") from None


def find_executable(env_var, name, build_dir=None):
    """The path of a project executable: from env_var, else searched under build_dir."""
    path = os.environ.get(env_var)
    if path:
        return path if os.access(path, os.X_OK) else None
    if build_dir and os.path.isdir(build_dir):
        for root, _dirs, files in os.walk(build_dir):
            if name in files and os.access(os.path.join(root, name), os.X_OK):
                return os.path.join(root, name)
    return shutil.which(name)


def _write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    return path


def _stock(path, drop=None):
    """A window manager's stock file with the lines (or XML elements) matching drop removed:
    the bindings a user frees for Corvane, and nothing else."""
    with open(path) as f:
        text = f.read()
    return re.sub(drop, "", text, flags=re.S | re.M) if drop else text


def _openbox(home):
    rc = _stock("/etc/xdg/openbox/rc.xml", r'^\s*<keybind key="A-(S-)?Tab">.*?</keybind>\n')
    return ["openbox", "--sm-disable", "--config-file", _write(f"{home}/openbox-rc.xml", rc)]


def _fluxbox(home):
    # Fluxbox copies its stock init, menu and apps into ~/.fluxbox on its first start and
    # keeps a keys file that is already there.
    _write(f"{home}/.fluxbox/keys",
           _stock("/etc/X11/fluxbox/keys", r"^Mod1 (Shift )?Tab .*\n"))
    # The stock overlay's own suggestion: without it the style's wallpaper needs a setter this
    # desktop lacks, and fbsetbg says so in an xmessage window that would be listed too.
    _write(f"{home}/.fluxbox/overlay", "background: none\n")
    return ["fluxbox"]


def _icewm(home):
    _write(f"{home}/.icewm/preferences", 'KeySysSwitchNext=""\nKeySysSwitchLast=""\n')
    return ["icewm"]


def _i3(home):
    # The wizard that asks for a modifier on a first start is not a binding; it would open a
    # window of its own.
    config = _stock("/etc/i3/config", r"^exec i3-config-wizard\n")
    return ["i3", "-c", _write(f"{home}/i3-config", config)]


def _jwm(home):
    _write(f"{home}/.jwmrc",
           _stock("/etc/jwm/system.jwmrc", r'^\s*<Key mask="A" key="Tab">.*?</Key>\n'))
    return ["jwm"]


def _metacity(home):
    # GSettings' keyfile backend keeps the choices in a file, as dconf would without a bus.
    _write(f"{home}/config/glib-2.0/settings/keyfile",
           "[org/gnome/desktop/wm/keybindings]\n"
           "switch-applications=['<Super>Tab']\n"
           "switch-applications-backward=['<Shift><Super>Tab']\n")
    return ["env", "GSETTINGS_BACKEND=keyfile", "metacity", "--replace"]


def _xfwm4(home):
    # What Xfce's keyboard settings write when a user clears Alt+Tab: the stock shortcuts
    # copied into the "custom" set, which then overrides the defaults, less that binding.
    stock = _stock("/etc/xdg/xfce4/xfconf/xfce-perchannel-xml/xfce4-keyboard-shortcuts.xml")
    shortcuts = re.search(r'<property name="xfwm4" type="empty">\s*'
                          r'<property name="default" type="empty">(.*?)</property>\s*</property>',
                          stock, re.S).group(1)
    shortcuts = re.sub(r'^.*name="&lt;Alt&gt;(&lt;Shift&gt;)?Tab".*\n', "", shortcuts, flags=re.M)
    _write(f"{home}/config/xfce4/xfconf/xfce-perchannel-xml/xfce4-keyboard-shortcuts.xml",
           '<?xml version="1.0" encoding="UTF-8"?>\n'
           '<channel name="xfce4-keyboard-shortcuts" version="1.0">\n'
           '  <property name="xfwm4" type="empty">\n    <property name="custom" type="empty">\n'
           '      <property name="override" type="bool" value="true"/>'
           f'{shortcuts}</property>\n  </property>\n</channel>\n')
    # Its settings come from xfconfd, started on demand by a session bus of its own.
    return ["dbus-run-session", "--", "xfwm4"]


class WindowManager:
    """How to start one window manager with its stock configuration and only the Alt+Tab
    binding freed, and what a user sees of it: its _NET_WM_NAME, whether it can minimize
    (i3 cannot), and whether windows overlap at all (on a tiling manager every window is in
    full view, so "on top" means only "shown")."""

    def __init__(self, configure, name, minimizes=True, tiling=False):
        self.configure, self.name, self.minimizes, self.tiling = configure, name, minimizes, tiling


WINDOW_MANAGERS = {
    "openbox": WindowManager(_openbox, "Openbox"),
    "fluxbox": WindowManager(_fluxbox, "Fluxbox"),
    "icewm": WindowManager(_icewm, "IceWM"),
    "i3": WindowManager(_i3, "i3", minimizes=False, tiling=True),
    "jwm": WindowManager(_jwm, "JWM"),
    "awesome": WindowManager(lambda _home: ["awesome"], "awesome"),
    "metacity": WindowManager(_metacity, "Metacity"),
    "xfwm4": WindowManager(_xfwm4, "Xfwm4"),
}


class Desktop:
    """Xvfb at 1440x900 with a window manager and a tray, in a private state folder.

    wm names one of WINDOW_MANAGERS, or None for a bare X server. compositor starts xcompmgr
    so translucent fades are real.
    """

    def __init__(self, output_dir, wm="openbox", tray=True, compositor=False):
        self.output_dir = output_dir
        os.makedirs(output_dir, exist_ok=True)
        self.state_dir = tempfile.mkdtemp(prefix="corvane-desktop-")
        self.wm_name, self.want_tray, self.want_compositor = wm, tray, compositor
        self.children = []
        self.display_name = None
        self.x = None
        self.corvane = None
        self.config_home = os.path.join(self.state_dir, "config")
        self.data_home = os.path.join(self.state_dir, "data")
        for folder in ("config", "data", "cache", "runtime"):  # as XvfbDesktop makes them
            os.makedirs(os.path.join(self.state_dir, folder), mode=0o700)
        self.wm = WINDOW_MANAGERS.get(wm)

    # --- environment --------------------------------------------------------------------------

    def env(self):
        """The children's environment, as XvfbDesktop gives it: this desktop's display, HOME
        and XDG folders, none of a session the harness may run in."""
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "XDG_", "WAYLAND_", "QT_", "DESKTOP_"))}
        env.update(DISPLAY=self.display_name, HOME=self.state_dir,
                   XDG_CONFIG_HOME=self.config_home, XDG_DATA_HOME=self.data_home,
                   XDG_CACHE_HOME=os.path.join(self.state_dir, "cache"),
                   XDG_RUNTIME_DIR=os.path.join(self.state_dir, "runtime"),
                   QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
        return env

    def spawn(self, name, argv):
        log_path = os.path.join(self.output_dir, f"{name}.log")
        child = Child(name, argv, self.env(), log_path)
        self.children.append(child)
        return child

    # --- start and stop -----------------------------------------------------------------------

    def start(self):
        _live_desktops.append(self)
        try:
            self._start_xvfb()
            self.x = xprobe.Display(self.display_name)
            if self.wm_name:
                self._start_wm()
            if self.want_compositor:
                self.spawn("xcompmgr", ["xcompmgr", "-n"])
            if self.want_tray:
                self._start_tray()
        except BaseException:
            self.stop()
            raise
        return self

    def _start_xvfb(self):
        # The procedure of XvfbDesktop.h, which says why not -displayfd.
        for attempt in range(20):
            number = str(200 + (os.getpid() * 7 + attempt * 131) % 800)
            if os.path.exists(f"/tmp/.X{number}-lock") or \
                    os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            self.display_name = ":" + number
            xvfb = self.spawn("xvfb", ["Xvfb", self.display_name, "-screen", "0",
                                       f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24", "-nolisten", "tcp",
                                       "-noreset"])

            def ready_or_taken():
                if not xvfb.alive():
                    return "taken"  # by a server started meanwhile
                return _lock_holder(number) == xvfb.pid and \
                    xprobe.accepts_connections(self.display_name)

            if xprobe.wait_until(ready_or_taken, 15, f"Xvfb on {self.display_name}") is True:
                return
            self.children.remove(xvfb)
            xvfb.stop()
        raise RuntimeError("no free display number for Xvfb")

    def _start_wm(self):
        self.spawn(self.wm_name, WINDOW_MANAGERS[self.wm_name].configure(self.state_dir))
        probe = self.x.create_window()

        def unlisted():
            return probe not in self.x.cardinals(self.x.root, "_NET_CLIENT_LIST")

        def listed_when_mapped_again():
            self.x.remap_window(probe)
            return not xprobe.stays(unlisted, 0.3)

        xprobe.wait_until(listed_when_mapped_again, 30, f"{self.wm_name} to manage a window")
        self.x.destroy_window(probe)
        xprobe.wait_until(unlisted, 10, f"{self.wm_name} to forget its probe window")

    def _start_tray(self):
        self.spawn("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype",
                              "request", "--height", "24", "--SetDockType", "true",
                              "--expand", "true", "--transparent", "false"])
        xprobe.wait_until(lambda: self.x.selection_owner("_NET_SYSTEM_TRAY_S0"), 15,
                          "the tray to own the system tray selection")

    def stop(self):
        # The probe connection goes first: libX11 ends the whole process when a connection's
        # server disappears under it.
        if self.x:
            self.x.close()
            self.x = None
        for child in reversed(self.children):
            child.stop()
        self.children = []
        if self in _live_desktops:
            _live_desktops.remove(self)
        shutil.rmtree(self.state_dir, ignore_errors=True)

    # --- Corvane ------------------------------------------------------------------------------

    def start_corvane(self, binary, log_name="corvane"):
        """Starts the corvane binary and waits for the line it logs once its grabs are in
        place: from then on the chord is its."""
        self.corvane = self.spawn(log_name, [binary])
        wait_for_line(self.corvane, "Corvane: running on display")
        return self.corvane

    def stop_corvane(self):
        if self.corvane:
            self.corvane.stop()
            self.children.remove(self.corvane)
            self.corvane = None

    def panel(self):
        """The geometry of Corvane's panel when it is on screen: its one mapped top-level
        override-redirect window; None when none is mapped."""
        if not self.corvane:
            return None
        # Qt puts _NET_WM_PID on every top-level window it creates, override-redirect too;
        # the window manager's and the tray's own override-redirect windows carry other pids
        # or none.
        shown = self.x.viewable_override_redirect_windows(pid=self.corvane.pid)
        return shown[-1] if shown else None

    def wait_for_panel(self, timeout=5):
        return xprobe.wait_until(self.panel, timeout, "Corvane's panel to be mapped")

    def wait_for_no_panel(self, timeout=5):
        xprobe.wait_until(lambda: self.panel() is None, timeout, "Corvane's panel to go away")

    # --- input --------------------------------------------------------------------------------

    def xdotool(self, *args, timeout=10):
        subprocess.run(["xdotool", *args], env=self.env(), check=True, timeout=timeout,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def keydown(self, *keys):
        self.xdotool("keydown", *keys)

    def keyup(self, *keys):
        self.xdotool("keyup", *keys)

    def tap(self, *keys):
        """Press and release each key in turn, with the modifiers held now left as they are."""
        self.xdotool("key", "--delay", "30", *keys)

    def release_everything(self):
        self.xdotool("keyup", "Alt_L", "Super_L", "Shift_L", "Control_L", "Tab")
        self.xdotool("mouseup", "1")

    def move_pointer(self, x, y):
        # Not xdotool's --sync: it waits for a motion that never comes when the pointer is
        # already there.
        self.xdotool("mousemove", str(x), str(y))
        xprobe.wait_until(lambda: self.x.pointer() == (x, y), 5, f"the pointer at {x},{y}")

    def click(self, x, y):
        self.move_pointer(x, y)
        self.xdotool("click", "1")

    def activate(self, window):
        """Focus and raise window, as a click on it would."""
        self.xdotool("windowactivate", "--sync", str(window))
        # Fluxbox focuses on an activation request but leaves the stacking as it was.
        self.xdotool("windowraise", str(window))
        xprobe.wait_until(lambda: self.x.active_window() == window and self.is_on_top(window),
                          10, f"window {window} active and on top")

    def is_on_top(self, window):
        """Whether window is in full view: the topmost normal window, or on a tiling window
        manager simply shown."""
        if self.wm and self.wm.tiling:
            return self.x.is_viewable(window)
        return self.topmost_normal_window() == window

    def topmost_normal_window(self):
        # JWM keeps a minimized window's (unmapped) frame above the others.
        normal = [w for w in self.x.stacking()
                  if "_NET_WM_WINDOW_TYPE_DOCK" not in self.x.window_types(w)
                  and self.x.is_viewable(w)]
        stacked = self.x.visible_stacking(normal)
        return stacked[-1] if stacked else None

    def minimize(self, window):
        self.xdotool("windowminimize", "--sync", str(window))

    # --- evidence -----------------------------------------------------------------------------

    def screenshot(self, path):
        subprocess.run(["import", "-display", self.display_name, "-window", "root", path],
                       env=self.env(), timeout=30, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return path

    def colours(self, x, y, width, height):
        """The screen's pixels in a rectangle, as "#RRGGBB" strings."""
        out = subprocess.run(["import", "-display", self.display_name, "-window", "root",
                              "-crop", f"{width}x{height}+{x}+{y}", "-depth", "8", "txt:-"],
                             env=self.env(), timeout=30, capture_output=True, text=True).stdout
        return re.findall(r"#[0-9A-Fa-f]{6}", out)


class TestClient:
    """One corvane-testclient process and the windows it opened, in the order asked for."""

    def __init__(self, desktop, binary, args, name="testclient", record_keys=True, timeout=20):
        self.desktop = desktop
        self.keys_path = os.path.join(desktop.state_dir, f"{name}-keys.log") if record_keys \
            else None
        argv = [binary] + (["--keys", self.keys_path] if record_keys else []) + list(args)
        self.child = desktop.spawn(name, argv)
        self.windows = self._read_window_ids(timeout)
        if desktop.wm:
            self._wait_until_managed(timeout)

    def _wait_until_managed(self, timeout):
        xprobe.wait_until(lambda: set(self.windows) <= set(self.desktop.x.stacking()), timeout,
                          f"the window manager to manage {self.child.name}'s windows")

    def _read_window_ids(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            lines = self.child.log_text().split("\n")
            if "ready" in lines:
                return [int(line) for line in lines[:lines.index("ready")] if line.isdigit()]
            if not self.child.alive():
                raise RuntimeError(f"{self.child.name} exited early: see {self.child.log_path}")
            if time.monotonic() >= deadline:
                raise AssertionError(f"{self.child.name} did not open its windows in {timeout} s")
            time.sleep(0.02)

    def keys(self):
        """(event, keysym, state, window) for every key event received so far."""
        if not self.keys_path or not os.path.exists(self.keys_path):
            return []
        events = []
        with open(self.keys_path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 5:
                    events.append((parts[0], parts[1], int(parts[3]), int(parts[4])))
        return events

    def stop(self):
        self.child.stop()
        if self.child in self.desktop.children:
            self.desktop.children.remove(self.child)
