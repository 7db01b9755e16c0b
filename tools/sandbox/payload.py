"""A body to send, from memory or from a file, and the ways of sending it:
whole, dripped, or broken off after so many bytes. Every body byte written
to the socket is counted for the request's path."""

import fcntl
import socket
import struct
import termios
import time

FILE_CHUNK = 4 * 1024 * 1024
DRAIN_LIMIT_S = 5.0


class Payload:
    """length bytes: data[start:], or a file's bytes from offset."""

    def __init__(self, data=b"", path=None, offset=0, length=None):
        self.data = data
        self.path = path
        self.offset = offset
        self.length = len(data) if path is None else length

    def as_bytes(self):
        if self.path is None:
            return self.data
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            return f.read(self.length)

    def send(self, sock, start, count, counted):
        """Sends count bytes from start; counted(n) after each piece."""
        if count <= 0:
            return
        if self.path is None:
            sock.sendall(self.data[start:start + count])
            counted(count)
            return
        with open(self.path, "rb") as f:
            sent = 0
            while sent < count:
                piece = min(FILE_CHUNK, count - sent)
                n = sock.sendfile(f, self.offset + start + sent, piece)
                if n <= 0:
                    raise ConnectionError("sendfile sent nothing")
                sent += n
                counted(n)


def unsent_bytes(sock):
    """Bytes in the socket's send queue that the peer has not acknowledged."""
    return struct.unpack("i", fcntl.ioctl(sock.fileno(), termios.TIOCOUTQ, b"\0\0\0\0"))[0]


def drain(sock):
    """Waits until the peer holds everything sent, so a drop after N bytes
    means that the peer got exactly N."""
    end = time.monotonic() + DRAIN_LIMIT_S
    while time.monotonic() < end:
        try:
            if unsent_bytes(sock) == 0:
                return
        except OSError:
            return
        time.sleep(0.005)


def reset(sock):
    """Closes with an RST: the peer's next read fails with a reset."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        sock.close()
    except OSError:
        pass


def drip(sock, payload, count, rate, stopping, counted):
    """Sends count bytes at rate bytes a second, in tenths of a second."""
    per_tick = max(1, rate // 10)
    tick = per_tick / float(rate)
    sent = 0
    next_time = time.monotonic()
    while sent < count and not stopping.is_set():
        piece = min(per_tick, count - sent)
        payload.send(sock, sent, piece, counted)
        sent += piece
        next_time += tick
        delay = next_time - time.monotonic()
        if delay > 0:
            stopping.wait(delay)
