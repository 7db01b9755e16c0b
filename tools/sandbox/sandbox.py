#!/usr/bin/env python3
"""Loopback stand-ins for the installer's services, with switchable faults.

Services (all bound to loopback addresses only):
  config    HTTPS  GET  /Desktop/ZKZKINI/GameConfig-V1.ini
  region    HTTP   POST /CheckData/UserCheck_Get_CN.asp
  clientip  HTTPS  GET  /api/env/getClientIP.asp        (port 443 by default)
  files     HTTP   GET  /<path>  from the folder given by --files
  control   HTTP   run-time switches (see CONTROL below)

Every service also answers the helper paths under /sandbox/ (see HELPERS).

At start a test CA and a server certificate are made with the openssl
command line. When ready, one line goes to stdout:
  SANDBOX READY config=<port> region=<port> clientip=<port> files=<port>
      control=<port> bind=<addr> clientip_bind=<addr> ca=<CA PEM path>
and the same key=value pairs, one per line, to --ports-file if given.
clientip=0 means that its port could not be bound.

Fault modes (per service, --fault SERVICE=MODE at start or
POST /control/fault?service=S&mode=M at run time):
  ok, refused, 404, 500, slow, stalled, reset, wrong, big, empty,
  redirect-loop, redirect-ftp,
  short       announces a longer body than it sends, then closes cleanly
  stall-body  sends the headers and half the body, then nothing

CONTROL (on the control port):
  POST /control/fault?service=S&mode=M
  POST /control/answer?service=S   body = the service's answer
                                   (for config: the configuration template)
  GET  /control/last?service=S     the last request S received:
                                   "METHOD PATH", header lines, blank line, body
  POST /control/reset              every service back to ok, default answers
  GET  /control/ping

HELPERS (on every service):
  /sandbox/bytes?n=N        N bytes of "x"
  /sandbox/status?code=C    status C with a short body
  /sandbox/slow?ms=M        "slow answer" after M ms
  /sandbox/stall            reads the request, never answers
  /sandbox/reset?n=N        announces 2N bytes, sends N, resets the connection
  /sandbox/zero             a body that begins with a zero byte
  /sandbox/empty            status 200, empty body
  /sandbox/redirect?to=URL  302 to URL
  /sandbox/loop             302 to itself
  /sandbox/echo             "ok"

The configuration template's {{FILES_HOST}} becomes 127.0.0.1:<files port>
(the files service's address and port). SIGTERM or SIGINT ends the program.
"""

import argparse
import ipaddress
import os
import shutil
import signal
import socket
import ssl
import struct
import sys
import tempfile
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

sys.dont_write_bytecode = True  # no cache files in the source tree
from certificates import make_certificates  # noqa: E402  (beside this file)

SERVICES = ("config", "region", "clientip", "files")
MODES = ("ok", "refused", "404", "500", "slow", "stalled", "reset", "wrong", "big",
         "empty", "redirect-loop", "redirect-ftp", "short", "stall-body")
CONFIG_PATH = "/Desktop/ZKZKINI/GameConfig-V1.ini"
REGION_PATH = "/CheckData/UserCheck_Get_CN.asp"
CLIENT_IP_PATH = "/api/env/getClientIP.asp"
ONE_MIB = 1024 * 1024
STALL_LIMIT_S = 60.0

DEFAULT_CONFIG = "\r\n".join([
    "; Game configuration served by the sandbox",
    "U_PATH_ZKEN=http://{{FILES_HOST}}/setup/",
    "U_PATH_ZKSC=http://{{FILES_HOST}}/setup/",
    "U_PATH_ZKTC=http://{{FILES_HOST}}/setup/",
    "U_PATH_ZKRU=http://{{FILES_HOST}}/setup/",
    "U_PATH_ZKJP=http://{{FILES_HOST}}/setup/",
    "F_NAME_ZKEN=ZKSetup_EN.exe",
    "F_NAME_ZKSC=ZKSetup_SC.exe",
    "F_NAME_ZKTC=ZKSetup_TC.exe",
    "F_NAME_ZKRU=ZKSetup_RU.exe",
    "F_NAME_ZKJP=ZKSetup_JP.exe",
    "F_NAME_Lst=ZKGame.lst",
    "F_NAME_Game=ZKGame.exe",
    "F_NAME_Update=ZKUpdate.exe",
    "R_PATH_Root=SOFTWARE\\ZKGame",
    "R_PATH_Game=SOFTWARE\\ZKGame\\Game",
    "",
]).encode("cp949")
DEFAULT_REGION = b'{"CountryId":"CN","CityId":"0","Ip":"127.0.0.1"}'
DEFAULT_CLIENT_IP = b'{"client_ip":"{{PEER}}","country":"KR"}'
WRONG = {
    "region": b'{"CountryId": "CN","CityId":"0"}',
    "clientip": b'{"client_ip":"127.0.0.1"}',
    "files": b"this is not the file you asked for\n",
}


