"""The files service and the mirror: a folder each, served over plain HTTP,
as download hosts serve setup programs. Every file carries a strong ETag
and a Last-Modified; a single byte range is answered with 206 and
Content-Range, one that lies beyond the file with 416, and If-Range is
honoured. Faults of these two alone: no-range, etag-changes, weak-etag,
no-etag, no-last-modified."""

import email.utils
import os
import re
import urllib.parse

from handlers import Answer, Handler
from payload import Payload

RANGE = re.compile(r"^bytes=(\d*)-(\d*)$")
UNSATISFIABLE = "unsatisfiable"


def parse_range(value, size):
    """(first, last) of one byte range, UNSATISFIABLE, or None when the
    header is to be ignored (not one range of bytes, or malformed)."""
    match = RANGE.match(value.strip())
    if match is None:
        return None
    first, last = match.group(1), match.group(2)
    if first == "" and last == "":
        return None
    if first == "":  # the last N bytes
        n = int(last)
        return (max(0, size - n), size - 1) if n > 0 and size > 0 else UNSATISFIABLE
    start = int(first)
    if last != "" and int(last) < start:
        return None
    if start >= size:
        return UNSATISFIABLE
    return start, min(int(last), size - 1) if last != "" else size - 1


class FilesHandler(Handler):
    def find(self, path):
        folder = self.server.state.folders[self.server.name]
        if not folder:
            return None
        full = os.path.realpath(os.path.join(folder, urllib.parse.unquote(path).lstrip("/")))
        if not full.startswith(folder + os.sep) or not os.path.isfile(full):
            return None
        return full

    def validators(self, st, applied):
        """(ETag header value or None, whether it is weak, Last-Modified or None)."""
        state = self.server.state
        version = 0
        if "etag-changes" in applied:
            with state.lock:
                state.etag_generation += 1
                version = state.etag_generation
        tag = '"%x-%x-%x%s"' % (st.st_ino, st.st_size, st.st_mtime_ns, "-%d" % version if version else "")
        weak = "weak-etag" in applied
        etag = None if "no-etag" in applied else ("W/" + tag if weak else tag)
        modified = None
        if "no-last-modified" not in applied:
            modified = email.utils.formatdate(int(st.st_mtime) + version, usegmt=True)
        return etag, weak, modified

    def make_answer(self, full, applied):
        st = os.stat(full)
        size = st.st_size
        etag, weak, modified = self.validators(st, applied)
        headers = []
        if etag is not None:
            headers.append(("ETag", etag))
        if modified is not None:
            headers.append(("Last-Modified", modified))
        kind = "application/octet-stream"
        wanted = self.headers.get("Range")
        if "no-range" in applied or wanted is None or not self.if_range_holds(etag, weak, modified):
            return Answer(200, Payload(path=full, offset=0, length=size), kind,
                          headers + ([] if "no-range" in applied else [("Accept-Ranges", "bytes")]))
        span = parse_range(wanted, size)
        if span is None:
            return Answer(200, Payload(path=full, offset=0, length=size), kind, headers + [("Accept-Ranges", "bytes")])
        if span == UNSATISFIABLE:
            return Answer(416, Payload(b""), kind, headers + [("Content-Range", "bytes */%d" % size)])
        first, last = span
        return Answer(206, Payload(path=full, offset=first, length=last - first + 1), kind,
                      headers + [("Content-Range", "bytes %d-%d/%d" % (first, last, size))])

    def if_range_holds(self, etag, weak, modified):
        """Without If-Range the range holds; with it, only when it names the
        file as it is: its strong ETag, or its Last-Modified date exactly."""
        condition = self.headers.get("If-Range")
        if condition is None:
            return True
        condition = condition.strip()
        if condition.startswith('"') or condition.startswith("W/"):
            return etag is not None and not weak and condition == etag
        return modified is not None and condition == modified
