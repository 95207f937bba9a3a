#!/usr/bin/python3
# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The kcm_zel_admin_time authors
"""Reads the module in kcmshell5 through the accessibility tree, as a screen
reader does, and checks it the way a user meets it:

  a11y-check.py DONE_FILE [--dump]

(--dump prints the tree; ZEL_A11Y_SHOT, a shell command with %s for the
service, runs after each page, e.g. to take a screenshot.)

- every focusable control that shows, in the window and on each page, has a
  name, a button one of its own (not its group box's);
- each service's page fits its pane: no control that shows reaches past the
  pane's left or right edge (the pages never scroll sideways);
- on the chrony page, a malformed address in the new server's field disables
  Test and says why right under the field, in view; a test's result shows
  there too.

Writes DONE_FILE when finished (the session then takes its screenshot and
ends). Exits non-zero on any failure."""

import os
import subprocess
import sys
import time

import pyatspi

failures = []


def fail(text):
    print("FAIL: " + text, flush=True)
    failures.append(text)


def wait_for(what, condition, limit=90):
    """The condition's first true value, or None after LIMIT seconds."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            value = condition()
        except Exception:  # the tree changes while it is read
            value = None
        if value:
            return value
        time.sleep(0.3)
    fail("never happened: " + what)
    return None


def walk(acc, skip_items=True):
    yield acc
    role = acc.getRole()
    # The cells of item views are the views' business, not the page's layout.
    if skip_items and role in (pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST, pyatspi.ROLE_TREE_TABLE):
        return
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, skip_items)


def showing(acc):
    return acc.getState().contains(pyatspi.STATE_SHOWING)


def extents(acc):
    try:
        box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    except NotImplementedError:  # the application itself has no place
        return 0, 0, 0, 0
    return box.x, box.y, box.width, box.height


def describe(acc):
    return "%s '%s'" % (acc.getRoleName(), acc.name)


def find(root, condition):
    return next((acc for acc in walk(root) if condition(acc)), None)


def kcmshell():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "kcmshell5":
            return app
    return None


def services_list(app):
    # The list whose rows are the services: the one named after its group.
    return find(app, lambda a: a.getRole() == pyatspi.ROLE_LIST and showing(a) and a.childCount > 0
                and a.getChildAtIndex(0).name in ("chrony", "systemd-timesyncd", "ntpsec", "openntpd"))


def unnamed(root, where, exempt=()):
    for acc in walk(root, skip_items=False):
        state = acc.getState()
        if acc in exempt or extents(acc)[2] == 0:
            continue
        if state.contains(pyatspi.STATE_FOCUSABLE) and state.contains(pyatspi.STATE_SHOWING) and not acc.name.strip():
            fail("%s: a focusable %s at %s has no name" % (where, acc.getRoleName(), extents(acc)))
        # Qt names a button without a name of its own after its group box.
        if acc.getRole() == pyatspi.ROLE_PUSH_BUTTON and acc.name and acc.name == acc.parent.name:
            fail("%s: a button at %s has only its group's name '%s'" % (where, extents(acc), acc.name))


def pane_of(app, service):
    """The scroll area named for the service's settings."""
    return find(app, lambda a: a.getRole() == pyatspi.ROLE_FILLER and showing(a) and a.name.endswith(" " + service))


def ancestors(acc):
    chain = []
    while acc is not None and acc.getRole() != pyatspi.ROLE_APPLICATION:
        acc = acc.parent
        chain.append(acc)
    return chain


