#!/usr/bin/env python3
"""The publisher's tool: makes the signing key, fills the setup programs'
hashes and sizes into the configuration, signs it, and checks a configuration
(a file, or the one a server serves) the way the installer will.

  keygen PRIVATE.pem     a P-256 key pair; the public half goes beside it
  pubkey PRIVATE.pem     prints the public key (for ZK_CONFIG_PUBLIC_KEYS)
  fill CONFIG FOLDER [--mirror URL]...
                         H_SHA2_/S_SIZE_ of each language whose setup program
                         is in FOLDER; each --mirror (up to three, in order)
                         sets M_PATH1_.. to M_PATH3_.. of every language to
                         that folder URL; an old signature line is removed
  sign CONFIG PRIVATE.pem [--expires-in DAYS]
  verify SOURCE --key PUBLIC.pem [--key ...] [--setups FOLDER | --download]
                [--ca-file PEM]          SOURCE: a file or an http(s) URL;
                         --download fetches from every mirror too
  fill, sign and verify take [--config-dump PROGRAM]

The configuration is handled as bytes (code page 949, CR LF lines): what the
tool does not set stays byte for byte. Keys are found as the installer finds
them: the first occurrence of "KEY=" in the text before its first zero byte,
at a character's start, its value running to the next CR LF. fill, sign and
verify also ask the installer's own code (config-dump, from --config-dump or
the build tree) what it reads, and a difference is an error: nothing is
written, or verify names it. A text with a line end other than CR LF, a key
other than P-256 and a private key that others may read are refused. Exit
status: 0 when all is well, 1 when something is wrong (one line per
problem), 2 for a wrong command line. Needs the openssl program.
"""

import argparse
import base64
import binascii
import datetime
import functools
import hashlib
import json
import math
import os
import re
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.parse
import urllib.request

LANGUAGES = ("ZKEN", "ZKSC", "ZKTC", "ZKRU", "ZKJP")
CRLF = b"\r\n"
SIGNATURE_KEY = b"SIG_P256="
EXPIRY_KEY = b"X_EXPIRES="
MAX_CONFIG_BYTES = 1024 * 1024  # the installer refuses a larger body
MAX_DER_SIGNATURE_BYTES = 72
MAX_EXPIRY = 10 ** 18 - 1  # the installer reads at most 18 digits
# The DER SubjectPublicKeyInfo of a P-256 key: this header, then the point.
P256_HEADER = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200")
P256_ORDER = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551
SOURCE_TREE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The installer's fifteen keys and the UTF-16 units each value may take.
REQUIRED_KEYS = [(b"U_PATH_" + l.encode() + b"=", 255) for l in LANGUAGES] + \
                [(b"F_NAME_" + l.encode() + b"=", 127) for l in LANGUAGES] + \
                [(k + b"=", 127) for k in (b"F_NAME_Lst", b"F_NAME_Game", b"F_NAME_Update",
                                           b"R_PATH_Root", b"R_PATH_Game")]
# Each language's mirrors, in the order the installer tries them; optional.
MIRRORS = 3
MIRROR_CAPACITY = 255


def mirror_key(language, n):
    return b"M_PATH%d_%s=" % (n + 1, language.encode())


