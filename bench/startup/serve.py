#!/usr/bin/env python3
"""Page server for the start-up benchmark (standard library only).

Serves one small page with a known <title> on 127.0.0.1 and holds a second
loopback port that is bound but never listens, so that every connection to it
is refused at once. The benchmark points the browser's version lookup and
account service at that closed port.

Once both ports are ready it writes "<page port> <closed port>" to the file
given with --ready (written to a temporary name and renamed, so the reader
never sees half a line). Every request for the page is appended to --log as
one line, flushed immediately, so the benchmark can count page loads. The page
is sent with "Cache-Control: no-store", so every tab and every start fetches it
again and shows up in the log.

The server exits on SIGTERM/SIGINT, and also on its own when the process given
with --parent is gone, so a benchmark that was killed outright leaves no server
behind.
"""

import argparse
import http.server
import os
import signal
import socket
import sys
import threading

PAGE_TEMPLATE = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>{title}</title>
<style>
  body {{ font-family: sans-serif; margin: 2em auto; max-width: 46em; line-height: 1.5; }}
  h1 {{ color: #234; }}
  .box {{ border: 1px solid #9ab; border-radius: 6px; padding: 0.5em 1em; background: #f4f8fb; }}
  li {{ margin: 0.2em 0; }}
</style>
</head>
<body>
<h1>{title}</h1>
<p>A small local page for timing browser start-up. It loads nothing else:
no images, no scripts from elsewhere, no fonts from the network.</p>
<div class="box">
<p>The same page is served to every browser under test, so differences in
start-up time and memory come from the browser, not from the content.</p>
</div>
<ul>
{items}
</ul>
<p id="js">script did not run</p>
<script>document.getElementById("js").textContent = "script ran";</script>
</body>
</html>
"""


def build_page(title: str) -> bytes:
    items = "\n".join(f"<li>Line {i}: plain text to lay out.</li>" for i in range(1, 41))
    # The title is placed into HTML; keep it literal text.
    safe = (title.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;"))
    return PAGE_TEMPLATE.format(title=safe, items=items).encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    page = b""
    log_file = None
    log_lock = threading.Lock()

    def _log_request_line(self, status: int) -> None:
        with self.log_lock:
            self.log_file.write(f"{self.command} {self.path} {status}\n")
            self.log_file.flush()

    def _send(self, status: int, body: bytes, ctype: str) -> None:
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self) -> None:
        path = self.path.split("?", 1)[0]
        if path in ("/", "/index.html"):
            self._log_request_line(200)
            self._send(200, self.page, "text/html; charset=utf-8")
        else:
            self._log_request_line(404)
            self._send(404, b"not found\n", "text/plain; charset=utf-8")

    do_HEAD = do_GET

    def log_message(self, fmt, *args) -> None:  # keep stderr quiet
        pass


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--title", required=True)
    ap.add_argument("--ready", required=True, help="file to write '<port> <closed port>' to")
    ap.add_argument("--log", required=True, help="file to append one line per request to")
    ap.add_argument("--parent", type=int, default=0, help="exit when this pid is gone")
    args = ap.parse_args()

    # A loopback port that is bound but not listening: connections to it are
    # refused, and no other program can take it while we hold it.
    closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    closed.bind(("127.0.0.1", 0))
    closed_port = closed.getsockname()[1]

    Handler.page = build_page(args.title)
    Handler.log_file = open(args.log, "a", encoding="utf-8")

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    port = server.server_address[1]

    def stop(*_):
        # shutdown() blocks until serve_forever() returns; run it off the
        # signal handler's thread.
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    if args.parent > 0:
        def watch_parent():
            ev = threading.Event()
            while not ev.wait(1.0):
                try:
                    os.kill(args.parent, 0)
                except ProcessLookupError:
                    stop()
                    return
                except PermissionError:
                    pass
        threading.Thread(target=watch_parent, daemon=True).start()

    tmp = args.ready + ".tmp"
    with open(tmp, "w", encoding="ascii") as f:
        f.write(f"{port} {closed_port}\n")
    os.replace(tmp, args.ready)

    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        closed.close()
        Handler.log_file.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
