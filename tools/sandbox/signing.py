"""Signs the configuration that the sandbox serves, as a publisher does: the
last line is "SIG_P256=" and the base64 of the DER ECDSA P-256 signature
(openssl dgst -sha256 -sign) over every byte before it. The signature faults
spoil a signed configuration in one way each."""

import base64
import os
import subprocess
import time

# Faults of the configuration service that change its signature line.
SIGNATURE_MODES = ("unsigned", "sig-body", "sig-flip", "sig-untrusted", "sig-key2", "expired")


class Signer:
    def __init__(self, keys, work_dir):
        self.keys = list(keys or [])
        self.work_dir = work_dir
        self.untrusted = None  # a key of the sandbox's own, made when first needed

    def own_key(self):
        if self.untrusted is None:
            path = os.path.join(self.work_dir, "untrusted-key.pem")
            subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                            "-out", path], check=True, capture_output=True)
            self.untrusted = path
        return self.untrusted

    @staticmethod
    def der(body, key):
        return subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=body, check=True,
                              capture_output=True).stdout

    @staticmethod
    def line(der):
        return b"SIG_P256=" + base64.b64encode(der) + b"\r\n"

    def serve(self, body, applied):
        """The body as served under the faults that apply: signed with the
        first key when the sandbox has one (or for a signature fault)."""
        mode = applied.first(*SIGNATURE_MODES)
        if mode == "unsigned" or (mode is None and not self.keys):
            return body
        if not body.endswith(b"\r\n"):
            body += b"\r\n"
        key = self.keys[0] if self.keys else self.own_key()
        if mode == "sig-untrusted":
            key = self.own_key()
        elif mode == "sig-key2":
            key = self.keys[1] if len(self.keys) > 1 else self.own_key()
        elif mode == "expired":
            body = b"X_EXPIRES=%d\r\n" % (int(time.time()) - 3600) + body
        der = self.der(body, key)
        if mode == "sig-body":
            middle = len(body) // 2
            body = body[:middle] + bytes([body[middle] ^ 0x01]) + body[middle + 1:]
        elif mode == "sig-flip":
            # The last byte of s: the DER stays well formed, the number changes.
            der = der[:-1] + bytes([der[-1] ^ 0x01])
        return body + self.line(der)
