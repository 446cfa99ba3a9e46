#!/usr/bin/env python3
"""Reads NUVE's accessibility tree over AT-SPI, as a screen reader does, and
fails on any button without a name. Runs the real program under the display
CTest gives (Xvfb) on a private D-Bus session bus (dbus-run-session), with
the main window, a second tab, the history window and the downloads list
open in turn. Also checks that the address box and the lists are labelled."""
import os
import subprocess
import sys
import tempfile
import time


def a11y_bus_of_this_session():
    """The accessibility bus of our private session bus. libatspi would look
    at the display's AT_SPI_BUS property first, which an earlier program on
    the same display may have left pointing at a bus that is gone; GTK asks
    the session bus, so the test asks it too."""
    reply = subprocess.run(["gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
                            "/org/a11y/bus", "--method", "org.a11y.Bus.GetAddress"],
                           capture_output=True, text=True, check=False).stdout.strip()
    # The reply reads ('unix:path=...,guid=...',)
    return reply[2:-3] if reply.startswith("('") else ""


ADDRESS = a11y_bus_of_this_session()
if ADDRESS:
    os.environ["AT_SPI_BUS_ADDRESS"] = ADDRESS

import pyatspi  # noqa: E402 (reads AT_SPI_BUS_ADDRESS when it loads)

BUTTON_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON}
EXPECTED = {"主页", "后退", "前进", "刷新", "停止", "转到", "关闭选项卡", "下载"}


def find_app(pid, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        # Nothing here runs a main loop for the registry's events: the list
        # of programs is read afresh each time.
        desktop.clear_cache()
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        time.sleep(0.3)
    return None


def walk(node, depth=0, seen=None):
    """Every accessible below `node` (pages' own content excluded)."""
    if node is None or depth > 60:
        return
    yield node
    if node.getRole() == pyatspi.ROLE_DOCUMENT_WEB:
        return  # a page's own content is the page's business
    for i in range(node.childCount):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def describe(node):
    path = []
    while node is not None and len(path) < 6:
        path.append(f"{node.getRoleName()}:{node.name!r}")
        node = node.parent
    return " < ".join(path)


def unnamed(name):
    """No name, or only the toolkit's type name (what a reader says for nothing)."""
    name = name.strip()
    return not name or name.startswith("Gtk") or name.startswith("gtkmm__")


def check(app, stage, failures, names):
    count = 0
    for node in walk(app):
        role = node.getRole()
        if role in BUTTON_ROLES:
            count += 1
            if unnamed(node.name):
                failures.append(f"{stage}: unnamed {describe(node)}")
            names.add(node.name)
        if role in (pyatspi.ROLE_ENTRY, pyatspi.ROLE_TEXT) and unnamed(node.name):
            states = node.getState()
            if states.contains(pyatspi.STATE_SHOWING):
                failures.append(f"{stage}: unlabelled text box {describe(node)}")
        if role in (pyatspi.ROLE_LIST, pyatspi.ROLE_LIST_BOX) and unnamed(node.name):
            failures.append(f"{stage}: unlabelled list {describe(node)}")
    return count


def key(keys):
    subprocess.run(["xdotool", "key", keys], check=False)
    time.sleep(1.0)


def main():
    nuve = sys.argv[1]
    home = tempfile.mkdtemp()
    env = dict(os.environ, NUVE_HOME=home, NUVE_VERSION_SOURCE="http://127.0.0.1:9",
               NUVE_SERVICE_HOST="127.0.0.1:9", NUVE_PORTAL_A="data:text/html,<title>start page</title>",
               GTK_A11Y="atspi")
    program = subprocess.Popen([nuve], env=env, stderr=open(os.path.join(home, "stderr"), "w"))
    failures = []
    names = set()
    try:
        app = find_app(program.pid)
        if app is None:
            print("FAIL: NUVE never showed up on the accessibility bus")
            print(open(os.path.join(home, "stderr")).read())
            return 1
        time.sleep(2)
        # No window manager gives the window the focus: a click into it does.
        subprocess.run(["xdotool", "mousemove", "400", "400", "click", "1"], check=False)
        time.sleep(0.5)
        buttons = check(app, "main window", failures, names)
        key("ctrl+t")  # a second tab shows its close button
        buttons += check(app, "second tab", failures, names)
        key("ctrl+h")
        buttons += check(app, "history window", failures, names)
        key("Escape")
        if buttons == 0:
            failures.append("no buttons were found at all")
        missing = EXPECTED - names
        if missing:
            failures.append("buttons not found by name: " + ", ".join(sorted(missing)))
    finally:
        program.terminate()
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print(f"1 passed, 0 failed (buttons: {', '.join(sorted(names))})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
