"""Corvane's demo for a machine without a display: a private virtual desktop (Xvfb 1440x900,
openbox, a tray, a compositor) with sample windows, one switch driven from the keyboard, and
screenshots of each step in a folder it prints.

Run through scripts/demo, which installs the packages and builds the binaries first.
Usage: demo.py [--out DIR] [--no-compositor]
  --out DIR         where the screenshots go (default: build/demo/screenshots)
  --no-compositor   show the panel as it looks without a compositor (shape-masked corners)
Binaries: $CORVANE_BIN and $CORVANE_TESTCLIENT, else those in build/demo.
"""

import argparse
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tools", "desktop"))  # the desktop harness

import desktop as desk  # noqa: E402
from xprobe import wait_until  # noqa: E402

BUILD = os.path.join(ROOT, "build", "demo")

# (WM_CLASS, icon size, window titles): a small working day, five windows of four applications.
SAMPLE_APPS = [
    ("editor,Editor", 48, ["notes.txt — Editor", "switcher.cpp — Editor"]),
    ("terminal,Terminal", 48, ["~/src/corvane"]),
    ("browser,Browser", 48, ["Release notes — Browser"]),
    ("mail,Mail", 48, ["Inbox (3)"]),
]


def settle(seconds):
    # Lets the panel's fade-in (0.15 s) or fade-out (0.5 s) finish before a screenshot.
    time.sleep(seconds)


def run(out, compositor):
    binary = desk.find_executable("CORVANE_BIN", "corvane", BUILD)
    client = desk.find_executable("CORVANE_TESTCLIENT", "corvane-testclient", BUILD)
    if not binary or not client:
        sys.exit("demo: corvane or corvane-testclient is not built (run scripts/demo)")
    os.makedirs(out, exist_ok=True)
    d = desk.Desktop(os.path.join(out, "logs"), wm="openbox", compositor=compositor).start()
    try:
        windows = []
        for i, (wm_class, icon, titles) in enumerate(SAMPLE_APPS):
            args = ["--class", wm_class, "--icon", str(icon)]
            for title in titles:
                args += ["--window", title]
            windows += desk.TestClient(d, client, args, name=f"app{i}").windows
        for window in windows:
            d.activate(window)
        d.move_pointer(20, desk.SCREEN_HEIGHT - 20)
        try:
            d.start_corvane(binary)  # its grabs are in place: one press of the chord is enough
        except AssertionError as failure:
            sys.exit(f"demo: Corvane did not start: {failure}")
        steps = []

        def shot(name, caption):
            steps.append((d.screenshot(os.path.join(out, name)), caption))

        d.keydown("Alt_L")
        d.tap("Tab")
        try:
            d.wait_for_panel(timeout=10)
        except AssertionError:
            sys.exit("demo: Corvane did not open its panel; see " + d.corvane.log_path)
        settle(0.4)
        shot("1-alt-tab.png", "Alt held, Tab pressed: the second window is selected")
        d.tap("Tab")
        settle(0.2)
        shot("2-tab-again.png", "Tab again: the selection moves on")
        d.tap("Right")
        settle(0.2)
        shot("3-right-arrow.png", "Right arrow: one more step")
        before = d.x.title(d.x.active_window())
        d.keyup("Alt_L")
        wait_until(lambda: d.panel() is None, 5, "the panel to fade out")
        settle(0.2)
        raised = d.x.title(d.x.active_window())
        if raised == before:
            sys.exit("demo: releasing Alt raised no other window; see " + d.corvane.log_path)
        shot("4-released.png", f"Alt released: '{raised}' is raised (before: '{before}')")
    finally:
        d.stop()
    print(f"Corvane demo: {len(steps)} screenshots in {out}")
    for path, caption in steps:
        print(f"  {os.path.basename(path)}  {caption}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", default=os.path.join(BUILD, "screenshots"))
    parser.add_argument("--no-compositor", action="store_true")
    args = parser.parse_args()
    run(os.path.abspath(args.out), compositor=not args.no_compositor)


if __name__ == "__main__":
    main()
