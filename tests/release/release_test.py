#!/usr/bin/env python3
"""The release as a vendor gets it (scripts/kit, i.e. make kit), from the i686 build
the tiers test:

  signing    the three programs signed with a throwaway certificate made now, each
             verified by osslsigncode; one changed byte fails verification; the
             signed installers still pass the import check
  brand      a missing or malformed brand file field is an error naming the field,
             before anything is built
  repro      the tree copied to another folder and built again there from scratch
             (ccache off), only the programs of the kit: the same bytes for the
             three programs and the zip

    release_test.py --build DIR --native DIR --work DIR
"""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from e2e_lib import throwaway_certificate  # noqa: E402

FAILS = []


def check(cond, what):
    print("  %s  %s" % ("ok  " if cond else "FAIL", what), flush=True)
    if not cond:
        FAILS.append(what)


def sha(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def kit(args, env=None, root=ROOT):
    p = subprocess.run([os.path.join(root, "scripts", "kit")] + args, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, env=env, timeout=3000)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def outputs(out_root):
    """{name: path} of the kit's three programs and its zip."""
    zips = [f for f in os.listdir(out_root) if f.endswith(".zip")]
    if len(zips) != 1:
        raise SystemExit("expected one zip in %s, found %r" % (out_root, zips))
    folder = os.path.join(out_root, zips[0][:-4])
    found = {"zip": os.path.join(out_root, zips[0]), "zarn-kit.exe": os.path.join(folder, "zarn-kit.exe"),
             "loose/ZarnWebInstaller.exe": os.path.join(folder, "loose", "ZarnWebInstaller.exe")}
    for f in os.listdir(folder):
        if f.endswith(" Setup.exe"):
            found["single-file"] = os.path.join(folder, f)
    return found


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--native", required=True)
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    work = os.path.abspath(a.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    common = ["--build-dir", os.path.abspath(a.build), "--native-build", os.path.abspath(a.native)]

    print("== the kit, unsigned", flush=True)
    t = time.monotonic()
    rc, out = kit(common + ["--out", os.path.join(work, "reference")])
    check(rc == 0, "scripts/kit exits 0 (%.0f s)" % (time.monotonic() - t))
    if rc:
        print(out[-3000:])
        return 1
    ref = outputs(os.path.join(work, "reference"))
    check("kit: not signed" in out, "an unsigned kit says so")
    check(re.search(r"kit: sha256 [0-9a-f]{64}", out) is not None, "it prints the zip's SHA-256")

    print("== signing", flush=True)
    pfx, pw = throwaway_certificate(os.path.join(work, "cert"))
    rc, out = kit(common + ["--out", os.path.join(work, "signed"), "--sign-pfx", pfx, "--sign-pass-file", pw])
    check(rc == 0 and "kit: signed" in out, "scripts/kit signs and verifies the programs")
    signed = outputs(os.path.join(work, "signed"))
    cert = os.path.join(work, "cert", "cert.pem")
    for name in ("single-file", "loose/ZarnWebInstaller.exe", "zarn-kit.exe"):
        v = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", signed[name]], stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT)
        check(v.returncode == 0, "osslsigncode verify passes for %s" % name)
    tampered = os.path.join(work, "tampered.exe")
    data = bytearray(open(signed["single-file"], "rb").read())
    data[0x1000] ^= 0x01  # inside the code
    open(tampered, "wb").write(bytes(data))
    v = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", tampered], stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT)
    check(v.returncode != 0, "one changed byte fails verification")
    imports = subprocess.run([sys.executable, os.path.join(ROOT, "cmake", "check_imports.py"), "--objdump",
                              "i686-w64-mingw32-objdump", "--allowed", os.path.join(ROOT, "cmake", "windows_imports.txt"),
                              "--known-dlls", os.path.join(ROOT, "cmake", "known_dlls.txt"), "--floor", "XPSP3", signed["single-file"], signed["loose/ZarnWebInstaller.exe"]],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    check(imports.returncode == 0, "the signed installers pass the import check (XP SP3)")

    print("== brand files that cannot be used", flush=True)
    ico = os.path.join(ROOT, "res", "zarn.ico")
    good = {"ProductName": "Acme Editor", "CompanyName": "Acme", "Version": "4.2.1", "Copyright": "(C) Acme",
            "Icon": ico}
    for field, value, expect in (("Version", None, "field Version is missing"),
                                 ("Version", "4.2.x", "field Version must be"),
                                 ("Icon", os.path.join(work, "none.ico"), "field Icon"),
                                 ("Icon", pfx, "is not a Windows .ico file")):
        fields = dict(good)
        if value is None:
            del fields[field]
        else:
            fields[field] = value
        path = os.path.join(work, "brand.ini")
        with open(path, "w", encoding="utf-8") as f:
            f.write("[brand]\n" + "".join("%s=%s\n" % kv for kv in fields.items()))
        rc, out = kit(common + ["--out", os.path.join(work, "branded"), "--brand", path])
        built = os.path.exists(os.path.join(work, "branded", "build.log")) and \
            "cmake" in open(os.path.join(work, "branded", "build.log")).read()
        check(rc == 2 and expect in out and not built, "brand %s=%r: %r, nothing built" % (field, value, expect))

    print("== the same commit built again in another folder, ccache off", flush=True)
    src = os.path.join(work, "src")
    files = subprocess.run(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                           stdout=subprocess.PIPE, check=True).stdout.decode().split("\0")
    for f in files:
        if f and os.path.isfile(os.path.join(ROOT, f)):
            os.makedirs(os.path.dirname(os.path.join(src, f)), exist_ok=True)
            shutil.copy2(os.path.join(ROOT, f), os.path.join(src, f))
    info = open(os.path.join(a.build, "generated", "zarn_version_info.h"), encoding="utf-8").read()
    env = dict(os.environ, CCACHE_DISABLE="1",
               ZARN_VERSION=re.search(r'#define ZARN_VI_VERSION "([^"]*)"', info).group(1))
    for k in ("CMAKE_CXX_COMPILER_LAUNCHER", "CMAKE_C_COMPILER_LAUNCHER"):
        env.pop(k, None)
    if "SOURCE_DATE_EPOCH" not in env:
        epoch = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%ct"], stdout=subprocess.PIPE).stdout
        env["SOURCE_DATE_EPOCH"] = epoch.decode().strip()
    t = time.monotonic()
    rc, out = kit(["--build-dir", os.path.join(work, "build"), "--native-build", os.path.abspath(a.native),
                   "--out", os.path.join(work, "again")], env=env, root=src)
    check(rc == 0, "the second build (%.0f s)" % (time.monotonic() - t))
    if rc:
        print(out[-3000:])
        return 1
    again = outputs(os.path.join(work, "again"))
    for name in ("single-file", "loose/ZarnWebInstaller.exe", "zarn-kit.exe", "zip"):
        h1, h2 = sha(ref[name]), sha(again[name])
        check(h1 == h2, "%s: %s %s" % (name, h1, "the same" if h1 == h2 else "but " + h2))
    for name in ("single-file", "zarn-kit.exe"):
        blob = open(again[name], "rb").read()
        check(src.encode() not in blob and ROOT.encode() not in blob, "%s names no build folder" % name)
    shutil.rmtree(os.path.join(work, "build"), ignore_errors=True)
    shutil.rmtree(src, ignore_errors=True)
    print("release: %d check(s) failed" % len(FAILS) if FAILS else "release: all checks passed")
    return 1 if FAILS else 0


if __name__ == "__main__":
    sys.exit(main())
