"""Prints each text the installer's status line takes, as a screen reader
hears it over the accessibility bus: one line a change, flushed at once.
Runs until killed. Needs the system's python3 with pyatspi.
    status_reader.py <application name>"""
import sys

import pyatspi

APP = sys.argv[1]
last = [None]


def report(text):
    if text != last[0]:
        last[0] = text
        print(text, flush=True)


def in_app(accessible):
    try:
        return accessible.getApplication().name == APP
    except Exception:  # the object went away under us
        return False


def on_name(event):
    source = event.source
    if source is not None and source.getRole() == pyatspi.ROLE_LABEL and in_app(source):
        report(source.name)


def find_label(accessible):
    if accessible.getRole() == pyatspi.ROLE_LABEL:
        return accessible
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        found = child is not None and find_label(child)
        if found:
            return found
    return None


def initial():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == APP:
            label = find_label(app)
            if label is not None:
                report(label.name)


pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
initial()
pyatspi.Registry.start()