def check_fits(pane, service):
    x, _, width, _ = extents(pane)
    right = x + width
    # The pane's own scroll bars sit in containers of their own.
    boxes = [pane.getChildAtIndex(i) for i in range(pane.childCount)]
    bars = [box.getChildAtIndex(j) for box in boxes for j in range(box.childCount)
            if box.getChildAtIndex(j).getRole() == pyatspi.ROLE_SCROLL_BAR]
    for child in bars:
        if showing(child):
            cx, _, cw, ch = extents(child)
            if cw < ch:
                right = min(right, cx)
            else:
                fail("%s: the page scrolls sideways" % service)
    for acc in walk(pane):
        if acc == pane or acc in boxes and acc.childCount and acc.getChildAtIndex(0) in bars or not showing(acc):
            continue
        if acc.getRole() == pyatspi.ROLE_SCROLL_BAR:
            continue
        ax, _, aw, _ = extents(acc)
        if aw > 0 and (ax < x or ax + aw > right):
            fail("%s: %s spans %d..%d, out of the pane's %d..%d" % (service, describe(acc), ax, ax + aw, x, right))


def check_feedback(pane):
    """What the new server's field says shows right under it: why an address
    is not taken (here: listed already; a malformed one uses the same place)
    and the server test's result."""
    edit = find(pane, lambda a: a.getRole() in (pyatspi.ROLE_ENTRY, pyatspi.ROLE_TEXT) and showing(a)
                and a.name in ("New server", "Новый сервер"))
    test = find(pane, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and a.name in ("Test", "Проверить"))
    if not edit or not test:
        fail("chrony: no new server field or no Test button")
        return
    _, ey, _, eh = extents(edit)

    def labels():
        return [(a.name, extents(a)) for a in walk(pane) if a.getRole() == pyatspi.ROLE_LABEL and showing(a)]

    def under_field(*words):
        # Within two lines below the field's row (the hint, then the result).
        return [name for name, (_, ly, _, _) in labels()
                if any(word in name for word in words) and ey + eh <= ly <= ey + 3 * eh]

    # Qt's accessible line edit takes only what its validator accepts.
    edit.queryEditableText().setTextContents("127.0.0.1")
    if not wait_for("the reason an address is not taken under the field", lambda: under_field("list", "списке"), 30):
        print("labels: %s" % labels())
    wait_for("Test enabled for a valid address", lambda: test.getState().contains(pyatspi.STATE_ENABLED), 30)
    test.queryAction().doAction(0)
    if not wait_for("the test's result under the field", lambda: under_field(" 10"), 30):
        print("labels: %s" % labels())
    edit.queryEditableText().setTextContents("")


def dump(acc, depth=0):
    print("%s%s name=%r showing=%s %s" % ("  " * depth, acc.getRoleName(), acc.name, showing(acc), extents(acc)))
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            dump(child, depth + 1)


def main():
    try:
        check()
    except Exception as error:  # still let the session end
        fail("the check broke: %r" % error)
        raise
    finally:
        with open(sys.argv[1], "w") as mark:
            mark.write("done\n")
    return 1 if failures else 0


def check():
    app = wait_for("kcmshell5 in the accessibility tree", kcmshell)
    if not app:
        desktop = pyatspi.Registry.getDesktop(0)
        print("applications seen: %s" % [desktop.getChildAtIndex(i).name for i in range(desktop.childCount)])
    services = app and wait_for("the service list", lambda: services_list(app))
    if services:
        if "--dump" in sys.argv:
            dump(app)
        # The host's containers around the module (its scroll area) are not
        # the module's to name.
        unnamed(app, "the window", ancestors(services.parent.parent.parent))
        table = services.queryTable()
        for row in range(table.nRows):
            service = services.getChildAtIndex(row).name
            # Selected again while its page does not show: the view may be busy.
            pane = wait_for(service + "'s page", lambda: pane_of(app, service) or table.addRowSelection(row) and None, 30)
            if not pane:
                continue
            unnamed(pane, service)
            check_fits(pane, service)
            if service == "chrony":
                check_feedback(pane)
            print("checked: " + service, flush=True)
            if os.environ.get("ZEL_A11Y_SHOT"):
                time.sleep(1)
                # For looking at the pages: a shell command, %s the service.
                subprocess.run(os.environ["ZEL_A11Y_SHOT"].replace("%s", service), shell=True, check=False)


if __name__ == "__main__":
    sys.exit(main())
