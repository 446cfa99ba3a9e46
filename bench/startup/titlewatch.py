#!/usr/bin/env python3
"""Window-title watcher for the start-up benchmark (standard library only).

Starting a program such as xdotool for every poll costs tens to hundreds of
milliseconds on a busy machine, which would blur start-up times of about a
second. This watcher stays connected to the X server (through libX11 via
ctypes) and learns of new top-level windows and title changes from X events,
so a title is noticed when it is set, at no polling cost.

Protocol, one line each way:
  in:  watch PID DEADLINE_US [TAG]
                               wait for a window whose _NET_WM_PID is PID and
                               whose title contains the text given with
                               --title; DEADLINE_US is microseconds since the
                               epoch (the same clock as bash's EPOCHREALTIME).
                               With TAG, a window of any process whose
                               environment holds NUVE_BENCH_LAUNCH=TAG counts
                               too (a browser that hands its window to another
                               process it started), and the browser has only
                               exited when no such process is left.
  out: found WINDOW_ID TIME_US TITLE
                               the title was seen at TIME_US
       timeout                 the deadline passed
       exited                  process PID is gone
  in:  quit
The watcher prints "ready" once it listens. It exits on "quit" or when its
input closes.
"""

import argparse
import ctypes
import ctypes.util
import os
import select
import sys
import time

c_int, c_uint, c_long, c_ulong = ctypes.c_int, ctypes.c_uint, ctypes.c_long, ctypes.c_ulong
c_void_p, c_char_p, c_ubyte = ctypes.c_void_p, ctypes.c_char_p, ctypes.c_ubyte
Window = Atom = c_ulong

CREATE_NOTIFY = 16
REPARENT_NOTIFY = 21
PROPERTY_NOTIFY = 28
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
PROPERTY_CHANGE_MASK = 1 << 22
ANY_PROPERTY_TYPE = 0

SCAN_INTERVAL = 0.2   # full re-scan, in case an event was missed


class XAnyEvent(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("window", Window)]


class XCreateWindowEvent(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("parent", Window), ("window", Window),
                ("x", c_int), ("y", c_int), ("width", c_int), ("height", c_int),
                ("border_width", c_int), ("override_redirect", c_int)]


class XReparentEvent(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("event", Window), ("window", Window),
                ("parent", Window), ("x", c_int), ("y", c_int),
                ("override_redirect", c_int)]


class XPropertyEvent(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int),
                ("display", c_void_p), ("window", Window), ("atom", Atom),
                ("time", c_ulong), ("state", c_int)]


class XEvent(ctypes.Union):
    _fields_ = [("type", c_int), ("xany", XAnyEvent),
                ("xcreatewindow", XCreateWindowEvent),
                ("xreparent", XReparentEvent), ("xproperty", XPropertyEvent),
                ("pad", c_long * 24)]


ERROR_HANDLER = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p)


def load_xlib():
    name = ctypes.util.find_library("X11") or "libX11.so.6"
    x = ctypes.CDLL(name)
    x.XOpenDisplay.restype = c_void_p
    x.XOpenDisplay.argtypes = [c_char_p]
    x.XDefaultRootWindow.restype = Window
    x.XDefaultRootWindow.argtypes = [c_void_p]
    x.XConnectionNumber.argtypes = [c_void_p]
    x.XSelectInput.argtypes = [c_void_p, Window, c_long]
    x.XPending.argtypes = [c_void_p]
    x.XNextEvent.argtypes = [c_void_p, ctypes.POINTER(XEvent)]
    x.XInternAtom.restype = Atom
    x.XInternAtom.argtypes = [c_void_p, c_char_p, c_int]
    x.XGetWindowProperty.argtypes = [
        c_void_p, Window, Atom, c_long, c_long, c_int, Atom,
        ctypes.POINTER(Atom), ctypes.POINTER(c_int), ctypes.POINTER(c_ulong),
        ctypes.POINTER(c_ulong), ctypes.POINTER(ctypes.POINTER(c_ubyte))]
    x.XQueryTree.argtypes = [
        c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
        ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(c_uint)]
    x.XFree.argtypes = [c_void_p]
    x.XFlush.argtypes = [c_void_p]
    x.XSync.argtypes = [c_void_p, c_int]
    x.XSetErrorHandler.restype = c_void_p
    x.XSetErrorHandler.argtypes = [ERROR_HANDLER]
    return x


