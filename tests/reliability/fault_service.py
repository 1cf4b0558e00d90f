"""A parse service that misbehaves on request, and decoy listeners, for the reliability tests.

The driver runs them in its own process, so that it can close the parse service's port (the
"connection refused" case) and see every connection a decoy gets. The fault is chosen by the
typed text: /?url=fault:NAME. Anything else gets a plain page.

Request lines are read without a length limit of their own (Python's http.server refuses lines
over 64 KiB), so that what the engine sends for very long texts arrives whole.
"""

import socket
import struct
import threading
import time
import urllib.parse

ELSEWHERE_PORT = 47814  # where the redirect points; a decoy that answers

PAGE = ("<!DOCTYPE html><html><head><meta charset='utf-8'><title>reliability</title></head>"
        "<body style='margin:0;background:#203050;color:#fff;height:100vh'>"
        "<p>received %d bytes</p></body></html>")

# The left half is a link with target=_blank, the right half calls window.open on a click;
# the load itself also tries window.open, which the engine blocks without a user's gesture.
NEW_WINDOW_PAGE = """<!DOCTYPE html><html><head><meta charset="utf-8"><title>new window</title>
<style>body { margin: 0; background: #305020; } a, div { position: fixed; top: 0; bottom: 0;
 width: 50%%; display: block; } a { left: 0; background: #503020; } div { right: 0; }</style>
</head><body><a href="http://127.0.0.1:%(port)d/blank" target="_blank">blank</a>
<div onclick="window.open('http://127.0.0.1:%(port)d/opened')">open</div>
<script>window.open("http://127.0.0.1:%(port)d/onload");</script></body></html>"""


def respond(conn, status, body, content_type="text/html; charset=utf-8", headers=()):
    head = ["HTTP/1.1 %s" % status, "Content-Type: " + content_type,
            "Content-Length: %d" % len(body), "Cache-Control: no-store", "Connection: close"]
    head += list(headers)
    conn.sendall(("\r\n".join(head) + "\r\n\r\n").encode("latin-1") + body)


def read_head(conn):
    """The request line and headers, or None when the client closed first."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(1 << 20)
        if not chunk:
            return None
        data += chunk
    head = data.split(b"\r\n\r\n", 1)[0].decode("latin-1")
    return head.split("\r\n")


class Listener:
    """A loopback TCP listener on a thread of its own; `serve(conn, request_line)` answers."""

    def __init__(self, port, serve=None):
        self.port = port
        self.serve = serve
        self.connections = 0
        self.lines = []
        self._lock = threading.Lock()
        self._sock = None
        self._thread = None

    def start(self):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind(("127.0.0.1", self.port))
        sock.listen(64)
        sock.settimeout(0.1)
        self._sock = sock
        self._thread = threading.Thread(target=self._accept, args=(sock,), daemon=True)
        self._thread.start()
        return self

    def stop(self):
        """Closes the port: connecting to it is refused from now on."""
        sock, self._sock = self._sock, None
        if self._thread is not None:
            self._thread.join()
        if sock is not None:
            sock.close()

    def _accept(self, sock):
        while self._sock is sock:
            try:
                conn, _ = sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            with self._lock:
                self.connections += 1
            threading.Thread(target=self._handle, args=(conn,), daemon=True).start()

    def _handle(self, conn):
        conn.settimeout(60)
        try:
            head = read_head(conn)
            if head is None:
                return
            self.record(head[0])
            if self.serve is not None:
                self.serve(conn, head[0])
            else:
                respond(conn, "200 OK", b"<html><body>decoy</body></html>")
        except OSError:
            pass  # the engine went away (a cancelled load): nothing to answer
        finally:
            try:
                conn.close()
            except OSError:
                pass

    def record(self, line):
        with self._lock:
            self.lines.append(line)


class ParseService(Listener):
    """The program's parse service; every request line also goes to `log_path`, one a line."""

    def __init__(self, port, log_path):
        super().__init__(port, self.answer)
        self.log_path = log_path

    def record(self, line):
        super().record(line)
        with self._lock, open(self.log_path, "a", encoding="utf-8", errors="replace") as log:
            log.write(line + "\n")

    def answer(self, conn, line):
        parts = line.split(" ")
        target = parts[1] if len(parts) == 3 else ""
        if not target.startswith("/?url="):
            respond(conn, "404 Not Found", b"not found\n", "text/plain")
            return
        text = urllib.parse.unquote(target[len("/?url="):], errors="replace")
        fault = text[len("fault:"):] if text.startswith("fault:") else None
        if fault == "stall":
            time.sleep(10)
            respond(conn, "200 OK", (PAGE % len(line)).encode())
        elif fault == "reset":
            # Promises a long page, sends a little of it, then resets the connection.
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                         b"Content-Length: 200000\r\n\r\n<html><body style='background:#502030'>"
                         + b"x" * 4000)
            time.sleep(0.3)
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif fault == "500":
            respond(conn, "500 Internal Server Error", b"<html><body>broken</body></html>")
        elif fault == "redirect":
            respond(conn, "302 Found", b"",
                    headers=["Location: http://127.0.0.1:%d/landing" % ELSEWHERE_PORT])
        elif fault == "new-window":
            respond(conn, "200 OK", (NEW_WINDOW_PAGE % {"port": ELSEWHERE_PORT}).encode())
        else:
            respond(conn, "200 OK", (PAGE % len(line)).encode())
