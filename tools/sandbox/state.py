"""What every service thread of the sandbox shares: the faults switched on,
the answers served and the per-path counts of what was served."""

import hashlib
import os
import re
import threading
import time

from signing import SIGNATURE_MODES

SERVICES = ("config", "region", "clientip", "files", "mirror", "proxy")
# Faults that every service knows, then those only the files service and
# the mirror know, then the proxy's, then those only the configuration service knows.
MODES = ("ok", "refused", "direct-refused", "404", "500", "status", "slow", "stalled", "reset", "wrong", "big",
         "empty", "redirect-loop", "redirect-ftp", "short", "no-length", "stall-body", "drop", "drip", "drip-head", "once",
         "no-range", "overlong", "etag-changes", "weak-etag", "no-etag", "no-last-modified", "auth") + SIGNATURE_MODES
# Faults that close the service's listener.
LISTENER_CLOSED = ("refused", "direct-refused")
CONFIG_PATH = "/Desktop/ZKZKINI/GameConfig-V1.ini"
REGION_PATH = "/CheckData/UserCheck_Get_CN.asp"
CLIENT_IP_PATH = "/api/env/getClientIP.asp"
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
] + ["H_SHA2_ZK%s={{SHA256:setup/ZKSetup_%s.exe}}\r\nS_SIZE_ZK%s={{SIZE:setup/ZKSetup_%s.exe}}" % (l, l, l, l)
     for l in ("EN", "SC", "TC", "RU", "JP")] + [
    "",
]).encode("cp949")
# {{SHA256:<path>}} and {{SIZE:<path>}}: the SHA-256 (hex) and the size of a
# file of the files service as it is when the configuration is served;
# empty when there is no such file.
FILE_FACT = re.compile(rb"\{\{(SHA256|SIZE):([^}]*)\}\}")
DEFAULT_REGION = b'{"CountryId":"CN","CityId":"0","Ip":"127.0.0.1"}'
DEFAULT_CLIENT_IP = b'{"client_ip":"{{PEER}}","country":"KR"}'


class Fault:
    """One switched-on fault: a mode, its parameters and how many requests it
    still applies to (None: every request)."""

    def __init__(self, mode, params=None):
        self.mode = mode
        self.params = dict(params or {})
        times = self.params.pop("times", None)
        self.left = int(times) if times not in (None, "", "0") else None
        self.used = 0  # requests it has applied to so far
        self.paths = set()  # paths asked for while it was on

    def param(self, name, default=None):
        return self.params.get(name, default)

    def int_param(self, name, default):
        value = self.params.get(name)
        return int(value) if value not in (None, "") else default

    def nth_int(self, name, default):
        """The comma-separated list's entry for this use; the last one repeats."""
        values = [int(v) for v in str(self.params.get(name, "")).split(",") if v.strip()]
        if not values:
            return default
        return values[min(self.used - 1, len(values) - 1)]


def parse_fault(spec):
    """"MODE[:name=value...]" as given to --fault, into (mode, params)."""
    mode, *pairs = spec.split(":")
    params = {}
    for pair in pairs:
        name, _, value = pair.partition("=")
        params[name] = value
    return mode, params


class Applied:
    """The faults that apply to one request, by mode."""

    def __init__(self, faults):
        self.by_mode = {f.mode: f for f in faults}

    def __contains__(self, mode):
        return mode in self.by_mode

    def get(self, mode):
        return self.by_mode.get(mode)

    def first(self, *modes):
        for mode in modes:
            if mode in self.by_mode:
                return mode
        return None