def now_us() -> int:
    return time.time_ns() // 1000


TAG_VARIABLE = b"NUVE_BENCH_LAUNCH="


def has_tag(pid: int, tag) -> bool:
    """Whether process pid's environment holds NUVE_BENCH_LAUNCH=tag."""
    if not tag:
        return False
    try:
        with open(f"/proc/{pid}/environ", "rb") as f:
            return TAG_VARIABLE + tag in f.read().split(b"\0")
    except OSError:
        return False


def tagged_alive(tag) -> bool:
    """Whether any live process carries the launch tag."""
    for entry in os.listdir("/proc"):
        if entry.isdigit() and not process_gone(int(entry)) and has_tag(int(entry), tag):
            return True
    return False


def process_gone(pid: int) -> bool:
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            data = f.read()
    except OSError:
        return True
    state = data[data.rfind(b")") + 2:][:1]
    return state in (b"Z", b"X")


class Watcher:
    def __init__(self, title: str):
        self.needle = title
        self.x = load_xlib()
        # Windows come and go while we look at them; a BadWindow must not end
        # the watcher (Xlib's default handler exits the process).
        self._on_error = ERROR_HANDLER(lambda d, e: 0)
        self.x.XSetErrorHandler(self._on_error)
        self.dpy = self.x.XOpenDisplay(None)
        if not self.dpy:
            raise SystemExit("titlewatch: cannot open display " + os.environ.get("DISPLAY", "(unset)"))
        self.root = self.x.XDefaultRootWindow(self.dpy)
        atom = lambda n: self.x.XInternAtom(self.dpy, n.encode(), 0)
        self.a_net_wm_name = atom("_NET_WM_NAME")
        self.a_wm_name = atom("WM_NAME")
        self.a_net_wm_pid = atom("_NET_WM_PID")
        self.title_atoms = {self.a_net_wm_name, self.a_wm_name, self.a_net_wm_pid}
        self.x.XSelectInput(self.dpy, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        self.x.XSync(self.dpy, 0)
        for w in self.toplevels():
            self.follow(w)
        self.x.XFlush(self.dpy)
        self.fd = self.x.XConnectionNumber(self.dpy)

    def follow(self, w: int) -> None:
        self.x.XSelectInput(self.dpy, w, PROPERTY_CHANGE_MASK)

    def toplevels(self):
        root_ret, parent_ret = Window(), Window()
        children = ctypes.POINTER(Window)()
        n = c_uint()
        if not self.x.XQueryTree(self.dpy, self.root, ctypes.byref(root_ret),
                                 ctypes.byref(parent_ret), ctypes.byref(children),
                                 ctypes.byref(n)):
            return []
        out = [children[i] for i in range(n.value)]
        if children:
            self.x.XFree(children)
        return out

    def prop(self, w: int, atom: int):
        """(format, bytes) of a window property, or None."""
        typ, fmt, nitems, after = Atom(), c_int(), c_ulong(), c_ulong()
        data = ctypes.POINTER(c_ubyte)()
        rc = self.x.XGetWindowProperty(self.dpy, w, atom, 0, 4096, 0, ANY_PROPERTY_TYPE,
                                       ctypes.byref(typ), ctypes.byref(fmt),
                                       ctypes.byref(nitems), ctypes.byref(after),
                                       ctypes.byref(data))
        if rc != 0 or not data:
            return None
        try:
            if fmt.value == 8:
                return 8, ctypes.string_at(data, nitems.value)
            if fmt.value == 32:
                # Xlib hands 32-bit items back as C longs
                arr = ctypes.cast(data, ctypes.POINTER(c_ulong))
                return 32, [arr[i] for i in range(nitems.value)]
            return None
        finally:
            self.x.XFree(data)

    def window_pid(self, w: int):
        p = self.prop(w, self.a_net_wm_pid)
        if p and p[0] == 32 and p[1]:
            return int(p[1][0])
        return None

    def window_title(self, w: int) -> str:
        p = self.prop(w, self.a_net_wm_name)
        if p and p[0] == 8:
            return p[1].decode("utf-8", "replace")
        p = self.prop(w, self.a_wm_name)
        if p and p[0] == 8:
            return p[1].decode("latin-1")
        return ""

    def matches(self, w: int, pid: int, tag=None) -> bool:
        owner = self.window_pid(w)
        if owner is None or (owner != pid and not has_tag(owner, tag)):
            return False
        return self.needle in self.window_title(w)

    def scan(self, pid: int, tag=None):
        for w in self.toplevels():
            self.follow(w)
            if self.matches(w, pid, tag):
                return w
        return None

    def drain(self, pid, tag=None):
        """Handles queued X events; returns (window, time) of a match or None."""
        ev = XEvent()
        found = None
        while self.x.XPending(self.dpy) > 0:
            self.x.XNextEvent(self.dpy, ctypes.byref(ev))
            t = now_us()
            w = None
            if ev.type == CREATE_NOTIFY and ev.xcreatewindow.parent == self.root:
                w = ev.xcreatewindow.window
                self.follow(w)
            elif ev.type == REPARENT_NOTIFY and ev.xreparent.parent == self.root:
                w = ev.xreparent.window
                self.follow(w)
            elif ev.type == PROPERTY_NOTIFY and ev.xproperty.atom in self.title_atoms:
                w = ev.xproperty.window
            if found is None and pid is not None and w is not None and self.matches(w, pid, tag):
                found = (w, t)
        self.x.XFlush(self.dpy)
        return found


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--title", required=True, help="text the window title must contain")
    args = ap.parse_args()

    wt = Watcher(args.title)
    out = sys.stdout
    print("ready", file=out, flush=True)

    inbuf = b""
    target = None          # (pid, deadline_us, tag or None)
    next_scan = 0.0
    while True:
        # Xlib may already hold events read during earlier requests, so the
        # queue is handled before every wait, not only when the socket wakes.
        if target is None:
            wt.drain(None)
        else:
            pid, deadline, tag = target
            hit = wt.drain(pid, tag)
            if hit is None and time.monotonic() >= next_scan:
                next_scan = time.monotonic() + SCAN_INTERVAL
                w = wt.scan(pid, tag)
                if w is not None:
                    hit = (w, now_us())
                elif process_gone(pid) and not tagged_alive(tag):
                    print("exited", file=out, flush=True)
                    target = None
                    continue
            if hit is not None:
                title = " ".join(wt.window_title(hit[0]).split())
                print(f"found 0x{hit[0]:x} {hit[1]} {title}", file=out, flush=True)
                target = None
                continue
            if now_us() >= deadline:
                print("timeout", file=out, flush=True)
                target = None
                continue

        timeout = None
        if target is not None:
            timeout = max(0.0, min(next_scan - time.monotonic(),
                                   (target[1] - now_us()) / 1e6))
        readable, _, _ = select.select([0, wt.fd], [], [], timeout)

        if 0 in readable:
            chunk = os.read(0, 4096)
            if not chunk:
                return 0
            inbuf += chunk
            while b"\n" in inbuf:
                line, inbuf = inbuf.split(b"\n", 1)
                parts = line.decode("ascii", "replace").split()
                if not parts:
                    continue
                if parts[0] == "quit":
                    return 0
                if (parts[0] == "watch" and len(parts) in (3, 4)
                        and parts[1].isdigit() and parts[2].isdigit()):
                    tag = parts[3].encode() if len(parts) == 4 else None
                    target = (int(parts[1]), int(parts[2]), tag)
                    next_scan = 0.0
                else:
                    print("error bad command", file=out, flush=True)

if __name__ == "__main__":
    sys.exit(main())
