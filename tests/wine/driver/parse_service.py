"""A loopback stand-in for the parse service that records each request exactly as it arrived."""
import socket
import threading
import time


class RecordingService:
    def __init__(self, args):
        host, _, port = args.parse_host.rpartition(":")
        self.requests = []  # raw request targets (bytes), in arrival order
        self._lock = threading.Lock()
        self._socket = socket.socket()
        self._socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            self._socket.bind((host or "127.0.0.1", int(port)))
        except OSError as e:
            raise SystemExit(f"cannot listen on {args.parse_host} for the parse service: {e}")
        self._socket.listen(16)
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                connection, _ = self._socket.accept()
            except OSError:
                return
            threading.Thread(target=self._answer, args=(connection,), daemon=True).start()

    def _answer(self, connection):
        with connection:
            connection.settimeout(5)
            data = b""
            try:
                while b"\r\n\r\n" not in data and len(data) < 1 << 20:
                    chunk = connection.recv(65536)
                    if not chunk:
                        break
                    data += chunk
            except OSError:
                pass
            line = data.split(b"\r\n", 1)[0]
            method, _, rest = line.partition(b" ")
            target = rest.rsplit(b" ", 1)[0] if rest.endswith((b"HTTP/1.0", b"HTTP/1.1")) else rest
            if method == b"GET" and target.startswith(b"/"):
                with self._lock:
                    self.requests.append(target)
            body = b"<!DOCTYPE html><title>parse service</title><p>recorded</p>"
            try:
                connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                                   + str(len(body)).encode() + b"\r\nConnection: close\r\n\r\n" + body)
            except OSError:
                pass

    def take(self, count, timeout=30.0, settle=1.0):
        """Waits for `count` requests, then `settle` seconds more for any extra, and returns all
        requests since the last take. The timeout is generous: the engine's first navigation
        loads its libraries, and the machine may be busy."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and len(self.requests) < count:
            time.sleep(0.05)
        time.sleep(settle)
        with self._lock:
            taken, self.requests = self.requests, []
        return taken

    def close(self):
        self._socket.close()
