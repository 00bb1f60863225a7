#!/usr/bin/env python3
"""Authenticode-signed copies of a Windows program, for the publisher check's tests.

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


def sign(d, signer, src, dst):
    if os.path.exists(dst):
        os.remove(dst)
    run("osslsigncode", "sign", "-certs", os.path.join(d, signer + ".pem"), "-key", os.path.join(d, signer + ".key"),
        "-h", "sha256", "-in", src, "-out", dst)


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
        sign(d, who, program, os.path.join(d, out))
    data = bytearray(open(os.path.join(d, "good.exe"), "rb").read())
    data[code_offset(data)] ^= 0x01
    with open(os.path.join(d, "tampered.exe"), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] != "make":
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        sys.exit(2)
    make(sys.argv[2], sys.argv[3])
