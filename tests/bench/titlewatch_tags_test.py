#!/usr/bin/env python3
"""The title watcher's launch tags: a process carries a tag only as a whole
environment entry (no prefix or longer tag matches), and a tag counts as alive
exactly while a live process carries it. A browser that hands its window to a
process it started is found, and not reported gone, through these."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench", "startup"))
sys.dont_write_bytecode = True
import titlewatch  # noqa: E402


class LaunchTagTest(unittest.TestCase):
    def start(self, tag):
        env = dict(os.environ, NUVE_BENCH_LAUNCH=tag, OTHER="NUVE_BENCH_LAUNCH=decoy")
        child = subprocess.Popen(["sleep", "30"], env=env)
        self.addCleanup(lambda: (child.kill(), child.wait()))
        # Until it has started sleep, the child still shows this process's
        # environment.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            with open(f"/proc/{child.pid}/cmdline", "rb") as f:
                if f.read().startswith(b"sleep\0"):
                    break
            time.sleep(0.01)
        return child

    def test_whole_entry_only(self):
        child = self.start("run7-12")
        self.assertTrue(titlewatch.has_tag(child.pid, b"run7-12"))
        self.assertFalse(titlewatch.has_tag(child.pid, b"run7-1"))
        self.assertFalse(titlewatch.has_tag(child.pid, b"run7-123"))
        self.assertFalse(titlewatch.has_tag(child.pid, b"decoy"))
        self.assertFalse(titlewatch.has_tag(child.pid, None))
        self.assertFalse(titlewatch.has_tag(2 ** 22 + 12345, b"run7-12"))

    def test_alive_while_carried(self):
        tag = f"alive{os.getpid()}"
        child = self.start(tag)
        self.assertTrue(titlewatch.tagged_alive(tag.encode()))
        self.assertFalse(titlewatch.tagged_alive(tag.encode() + b"x"))
        child.kill()
        child.wait()
        self.assertFalse(titlewatch.tagged_alive(tag.encode()))

    def test_zombie_is_gone(self):
        tag = f"zombie{os.getpid()}"
        child = self.start(tag)
        child.kill()
        os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)  # exited, not yet reaped
        self.assertTrue(titlewatch.process_gone(child.pid))
        self.assertFalse(titlewatch.tagged_alive(tag.encode()))


if __name__ == "__main__":
    unittest.main()
