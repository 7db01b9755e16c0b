"""Reads the installer's window as a screen reader does, over the
accessibility bus, and presses Install through its action: the two sprite
buttons with their names, states and action, the list's label, and the
progress bar's value while the setup downloads. Prints what it checked;
exits 1 at the first check that fails. Needs the system's python3 with
pyatspi, and xdotool for the Tab key.
    button_reader.py <application name>"""
import subprocess
import sys
import time

import pyatspi

APP = sys.argv[1]


def fail(text):
    print("FAILED: " + text, flush=True)
    sys.exit(1)


def wait(what, check, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    fail(what)


def app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        child = desktop.getChildAtIndex(i)
        if child is not None and child.name == APP:
            return child
    return None


def find(accessible, role):
    found = []
    if accessible.getRole() == role:
        found.append(accessible)
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            found += find(child, role)
    return found


def states(accessible):
    return set(accessible.getState().getStates())


def button(name):
    return next(b for b in buttons if b.name == name)


root = wait("the application is not on the bus", app)
canvas = wait("no drawing area", lambda: find(root, pyatspi.ROLE_DRAWING_AREA))[0]
buttons = [canvas.getChildAtIndex(i) for i in range(canvas.childCount)]
if [b.getRole() for b in buttons] != [pyatspi.ROLE_PUSH_BUTTON] * 2:
    fail("the drawing area's children are %s" % [b.getRoleName() for b in buttons])
if [b.name for b in buttons] != ["Install", "Close"]:
    fail("the buttons are named %s" % [b.name for b in buttons])
for b in buttons:
    if pyatspi.STATE_FOCUSABLE not in states(b) or pyatspi.STATE_FOCUSED in states(b):
        fail("%s is not focusable, or focused at the start" % b.name)
    action = b.queryAction()
    if action.nActions != 1 or action.getName(0) != "click":
        fail("%s's actions: %d" % (b.name, action.nActions))
    extents = b.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    if extents.width != 85 or extents.height != 30:
        fail("%s's extents %s" % (b.name, extents))
print("buttons: Install, Close; push buttons, focusable, a click action, 85 x 30", flush=True)

combo = find(root, pyatspi.ROLE_COMBO_BOX)
if len(combo) != 1 or combo[0].name != "Language":
    fail("the combo box is named %s" % [c.name for c in combo])
print("combo box: Language", flush=True)

wait("Install never became sensitive", lambda: pyatspi.STATE_SENSITIVE in states(button("Install")))
if pyatspi.STATE_SENSITIVE not in states(button("Close")):
    fail("Close is not sensitive")
subprocess.run(["xdotool", "key", "Tab"], check=True)
wait("Tab did not focus Install", lambda: pyatspi.STATE_FOCUSED in states(button("Install")), 5)
if pyatspi.STATE_FOCUSED in states(button("Close")):
    fail("both buttons are focused")
print("Install: sensitive once the configuration is in, focused after Tab", flush=True)

bar = find(root, pyatspi.ROLE_PROGRESS_BAR)[0]
button("Install").queryAction().doAction(0)
wait("Install is still sensitive after its action",
     lambda: pyatspi.STATE_SENSITIVE not in states(button("Install")), 10)
values = []


def moving():
    if pyatspi.STATE_SHOWING in states(bar):
        value = bar.queryValue().currentValue
        if not values or values[-1] != value:
            values.append(value)
    return len(values) >= 3


wait("the bar's value did not move: %s" % values, moving, 60)
if values != sorted(values) or not 0 <= values[0] < values[-1] <= bar.queryValue().maximumValue:
    fail("the bar's values %s" % values)
print("action: Install pressed; the bar's value rose %s" % ", ".join("%.2f" % v for v in values), flush=True)