class State:
    """Faults, answers and counts, shared by all service threads."""

    def __init__(self, args):
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.changed = threading.Condition(self.lock)
        self.generation = 0  # moves on at every fault switch
        self.slow_ms = args.slow_ms
        self.files_dir = os.path.abspath(args.files) if args.files else None
        mirrored = args.mirror_files or args.files
        self.folders = {"files": self.files_dir, "mirror": os.path.abspath(mirrored) if mirrored else None}
        self.config_template = DEFAULT_CONFIG
        if args.config:
            with open(args.config, "rb") as f:
                self.config_template = f.read()
        self.default_config = self.config_template
        self.region_answer = args.region_answer.encode() if args.region_answer else DEFAULT_REGION
        self.client_ip_answer = args.client_ip_answer.encode() if args.client_ip_answer else DEFAULT_CLIENT_IP
        self.defaults = (self.region_answer, self.client_ip_answer)
        self.faults = {s: [] for s in SERVICES}
        self.last = {s: b"" for s in SERVICES}
        self.counts = {s: {} for s in SERVICES}  # path -> [requests, body bytes]
        self.etag_generation = 0  # moved on by the "etag-changes" fault
        self.files_host = ""
        self.mirror_host = ""
        self.services = {}

    # -- faults ------------------------------------------------------------
    def set_fault(self, service, mode, params=None, add=False):
        """Switches a fault on ("ok" switches every fault of the service off).
        With add, it joins the service's other faults instead of replacing them."""
        with self.lock:
            kept = self.faults[service] if add else []
            self.faults[service] = kept + ([] if mode == "ok" else [Fault(mode, params)])
            refused = any(f.mode in LISTENER_CLOSED for f in self.faults[service])
            self.generation += 1
            self.changed.notify_all()
        svc = self.services.get(service)
        if svc is not None:
            if refused:
                svc.close_listener()
            else:
                svc.open_listener()

    def take_faults(self, service):
        """The faults that apply to the request in hand; each counts one use,
        and one whose uses are spent is switched off."""
        with self.lock:
            applied = []
            for fault in self.faults[service]:
                fault.used += 1
                if fault.left is not None:
                    fault.left -= 1
                applied.append(fault)
            self.faults[service] = [f for f in self.faults[service] if f.left is None or f.left > 0]
            return Applied(applied), self.generation

    def seen_before(self, fault, path):
        """Whether path was asked for before, while this fault was on."""
        with self.lock:
            seen = path in fault.paths
            fault.paths.add(path)
            return seen

    def wait_for_change(self, generation, limit):
        """Sleeps until a fault is switched, the program stops or limit passes."""
        end = time.monotonic() + limit
        with self.lock:
            while self.generation == generation and not self.stopping.is_set():
                left = end - time.monotonic()
                if left <= 0:
                    return
                self.changed.wait(min(left, 0.2))

    # -- counts ------------------------------------------------------------
    def count_request(self, service, path):
        with self.lock:
            self.counts[service].setdefault(path, [0, 0])[0] += 1

    def count_bytes(self, service, path, n):
        with self.lock:
            self.counts[service].setdefault(path, [0, 0])[1] += n

    def counts_text(self, service):
        with self.lock:
            rows = sorted(self.counts[service].items())
        return "".join("%d %d %s\n" % (r, b, path) for path, (r, b) in rows).encode()

    # -- answers -----------------------------------------------------------
    def config_body(self):
        with self.lock:
            template = self.config_template
        body = template.replace(b"{{FILES_HOST}}", self.files_host.encode())
        body = body.replace(b"{{MIRROR_HOST}}", self.mirror_host.encode())
        return FILE_FACT.sub(self.file_fact, body)

    def file_fact(self, match):
        if not self.files_dir:
            return b""
        full = os.path.realpath(os.path.join(self.files_dir, match.group(2).decode("cp949")))
        if not full.startswith(self.files_dir + os.sep) or not os.path.isfile(full):
            return b""
        if match.group(1) == b"SIZE":
            return b"%d" % os.path.getsize(full)
        digest = hashlib.sha256()
        with open(full, "rb") as f:
            for piece in iter(lambda: f.read(1 << 20), b""):
                digest.update(piece)
        return digest.hexdigest().encode()

    def reset(self):
        for s in SERVICES:
            self.set_fault(s, "ok")
        with self.lock:
            self.config_template = self.default_config
            self.region_answer, self.client_ip_answer = self.defaults
            self.last = {s: b"" for s in SERVICES}
            self.counts = {s: {} for s in SERVICES}
