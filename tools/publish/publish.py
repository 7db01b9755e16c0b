#!/usr/bin/env python3
"""The publisher's tool: makes the signing key, fills the setup programs'
hashes and sizes into the configuration, signs it, and checks a configuration
(a file, or the one a server serves) the way the installer will.

  keygen PRIVATE.pem     a P-256 key pair; the public half goes beside it
  pubkey PRIVATE.pem     prints the public key (for ZK_CONFIG_PUBLIC_KEYS)
  fill CONFIG FOLDER     H_SHA2_/S_SIZE_ of each language whose setup program
                         is in FOLDER; an old signature line is removed
  sign CONFIG PRIVATE.pem [--expires-in DAYS]
  verify SOURCE --key PUBLIC.pem [--key ...] [--setups FOLDER | --download]
                [--ca-file PEM]          SOURCE: a file or an http(s) URL

The configuration is handled as bytes (code page 949, CR LF lines): what the
tool does not set stays byte for byte. Keys are found as the installer finds
them: the first occurrence of "KEY=" in the text before its first zero byte,
at a character's start, its value running to the next CR LF. Exit status: 0
when all is well, 1 when something is wrong (one line per problem), 2 for a
wrong command line. Needs the openssl program.
"""

import argparse
import base64
import binascii
import datetime
import functools
import hashlib
import os
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
# The installer's fifteen keys and the UTF-16 units each value may take.
REQUIRED_KEYS = [(b"U_PATH_" + l.encode() + b"=", 255) for l in LANGUAGES] + \
                [(b"F_NAME_" + l.encode() + b"=", 127) for l in LANGUAGES] + \
                [(k + b"=", 127) for k in (b"F_NAME_Lst", b"F_NAME_Game", b"F_NAME_Update",
                                           b"R_PATH_Root", b"R_PATH_Game")]


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


def setup_url(data, language):
    """The folder URL and the file name joined as they stand, as the installer
    does (no "/" is added), UTF-8 with what a URL cannot carry escaped."""
    folder = value_of(data, b"U_PATH_" + language.encode() + b"=") or b""
    name = value_of(data, b"F_NAME_" + language.encode() + b"=") or b""
    joined = (folder + name).decode("cp949", "replace")
    return urllib.parse.quote(joined, safe=":/?#[]@!$&'()*+,;=%~")


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
    sys.stdout.write(public_pem(args.private).decode())
    return 0


def fill(args):
    data = unsigned_body(read_file(args.config))
    filled, missing = [], []
    for language in LANGUAGES:
        name = setup_name(data, language)
        path = os.path.join(args.folder, name) if name else None
        if path is None or not os.path.isfile(path):
            missing.append("%s (%s)" % (language, path or "no F_NAME_%s=" % language))
            continue
        sha256, size = setup_fact(path)
        data = set_value(data, b"H_SHA2_" + language.encode() + b"=", sha256.encode())
        data = set_value(data, b"S_SIZE_" + language.encode() + b"=", str(size).encode())
        filled.append(language)
    write_atomically(args.config, data)
    print("filled: " + (" ".join(filled) or "none"))
    if missing:
        print("missing: " + ", ".join(missing))
    print("%s is not signed now: sign it before you upload it" % args.config)
    return 0


def sign(args):
    data = unsigned_body(read_file(args.config))
    if args.expires_in is not None:
        expires = int(time.time() + args.expires_in * 86400)
        data = set_value(data, EXPIRY_KEY, str(max(expires, 0)).encode())
    data = ends_with_line_end(data)
    done = openssl("dgst", "-sha256", "-sign", args.private, data=data)
    if done.returncode != 0:
        raise Failure("openssl could not sign with %s: %s" % (args.private, first_error_line(done)))
    write_atomically(args.config, data + SIGNATURE_KEY + base64.b64encode(done.stdout) + CRLF)
    print("signed %s, %s" % (args.config, describe_expiry(data)))
    return 0