def log(text):
    print("sandbox: " + text, file=sys.stderr, flush=True)


def loopback(address):
    try:
        return ipaddress.ip_address(address) in ipaddress.ip_network("127.0.0.0/8")
    except ValueError:
        return False


class State:
    """Modes and answers, shared by all service threads."""

    def __init__(self, args):
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.mode_changed = threading.Condition(self.lock)
        self.slow_ms = args.slow_ms
        self.files_dir = os.path.abspath(args.files) if args.files else None
        self.config_template = DEFAULT_CONFIG
        if args.config:
            with open(args.config, "rb") as f:
                self.config_template = f.read()
        self.default_config = self.config_template
        self.region_answer = args.region_answer.encode() if args.region_answer else DEFAULT_REGION
        self.client_ip_answer = args.client_ip_answer.encode() if args.client_ip_answer else DEFAULT_CLIENT_IP
        self.defaults = (self.region_answer, self.client_ip_answer)
        self.modes = {s: "ok" for s in SERVICES}
        self.last = {s: b"" for s in SERVICES}
        self.files_host = ""
        self.services = {}

    def set_mode(self, service, mode):
        with self.lock:
            self.modes[service] = mode
            self.mode_changed.notify_all()
        svc = self.services.get(service)
        if svc is not None:
            if mode == "refused":
                svc.close_listener()
            else:
                svc.open_listener()

    def mode(self, service):
        with self.lock:
            return self.modes[service]

    def wait_while(self, service, mode, limit):
        """Sleeps until the mode changes, the program stops or limit passes."""
        end = time.monotonic() + limit
        with self.lock:
            while self.modes[service] == mode and not self.stopping.is_set():
                left = end - time.monotonic()
                if left <= 0:
                    return
                self.mode_changed.wait(min(left, 0.2))

    def config_body(self):
        with self.lock:
            template = self.config_template
        return template.replace(b"{{FILES_HOST}}", self.files_host.encode())


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
    def send_body(self, status, body, content_type="text/plain; charset=utf-8", extra=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)
        self.close_connection = True

    def reset_after(self, body):
        """Announces the whole body, sends half, then resets the connection."""
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[: len(body) // 2])
        self.wfile.flush()
        time.sleep(0.05)
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
        except OSError:
            pass
        self.close_connection = True

    def short_body(self, body):
        """Announces twice the body, sends it whole and closes the connection."""
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(2 * len(body) + 1))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        self.close_connection = True

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
        query = dict(urllib.parse.parse_qsl(url.query))
        if url.path.startswith("/sandbox/"):
            return self.helper(url.path[len("/sandbox/"):], query)
        name = self.server.name
        state = self.server.state
        normal = self.normal_answer(name, url.path)
        if normal is None:
            return self.send_body(404, b"<html><body>404 Not Found</body></html>", "text/html")
        mode = state.mode(name)
        if mode == "404":
            return self.send_body(404, b"<html><body>404 Not Found</body></html>", "text/html")
        if mode == "500":
            return self.send_body(500, b"<html><body>500 Internal Server Error</body></html>", "text/html")
        if mode == "slow":
            time.sleep(state.slow_ms / 1000.0)
        elif mode == "stalled":
            state.wait_while(name, "stalled", STALL_LIMIT_S)
            self.close_connection = True
            return None
        elif mode == "reset":
            return self.reset_after(normal if len(normal) > 1 else b"x" * 4096)
        elif mode == "short":
            return self.short_body(normal)
        elif mode == "stall-body":
            self.send_response(200)
            self.send_header("Content-Length", str(len(normal) + 2))
            self.end_headers()
            self.wfile.write(normal[: len(normal) // 2])
            self.wfile.flush()
            state.wait_while(name, "stall-body", STALL_LIMIT_S)
            self.close_connection = True
            return None
        elif mode == "wrong":
            normal = self.wrong_answer(name)
        elif mode == "big":
            normal = normal + b"\r\n" + b";" * ONE_MIB
        elif mode == "empty":
            normal = b""
        elif mode == "redirect-loop":
            return self.send_body(302, b"", extra={"Location": self.path})
        elif mode == "redirect-ftp":
            return self.send_body(302, b"", extra={"Location": "ftp://127.0.0.1/elsewhere"})
        return self.send_body(200, normal, self.content_type(name))

    def content_type(self, name):
        return {"config": "text/plain", "files": "application/octet-stream"}.get(name, "text/html")

    def normal_answer(self, name, path):
        state = self.server.state
        if name == "config":
            return state.config_body() if path == CONFIG_PATH else None
        if name == "region":
            return state.region_answer if path == REGION_PATH else None
        if name == "clientip":
            if path != CLIENT_IP_PATH:
                return None
            return state.client_ip_answer.replace(b"{{PEER}}", self.client_address[0].encode())
        if name == "files" and state.files_dir:
            full = os.path.realpath(os.path.join(state.files_dir, urllib.parse.unquote(path).lstrip("/")))
            if full.startswith(state.files_dir + os.sep) and os.path.isfile(full):
                with open(full, "rb") as f:
                    return f.read()
        return None

    def wrong_answer(self, name):
        if name == "config":
            text = self.server.state.config_body()
            return b"\r\n".join(l for l in text.split(b"\r\n") if not l.startswith(b"R_PATH_Game="))
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


class ControlHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        self.dispatch()

    def do_POST(self):
        self.dispatch()

    def reply(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def dispatch(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length > 0 else b""
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        state = self.server.state
        service = query.get("service", "")
        if url.path == "/control/ping":
            return self.reply(200, b"pong")
        if url.path == "/control/fault" and service in SERVICES and query.get("mode") in MODES:
            state.set_mode(service, query["mode"])
            return self.reply(200, b"ok")
        if url.path == "/control/answer" and service in ("config", "region", "clientip"):
            with state.lock:
                if service == "config":
                    state.config_template = body
                elif service == "region":
                    state.region_answer = body
                else:
                    state.client_ip_answer = body
            return self.reply(200, b"ok")
        if url.path == "/control/last" and service in SERVICES:
            with state.lock:
                return self.reply(200, state.last[service])
        if url.path == "/control/reset":
            for s in SERVICES:
                state.set_mode(s, "ok")
            with state.lock:
                state.config_template = state.default_config
                state.region_answer, state.client_ip_answer = state.defaults
                state.last = {s: b"" for s in SERVICES}
            return self.reply(200, b"ok")
        return self.reply(400, b"bad control request")


class Service:
    """One listening socket with its own accept thread; can stop listening
    (mode "refused") and listen again on the same port."""

    def __init__(self, name, address, port, tls_context, handler, state):
        self.name, self.address, self.tls, self.handler, self.state = name, address, tls_context, handler, state
        self.lock = threading.Lock()
        self.sock = None
        self.port = port
        self.open_listener()
        self.port = self.sock.getsockname()[1]
        threading.Thread(target=self.accept_loop, daemon=True).start()

    def open_listener(self):
        with self.lock:
            if self.sock is not None:
                return
            sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.bind((self.address, self.port))
            sock.listen(64)
            sock.settimeout(0.2)
            self.sock = sock

    def close_listener(self):
        with self.lock:
            if self.sock is not None:
                self.sock.close()
                self.sock = None

    def accept_loop(self):
        while not self.state.stopping.is_set():
            with self.lock:
                sock = self.sock
            if sock is None:
                time.sleep(0.05)
                continue
            try:
                conn, peer = sock.accept()
            except (socket.timeout, OSError):
                continue
            threading.Thread(target=self.serve, args=(conn, peer), daemon=True).start()

    def serve(self, conn, peer):
        conn.settimeout(STALL_LIMIT_S + 5)
        try:
            if self.tls is not None:
                conn = self.tls.wrap_socket(conn, server_side=True)
            self.handler(conn, peer, self)
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bind", default="127.0.0.1", help="address of config, region, files, control")
    parser.add_argument("--client-ip-bind", default=None, help="address of the client-IP service")
    parser.add_argument("--client-ip-port", type=int, default=443)
    for s in ("config", "region", "files", "control"):
        parser.add_argument("--%s-port" % s, type=int, default=0, help="0: any free port")
    parser.add_argument("--files", help="folder served by the files service")
    parser.add_argument("--config", help="configuration template file ({{FILES_HOST}} is filled in)")
    parser.add_argument("--region-answer", help="answer of the region check")
    parser.add_argument("--client-ip-answer", help="answer of the client-IP service ({{PEER}} is filled in)")
    parser.add_argument("--fault", action="append", default=[], metavar="SERVICE=MODE")
    parser.add_argument("--slow-ms", type=int, default=3000, help="delay of the slow mode")
    parser.add_argument("--cert-name", help="DNS name of the server certificate instead of the bound addresses")
    parser.add_argument("--ca-dir", help="folder that keeps the test CA (made when missing)")
    parser.add_argument("--ports-file", help="file that receives the key=value lines")
    args = parser.parse_args()

    client_bind = args.client_ip_bind or args.bind
    for address in (args.bind, client_bind):
        if not loopback(address):
            parser.error("only loopback addresses (127.0.0.0/8) may be bound: " + address)
    for spec in args.fault:
        service, _, mode = spec.partition("=")
        if service not in SERVICES or mode not in MODES:
            parser.error("bad --fault %s (services %s, modes %s)" % (spec, SERVICES, MODES))

    work_dir = tempfile.mkdtemp(prefix="zk-sandbox-")
    ca_dir = args.ca_dir or work_dir
    os.makedirs(ca_dir, exist_ok=True)
    names = ["DNS:" + args.cert_name] if args.cert_name else \
        ["IP:127.0.0.1", "IP:" + args.bind, "IP:" + client_bind, "DNS:localhost"]
    try:
        ca_pem, cert, key = make_certificates(ca_dir, work_dir, sorted(set(names)))
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(cert, key)

        state = State(args)
        stop = threading.Event()
        signal.signal(signal.SIGTERM, lambda *_: stop.set())
        signal.signal(signal.SIGINT, lambda *_: stop.set())

        svc = {
            "config": Service("config", args.bind, args.config_port, tls, Handler, state),
            "region": Service("region", args.bind, args.region_port, None, Handler, state),
            "files": Service("files", args.bind, args.files_port, None, Handler, state),
        }
        try:
            svc["clientip"] = Service("clientip", client_bind, args.client_ip_port, tls, Handler, state)
        except OSError as e:
            log("client-IP service not started (%s:%d: %s)" % (client_bind, args.client_ip_port, e))
        control = Service("control", args.bind, args.control_port, None, ControlHandler, state)
        state.services = svc
        state.files_host = "%s:%d" % (args.bind, svc["files"].port)
        for spec in args.fault:
            service, _, mode = spec.partition("=")
            state.set_mode(service, mode)

        ports = [("config", svc["config"].port), ("region", svc["region"].port),
                 ("clientip", svc["clientip"].port if "clientip" in svc else 0),
                 ("files", svc["files"].port), ("control", control.port),
                 ("bind", args.bind), ("clientip_bind", client_bind), ("ca", ca_pem)]
        if args.ports_file:
            tmp = args.ports_file + ".tmp"
            with open(tmp, "w") as f:
                f.writelines("%s=%s\n" % kv for kv in ports)
            os.replace(tmp, args.ports_file)
        print("SANDBOX READY " + " ".join("%s=%s" % kv for kv in ports), flush=True)

        while not stop.wait(0.5):
            pass
        state.stopping.set()
        with state.lock:
            state.mode_changed.notify_all()
        for s in list(svc.values()) + [control]:
            s.close_listener()
        return 0
    finally:
        shutil.rmtree(work_dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
