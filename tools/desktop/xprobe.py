"""A read-mostly view of an X display for the desktop harness (desktop.py) and the end-to-end
suite, through libX11 and ctypes.

The command-line tools (xprop, xwininfo, xdotool) cover most of what a user can observe, but not
three things the suite needs on every scenario: whether some client holds the keyboard grabbed,
which top-level windows are override-redirect (Corvane's panel is one), and where the input focus
really is; nor every map of such a window, however brief. A second client connection answers
those, and doubles as a fast poller for waits.

Every call tolerates windows that vanish between a listing and a read: libX11's default error
handler exits the process, so a quiet handler is installed and failed reads return None.
"""

import ctypes
import ctypes.util
import time

_xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")

Window = ctypes.c_ulong
Atom = ctypes.c_ulong

_ANY_PROPERTY_TYPE = 0
_GRAB_MODE_ASYNC = 1
_CURRENT_TIME = 0
_IS_VIEWABLE = 2
GRAB_RESULTS = {0: "GrabSuccess", 1: "AlreadyGrabbed", 2: "GrabInvalidTime",
                3: "GrabNotViewable", 4: "GrabFrozen"}


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [
        ("x", ctypes.c_int), ("y", ctypes.c_int),
        ("width", ctypes.c_int), ("height", ctypes.c_int),
        ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
        ("visual", ctypes.c_void_p), ("root", Window), ("c_class", ctypes.c_int),
        ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
        ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
        ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
        ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
        ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
        ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
        ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p),
    ]


_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_failed_requests = [0]


@_ERROR_HANDLER
def _quiet_error_handler(_display, _event):
    _failed_requests[0] += 1
    return 0


