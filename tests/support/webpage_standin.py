#!/usr/bin/env python3
"""A stand-in for the program's phone web server, for trying the page in a browser.

Serves the page's files from src/web/page over HTTP on 127.0.0.1 with the program's
Content-Security-Policy and speaks the remote's protocol on /ws: pairing with a secret,
hello with a token, keys acknowledged by seq, state pushed, closes 4001 and 4002.
Python standard library only. Run it alone to try the page by hand:

    python3 tests/support/webpage_standin.py --port 8321 --secret abc
    then open http://127.0.0.1:8321/#pair=abc; lines on stdin: state <volume|null> <mode...>,
    close <code>, drop, forget
"""

import base64
import hashlib
import http.server
import json
import os
import secrets
import socket
import struct
import sys
import threading
import time

PAGE_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "web", "page")
FILES = {
    "/": ("index.html", "text/html; charset=utf-8"),
    "/remote.js": ("remote.js", "text/javascript; charset=utf-8"),
    "/remote.css": ("remote.css", "text/css; charset=utf-8"),
    "/manifest.webmanifest": ("manifest.webmanifest", "application/manifest+json"),
    "/icon.svg": ("icon.svg", "image/svg+xml"),
    "/icon-192.png": ("icon-192.png", "image/png"),
    "/icon-512.png": ("icon-512.png", "image/png"),
}
WS_GUID = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"


