"""The forward proxy: plain HTTP forwarding (requests in absolute form) and
CONNECT tunnels, to loopback only, with optional Basic credentials (fault
"auth"). A target that is one of the sandbox's own services is reached
behind its listener, so a service whose direct connections are refused
(fault "direct-refused") is still there through the proxy, as behind a
firewall that lets only the proxy out; a service that is down (fault
"refused") is not.

Counts: one row per target, "<host>:<port>" for a tunnel and the URL without
its query for a forwarded request; the bytes are those relayed to the client.
The last request is kept with its Proxy-Authorization."""

import base64
import ipaddress
import select
import socket
import threading
import urllib.parse

from handlers import Handler
from payload import reset
from state import STALL_LIMIT_S

# Hop-by-hop headers, which a proxy does not pass on.
HOP_HEADERS = ("connection", "keep-alive", "proxy-authorization", "proxy-connection", "te", "trailer",
               "transfer-encoding", "upgrade")
RELAY_CHUNK = 64 * 1024


def split_target(text, default_port):
    """(host, port) of "host:port" or "[v6]:port"; None when malformed."""
    parsed = urllib.parse.urlsplit("//" + text)
    try:
        port = parsed.port or default_port
    except ValueError:
        return None
    return (parsed.hostname, port) if parsed.hostname else None


def tcp_pair():
    """Two ends of a loopback TCP connection: a reset at one end is a reset
    at the other, as on the wire."""
    with socket.create_server(("127.0.0.1", 0)) as listener:
        near = socket.create_connection(listener.getsockname())
        far, _ = listener.accept()
    return near, far


def loopback_address(host):
    """The host as a loopback address, or None: the sandbox never reaches
    beyond the machine."""
    if host == "localhost":
        return "127.0.0.1"
    try:
        return host if ipaddress.ip_address(host).is_loopback else None
    except ValueError:
        return None


class ProxyHandler(Handler):
    # Unbuffered: nothing that follows the head (a tunnel's first bytes) is
    # read ahead into a buffer the relay would not see.
    rbufsize = 0

    def do_CONNECT(self):
        self.begin(self.path)
        target = split_target(self.path, 443)
        if not self.authorized():
            return
        upstream = self.open_upstream(target)
        if upstream is None:
            return self.send_body(502, b"<html><body>502 Bad Gateway</body></html>", "text/html")
        # The tunnel stands: no length, no Connection header, the bytes follow.
        self.send_response(200, "Connection established")
        self.end_headers()
        self.relay(upstream, both_ways=True)

    def dispatch(self):
        """A request in absolute form, forwarded as it came, without its hop headers."""
        url = urllib.parse.urlsplit(self.path)
        self.begin(urllib.parse.urlunsplit((url.scheme, url.netloc, url.path, "", "")))
        body = self.read_body()
        if url.scheme != "http" or not url.netloc:
            return self.send_body(400, b"<html><body>400 absolute http URL expected</body></html>", "text/html")
        if not self.authorized():
            return
        upstream = self.open_upstream(split_target(url.netloc, 80))
        if upstream is None:
            return self.send_body(502, b"<html><body>502 Bad Gateway</body></html>", "text/html")
        target = urllib.parse.urlunsplit(("", "", url.path or "/", url.query, ""))
        lines = ["%s %s HTTP/1.1" % (self.command, target)]
        lines += ["%s: %s" % (k, v) for k, v in self.headers.items() if k.lower() not in HOP_HEADERS]
        lines.append("Connection: close")
        upstream.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + body)
        self.relay(upstream, both_ways=False)

    def begin(self, counted_as):
        self.count_path = counted_as
        self.server.state.count_request(self.server.name, counted_as)
        self.record(b"")

    def authorized(self):
        """False, after a 407, when the proxy wants credentials this request lacks."""
        applied, _ = self.server.state.take_faults(self.server.name)
        auth = applied.get("auth")
        if auth is None:
            return True
        wanted = "%s:%s" % (auth.param("user", "zk"), auth.param("password", "secret"))
        given = self.headers.get("Proxy-Authorization", "")
        scheme, _, value = given.partition(" ")
        if scheme.lower() == "basic" and value.strip() == base64.b64encode(wanted.encode()).decode():
            return True
        self.send_body(407, b"<html><body>407 Proxy Authentication Required</body></html>", "text/html",
                       {"Proxy-Authenticate": 'Basic realm="sandbox"'})
        return False

    def open_upstream(self, target):
        """A connection to the target: one of the sandbox's services behind
        its listener, or any other loopback port over TCP; None when there is
        none."""
        address = loopback_address(target[0]) if target else None
        if address is None:
            return None
        state = self.server.state
        for service in list(state.services.values()):
            if service is not self.server and service.answers_at(address, target[1]):
                if not service.reachable_behind():
                    return None
                near, far = tcp_pair()
                threading.Thread(target=service.serve, args=(far, (address, 0)), daemon=True).start()
                return near
        try:
            return socket.create_connection((address, target[1]), timeout=5)
        except OSError:
            return None

    def relay(self, upstream, both_ways):
        """Copies the upstream's bytes to the client (and, for a tunnel, the
        client's to the upstream) until either side ends or both stay silent
        for the stall limit."""
        client = self.connection
        peers = {upstream: client}
        if both_ways:
            peers[client] = upstream
        try:
            while True:
                ready, _, _ = select.select(list(peers), [], [], STALL_LIMIT_S)
                if not ready or self.server.state.stopping.is_set():
                    return
                for side in ready:
                    try:
                        data = side.recv(RELAY_CHUNK)
                    except ConnectionResetError:
                        if side is upstream:
                            reset(client)  # passed on, as a relay of the bytes would
                        return
                    if not data:
                        return
                    peers[side].sendall(data)
                    if side is upstream:
                        self.counted(len(data))
        except OSError:
            return
        finally:
            upstream.close()
            self.close_connection = True
