#!/usr/bin/env python3
"""Authenticode signing for the tests, with throwaway certificates made at run time.

A self-signed certificate for signing our own programs (throwaway_certificate, sign),
and, for the publisher check's tests:

    signing.py make DIR PROGRAM.exe

makes in DIR, with openssl and osslsigncode and nothing kept from an earlier run:
  root.der       a throwaway root certificate (to be trusted by the test's prefix)
  good.exe       PROGRAM signed by "Zarn Test Publisher", issued by that root
  other.exe      PROGRAM signed by "Other Publisher", issued by that root
  untrusted.exe  PROGRAM signed by "Zarn Test Publisher", issued by a root nobody trusts
  unsigned.exe   PROGRAM as it is
  tampered.exe   good.exe with one byte of its code changed
"""
import os
import shutil
import struct
import subprocess
import sys

PUBLISHER = "Zarn Test Publisher"
OTHER = "Other Publisher"

SERIALS = {"good": 2, "other": 3, "lost": 4}
LEAF_EXT = """basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
"""


def run(*args):
    p = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)
    if p.returncode != 0:
        raise RuntimeError("%s failed: %s" % (args[0], p.stdout.decode("utf-8", "replace").strip()[-500:]))


def root(d, name, cn):
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "30", "-subj", "/CN=" + cn,
        "-keyout", os.path.join(d, name + ".key"), "-out", os.path.join(d, name + ".pem"),
        "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")


def leaf(d, name, cn, issuer):
    key, csr, pem = (os.path.join(d, name + ext) for ext in (".key", ".csr", ".pem"))
    run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + cn, "-keyout", key, "-out", csr)
    ext = os.path.join(d, "leaf.ext")
    with open(ext, "w") as f:
        f.write(LEAF_EXT)
    run("openssl", "x509", "-req", "-in", csr, "-CA", os.path.join(d, issuer + ".pem"), "-CAkey",
        os.path.join(d, issuer + ".key"), "-set_serial", str(SERIALS[name]), "-days", "30",
        "-extfile", ext, "-out", pem)


def sign_as(d, signer, src, dst):
    if os.path.exists(dst):
        os.remove(dst)
    run("osslsigncode", "sign", "-certs", os.path.join(d, signer + ".pem"), "-key", os.path.join(d, signer + ".key"),
        "-h", "sha256", "-in", src, "-out", dst)


def throwaway_certificate(folder):
    """A self-signed code-signing certificate made now, never kept: (pfx, password file)."""
    os.makedirs(folder, exist_ok=True)
    key, crt = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
    pfx, pw = os.path.join(folder, "cert.pfx"), os.path.join(folder, "pass.txt")
    with open(pw, "w") as f:
        f.write("throwaway\n")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", crt,
                    "-days", "2", "-subj", "/CN=Zarn test signer", "-addext", "extendedKeyUsage=codeSigning"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    subprocess.run(["openssl", "pkcs12", "-export", "-out", pfx, "-inkey", key, "-in", crt, "-passout",
                    "pass:throwaway"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    return pfx, pw


def sign(exe, pfx, password_file, out):
    """Authenticode, SHA-256, with osslsigncode; then its own verification."""
    subprocess.run(["osslsigncode", "sign", "-pkcs12", pfx, "-readpass", password_file, "-h", "sha256",
                    "-n", "Zarn test", "-in", exe, "-out", out], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    return out


def code_offset(data):
    """A byte inside the first section's raw data: covered by the image hash."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    section = pe + 24 + opt_size
    raw_size, raw_ptr = struct.unpack_from("<II", data, section + 16)
    return raw_ptr + raw_size // 2


def make(d, program):
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(d)
    root(d, "root", "Zarn Throwaway Root")
    root(d, "stranger", "Zarn Untrusted Root")
    leaf(d, "good", PUBLISHER, "root")
    leaf(d, "other", OTHER, "root")
    leaf(d, "lost", PUBLISHER, "stranger")
    run("openssl", "x509", "-in", os.path.join(d, "root.pem"), "-outform", "DER", "-out", os.path.join(d, "root.der"))
    shutil.copy(program, os.path.join(d, "unsigned.exe"))
    for who, out in (("good", "good.exe"), ("other", "other.exe"), ("lost", "untrusted.exe")):
        sign_as(d, who, program, os.path.join(d, out))
    data = bytearray(open(os.path.join(d, "good.exe"), "rb").read())
    data[code_offset(data)] ^= 0x01
    with open(os.path.join(d, "tampered.exe"), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] != "make":
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        sys.exit(2)
    make(sys.argv[2], sys.argv[3])
