"""One listening socket with its own accept thread and a thread per
connection."""

import socket
import ssl
import threading
import time

from state import STALL_LIMIT_S


class Service:
    """Listens on one port; can stop listening (fault "refused") and listen
    again on the same port."""

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
                # The accept thread's poll holds the socket open past close();
                # shutdown stops the listening at once, so the next connect
                # is refused rather than accepted and then reset.
                try:
                    self.sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                self.sock.close()
                self.sock = None

    def answers_at(self, address, port):
        return port == self.port and address == self.address

    def reachable_behind(self):
        """Whether the proxy still reaches it: a service whose direct
        connections are refused is still up, one that is refused is down."""
        with self.state.lock:
            return not any(f.mode == "refused" for f in self.state.faults[self.name])

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