def _declare():
    # The result and argument types of every libX11 call made: without them ctypes would cut
    # the display pointer and window ids to C ints.
    dpy, win, i, u, ul, ptr = (ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_uint,
                               ctypes.c_ulong, ctypes.POINTER)
    signatures = {
        "XOpenDisplay": (dpy, [ctypes.c_char_p]),
        "XCloseDisplay": (i, [dpy]),
        "XDefaultRootWindow": (win, [dpy]),
        "XInternAtom": (Atom, [dpy, ctypes.c_char_p, i]),
        "XGetAtomName": (ctypes.c_void_p, [dpy, Atom]),
        "XGetWindowProperty": (i, [dpy, win, Atom, ctypes.c_long, ctypes.c_long, i, Atom,
                                   ptr(Atom), ptr(i), ptr(ul), ptr(ul), ptr(ctypes.c_void_p)]),
        "XQueryTree": (i, [dpy, win, ptr(win), ptr(win), ptr(ptr(win)), ptr(u)]),
        "XGetWindowAttributes": (i, [dpy, win, ptr(_XWindowAttributes)]),
        "XGrabKeyboard": (i, [dpy, win, i, i, i, ul]),
        "XUngrabKeyboard": (i, [dpy, ul]),
        "XGetInputFocus": (i, [dpy, ptr(win), ptr(i)]),
        "XGetSelectionOwner": (win, [dpy, Atom]),
        "XQueryPointer": (i, [dpy, win, ptr(win), ptr(win), ptr(i), ptr(i), ptr(i), ptr(i),
                              ptr(u)]),
        "XCreateSimpleWindow": (win, [dpy, win, i, i, u, u, u, ul, ul]),
        "XMapWindow": (i, [dpy, win]),
        "XUnmapWindow": (i, [dpy, win]),
        "XDestroyWindow": (i, [dpy, win]),
        "XSelectInput": (i, [dpy, win, ctypes.c_long]),
        "XPending": (i, [dpy]),
        "XNextEvent": (i, [dpy, ctypes.c_void_p]),
        "XSync": (i, [dpy, i]),
        "XFree": (i, [ctypes.c_void_p]),
        "XSetErrorHandler": (ctypes.c_void_p, [_ERROR_HANDLER]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(_xlib, name)
        function.restype, function.argtypes = result, arguments
    _xlib.XSetErrorHandler(_quiet_error_handler)


_declare()

_SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
_MAP_NOTIFY = 19


class _XMapEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", Window), ("window", Window),
                ("override_redirect", ctypes.c_int)]


class _XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xmap", _XMapEvent), ("pad", ctypes.c_long * 24)]


class Geometry:
    def __init__(self, x, y, width, height):
        self.x, self.y, self.width, self.height = x, y, width, height

    def __repr__(self):
        return f"({self.x}, {self.y}, {self.width}x{self.height})"

    def center(self):
        return self.x + self.width // 2, self.y + self.height // 2


class Display:
    """One connection to the display under test. Not thread-safe; one per harness."""

    def __init__(self, name):
        self._dpy = _xlib.XOpenDisplay(name.encode())
        if not self._dpy:
            raise RuntimeError(f"cannot open display {name}")
        self.root = _xlib.XDefaultRootWindow(self._dpy)
        self._atoms = {}

    def create_window(self):
        return _xlib.XCreateSimpleWindow(self._dpy, self.root, 0, 0, 10, 10, 0, 0, 0)

    def remap_window(self, window):
        _xlib.XUnmapWindow(self._dpy, window)
        _xlib.XMapWindow(self._dpy, window)
        _xlib.XSync(self._dpy, 0)

    def destroy_window(self, window):
        _xlib.XDestroyWindow(self._dpy, window)
        _xlib.XSync(self._dpy, 0)

    def close(self):
        if self._dpy:
            _xlib.XCloseDisplay(self._dpy)
            self._dpy = None

    def press_chord_in_one_flush(self, modifier_keysym, keysym):
        """The modifier and the key pressed and released in one request flush: the server has
        all four events before Corvane can answer the first, as with a fast script."""
        xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        dpy = ctypes.c_void_p(self._dpy)
        modifier = _xlib.XKeysymToKeycode(dpy, ctypes.c_ulong(modifier_keysym))
        key = _xlib.XKeysymToKeycode(dpy, ctypes.c_ulong(keysym))
        for code, down in ((modifier, 1), (key, 1), (key, 0), (modifier, 0)):
            xtst.XTestFakeKeyEvent(dpy, ctypes.c_uint(code), down, ctypes.c_ulong(0))
        _xlib.XSync(dpy, 0)

    def atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = _xlib.XInternAtom(self._dpy, name.encode(), 0)
        return self._atoms[name]

    def atom_name(self, atom):
        raw = _xlib.XGetAtomName(self._dpy, atom)
        if not raw:
            return None
        name = ctypes.string_at(raw).decode()
        _xlib.XFree(raw)
        return name

    def property(self, window, name):
        """(type name, format, list of items) or None. Items are ints for formats 16/32,
        one bytes object for format 8."""
        actual_type, actual_format = Atom(), ctypes.c_int()
        count, remaining, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
        status = _xlib.XGetWindowProperty(
            self._dpy, window, self.atom(name), 0, 1 << 20, 0, _ANY_PROPERTY_TYPE,
            ctypes.byref(actual_type), ctypes.byref(actual_format), ctypes.byref(count),
            ctypes.byref(remaining), ctypes.byref(data))
        if status != 0 or actual_type.value == 0:
            if data:
                _xlib.XFree(data)
            return None
        fmt, n = actual_format.value, count.value
        if fmt == 8:
            items = ctypes.string_at(data, n)
        elif fmt == 16:
            items = list(ctypes.cast(data, ctypes.POINTER(ctypes.c_short))[:n])
        else:  # libX11 hands format-32 items over as C longs
            items = list(ctypes.cast(data, ctypes.POINTER(ctypes.c_ulong))[:n])
        _xlib.XFree(data)
        return self.atom_name(actual_type.value), fmt, items

    def cardinals(self, window, name):
        value = self.property(window, name)
        return value[2] if value and value[1] == 32 else []

    def text(self, window, name):
        value = self.property(window, name)
        if not value or value[1] != 8:
            return None
        return value[2].decode("utf-8", "replace")

    def active_window(self):
        items = self.cardinals(self.root, "_NET_ACTIVE_WINDOW")
        return items[0] if items else 0

    def stacking(self):
        """Managed client windows, bottom to top."""
        return self.cardinals(self.root, "_NET_CLIENT_LIST_STACKING")

    def window_types(self, window):
        return {self.atom_name(a) for a in self.cardinals(window, "_NET_WM_WINDOW_TYPE")}

    def visible_stacking(self, clients):
        """clients ordered bottom to top as the screen shows them: by the position of each
        one's top-level frame among the root's children. Fluxbox never reorders
        _NET_CLIENT_LIST_STACKING, so the property cannot be trusted for this."""
        order = {frame: i for i, frame in enumerate(self.children(self.root))}
        placed = []
        for client in clients:
            chain = self.ancestors(client)
            if chain and chain[-1] in order:
                placed.append((order[chain[-1]], client))
        return [client for _, client in sorted(placed)]

    def state_atoms(self, window):
        return {self.atom_name(a) for a in self.cardinals(window, "_NET_WM_STATE")}

    def is_minimized(self, window):
        return "_NET_WM_STATE_HIDDEN" in self.state_atoms(window)

    def title(self, window):
        return self.text(window, "_NET_WM_NAME") or self.text(window, "WM_NAME") or ""

    def pid(self, window):
        items = self.cardinals(window, "_NET_WM_PID")
        return items[0] if items else None

    def attributes(self, window):
        attrs = _XWindowAttributes()
        before = _failed_requests[0]
        ok = _xlib.XGetWindowAttributes(self._dpy, window, ctypes.byref(attrs))
        _xlib.XSync(self._dpy, 0)
        if not ok or _failed_requests[0] != before:
            return None
        return attrs

    def children(self, window):
        root, parent = Window(), Window()
        kids, count = ctypes.POINTER(Window)(), ctypes.c_uint()
        if not _xlib.XQueryTree(self._dpy, window, ctypes.byref(root), ctypes.byref(parent),
                                ctypes.byref(kids), ctypes.byref(count)):
            return []
        result = list(kids[:count.value]) if count.value else []
        if kids:
            _xlib.XFree(kids)
        return result

    def viewable_override_redirect_windows(self, pid=None):
        """Mapped top-level override-redirect windows (bottom to top), optionally only those
        whose _NET_WM_PID is pid, with their geometry."""
        found = []
        for window in self.children(self.root):
            attrs = self.attributes(window)
            if not attrs or not attrs.override_redirect or attrs.map_state != _IS_VIEWABLE:
                continue
            if pid is not None and self.pid(window) != pid:
                continue
            found.append((window, Geometry(attrs.x, attrs.y, attrs.width, attrs.height)))
        return found

    def watch_maps(self, on):
        """Starts (or ends) recording every top-level map, so that a window mapped and
        unmapped again between two polls is still seen."""
        _xlib.XSelectInput(self._dpy, self.root, _SUBSTRUCTURE_NOTIFY_MASK if on else 0)
        _xlib.XSync(self._dpy, 0)
        self._mapped_override_redirect = []

    def override_redirect_maps(self, pid=None):
        """Override-redirect top-level windows mapped since watch_maps(True), optionally only
        those whose _NET_WM_PID is pid."""
        _xlib.XSync(self._dpy, 0)
        event = _XEvent()
        while _xlib.XPending(self._dpy):
            _xlib.XNextEvent(self._dpy, ctypes.byref(event))
            if event.type == _MAP_NOTIFY and event.xmap.override_redirect:
                self._mapped_override_redirect.append(event.xmap.window)
        return [w for w in self._mapped_override_redirect if pid is None or self.pid(w) == pid]

    def is_viewable(self, window):
        attrs = self.attributes(window)
        return bool(attrs) and attrs.map_state == _IS_VIEWABLE

    def pointer(self):
        root, child = Window(), Window()
        rx, ry, wx, wy, mask = (ctypes.c_int(), ctypes.c_int(), ctypes.c_int(), ctypes.c_int(),
                                ctypes.c_uint())
        _xlib.XQueryPointer(self._dpy, self.root, ctypes.byref(root), ctypes.byref(child),
                            ctypes.byref(rx), ctypes.byref(ry), ctypes.byref(wx),
                            ctypes.byref(wy), ctypes.byref(mask))
        return rx.value, ry.value

    def selection_owner(self, name):
        return _xlib.XGetSelectionOwner(self._dpy, self.atom(name))

    def input_focus(self):
        focus, revert = Window(), ctypes.c_int()
        _xlib.XGetInputFocus(self._dpy, ctypes.byref(focus), ctypes.byref(revert))
        return focus.value

    def ancestors(self, window):
        chain = []
        while window and window != self.root:
            chain.append(window)
            root, parent = Window(), Window()
            kids, count = ctypes.POINTER(Window)(), ctypes.c_uint()
            if not _xlib.XQueryTree(self._dpy, window, ctypes.byref(root), ctypes.byref(parent),
                                    ctypes.byref(kids), ctypes.byref(count)):
                break
            if kids:
                _xlib.XFree(kids)
            window = parent.value
        return chain

    def try_grab_keyboard(self):
        """Grabs and at once releases the keyboard; the result name tells whether another
        client held it (AlreadyGrabbed) or left it frozen by a synchronous grab (GrabFrozen)."""
        result = _xlib.XGrabKeyboard(self._dpy, self.root, 0, _GRAB_MODE_ASYNC, _GRAB_MODE_ASYNC,
                                     _CURRENT_TIME)
        if result == 0:
            _xlib.XUngrabKeyboard(self._dpy, _CURRENT_TIME)
        _xlib.XSync(self._dpy, 0)
        return GRAB_RESULTS.get(result, str(result))


def accepts_connections(name):
    dpy = _xlib.XOpenDisplay(name.encode())
    if dpy:
        _xlib.XCloseDisplay(dpy)
    return bool(dpy)


def wait_until(predicate, timeout, what, interval=0.02):
    """Polls predicate until it returns a true value, which is returned; raises AssertionError
    naming what was awaited when the deadline passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


def stays(predicate, duration, interval=0.05):
    """True when predicate holds at every poll over duration seconds: for checking that
    something does not happen (a panel staying open, a window staying active)."""
    deadline = time.monotonic() + duration
    while time.monotonic() < deadline:
        if not predicate():
            return False
        time.sleep(interval)
    return bool(predicate())