def mirrors_of(data, language):
    """The mirror folder URLs as the installer takes them: None for an empty
    value, an absent key or one longer than it takes."""
    found = []
    for n in range(MIRRORS):
        value = text_of(value_of(data, mirror_key(language, n)))
        found.append(value if value and len(value.encode("utf-16-le")) // 2 <= MIRROR_CAPACITY else None)
    return found


class Failure(Exception):
    """A step that cannot go on; its text is the one line printed."""


# ---- the text, as the installer reads it ----

@functools.lru_cache(maxsize=None)
def is_character(pair):
    try:
        pair.decode("cp949")
        return True
    except UnicodeDecodeError:
        return False


def char_starts(text):
    """Offsets where a code page 949 character starts. A lead byte takes the
    byte after it when the two are one character, and that byte may be an
    ASCII letter, so "KEY=" right after a lead byte is no key; a byte that
    starts no character stands alone, as the installer's decoder skips one
    byte of a bad sequence."""
    starts, at = set(), 0
    while at < len(text):
        starts.add(at)
        at += 2 if text[at] >= 0x81 and is_character(text[at:at + 2]) else 1
    return starts


def find_value(data, key):
    """(start, end) of the value of the first occurrence of key, or None."""
    text = data.split(b"\0", 1)[0]  # the installer reads nothing past a zero byte
    at, starts = text.find(key), None
    while at != -1:
        starts = starts if starts is not None else char_starts(text)
        if at in starts:
            start = at + len(key)
            end = text.find(CRLF, start)
            return start, end if end != -1 else len(text)
        at = text.find(key, at + 1)
    return None


def value_of(data, key):
    span = find_value(data, key)
    return None if span is None else data[span[0]:span[1]]


def text_of(value):
    return None if value is None else value.decode("cp949", "replace")


def bare_line_end(data):
    """Where the text has a CR or LF that is not part of a CR LF, or None."""
    bare = re.search(rb"\r(?!\n)|(?<!\r)\n", data)
    if bare is None:
        return None
    return "a bare %s at byte %d" % ("CR" if bare.group() == b"\r" else "LF", bare.start())


def require_crlf(data, path):
    where = bare_line_end(data)
    if where:
        raise Failure("%s has %s: the installer's lines end with CR LF only (convert it, e.g. unix2dos)" % (path, where))


def ends_with_line_end(data):
    return data if not data or data.endswith(CRLF) else data + CRLF


def set_value(data, key, value):
    """The value replaced where the installer reads it, or a new last line."""
    span = find_value(data, key)
    if span is not None:
        return data[:span[0]] + value + data[span[1]:]
    if b"\0" in data:
        raise Failure("the text holds a zero byte: the installer would never read a line added after it")
    return ends_with_line_end(data) + key + value + CRLF


def split_signature(data):
    """(every byte before the last line, the base64 after SIG_P256= or None)."""
    content = data[:-2] if data.endswith(CRLF) else data
    cut = content.rfind(CRLF)
    start = 0 if cut == -1 else cut + 2
    line = content[start:]
    return data[:start], (line[len(SIGNATURE_KEY):] if line.startswith(SIGNATURE_KEY) else None)


def unsigned_body(data):
    body, signature = split_signature(data)
    return body if signature is not None else data


# ---- files and programs ----

def read_file(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        raise Failure("cannot read %s: %s" % (path, e.strerror))


def write_atomically(path, data):
    """A temporary file in the same folder, renamed over the old one: a reader
    sees the old text or the new, never half of one."""
    folder = os.path.dirname(os.path.abspath(path))
    fd, temporary = tempfile.mkstemp(dir=folder, prefix=".publish-")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        if os.path.exists(path):
            os.chmod(temporary, os.stat(path).st_mode & 0o7777)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def openssl(*args, data=None):
    try:
        done = subprocess.run(["openssl", *args], input=data, capture_output=True)
    except FileNotFoundError:
        raise Failure("the openssl program is not installed")
    return done


def first_error_line(done):
    lines = done.stderr.decode(errors="replace").strip().splitlines()
    return lines[0] if lines else "exit status %d" % done.returncode


def public_pem(private_path):
    done = openssl("pkey", "-in", private_path, "-pubout")
    if done.returncode != 0:
        raise Failure("%s is no private key openssl can read" % private_path)
    return done.stdout


def require_p256(path, public):
    """Refuses a key other than P-256: the installer verifies nothing else."""
    done = openssl("pkey", *(["-pubin"] if public else []), "-in", path, "-pubout", "-outform", "DER")
    if done.returncode != 0:
        raise Failure("%s is no %s key openssl can read" % (path, "public" if public else "private"))
    if len(done.stdout) != len(P256_HEADER) + 65 or not done.stdout.startswith(P256_HEADER):
        raise Failure("%s is not a P-256 (prime256v1) key: the installer takes only ECDSA P-256 signatures" % path)


def private_key(path):
    """A P-256 private key that only its owner may read."""
    try:
        mode = os.stat(path).st_mode & 0o7777
    except OSError as e:
        raise Failure("cannot read %s: %s" % (path, e.strerror))
    if mode & 0o044:
        raise Failure("%s may be read by others (mode %04o): chmod 600 it, and make a new key if someone may "
                      "have copied it" % (path, mode))
    require_p256(path, public=False)
    return path


def strict_der(der):
    """Whether the signature is one the installer reads: a SEQUENCE of two
    INTEGERs in their shortest form, each from 1 to the curve's order - 1,
    at most 72 bytes."""
    if not 2 <= len(der) <= MAX_DER_SIGNATURE_BYTES or der[0] != 0x30 or der[1] != len(der) - 2:
        return False
    at = 2
    for _ in range(2):
        if len(der) - at < 2 or der[at] != 0x02:
            return False
        size, value = der[at + 1], der[at + 2:at + 2 + der[at + 1]]
        if size == 0 or len(value) != size or value[0] & 0x80 or (size > 1 and value[0] == 0 and not value[1] & 0x80):
            return False
        if not 0 < int.from_bytes(value, "big") < P256_ORDER:
            return False
        at += 2 + size
    return at == len(der)


# ---- the installer's own reading (config-dump) ----

def find_config_dump(given):
    """The program named on the command line, else the first built one in
    this source tree's build folders."""
    if given:
        return given
    for preset in ("product", "release", "debug"):
        candidate = os.path.join(SOURCE_TREE, "build", preset, "tools", "publish", "config-dump")
        if os.access(candidate, os.X_OK):
            return candidate
    raise Failure("config-dump not found: build it (cmake --build --preset release --target config_dump) "
                  "or name it with --config-dump PROGRAM")


def installer_reading(args, data, keys=()):
    """What config-dump says the installer reads from the bytes."""
    with tempfile.NamedTemporaryFile(prefix="publish-") as text:
        text.write(data)
        text.flush()
        command = [find_config_dump(args.config_dump)]
        for key in keys:
            command += ["--key", key]
        try:
            done = subprocess.run(command + [text.name], capture_output=True)
        except OSError as e:
            raise Failure("cannot run %s: %s" % (command[0], e.strerror))
    if done.returncode != 0:
        raise Failure("config-dump failed: " + first_error_line(done))
    try:
        reading = json.loads(done.stdout)
        well_formed = isinstance(reading["values"], dict) and len(reading["checks"]) == len(LANGUAGES) and \
            all("sha256" in check and "size" in check for check in reading["checks"]) and \
            {"verdict", "signature", "expiry", "complete"} <= reading.keys() and \
            len(reading["mirrors"]) == len(LANGUAGES)
    except (ValueError, TypeError, KeyError):
        well_formed = False
    if not well_formed:
        raise Failure("config-dump printed no reading")
    return reading


def disagreements(body, reading):
    """Where the installer's reading of the text differs from this tool's."""
    if reading["verdict"] == "not fetched":
        return ["the installer takes no text that is empty or over %d bytes" % MAX_CONFIG_BYTES]
    found = []

    def differ(what, ours, theirs):
        if ours != theirs:
            found.append("%s: the installer reads %s, this tool %s" % (what, json.dumps(theirs, ensure_ascii=False),
                                                                       json.dumps(ours, ensure_ascii=False)))
    for key, _ in REQUIRED_KEYS:
        differ(key.decode(), text_of(value_of(body, key)), reading["values"].get(key.decode()))
    for slot, language in enumerate(LANGUAGES):
        sha256, size = setup_check(body, language)
        differ("H_SHA2_%s=" % language, sha256, reading["checks"][slot]["sha256"])
        differ("S_SIZE_%s=" % language, size, reading["checks"][slot]["size"])
        for n, mirror in enumerate(mirrors_of(body, language)):
            differ(mirror_key(language, n).decode(), mirror, reading["mirrors"][slot][n])
    differ("X_EXPIRES=", expiry_of(body), reading["expiry"])
    problems = []
    check_keys(body, problems)
    differ("all fifteen keys usable", not problems, reading["complete"])
    return found


def require_agreement(body, reading):
    found = disagreements(body, reading)
    if found:
        raise Failure("the installer reads this text otherwise; nothing written:\n  " + "\n  ".join(found))


def stream_fact(stream):
    """(SHA-256 hex, size) of what the stream gives, read in pieces."""
    digest, size = hashlib.sha256(), 0
    for piece in iter(lambda: stream.read(1 << 20), b""):
        digest.update(piece)
        size += len(piece)
    return digest.hexdigest(), size


def setup_fact(path):
    with open(path, "rb") as f:
        return stream_fact(f)


def setup_name(data, language):
    name = value_of(data, b"F_NAME_" + language.encode() + b"=")
    return name.decode("cp949", "replace") if name else None


def setup_path(folder, name, language):
    """The setup program's file: a plain file name inside the folder, no
    link leading out of it; None when there is no such file."""
    if name in (".", "..") or any(c in name for c in "/\\\0"):
        raise Failure("F_NAME_%s= is %r, no plain file name: fill takes only a file in %s" % (language, name, folder))
    path = os.path.join(folder, name)
    if not os.path.lexists(path):
        return None
    inside = os.path.realpath(folder)
    if os.path.commonpath([inside, os.path.realpath(path)]) != inside:
        raise Failure("F_NAME_%s=: %s is a link that leads out of %s" % (language, path, folder))
    return path if os.path.isfile(path) else None


class NoDowngrade(urllib.request.HTTPRedirectHandler):
    """A request that starts over https follows redirects only to https, as
    the installer's do."""

    def redirect_request(self, request, answer, code, message, headers, new_url):
        if request.full_url.startswith("https:") and not new_url.startswith("https:"):
            raise urllib.error.URLError("redirected from https to %s, which the installer refuses" % new_url)
        return super().redirect_request(request, answer, code, message, headers, new_url)


def fetch(url, ca_file):
    context = ssl.create_default_context(cafile=ca_file)
    opener = urllib.request.build_opener(urllib.request.HTTPSHandler(context=context), NoDowngrade)
    try:
        return opener.open(url, timeout=30)
    except (OSError, ValueError) as e:  # URLError, HTTPError and certificate errors are OSErrors
        raise Failure("cannot fetch %s: %s" % (url, getattr(e, "reason", e)))


def download_fact(url, ca_file):
    with fetch(url, ca_file) as answer:
        return stream_fact(answer)


def joined_url(folder, name):
    """The folder URL and the file name joined as they stand, as the installer
    does (no "/" is added), UTF-8 with what a URL cannot carry escaped."""
    return urllib.parse.quote(folder + name, safe=":/?#[]@!$&'()*+,;=%~")


def setup_url(data, language):
    folder = value_of(data, b"U_PATH_" + language.encode() + b"=") or b""
    return joined_url(folder.decode("cp949", "replace"), setup_name(data, language) or "")


def setup_urls(data, language):
    """The primary URL, then each mirror's, in the installer's order."""
    name = setup_name(data, language) or ""
    return [setup_url(data, language)] + [joined_url(m, name) for m in mirrors_of(data, language) if m]


# ---- the subcommands ----

def keygen(args):
    public_path = args.private[:-4] + ".pub.pem" if args.private.endswith(".pem") else args.private + ".pub.pem"
    for path in (args.private, public_path):
        if os.path.exists(path):
            raise Failure("%s exists: not overwritten" % path)
    done = openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256")
    if done.returncode != 0:
        raise Failure("openssl could not make a key: " + first_error_line(done))
    # Made with mode 0600 and O_EXCL: never readable by others, never a file that appeared meanwhile.
    with os.fdopen(os.open(args.private, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "wb") as f:
        f.write(done.stdout)
    public = public_pem(args.private)
    with open(public_path, "xb") as f:
        f.write(public)
    print("private key: %s (keep it secret)" % args.private)
    print("public key: %s (for ZK_CONFIG_PUBLIC_KEYS)" % public_path)
    sys.stdout.write(public.decode())
    return 0


def pubkey(args):
    sys.stdout.write(public_pem(private_key(args.private)).decode())
    return 0


def fill(args):
    original = read_file(args.config)
    require_crlf(original, args.config)
    data = unsigned_body(original)
    filled, missing = [], {}
    for language in LANGUAGES:
        name = setup_name(data, language)
        path = setup_path(args.folder, name, language) if name else None
        if path is None:
            missing[language] = os.path.join(args.folder, name) if name else "no F_NAME_%s=" % language
            continue
        sha256, size = setup_fact(path)
        data = set_value(data, b"H_SHA2_" + language.encode() + b"=", sha256.encode())
        data = set_value(data, b"S_SIZE_" + language.encode() + b"=", str(size).encode())
        filled.append((language, sha256, size))
    for n, mirror in enumerate(args.mirror or []):
        if n >= MIRRORS:
            raise Failure("at most %d mirrors: the installer reads no more" % MIRRORS)
        if not mirror.startswith(("http://", "https://")) or not mirror.endswith("/"):
            raise Failure("--mirror %s: a mirror is an http(s) folder URL ending with /" % mirror)
        value = mirror.encode("cp949")
        for language in LANGUAGES:
            data = set_value(data, mirror_key(language, n), value)
    reading = installer_reading(args, data)
    require_agreement(data, reading)
    for language, sha256, size in filled:
        check = reading["checks"][LANGUAGES.index(language)]
        if (check["sha256"], check["size"]) != (sha256, size):
            raise Failure("%s: the installer reads the hash and size filled in otherwise; nothing written" % language)
    write_atomically(args.config, data)
    filled = [language for language, _, _ in filled]
    missing = ["%s (%s)" % item for item in missing.items()]
    print("filled: " + (" ".join(filled) or "none"))
    if missing:
        print("missing: " + ", ".join(missing))
    print("%s is not signed now: sign it before you upload it" % args.config)
    return 0


def sign(args):
    original = read_file(args.config)
    require_crlf(original, args.config)
    private = private_key(args.private)
    data = unsigned_body(original)
    if args.expires_in is not None:
        expires = int(time.time() + args.expires_in * 86400)
        if expires > MAX_EXPIRY:
            raise Failure("--expires-in %g days is past what the installer reads (18 digits)" % args.expires_in)
        data = set_value(data, EXPIRY_KEY, str(expires).encode())
    data = ends_with_line_end(data)
    done = openssl("dgst", "-sha256", "-sign", private, data=data)
    if done.returncode != 0:
        raise Failure("openssl could not sign with %s: %s" % (private, first_error_line(done)))
    if not strict_der(done.stdout):
        raise Failure("openssl made a signature the installer does not read")
    signed = data + SIGNATURE_KEY + base64.b64encode(done.stdout) + CRLF
    with tempfile.NamedTemporaryFile(prefix="publish-", suffix=".pub.pem") as public:
        public.write(public_pem(private))
        public.flush()
        reading = installer_reading(args, signed, [public.name])
    require_agreement(data, reading)
    if reading["signature"] != "verified":
        raise Failure("the installer finds the new signature %s; nothing written" % reading["signature"])
    write_atomically(args.config, signed)
    print("signed %s, %s" % (args.config, describe_expiry(data)))
    return 0


def expiry_of(data):
    """None, "unreadable", or the seconds, as the installer reads them."""
    value = value_of(data, EXPIRY_KEY)
    if value is None:
        return None
    if not value.isdigit() or len(value) > 18:
        return "unreadable"
    return int(value)


def describe_expiry(data):
    expiry = expiry_of(data)
    if expiry is None:
        return "no expiry time"
    if expiry == "unreadable":
        return "X_EXPIRES= is not a number: %r" % value_of(data, EXPIRY_KEY)
    when = datetime.datetime.fromtimestamp(min(expiry, 253402300799), datetime.timezone.utc)
    past = " (already past)" if time.time() > expiry else ""
    return "expires %s%s (X_EXPIRES=%d)" % (when.strftime("%Y-%m-%d %H:%M:%S UTC"), past, expiry)


def days(text):
    """--expires-in: a finite number of days above 0."""
    try:
        value = float(text)
    except ValueError:
        value = math.nan
    if not math.isfinite(value) or value <= 0:
        raise argparse.ArgumentTypeError("%r is no number of days above 0" % text)
    return value


def check_signature(data, keys, problems):
    """The signed part, whatever the signature's verdict, and the verdict in
    config-dump's words."""
    body, encoded = split_signature(data)
    if encoded is None:
        problems.append("not signed: the last line is no SIG_P256= line")
        return data, "not signed"
    try:
        der = base64.b64decode(encoded, validate=True)
    except (binascii.Error, ValueError):
        der = None
    if der is None or base64.b64encode(der) != encoded:
        problems.append("the signature is malformed: not canonical base64")
        return body, "malformed"
    if not strict_der(der):
        problems.append("the signature is malformed: no strict DER P-256 signature of at most %d bytes"
                        % MAX_DER_SIGNATURE_BYTES)
        return body, "malformed"
    with tempfile.NamedTemporaryFile() as signature:
        signature.write(der)
        signature.flush()
        for key in keys:
            if openssl("dgst", "-sha256", "-verify", key, "-signature", signature.name, data=body).returncode == 0:
                print("ok: signed by %s" % key)
                return body, "verified"
    problems.append("the signature does not match: the text was changed after signing, "
                    "or no given key made it")
    return body, "does not match"


def check_expiry(body, problems):
    expiry = describe_expiry(body)
    if expiry.startswith("X_EXPIRES="):
        problems.append(expiry)
    elif "already past" in expiry:
        problems.append("expired: " + expiry)
    else:
        print("ok: " + expiry)


def check_keys(body, problems):
    for key, capacity in REQUIRED_KEYS:
        value = value_of(body, key)
        if value is None:
            problems.append("%s is missing: the installer cannot use this configuration" % key.decode())
        elif len(value.decode("cp949", "replace").encode("utf-16-le")) // 2 > capacity:
            problems.append("%s is longer than the installer takes (%d characters)" % (key.decode(), capacity))
    for language in LANGUAGES:
        for n in range(MIRRORS):
            value = text_of(value_of(body, mirror_key(language, n)))
            if not value:
                continue
            key = mirror_key(language, n).decode()
            if len(value.encode("utf-16-le")) // 2 > MIRROR_CAPACITY:
                problems.append("%s is longer than the installer takes (%d characters): no mirror" %
                                (key, MIRROR_CAPACITY))
            elif not value.startswith(("http://", "https://")):
                problems.append("%s is no http(s) URL: the installer cannot download from it" % key)


def setup_check(body, language):
    """(hash, size) as the installer reads them: None for none, "malformed",
    or the lower-case hex digest and the number of bytes."""
    hash_value = value_of(body, b"H_SHA2_" + language.encode() + b"=") or b""
    size_value = value_of(body, b"S_SIZE_" + language.encode() + b"=") or b""
    sha256 = size = None
    if hash_value:
        hex_digits = len(hash_value) == 64 and all(c in b"0123456789abcdefABCDEF" for c in hash_value)
        sha256 = hash_value.decode().lower() if hex_digits else "malformed"
    if size_value:
        size = int(size_value) if size_value.isdigit() and int(size_value) < 1 << 64 else "malformed"
    return sha256, size


def check_setup(body, language, args, problems):
    hash_value = value_of(body, b"H_SHA2_" + language.encode() + b"=") or b""
    size_value = value_of(body, b"S_SIZE_" + language.encode() + b"=") or b""
    if not hash_value:
        problems.append("%s: no H_SHA2_%s=: a build with keys never downloads this setup program" % (language, language))
    well_formed = "malformed" not in setup_check(body, language)
    if not well_formed:
        problems.append("%s: H_SHA2_%s= or S_SIZE_%s= is malformed" % (language, language, language))
    if not well_formed or not (hash_value or size_value) or not (args.setups or args.download):
        return
    if args.download:
        # Every mirror is trusted as the primary is: each must serve the file.
        for where in setup_urls(body, language):
            try:
                compare_setup(language, where, download_fact(where, args.ca_file), hash_value, size_value, problems)
            except Failure as e:
                problems.append("%s: %s" % (language, e))
        return
    where = os.path.join(args.setups, setup_name(body, language) or "")
    if not os.path.isfile(where):
        problems.append("%s: %s is not there" % (language, where))
        return
    compare_setup(language, where, setup_fact(where), hash_value, size_value, problems)


def compare_setup(language, where, fact, hash_value, size_value, problems):
    sha256, size = fact
    if size_value and int(size_value) != size:
        problems.append("%s: %s has %d bytes, the configuration says %s" % (language, where, size, size_value.decode()))
    elif hash_value and hash_value.decode().lower() != sha256:
        problems.append("%s: the SHA-256 of %s differs from the configuration's" % (language, where))
    else:
        print("ok: %s matches %s" % (language, where))


def verify(args):
    for key in args.key:
        read_file(key)  # a key that cannot be read is no verdict on the signature
        require_p256(key, public=True)
    source = args.source
    if source.startswith(("http://", "https://")):
        with fetch(source, args.ca_file) as answer:
            data = answer.read(MAX_CONFIG_BYTES + 1)
    else:
        data = read_file(source)
    problems = []
    if len(data) > MAX_CONFIG_BYTES:
        problems.append("larger than %d bytes: the installer refuses it" % MAX_CONFIG_BYTES)
    where = bare_line_end(data)
    if where:
        problems.append("%s: the installer's lines end with CR LF only" % where)
    body, signature = check_signature(data, args.key, problems)
    reading = installer_reading(args, data, args.key)
    if reading["verdict"] != "not fetched":  # the size's problem is already named
        if reading["signature"] != signature:
            problems.append("the signature: the installer finds it %s, this tool %s" % (reading["signature"], signature))
        problems += disagreements(body, reading)
    check_expiry(body, problems)
    check_keys(body, problems)
    for language in LANGUAGES:
        try:
            check_setup(body, language, args, problems)
        except Failure as e:
            problems.append("%s: %s" % (language, e))
    for problem in problems:
        print("problem: " + problem)
    print("verified: all is well" if not problems else "verify failed: %d problem(s)" % len(problems))
    return 0 if not problems else 1


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("keygen", help="make a P-256 key pair")
    p.add_argument("private")
    p.set_defaults(run=keygen)
    p = commands.add_parser("pubkey", help="print the public key")
    p.add_argument("private")
    p.set_defaults(run=pubkey)
    dump = argparse.ArgumentParser(add_help=False)
    dump.add_argument("--config-dump", metavar="PROGRAM",
                      help="the installer's reading (default: build/{product,release,debug}/tools/publish/config-dump)")
    p = commands.add_parser("fill", parents=[dump], help="set the setup programs' hashes and sizes")
    p.add_argument("config")
    p.add_argument("folder")
    p.add_argument("--mirror", action="append", metavar="URL",
                   help="a mirror's folder URL for every language (up to three, in the order tried)")
    p.set_defaults(run=fill)
    p = commands.add_parser("sign", parents=[dump], help="sign the configuration")
    p.add_argument("config")
    p.add_argument("private")
    p.add_argument("--expires-in", type=days, metavar="DAYS")
    p.set_defaults(run=sign)
    p = commands.add_parser("verify", parents=[dump], help="check a configuration as the installer will")
    p.add_argument("source")
    p.add_argument("--key", action="append", required=True, metavar="PUBLIC.pem")
    where = p.add_mutually_exclusive_group()
    where.add_argument("--setups", metavar="FOLDER", help="compare with the setup programs in FOLDER")
    where.add_argument("--download", action="store_true", help="download each setup program and compare")
    p.add_argument("--ca-file", metavar="PEM", help="certificate authorities to trust instead of the system's")
    p.set_defaults(run=verify)
    args = parser.parse_args(argv)
    try:
        return args.run(args)
    except Failure as e:
        print("problem: %s" % e)
        return 1


if __name__ == "__main__":
    sys.exit(main())
