"""The request handler of the configuration, region and client-IP services,
and the base of the files service's: routing, the faults that every service
knows, the helper paths and the sending of bodies."""

import collections
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

from payload import Payload, drain, drip, reset
from state import CLIENT_IP_PATH, CONFIG_PATH, REGION_PATH, STALL_LIMIT_S

ONE_MIB = 1024 * 1024
NOT_FOUND = b"<html><body>404 Not Found</body></html>"
WRONG = {
    "region": b'{"CountryId": "CN","CityId":"0"}',
    "clientip": b'{"client_ip":"127.0.0.1"}',
    "files": b"this is not the file you asked for\n",
    "mirror": b"this is not the file you asked for\n",
}

# What a service answers when no fault interferes.
Answer = collections.namedtuple("Answer", "status payload content_type headers")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "Sandbox/1"

    def log_message(self, fmt, *args):  # quiet: the tests read their own output
        pass

    def do_GET(self):
        self.dispatch()

    def do_POST(self):
        self.dispatch()

    def do_HEAD(self):
        self.dispatch()

    # -- plumbing --------------------------------------------------------
    def send_head(self, status, length, content_type, headers=()):
        """length None: no Content-Length, the body ends when the connection does."""
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.close_connection = True

    def counted(self, n):
        self.server.state.count_bytes(self.server.name, self.count_path, n)

    def send_body(self, status, body, content_type="text/plain; charset=utf-8", extra=None):
        self.send_head(status, len(body), content_type, list((extra or {}).items()))
        if self.command != "HEAD":
            Payload(body).send(self.connection, 0, len(body), self.counted)

    def send_payload(self, answer, applied, generation):
        """Sends an answer, dripped, stalled or dropped as the faults say."""
        state = self.server.state
        payload = answer.payload
        stall = applied.get("stall-body")
        drop = applied.get("drop")
        dripping = applied.get("drip")
        overlong = applied.get("overlong") if answer.status == 206 else None
        announced = None if "no-length" in applied or overlong is not None else payload.length
        self.send_head(answer.status, announced, answer.content_type, answer.headers)
        if self.command == "HEAD":
            return
        limit = payload.length
        if stall is not None:
            limit = min(limit, max(0, stall.int_param("after", payload.length // 2)))
        if drop is not None:
            limit = min(limit, max(0, drop.nth_int("after", payload.length // 2)))
        if dripping is not None:
            drip(self.connection, payload, limit, max(1, dripping.int_param("rate", 1)), state.stopping, self.counted)
        else:
            payload.send(self.connection, 0, limit, self.counted)
        if overlong is not None:
            extra = max(1, overlong.int_param("extra", 4096))
            Payload(b"\xee" * extra).send(self.connection, 0, extra, self.counted)
        if stall is not None:
            state.wait_for_change(generation, STALL_LIMIT_S)
        elif drop is not None and limit < payload.length:
            drain(self.connection)
            if drop.param("how", "reset") == "reset":
                reset(self.connection)
            # else the connection closes cleanly: a body shorter than announced

    def drip_head(self, every, generation):
        """A status line, then a header line every `every` seconds: a head
        that never ends, until a fault is switched or the program stops."""
        state = self.server.state
        self.close_connection = True
        try:
            self.wfile.write(b"HTTP/1.1 200 OK\r\n")
            for n in range(int(STALL_LIMIT_S / every)):
                self.wfile.flush()
                state.wait_for_change(generation, every)
                if state.generation != generation or state.stopping.is_set():
                    return None
                self.wfile.write(b"X-Drip-%d: x\r\n" % n)
        except OSError:
            pass
        return None

    def reset_after(self, body):
        """Announces the whole body, sends half, then resets the connection."""
        self.send_head(200, len(body), "application/octet-stream")
        Payload(body).send(self.connection, 0, len(body) // 2, self.counted)
        time.sleep(0.05)
        reset(self.connection)

    def short_body(self, body):
        """Announces twice the body, sends it whole and closes the connection."""
        self.send_head(200, 2 * len(body) + 1, "application/octet-stream")
        Payload(body).send(self.connection, 0, len(body), self.counted)

    def record(self, body):
        lines = ["%s %s" % (self.command, self.path)]
        lines += ["%s: %s" % (k, v) for k, v in self.headers.items()]
        with self.server.state.lock:
            self.server.state.last[self.server.name] = "\r\n".join(lines).encode() + b"\r\n\r\n" + body

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    # -- routing ---------------------------------------------------------
    def dispatch(self):
        body = self.read_body()
        self.record(body)
        url = urllib.parse.urlsplit(self.path)
        state = self.server.state
        self.count_path = url.path
        state.count_request(self.server.name, url.path)
        if url.path.startswith("/sandbox/"):
            return self.helper(url.path[len("/sandbox/"):], dict(urllib.parse.parse_qsl(url.query)))
        found = self.find(url.path)
        if found is None:
            return self.send_body(404, NOT_FOUND, "text/html")
        applied, generation = state.take_faults(self.server.name)
        return self.answer_with_faults(self.make_answer(found, applied), applied, generation)

    def answer_with_faults(self, answer, applied, generation):
        state = self.server.state
        if "404" in applied:
            return self.send_body(404, NOT_FOUND, "text/html")
        if "500" in applied:
            return self.send_body(500, b"<html><body>500 Internal Server Error</body></html>", "text/html")
        if "status" in applied:
            fault = applied.get("status")
            code = fault.int_param("code", 503)
            extra = {"Retry-After": fault.param("retry-after")} if fault.param("retry-after") else None
            return self.send_body(code, b"<html><body>status %d</body></html>" % code, "text/html", extra)
        if "once" in applied and state.seen_before(applied.get("once"), self.count_path):
            code = applied.get("once").int_param("status", 410)
            return self.send_body(code, b"<html><body>this link has been used</body></html>", "text/html")
        if "slow" in applied:
            time.sleep(state.slow_ms / 1000.0)
        if "stalled" in applied:
            state.wait_for_change(generation, STALL_LIMIT_S)
            self.close_connection = True
            return None
        if "drip-head" in applied:
            return self.drip_head(applied.get("drip-head").int_param("every", 1000) / 1000.0, generation)
        if "reset" in applied:
            body = answer.payload.as_bytes()
            return self.reset_after(body if len(body) > 1 else b"x" * 4096)
        if "short" in applied:
            return self.short_body(answer.payload.as_bytes())
        if "redirect-loop" in applied:
            return self.send_body(302, b"", extra={"Location": self.path})
        if "redirect-ftp" in applied:
            return self.send_body(302, b"", extra={"Location": "ftp://127.0.0.1/elsewhere"})
        replaced = None
        if "wrong" in applied:
            replaced = self.wrong_answer(applied)
        elif "big" in applied:
            replaced = answer.payload.as_bytes() + b"\r\n" + b";" * ONE_MIB
        elif "empty" in applied:
            replaced = b""
        if replaced is not None:
            answer = Answer(200, Payload(replaced), answer.content_type, [])
        return self.send_payload(answer, applied, generation)

    def find(self, path):
        """What the service serves at path (here: the body), or None."""
        state = self.server.state
        name = self.server.name
        if name == "config" and path == CONFIG_PATH:
            return state.config_body()
        if name == "region" and path == REGION_PATH:
            return state.region_answer
        if name == "clientip" and path == CLIENT_IP_PATH:
            return state.client_ip_answer.replace(b"{{PEER}}", self.client_address[0].encode())
        return None

    def make_answer(self, found, applied):
        """The service's own answer for what find() found, before faults."""
        if self.server.name == "config":
            return Answer(200, Payload(self.server.state.signer.serve(found, applied)), "text/plain", [])
        return Answer(200, Payload(found), "text/html", [])

    def wrong_answer(self, applied):
        name = self.server.name
        if name == "config":
            text = self.server.state.config_body()
            text = b"\r\n".join(l for l in text.split(b"\r\n") if not l.startswith(b"R_PATH_Game="))
            return self.server.state.signer.serve(text, applied)  # signed like the right one
        return WRONG[name]

    def helper(self, what, query):
        if what == "bytes":
            return self.send_body(200, b"x" * int(query.get("n", "0")), "application/octet-stream")
        if what == "status":
            code = int(query.get("code", "500"))
            return self.send_body(code, query.get("body", "status %d page" % code).encode())
        if what == "slow":
            time.sleep(int(query.get("ms", "3000")) / 1000.0)
            return self.send_body(200, b"slow answer")
        if what == "stall":
            self.server.state.stopping.wait(STALL_LIMIT_S)
            self.close_connection = True
            return None
        if what == "reset":
            return self.reset_after(b"r" * (2 * int(query.get("n", "2048"))))
        if what == "zero":
            return self.send_body(200, b"\x00after the zero")
        if what == "empty":
            return self.send_body(200, b"")
        if what == "redirect":
            return self.send_body(302, b"", extra={"Location": query.get("to", "/")})
        if what == "loop":
            return self.send_body(302, b"", extra={"Location": self.path})
        if what == "echo":
            return self.send_body(200, b"ok")
        return self.send_body(404, b"no such helper")