class Connection:
    """One WebSocket peer: text frames in and out, a close with a code."""

    def __init__(self, sock):
        self.sock = sock
        self.lock = threading.Lock()
        self.device = None  # set once welcomed or paired

    def _read(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise ConnectionError("peer went away")
            data += chunk
        return data

    def receive(self):
        """The next text message, or None once the peer closed."""
        message = b""
        while True:
            head = self._read(2)
            opcode, length = head[0] & 0x0F, head[1] & 0x7F
            if length == 126:
                length = struct.unpack("!H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack("!Q", self._read(8))[0]
            if not head[1] & 0x80 or length > 1 << 16:
                raise ConnectionError("unmasked or oversized frame")
            mask = self._read(4)
            payload = bytes(b ^ mask[i % 4] for i, b in enumerate(self._read(length)))
            if opcode == 0x8:
                self.close(1000)
                return None
            if opcode == 0x9:
                self._frame(0xA, payload)
            elif opcode in (0x0, 0x1):
                message += payload
                if head[0] & 0x80:
                    return message.decode("utf-8")

    def _frame(self, opcode, payload):
        size = len(payload)
        head = bytes([0x80 | opcode])
        head += bytes([size]) if size < 126 else bytes([126]) + struct.pack("!H", size)
        with self.lock:
            try:
                self.sock.sendall(head + payload)
            except OSError:
                pass

    def send(self, obj):
        self._frame(0x1, json.dumps(obj).encode("utf-8"))

    def close(self, code):
        self._frame(0x8, struct.pack("!H", code))
        self.drop()

    def drop(self):
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


class PageStandin:
    """The server; what the page sent is kept in `received` as (time, connection, message)."""

    def __init__(self, port=0, pair_secrets=("abc",), page_dir=PAGE_DIR):
        self.page_dir = page_dir
        self.pair_secrets = set(pair_secrets)  # each pairs once
        self.tokens = {}  # token -> device number
        self.forgotten = set()
        self.last_seq = {}  # device -> seq taken last
        self.state = {"type": "state", "mode": "Music", "volume": None}
        self.send_acks = True
        self.lose_keys = False  # keys kept in `received` but neither taken nor acknowledged
        self.received = []
        self.taken = []  # keys acted on: (code, seq)
        self.request_lines = []
        self.connections = []
        self.changed = threading.Condition()
        standin = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                standin._serve(self)

        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.httpd.daemon_threads = True
        self.port = self.httpd.server_address[1]
        self.url = "http://127.0.0.1:%d" % self.port
        self.csp = ("default-src 'self'; connect-src ws://127.0.0.1:%d; frame-ancestors 'none'"
                    % self.port)

    def start(self):
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        return self

    def stop(self):
        for conn in list(self.connections):
            conn.drop()
        self.httpd.shutdown()
        self.httpd.server_close()

    def keys(self):
        with self.changed:
            return [m for _, _, m in self.received if m.get("type") == "key"]

    def wait_for(self, predicate, timeout=5.0):
        """Waits until predicate(received) holds; says whether it did."""
        with self.changed:
            return self.changed.wait_for(lambda: predicate(self.received), timeout)

    def push_state(self, mode, volume):
        self.state = {"type": "state", "mode": mode, "volume": volume}
        for conn in list(self.connections):
            if conn.device is not None:
                conn.send(self.state)

    def close_all(self, code=None):
        """Closes every connection with code, or cuts them without a close frame."""
        for conn in list(self.connections):
            if code:
                conn.close(code)
            else:
                conn.drop()

    def forget(self, device):
        self.forgotten.add(device)
        for conn in list(self.connections):
            if conn.device == device:
                conn.close(4002)

    def _serve(self, handler):
        self.request_lines.append(handler.requestline)
        path = handler.path
        if path == "/ws":
            return self._upgrade(handler)
        if path not in FILES:
            return self._reply(handler, 404, "text/plain; charset=utf-8", b"Not found\n")
        name, kind = FILES[path]
        with open(os.path.join(self.page_dir, name), "rb") as f:
            self._reply(handler, 200, kind, f.read())

    def _reply(self, handler, status, kind, body):
        handler.send_response(status)
        handler.send_header("Content-Type", kind)
        handler.send_header("Content-Length", str(len(body)))
        handler.send_header("Content-Security-Policy", self.csp)
        handler.send_header("X-Content-Type-Options", "nosniff")
        handler.send_header("Cache-Control", "no-cache")
        handler.end_headers()
        handler.wfile.write(body)

    def _upgrade(self, handler):
        key = handler.headers.get("Sec-WebSocket-Key", "")
        origin = handler.headers.get("Origin", "")
        if handler.headers.get("Upgrade", "").lower() != "websocket" or not key:
            return self._reply(handler, 400, "text/plain; charset=utf-8", b"WebSocket only\n")
        if origin != "http://" + handler.headers.get("Host", ""):
            return self._reply(handler, 403, "text/plain; charset=utf-8", b"Foreign origin\n")
        accept = base64.b64encode(hashlib.sha1((key + WS_GUID).encode()).digest()).decode()
        handler.send_response(101)
        handler.send_header("Upgrade", "websocket")
        handler.send_header("Connection", "Upgrade")
        handler.send_header("Sec-WebSocket-Accept", accept)
        handler.end_headers()
        handler.wfile.flush()
        handler.close_connection = True
        conn = Connection(handler.connection)
        self.connections.append(conn)
        try:
            self._talk(conn)
        except (OSError, ValueError, TypeError, KeyError, AttributeError):
            pass
        finally:
            self.connections.remove(conn)

    def _talk(self, conn):
        while True:
            text = conn.receive()
            if text is None:
                return
            msg = json.loads(text)
            with self.changed:
                self.received.append((time.monotonic(), conn, msg))
                self.changed.notify_all()
            kind = msg.get("type")
            if conn.device is None and kind == "pair":
                if msg.get("secret") not in self.pair_secrets:
                    return conn.close(4001)
                self.pair_secrets.discard(msg["secret"])
                conn.device = len(self.tokens) + 1
                token = secrets.token_urlsafe(16)
                self.tokens[token] = conn.device
                conn.send({"type": "paired", "device": conn.device, "name": msg.get("name"),
                           "token": token, "seq": self.last_seq.get(conn.device, 0)})
                conn.send(self.state)
            elif conn.device is None and kind == "hello":
                device = self.tokens.get(msg.get("token"))
                if device is None or device in self.forgotten:
                    return conn.close(4002 if device else 4001)
                conn.device = device
                conn.send({"type": "welcome", "device": device, "name": "Phone %d" % device,
                           "seq": self.last_seq.get(device, 0)})
                conn.send(self.state)
            elif conn.device is None:
                return conn.close(4001)
            elif kind == "key" and not self.lose_keys:
                seq = msg["seq"]
                if seq > self.last_seq.get(conn.device, 0):
                    self.last_seq[conn.device] = seq
                    self.taken.append((msg["code"], seq))
                if self.send_acks:
                    conn.send({"type": "ack", "seq": self.last_seq[conn.device]})


def main():
    import argparse

    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8321)
    parser.add_argument("--secret", default="abc")
    args = parser.parse_args()
    standin = PageStandin(args.port, [args.secret]).start()
    print("%s/#pair=%s" % (standin.url, args.secret), flush=True)
    seen = 0
    for line in sys.stdin:
        words = line.split()
        if words[:1] == ["state"] and len(words) >= 2:
            volume = None if words[1] == "null" else int(words[1])
            standin.push_state(" ".join(words[2:]), volume)
        elif words[:1] == ["close"] and len(words) == 2:
            standin.close_all(int(words[1]))
        elif words[:1] == ["drop"]:
            standin.close_all()
        elif words[:1] == ["forget"]:
            for device in set(standin.tokens.values()):
                standin.forget(device)
        for _, _, msg in standin.received[seen:]:
            print(json.dumps(msg), flush=True)
        seen = len(standin.received)


if __name__ == "__main__":
    main()
