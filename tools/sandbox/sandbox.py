#!/usr/bin/env python3
"""Loopback stand-ins for the installer's services, with switchable faults.

Services (all bound to loopback addresses only):
  config    HTTPS  GET  /Desktop/ZKZKINI/GameConfig-V1.ini
  region    HTTP   POST /CheckData/UserCheck_Get_CN.asp
  clientip  HTTPS  GET  /api/env/getClientIP.asp        (port 443 by default)
  files     HTTP   GET  /<path>  from the folder given by --files, with a
                   strong ETag and a Last-Modified; one byte range ("Range:
                   bytes=A-B", "A-" or "-N") gives 206 with Content-Range,
                   a range past the end 416; If-Range is honoured
  mirror    HTTP   GET  /<path>  the same, from --mirror-files (by default
                   the --files folder): a second download host
  proxy     HTTP   a forward proxy (see PROXY below)
  control   HTTP   run-time switches (see CONTROL below)

Every service also answers the helper paths under /sandbox/ (see HELPERS).

At start a test CA and a server certificate are made with the openssl
command line. When ready, one line goes to stdout:
  SANDBOX READY config=<port> region=<port> clientip=<port> files=<port>
      mirror=<port> proxy=<port> control=<port> bind=<addr>
      clientip_bind=<addr> ca=<CA PEM path>
and the same key=value pairs, one per line, to --ports-file if given.
clientip=0 means that its port could not be bound.

FAULTS (per service: --fault SERVICE=MODE[:NAME=VALUE...] at start, given
again to add more; or POST /control/fault?service=S&mode=M[&NAME=VALUE...]
at run time, which replaces the service's faults unless add=1 is given):
  ok            no fault (switches the service's faults off)
  refused       the port stops listening, and the proxy cannot reach it
  direct-refused
                the port stops listening, but the proxy still reaches the
                service, as behind a firewall that lets only the proxy out
  404, 500      that status with an HTML body
  status        code=C (503) with an HTML body; retry-after=V adds Retry-After
  slow          answers after --slow-ms
  stalled       reads the request, never answers
  reset         announces the body, sends half, resets the connection
  short         announces a longer body than it sends, then closes cleanly
  no-length     no Content-Length: the body ends when the connection closes
  stall-body    sends the headers and after=N body bytes (half by
                default), then nothing
  drop          after=N[,N2...] body bytes (half by default; the n-th
                dropped answer takes the n-th number, the last repeats),
                then the connection is reset (how=close: closed cleanly);
                the peer has received exactly those bytes
  drip          rate=N body bytes a second
  drip-head     the status line, then a header line every=MS (1000) ms,
                never the head's end
  once          a repeated request of the same path gets status=C (410)
  wrong, big, empty, redirect-loop, redirect-ftp
  files and mirror only:
  no-range      ignores Range and If-Range: always 200 with the whole file
  overlong      a 206 without Content-Length whose body runs extra=N (4096)
                bytes past its range
  etag-changes  a new ETag and Last-Modified at every request (If-Range fails)
  weak-etag     the ETag is weak (W/"..."); no-etag: none; no-last-modified
  proxy only:
  auth          user=U (zk), password=P (secret): a request without these
                Basic credentials in Proxy-Authorization gets 407
  config only (see SIGNING):
  unsigned      no signature line
  sig-body      signed, then a byte of the body flipped
  sig-flip      a bit of the signature's s flipped (the DER stays well formed)
  sig-untrusted signed by a key the sandbox makes itself
  sig-key2      signed by the second --sign-key
  expired       an X_EXPIRES= line of an hour ago added, then signed
Every fault takes times=K: it applies to the next K requests, then goes off.

CONTROL (on the control port):
  POST /control/fault?service=S&mode=M[&add=1][&NAME=VALUE...]
  POST /control/answer?service=S   body = the service's answer
                                   (for config: the configuration template)
  GET  /control/last?service=S     the last request S received:
                                   "METHOD PATH", header lines, blank line, body
  GET  /control/counts?service=S   one line per path that S was asked for:
                                   "<requests> <body bytes sent> <path>"
  POST /control/reset              faults off, default answers, counts cleared
  GET  /control/ping

HELPERS (on every service; faults do not touch them):
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

PROXY: plain HTTP forwarding ("GET http://host:port/path") and CONNECT
tunnels, to loopback addresses only ("localhost" is 127.0.0.1); anything
else gets 502. A target that is one of the sandbox's services is handed to
that service directly, past its listener: so "direct-refused" leaves it
reachable through the proxy only. Its counts have one row per target
("127.0.0.1:<port>" for a tunnel, the URL without its query for a
forwarded request); /control/last?service=proxy shows the last request's
head, Proxy-Authorization included.

SIGNING: with --sign-key PEM (a P-256 private key; given twice, the second
is the one sig-key2 signs with), the configuration is served with a last
line "SIG_P256=<base64 of the DER signature>" over every byte before it
(openssl dgst -sha256 -sign), a CR LF added first where the text lacks one.

The configuration template's {{FILES_HOST}} becomes 127.0.0.1:<files port>
(the files service's address and port), {{MIRROR_HOST}} the mirror's; {{SHA256:<path>}} and {{SIZE:<path>}}
become the SHA-256 (hex) and the size of that file of the --files folder as
it is when the configuration is served (empty when there is none), which is
how the default configuration names its setup programs' checks. SIGTERM or
SIGINT ends the program.
"""

