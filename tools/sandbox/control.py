"""The control port: switches faults, sets answers, and reports what the
services received and served."""

import urllib.parse
from http.server import BaseHTTPRequestHandler

from state import MODES, SERVICES

# Query names of /control/fault that are not fault parameters.
NOT_PARAMETERS = ("service", "mode", "add")


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
            params = {k: v for k, v in query.items() if k not in NOT_PARAMETERS}
            state.set_fault(service, query["mode"], params, add=query.get("add") == "1")
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
        if url.path == "/control/counts" and service in SERVICES:
            return self.reply(200, state.counts_text(service))
        if url.path == "/control/reset":
            state.reset()
            return self.reply(200, b"ok")
        return self.reply(400, b"bad control request")
