"""The sandbox's test CA and server certificates, made with the openssl command line."""

import os
import subprocess
import time


def run_openssl(args, cwd):
    subprocess.run(["openssl"] + args, cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_certificates(ca_dir, work_dir, names):
    """A CA (reused when ca_dir holds one) and a server certificate for names."""
    ca_pem = os.path.join(ca_dir, "sandbox-ca.pem")
    ca_key = os.path.join(ca_dir, "sandbox-ca.key")
    if not (os.path.exists(ca_pem) and os.path.exists(ca_key)):
        tmp_pem, tmp_key = ca_pem + ".tmp%d" % os.getpid(), ca_key + ".tmp%d" % os.getpid()
        run_openssl(["req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                     "-nodes", "-keyout", tmp_key, "-out", tmp_pem, "-days", "7",
                     "-subj", "/CN=Sandbox Test CA",
                     "-addext", "basicConstraints=critical,CA:TRUE",
                     "-addext", "keyUsage=critical,keyCertSign,cRLSign"], ca_dir)
        os.replace(tmp_key, ca_key)
        os.replace(tmp_pem, ca_pem)
    ext = os.path.join(work_dir, "server.ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=CA:FALSE\n")
        f.write("keyUsage=digitalSignature,keyEncipherment\n")
        f.write("extendedKeyUsage=serverAuth\n")
        f.write("subjectAltName=" + ",".join(names) + "\n")
    run_openssl(["req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                 "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=sandbox"], work_dir)
    run_openssl(["x509", "-req", "-in", "server.csr", "-CA", ca_pem, "-CAkey", ca_key,
                 "-set_serial", str(int(time.time() * 1000) ^ os.getpid()),
                 "-out", "server.pem", "-days", "7", "-extfile", ext], work_dir)
    return ca_pem, os.path.join(work_dir, "server.pem"), os.path.join(work_dir, "server.key")
