"""A private X11 desktop for driving the real corvane binary: Xvfb, a window manager, a tray,
the project's test client and Corvane itself, each a child process that is always ended, even
when a scenario fails or the harness is interrupted.

Used by the end-to-end suite (e2e_test.py), the demo (scripts/demo) and nothing else.
"""

import atexit
import ctypes
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

import xprobe

HERE = os.path.dirname(os.path.abspath(__file__))
WM_DIR = os.path.join(HERE, "wm")
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

    def __init__(self, name, argv, env, log_path, pass_fds=()):
        self.name = name
        self.log_path = log_path
        self._log = open(log_path, "ab")
        self.popen = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=self._log,
                                      stderr=subprocess.STDOUT, start_new_session=True,
                                      pass_fds=pass_fds, preexec_fn=_die_with_the_harness)

    @property
    def pid(self):
        return self.popen.pid

    def alive(self):
        return self.popen.poll() is None

    def stop(self, grace=2.0):
        if self.alive():
            try:
                os.killpg(self.popen.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                self.popen.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(self.popen.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                self.popen.wait(timeout=5)
        self._log.close()

    def log_text(self):
        self._log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")


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


class Desktop:
    """Xvfb at 1440x900 with a window manager and a tray, in a private state folder.

    wm is "openbox" or "fluxbox" (each with a configuration that leaves the chord free), or
    None for a bare X server. compositor starts xcompmgr so translucent fades are real.
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
        os.makedirs(self.config_home)

    # --- environment --------------------------------------------------------------------------

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("DBUS_", "XDG_", "WAYLAND_", "QT_", "DESKTOP_"))}
        env.update(DISPLAY=self.display_name, HOME=self.state_dir,
                   XDG_CONFIG_HOME=self.config_home,
                   XDG_RUNTIME_DIR=self._runtime_dir(),
                   XDG_CACHE_HOME=os.path.join(self.state_dir, "cache"),
                   QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
        env.update(extra)
        return env

    def _runtime_dir(self):
        path = os.path.join(self.state_dir, "runtime")
        os.makedirs(path, mode=0o700, exist_ok=True)
        return path

    def spawn(self, name, argv, env=None, pass_fds=()):
        log_path = os.path.join(self.output_dir, f"{name}.log")
        child = Child(name, argv, env or self.env(), log_path, pass_fds)
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
        read_fd, write_fd = os.pipe()
        try:
            xvfb = Child("xvfb", ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                                  f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24", "-nolisten", "tcp",
                                  "-noreset", "+extension", "RANDR"],
                         dict(os.environ), os.path.join(self.output_dir, "xvfb.log"),
                         pass_fds=(write_fd,))
            self.children.append(xvfb)
            os.close(write_fd)
            write_fd = -1
            number = b""
            deadline = time.monotonic() + 15
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready, _, _ = select.select([read_fd], [], [], max(left, 0))
                if not ready:
                    raise RuntimeError("Xvfb did not report its display within 15 s; see "
                                       + xvfb.log_path)
                chunk = os.read(read_fd, 16)
                if not chunk:
                    raise RuntimeError("Xvfb exited before reporting its display; see "
                                       + xvfb.log_path)
                number += chunk
            self.display_name = ":" + number.decode().strip()
        finally:
            os.close(read_fd)
            if write_fd >= 0:
                os.close(write_fd)

    def _start_wm(self):
        if self.wm_name == "openbox":
            self.spawn("openbox", ["openbox", "--sm-disable", "--config-file",
                                   os.path.join(WM_DIR, "openbox-rc.xml")])
        elif self.wm_name == "fluxbox":
            # Fluxbox copies its stock files over an -rc file that lives outside ~/.fluxbox, so
            # the suite's init goes where fluxbox looks first, in the private HOME.
            home = os.path.join(self.state_dir, ".fluxbox")
            os.makedirs(home, exist_ok=True)
            init = os.path.join(home, "init")
            with open(os.path.join(WM_DIR, "fluxbox-init.in")) as f:
                text = f.read().replace("@WM_DIR@", WM_DIR).replace("@STATE_DIR@", home)
            with open(init, "w") as f:
                f.write(text)
            for empty in ("fluxbox-apps", "fluxbox-menu"):
                open(os.path.join(home, empty), "w").close()
            self.spawn("fluxbox", ["fluxbox", "-rc", init])
        else:
            raise ValueError(f"unknown window manager {self.wm_name}")
        xprobe.wait_until(self._wm_is_up, 15, f"{self.wm_name} to manage the screen")

    def _wm_is_up(self):
        return bool(self.x.cardinals(self.x.root, "_NET_SUPPORTING_WM_CHECK"))

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
        self.corvane = self.spawn(log_name, [binary])
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

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.env(), check=True, timeout=10,
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
        xprobe.wait_until(lambda: self.topmost_normal_window() == window, 5,
                          f"window {window} on top")

    def topmost_normal_window(self):
        normal = [w for w in self.x.stacking()
                  if "_NET_WM_WINDOW_TYPE_DOCK" not in self.x.window_types(w)]
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


class TestClient:
    """One corvane-testclient process and the windows it opened, in the order asked for."""

    def __init__(self, desktop, binary, args, name="testclient", record_keys=True, timeout=20):
        self.desktop = desktop
        self.keys_path = os.path.join(desktop.state_dir, f"{name}-keys.log") if record_keys \
            else None
        argv = [binary] + (["--keys", self.keys_path] if record_keys else []) + list(args)
        self.child = desktop.spawn(name, argv)
        self.windows = self._read_window_ids(timeout)
        x = desktop.x
        xprobe.wait_until(lambda: set(self.windows) <= set(x.stacking()), timeout,
                          f"the window manager to manage {name}'s {len(self.windows)} windows")

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
