#!/usr/bin/env python3
"""A Downloads folder an attacker has been to: one run of ZarnWebInstaller.exe with a
planted DLL (tests/e2e/plant_marker_win.cpp) beside it under the name of every DLL
it imports statically or loads itself, and of the DLLs those load later, while
another process tries to replace the finished package before it starts.

    dll_planting.py --installer EXE --probe EXE --package EXE --marker DLL --kit DIR
                    --work DIR [--server BIN]

Wine stands in for Windows' search order with WINEDLLOVERRIDES=<name>=n,b for the
DLLs the program loads itself (a copy in the program's folder is then preferred
wherever the search reaches that folder). The statically imported ones are
KnownDLLs, which Windows maps from the system folder whatever lies beside the
program, and Wine has no such rule: they are planted without an override. The
package is signed at run time and checked by digest and publisher.

Passes when no plant marks the installer's process, the package starts once and is
byte for byte the one served, and every attempt of the other process to open it for
writing or to replace it, from the end of the transfer to the package's start, was
refused. Exit status 0, 1 on a failure, 77 when it cannot run here.
"""
import argparse
import glob
import hashlib
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_lib import (Fail, Installer, Probe, Server, Skip, TrustedSigning, Wine, check, pe_bits, pe_imports,  # noqa: E402
                     wait_for, windows_path, xml_config)

# The DLLs the installer loads itself, by full path from the system folder.
LOADED = ["wininet", "gdiplus", "comctl32", "crypt32", "wintrust"]
# Not KnownDLLs, and loaded after the program's first instruction on behalf of the
# above (GDI+'s image codecs and what they import) or of the window. (What Wine's
# builtins load before that instruction is no measure: on Windows those are KnownDLLs
# or imported by one.)
DEPENDENTS = ["windowscodecs", "propsys", "uxtheme", "mpr", "ws2_32", "oleacc"]
PRODUCT = "Zarn Planted Product"


class Ctx:
    pass


def run(a):
    ctx = Ctx()
    ctx.installer, ctx.kit = a.installer, a.kit
    ctx.wine = Wine(os.environ.get("ZARN_SOURCE_DIR") or os.path.join(os.path.dirname(__file__), "..", ".."),
                    pe_bits(a.installer))
    ctx.probe = Probe(ctx.wine, a.probe)
    shutil.rmtree(a.work, ignore_errors=True)
    os.makedirs(a.work)
    app = os.path.join(a.work, "app")
    signing = TrustedSigning(ctx.probe, os.path.join(a.work, "signing"), a.package)
    server = Server(a.server, os.path.join(a.work, "server"))
    inst = Installer(ctx, app)
    try:
        server.start()
        served = open(signing.path("good.exe"), "rb").read()
        with open(os.path.join(server.root, "pkg.exe"), "wb") as f:
            f.write(served)
        url = server.url("/pkg.exe", "chunk=16384&delay_ms=20")
        entries = [{"os": o, "bit": ctx.wine.bitness, "rlink": url, "sha256": hashlib.sha256(served).hexdigest(),
                    "signer": signing.publisher} for o in ("Windows XP", "Windows Vista", "Windows 7", "Windows 8")]
        inst.lay_out(xml_config(PRODUCT, entries))
        statics = [d[:-4].lower() for d in pe_imports(a.installer)]
        loaded = [] if a.without_plants else LOADED + DEPENDENTS
        for name in ([] if a.without_plants else statics) + loaded:
            shutil.copy(a.marker, os.path.join(app, name + ".dll"))
        package = os.path.join(app, PRODUCT + ".exe")
        replacement = package + ".evil"
        shutil.copy(signing.path("other.exe"), replacement)

        inst.start(overrides=";".join("%s=n,b" % n for n in loaded))

        def marks():
            return sorted(os.path.basename(m) for m in glob.glob(os.path.join(app, "*.ZarnWebInstaller.exe.marker")))
        # The transfer has ended once the server has sent the whole body; the other
        # process starts then and stops when the package runs.
        try:
            wait_for(lambda: any(r["path"] == "/pkg.exe" and r["range"] and r["bytes_sent"] >= len(served)
                                 for r in server.requests()), 60, "the whole package sent")
        except Fail as e:
            raise Fail("%s; marks of the installer: %s" % (e, marks() or "none"))
        hammer = ctx.probe.call("hammer", windows_path(package), windows_path(replacement), 30)
        inst.wait_exit(60)
        record = package + ".started.txt"
        wait_for(lambda: os.path.exists(record), 20, "the package's start record")
        time.sleep(2.0)  # a second start would show by now

        print("  planted %s; overridden %s" % (" ".join(statics + loaded), " ".join(loaded)))
        print("  marks of the installer: %s" % (marks() or "none"))
        print("  the other process: %r" % hammer)
        check(not marks(), "planted DLLs ran inside the installer: %s" % marks())
        check(hammer["attempts"] > 0, "the other process never got to try")
        check(hammer["opened"] == 0 and hammer["replaced"] == 0,
              "the package was opened for writing or replaced before it started: %r" % hammer)
        check(set(hammer["errors"]) <= {"5", "32"}, "unexpected refusals: %r" % hammer["errors"])
        check(open(package, "rb").read() == served, "the package that started is not the one served")
        lines = [l for l in open(record, encoding="utf-8", errors="replace").read().splitlines() if l.strip()]
        check(len(lines) == 1, "package started %d times" % len(lines))
    finally:
        inst.stop()
        server.stop()
        signing.close()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name in ("installer", "probe", "package", "marker", "kit", "work"):
        ap.add_argument("--" + name, required=True)
    ap.add_argument("--server", default="")
    ap.add_argument("--without-plants", action="store_true", help="the other process alone (to try another build)")
    a = ap.parse_args()
    if not a.server:
        here = os.environ.get("ZARN_SOURCE_DIR") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        found = sorted(glob.glob(os.path.join(here, "build", "*", "tools", "testserver", "zarn-testserver")))
        a.server = os.path.join(here, "build", "native", "tools", "testserver", "zarn-testserver")
        if not os.access(a.server, os.X_OK) and found:
            a.server = found[0]
    t0 = time.monotonic()
    try:
        run(a)
        verdict = 0
        print("dll_planting PASS (%.1f s)" % (time.monotonic() - t0))
    except Skip as e:
        print("dll_planting SKIP: %s" % e)
        verdict = 77
    except Fail as e:
        print("dll_planting FAIL: %s" % e)
        verdict = 1
    return verdict


if __name__ == "__main__":
    sys.exit(main())
