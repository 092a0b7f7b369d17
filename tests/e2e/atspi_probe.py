"""Answers questions about a running viewer's controls from the accessibility tree.

Runs inside one test session's environment (its display and session bus), so the
accessibility registry it talks to is that session's. Reads one command per line on
standard input and answers with one line of JSON:

  controls PID   every control of the viewer's window that carries a designer name
                 (its accessible description): name, showing, enabled, extents, and the
                 text of a text field
  menu PID       the items of an open popup menu: name, showing, extents
  widgets PID    every named object of every window of the viewer (dialogs, scrolled
                 lists too, pages aside): role, name, description, extents, states
"""
import json
import sys

import pyatspi


def states(acc):
    s = acc.getState()
    return {
        "showing": s.contains(pyatspi.STATE_SHOWING),
        "enabled": s.contains(pyatspi.STATE_SENSITIVE),
        "checked": s.contains(pyatspi.STATE_CHECKED),
        "focused": s.contains(pyatspi.STATE_FOCUSED),
        "focusable": s.contains(pyatspi.STATE_FOCUSABLE),
    }


def extents(acc):
    try:
        e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return [e.x, e.y, e.width, e.height]
    except NotImplementedError:
        return None


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def walk(acc, visit, depth=0, into_scrolled=False):
    if acc is None or depth > 16:
        return
    visit(acc)
    role = acc.getRole()
    # The page's own content is the browser's business, not ours.
    if role == pyatspi.ROLE_DOCUMENT_WEB or (role == pyatspi.ROLE_SCROLL_PANE and
                                              not into_scrolled):
        return
    for i in range(acc.childCount):
        walk(acc.getChildAtIndex(i), visit, depth + 1, into_scrolled)


def widgets(pid):
    found = []
    app = application(pid)

    def visit(acc):
        if acc.name or acc.description:
            found.append(dict(role=acc.getRoleName(), name=acc.name,
                              description=acc.description, extents=extents(acc),
                              **states(acc)))

    if app is not None:
        walk(app, visit, into_scrolled=True)
    return found


def text(acc):
    """What a text field holds; None for other controls."""
    if acc.getRole() not in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY):
        return None
    try:
        return acc.queryText().getText(0, -1)
    except NotImplementedError:
        return None


def controls(pid):
    found = {}
    app = application(pid)

    def visit(acc):
        if acc.description and acc.getRole() != pyatspi.ROLE_MENU_ITEM:
            found[acc.description] = dict(name=acc.name, extents=extents(acc), text=text(acc),
                                          **states(acc))

    if app is not None:
        walk(app, visit)
    return found


def menu(pid):
    items = {}
    app = application(pid)

    def visit(acc):
        if acc.getRole() in (pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM,
                             pyatspi.ROLE_RADIO_MENU_ITEM, pyatspi.ROLE_MENU):
            items[acc.name] = dict(extents=extents(acc), **states(acc))

    if app is not None:
        walk(app, visit)
    return items


def main():
    for line in sys.stdin:
        parts = line.split()
        try:
            if parts[0] == "controls":
                answer = controls(int(parts[1]))
            elif parts[0] == "menu":
                answer = menu(int(parts[1]))
            elif parts[0] == "widgets":
                answer = widgets(int(parts[1]))
            else:
                answer = {"error": "unknown command"}
        except Exception as error:  # an answer, never a dead probe
            answer = {"error": str(error)}
        sys.stdout.write(json.dumps(answer) + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