import argparse
import ipaddress
import os
import shutil
import signal
import ssl
import sys
import tempfile
import threading

sys.dont_write_bytecode = True  # no cache files in the source tree
# The modules beside this file.
from certificates import make_certificates  # noqa: E402
from control import ControlHandler  # noqa: E402
from files import FilesHandler  # noqa: E402
from handlers import Handler  # noqa: E402
from proxy import ProxyHandler  # noqa: E402
from service import Service  # noqa: E402
from signing import Signer  # noqa: E402
from state import MODES, SERVICES, State, parse_fault  # noqa: E402


def log(text):
    print("sandbox: " + text, file=sys.stderr, flush=True)


def loopback(address):
    try:
        return ipaddress.ip_address(address) in ipaddress.ip_network("127.0.0.0/8")
    except ValueError:
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bind", default="127.0.0.1", help="address of config, region, files, control")
    parser.add_argument("--client-ip-bind", default=None, help="address of the client-IP service")
    parser.add_argument("--client-ip-port", type=int, default=443)
    for s in ("config", "region", "files", "mirror", "proxy", "control"):
        parser.add_argument("--%s-port" % s, type=int, default=0, help="0: any free port")
    parser.add_argument("--files", help="folder served by the files service")
    parser.add_argument("--mirror-files", help="folder served by the mirror (default: --files)")
    parser.add_argument("--config", help="configuration template file ({{FILES_HOST}} is filled in)")
    parser.add_argument("--region-answer", help="answer of the region check")
    parser.add_argument("--client-ip-answer", help="answer of the client-IP service ({{PEER}} is filled in)")
    parser.add_argument("--fault", action="append", default=[], metavar="SERVICE=MODE[:NAME=VALUE...]")
    parser.add_argument("--slow-ms", type=int, default=3000, help="delay of the slow mode")
    parser.add_argument("--cert-name", help="DNS name of the server certificate instead of the bound addresses")
    parser.add_argument("--ca-dir", help="folder that keeps the test CA (made when missing)")
    parser.add_argument("--ports-file", help="file that receives the key=value lines")
    parser.add_argument("--sign-key", action="append", default=[], metavar="PEM",
                        help="private key that signs the configuration (see SIGNING)")
    args = parser.parse_args()

    client_bind = args.client_ip_bind or args.bind
    for address in (args.bind, client_bind):
        if not loopback(address):
            parser.error("only loopback addresses (127.0.0.0/8) may be bound: " + address)
    faults = []
    for spec in args.fault:
        service, _, fault = spec.partition("=")
        mode, params = parse_fault(fault)
        faults.append((service, mode, params))
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
        state.signer = Signer(args.sign_key, work_dir)
        stop = threading.Event()
        signal.signal(signal.SIGTERM, lambda *_: stop.set())
        signal.signal(signal.SIGINT, lambda *_: stop.set())

        svc = {
            "config": Service("config", args.bind, args.config_port, tls, Handler, state),
            "region": Service("region", args.bind, args.region_port, None, Handler, state),
            "files": Service("files", args.bind, args.files_port, None, FilesHandler, state),
            "mirror": Service("mirror", args.bind, args.mirror_port, None, FilesHandler, state),
            "proxy": Service("proxy", args.bind, args.proxy_port, None, ProxyHandler, state),
        }
        try:
            svc["clientip"] = Service("clientip", client_bind, args.client_ip_port, tls, Handler, state)
        except OSError as e:
            log("client-IP service not started (%s:%d: %s)" % (client_bind, args.client_ip_port, e))
        control = Service("control", args.bind, args.control_port, None, ControlHandler, state)
        state.services = svc
        state.files_host = "%s:%d" % (args.bind, svc["files"].port)
        state.mirror_host = "%s:%d" % (args.bind, svc["mirror"].port)
        for service, mode, params in faults:
            state.set_fault(service, mode, params, add=True)

        ports = [("config", svc["config"].port), ("region", svc["region"].port),
                 ("clientip", svc["clientip"].port if "clientip" in svc else 0),
                 ("files", svc["files"].port), ("mirror", svc["mirror"].port), ("proxy", svc["proxy"].port),
                 ("control", control.port),
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
            state.changed.notify_all()
        for s in list(svc.values()) + [control]:
            s.close_listener()
        return 0
    finally:
        shutil.rmtree(work_dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
