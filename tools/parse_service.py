#!/usr/bin/env python3
"""The reference parse service: the development and test companion of Quorvel.

For /?url=ADDRESS it answers a page that plays ADDRESS in an HTML5 <video> when ADDRESS is a
direct media address, and a page that says plainly that it cannot otherwise. It also serves the
sample clip under /media/ and takes the pages' reports: playback progress at /progress, keys
that reached the page at /key. Every request line is logged exactly as it arrived, one per
line, so a test can see what was sent.

Standard library only. Listens on loopback unless told otherwise.
"""

import argparse
import html
import os
import re
import socket
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DEFAULT_LISTEN = "127.0.0.1:47810"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_MEDIA = os.path.join(ROOT, "build", "media")

MEDIA_TYPES = {
    ".webm": "video/webm",
    ".mp4": "video/mp4",
    ".m4v": "video/mp4",
    ".mov": "video/quicktime",
    ".ogg": "video/ogg",
    ".ogv": "video/ogg",
    ".oga": "audio/ogg",
    ".opus": "audio/ogg",
    ".mp3": "audio/mpeg",
    ".wav": "audio/wav",
    ".mkv": "video/x-matroska",
}

PLAYER_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Quorvel parse service: playing</title>
<style>
 body {{ margin: 0; background: #101418; color: #e8e8e8; font: 15px sans-serif; }}
 header {{ padding: 6px 12px; }}
 video {{ display: block; margin: 0 auto; max-width: 100%; height: 560px; background: #000; }}
 #state {{ color: #9fd; }}
</style></head>
<body>
<header>Playing <code>{shown}</code> <span id="state">loading</span></header>
<video id="player" src="{src}" controls autoplay playsinline></video>
<script>
(function () {{
  var v = document.getElementById("player");
  var state = document.getElementById("state");
  var last = -1;
  function report(query) {{
    // Tells the service how far playback got; a failed report changes nothing on the page.
    try {{ fetch("/progress?" + query, {{ cache: "no-store" }}).catch(function () {{}}); }}
    catch (e) {{}}
  }}
{keys}
  v.addEventListener("timeupdate", function () {{
    state.textContent = v.currentTime.toFixed(1) + " s";
    if (v.currentTime - last >= 0.25 || v.currentTime < last) {{
      last = v.currentTime;
      report("t=" + v.currentTime.toFixed(3));
    }}
  }});
  v.addEventListener("ended", function () {{
    state.textContent = "ended";
    report("ended=1&t=" + v.currentTime.toFixed(3));
  }});
  v.addEventListener("error", function () {{
    var code = v.error ? v.error.code : 0;
    state.textContent = "cannot play (error " + code + ")";
    report("error=" + code);
  }});
  var started = v.play();
  if (started && started.catch) {{
    started.catch(function (e) {{ report("blocked=" + encodeURIComponent(e.name)); }});
  }}
}})();
</script>
</body></html>
"""

# Both pages tell the service which keys reach them, so a test can see where the keyboard
# focus is.
KEY_REPORT = """  document.addEventListener("keydown", function (e) {{
    try {{ fetch("/key?k=" + encodeURIComponent(e.key), {{ cache: "no-store" }})
           .catch(function () {{}}); }} catch (x) {{}}
  }});"""

REFUSAL_PAGE = """<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Quorvel parse service: cannot play</title>
<style>body {{ margin: 24px; background: #fff; color: #222; font: 16px sans-serif; }}</style>
</head><body>
<h1>Cannot play this address</h1>
<p>{reason}</p>
<p>The reference parse service plays only direct media addresses (ending in .webm, .mp4, .ogg
and the like), for example <code>{example}</code>.</p>
<a id="elsewhere" href="/?url={example}" target="_blank"
   style="position: fixed; left: 24px; bottom: 20px; line-height: 24px">Play the sample clip in a
new window</a>
<script>
(function () {{
{keys}
}})();
</script>
</body></html>
"""


def media_type(address):
    """The media type when `address` is a direct http(s) media address, else None."""
    parts = urllib.parse.urlsplit(address)
    if parts.scheme.lower() not in ("http", "https") or not parts.netloc:
        return None
    _, ext = os.path.splitext(urllib.parse.unquote(parts.path))
    return MEDIA_TYPES.get(ext.lower())


def address_from_query(raw_query):
    """The text after "url=", taken whole: the program appends the user's text unencoded, so an
    "&" in it belongs to the address, not to a new parameter."""
    if not raw_query.startswith("url="):
        match = re.search(r"(?:^|&)url=", raw_query)
        if not match:
            return None
        raw_query = raw_query[match.end() - 4:]
    return urllib.parse.unquote(raw_query[4:], errors="replace")


class Handler(BaseHTTPRequestHandler):
    server_version = "QuorvelParseService/1.0"
    protocol_version = "HTTP/1.1"

    def log_request(self, code="-", size="-"):
        self.server.log_line(self.requestline)

    def log_error(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def log_message(self, format, *args):  # noqa: A002
        pass

    def do_HEAD(self):
        self.handle_request(send_body=False)

    def do_GET(self):
        self.handle_request(send_body=True)

    def handle_request(self, send_body):
        parts = urllib.parse.urlsplit(self.path)
        if parts.path == "/":
            self.answer_parse(parts.query, send_body)
        elif parts.path in ("/progress", "/key"):
            self.send_response(204)
            self.send_header("Cache-Control", "no-store")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif parts.path.startswith("/media/"):
            self.answer_media(urllib.parse.unquote(parts.path[len("/media/"):]), send_body)
        else:
            self.answer_text(404, "text/plain; charset=utf-8", "not found\n", send_body)

    def answer_text(self, status, content_type, text, send_body):
        body = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def answer_parse(self, raw_query, send_body):
        address = address_from_query(raw_query)
        host = self.headers.get("Host") or self.server.listen_text
        example = "http://%s/media/sample.webm" % host
        if address is None or address == "":
            reason = "No address was given."
        elif media_type(address) is None:
            reason = "<code>%s</code> is not a direct media address." % html.escape(address)
        else:
            page = PLAYER_PAGE.format(shown=html.escape(address), src=html.escape(address, True),
                                      keys=KEY_REPORT.format())
            self.answer_text(200, "text/html; charset=utf-8", page, send_body)
            return
        page = REFUSAL_PAGE.format(reason=reason, example=html.escape(example),
                                   keys=KEY_REPORT.format())
        self.answer_text(200, "text/html; charset=utf-8", page, send_body)

    def answer_media(self, name, send_body):
        folder = os.path.realpath(self.server.media_dir)
        path = os.path.realpath(os.path.join(folder, name))
        content_type = MEDIA_TYPES.get(os.path.splitext(path)[1].lower())
        # Only files directly inside the media folder; nothing reachable through "..".
        if os.path.dirname(path) != folder or content_type is None or not os.path.isfile(path):
            self.answer_text(404, "text/plain; charset=utf-8", "no such clip\n", send_body)
            return
        size = os.path.getsize(path)
        start, end = 0, size - 1
        status = 200
        wanted = self.headers.get("Range")
        if wanted:
            match = re.fullmatch(r"bytes=(\d*)-(\d*)", wanted.strip())
            if match and (match.group(1) or match.group(2)):
                if match.group(1):
                    start = int(match.group(1))
                    if match.group(2):
                        end = min(int(match.group(2)), size - 1)
                else:
                    start = max(0, size - int(match.group(2)))
                if start > end or start >= size:
                    self.send_response(416)
                    self.send_header("Content-Range", "bytes */%d" % size)
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
                status = 206
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(end - start + 1))
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        self.end_headers()
        if not send_body:
            return
        with open(path, "rb") as clip:
            clip.seek(start)
            left = end - start + 1
            while left > 0:
                chunk = clip.read(min(left, 64 * 1024))
                if not chunk:
                    break
                try:
                    self.wfile.write(chunk)
                except (BrokenPipeError, ConnectionResetError):
                    return  # the player stopped reading, as it does when it seeks
                left -= len(chunk)


class Service(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, media_dir, log):
        super().__init__(address, Handler)
        self.media_dir = media_dir
        self.log = log
        self.listen_text = "%s:%d" % (address[0], self.server_address[1])
        self._log_lock = threading.Lock()

    def log_line(self, line):
        with self._log_lock:
            self.log.write(line + "\n")
            self.log.flush()


def parse_listen(text):
    host, sep, port = text.rpartition(":")
    if not sep or not host or not port.isdigit():
        raise argparse.ArgumentTypeError("expected HOST:PORT, got %r" % text)
    return host.strip("[]"), int(port)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("listen", nargs="?", default=DEFAULT_LISTEN, type=parse_listen,
                        help="HOST:PORT to listen on (default %s)" % DEFAULT_LISTEN)
    parser.add_argument("--media", default=DEFAULT_MEDIA,
                        help="folder of the clips served under /media/ (default build/media)")
    parser.add_argument("--log", help="append request lines to this file instead of stdout")
    args = parser.parse_args(argv)

    log = open(args.log, "a", encoding="utf-8") if args.log else sys.stdout
    if ":" in args.listen[0]:
        Service.address_family = socket.AF_INET6
    try:
        service = Service(args.listen, args.media, log)
    except OSError as error:
        print("parse service: cannot listen on %s:%d: %s" % (*args.listen, error), file=sys.stderr)
        return 1
    print("parse service: listening on http://%s/ (media from %s)"
          % (service.listen_text, args.media), file=sys.stderr, flush=True)
    try:
        service.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        service.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