def describe_expiry(data):
    value = value_of(data, EXPIRY_KEY)
    if value is None:
        return "no expiry time"
    if not value.isdigit() or len(value) > 18:  # as the installer reads it
        return "X_EXPIRES= is not a number: %r" % value
    when = datetime.datetime.fromtimestamp(min(int(value), 253402300799), datetime.timezone.utc)
    past = " (already past)" if time.time() > int(value) else ""
    return "expires %s%s (X_EXPIRES=%s)" % (when.strftime("%Y-%m-%d %H:%M:%S UTC"), past, value.decode())


def check_signature(data, keys, problems):
    """The signed part, whatever the signature's verdict."""
    body, encoded = split_signature(data)
    if encoded is None:
        problems.append("not signed: the last line is no SIG_P256= line")
        return data
    try:
        der = base64.b64decode(encoded, validate=True)
    except (binascii.Error, ValueError):
        der = None
    if der is None or base64.b64encode(der) != encoded:
        problems.append("the signature is malformed: not canonical base64")
        return body
    with tempfile.NamedTemporaryFile() as signature:
        signature.write(der)
        signature.flush()
        for key in keys:
            if openssl("dgst", "-sha256", "-verify", key, "-signature", signature.name, data=body).returncode == 0:
                print("ok: signed by %s" % key)
                return body
    problems.append("the signature does not match: the text was changed after signing, "
                    "or no given key made it")
    return body


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


def check_setup(body, language, args, problems):
    hash_value = value_of(body, b"H_SHA2_" + language.encode() + b"=") or b""
    size_value = value_of(body, b"S_SIZE_" + language.encode() + b"=") or b""
    if not hash_value:
        problems.append("%s: no H_SHA2_%s=: a build with keys never downloads this setup program" % (language, language))
    well_formed = (not hash_value or (len(hash_value) == 64 and all(c in b"0123456789abcdefABCDEF" for c in hash_value))) \
        and (not size_value or size_value.isdigit())
    if not well_formed:
        problems.append("%s: H_SHA2_%s= or S_SIZE_%s= is malformed" % (language, language, language))
    if not well_formed or not (hash_value or size_value) or not (args.setups or args.download):
        return
    if args.download:
        where = setup_url(body, language)
        sha256, size = download_fact(where, args.ca_file)
    else:
        where = os.path.join(args.setups, setup_name(body, language) or "")
        if not os.path.isfile(where):
            problems.append("%s: %s is not there" % (language, where))
            return
        sha256, size = setup_fact(where)
    if size_value and int(size_value) != size:
        problems.append("%s: %s has %d bytes, the configuration says %s" % (language, where, size, size_value.decode()))
    elif hash_value and hash_value.decode().lower() != sha256:
        problems.append("%s: the SHA-256 of %s differs from the configuration's" % (language, where))
    else:
        print("ok: %s matches %s" % (language, where))


def verify(args):
    for key in args.key:
        read_file(key)  # a key that cannot be read is no verdict on the signature
    source = args.source
    if source.startswith(("http://", "https://")):
        with fetch(source, args.ca_file) as answer:
            data = answer.read(MAX_CONFIG_BYTES + 1)
    else:
        data = read_file(source)
    problems = []
    if len(data) > MAX_CONFIG_BYTES:
        problems.append("larger than %d bytes: the installer refuses it" % MAX_CONFIG_BYTES)
    body = check_signature(data, args.key, problems)
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
    p = commands.add_parser("fill", help="set the setup programs' hashes and sizes")
    p.add_argument("config")
    p.add_argument("folder")
    p.set_defaults(run=fill)
    p = commands.add_parser("sign", help="sign the configuration")
    p.add_argument("config")
    p.add_argument("private")
    p.add_argument("--expires-in", type=float, metavar="DAYS")
    p.set_defaults(run=sign)
    p = commands.add_parser("verify", help="check a configuration as the installer will")
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
