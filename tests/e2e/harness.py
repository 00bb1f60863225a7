#!/usr/bin/env python3
"""End-to-end cases of ZarnWebInstaller.exe under Wine, driven as a user would.

    harness.py --group NAME --installer EXE --probe EXE --package EXE --kit DIR
               --work DIR [--server BIN] [--case SUBSTRING]

Every case lays out a fresh folder under --work with the installer, its skin and its
configuration, starts the native test server with the case's fault mode in the links,
runs the installer on $DISPLAY, moves the mouse and presses keys with xdotool, and
checks the windows (through window_probe), the pixels (through xwd), the files, the
server's request log and the demo package's record. Exit status 0 when every case
passed, 77 when all were skipped, 1 otherwise.
"""
import argparse
import glob
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import threading
import time
import types

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_lib import (AGENT, REFERER, SKIN, Fail, Installer, Probe, Server, Skip, TrustedSigning, Wine, box_button,  # noqa: E402
                     box_text,
                     check, click_screen_rect, package_file_name, pe_bits, pe_resources, sign, throwaway_certificate,
                     wait_for, windows_path, xdo, xml_config)
import e2e_screen as scr  # noqa: E402

DEFAULTS = {
    "init": "Initializing...", "downloading": "Downloading...", "done": "Download completed.",
    "cancelling": "Cancelling...", "cancelled": "Download cancelled.", "failed": "Download failed.",
    "cleanup": "Cleaning up temp files...", "prepare": "Preparing installation...",
}
NOTICE = "Are you sure you want to cancel downloading?"
STATUS_TEXTS = list(DEFAULTS.values())
PERCENTS = ["%d%%" % n for n in range(101)]
# One fast transfer, one slow enough to be seen (about 4 s), one slow and large.
FAST = ""
SLOW = "chunk=8192&delay_ms=60"


class Context:
    def __init__(self, args):
        here = os.path.dirname(os.path.abspath(__file__))
        self.source = os.environ.get("ZARN_SOURCE_DIR") or os.path.dirname(os.path.dirname(here))
        self.installer, self.package, self.kit = args.installer, args.package, args.kit
        self.kit_tool, self.kit_installer = args.kit_tool, args.kit_installer
        self.work = os.path.abspath(args.work)
        self.server = args.server or self._find_server()
        for what, path in (("installer", self.installer), ("probe", args.probe), ("demo package", self.package),
                           ("test server", self.server)):
            if not path or not os.path.exists(path):
                raise Fail("no %s at %r (build the native preset and mingw or mingw64)" % (what, path))
        os.makedirs(self.work, exist_ok=True)
        self.wine = Wine(self.source, pe_bits(self.installer))
        # Entries name the machine's bitness; "other" is one no entry may match.
        self.bit = self.wine.bitness
        self.other_bit = "32" if self.bit == "64" else "64"
        self.probe = Probe(self.wine, args.probe)
        self.text = scr.TextReader(self.probe, self.work)
        # Wine's own default version differs between releases: every case but the
        # version cases runs as Windows 10, which the program calls "Windows 8".
        self.wine.reg("add", APPDEFAULTS, "/v", "Version", "/d", "win10", "/f")
        self._images = {}

    def _find_server(self):
        cands = [os.path.join(self.source, "build", "native", "tools", "testserver", "zarn-testserver")]
        cands += sorted(glob.glob(os.path.join(self.source, "build", "*", "tools", "testserver", "zarn-testserver")))
        for c in cands:
            if os.access(c, os.X_OK):
                return c
        return None

    def temp_listing(self):
        """What the prefix's folder for temporary files holds."""
        if not hasattr(self, "_temp"):
            self._temp = self.probe.temp_folder(self.wine.env["WINEPREFIX"])
        return sorted(os.listdir(self._temp)) if os.path.isdir(self._temp) else []

    def skin(self, name):
        """A skin image decoded as the installer decodes it."""
        if name not in self._images:
            self._images[name] = self.probe.image(os.path.join(self.kit, "skin", name))
        return self._images[name]


class Case:
    def __init__(self, ctx, name):
        self.ctx, self.name = ctx, name
        self.dir = os.path.join(ctx.work, name)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.app = os.path.join(self.dir, "app")
        self.server = Server(ctx.server, os.path.join(self.dir, "server"))
        self.server.start()
        self.inst = Installer(ctx, self.app)
        self.cleanups = []

    def serve(self, name, size=None):
        """The demo package under name in the server's root, padded to size bytes."""
        data = open(self.ctx.package, "rb").read()
        if size and size > len(data):
            data += b"\0" * (size - len(data))
        with open(os.path.join(self.server.root, name), "wb") as f:
            f.write(data)
        return data

    def close(self):
        self.inst.stop()
        self.server.stop()
        for fn in reversed(self.cleanups):
            try:
                fn()
            except Exception as e:  # cleanup goes on whatever one step says
                print("  cleanup: %s" % e)

    # --- what the installer leaves behind -------------------------------------------
    def package_path(self, product):
        return os.path.join(self.app, package_file_name(product))

    def record_lines(self, product):
        path = self.package_path(product) + ".started.txt"
        if not os.path.exists(path):
            return None
        return [l for l in open(path, encoding="utf-8", errors="replace").read().splitlines() if l.strip()]

    def expect_started(self, product, served, timeout=30):
        """The package kept, byte for byte, and started exactly once."""
        wait_for(lambda: self.record_lines(product), timeout, "the package's start record")
        path = self.package_path(product)
        check(os.path.exists(path), "package %s not kept" % path)
        check(open(path, "rb").read() == served, "the kept package differs from the served file")
        time.sleep(2.0)  # the package's own window lasts 1.5 s; a second start would show by now
        lines = self.record_lines(product)
        check(len(lines) == 1, "package started %d times: %r" % (len(lines), lines))

    def expect_nothing_left(self, product, listing_before=None):
        path = self.package_path(product)
        check(not os.path.exists(path), "%s was left behind" % os.path.basename(path))
        check(self.record_lines(product) is None, "the package was started")
        if listing_before is not None:
            now = sorted(os.listdir(self.app))
            check(now == listing_before, "files appeared: %s" % sorted(set(now) - set(listing_before)))

    def transfers(self, path):
        return [r for r in self.server.requests() if r["path"] == path]

    def ranged_bytes(self, path):
        return sum(r["bytes_sent"] for r in self.transfers(path) if r["range"])


def kit_ini(**overrides):
    """The kit's string file with some keys given other texts."""
    lines = []
    for line in open(os.path.join(CTX.kit, "ZarnWebInstallerString.ini"), encoding="utf-8").read().splitlines():
        key = line.split("=", 1)[0]
        if key in overrides:
            line = "%s=%s" % (key, overrides.pop(key))
        lines.append(line)
    lines += ["%s=%s" % kv for kv in overrides.items()]
    return "\r\n".join(lines) + "\r\n"


ABSENT_KEY = r"SOFTWARE\ZarnE2E\NotInstalled"


def config(product, entries, retries=None, segments=None):
    """A vendor's usual document: the product key names one that is not there."""
    return xml_config(product, entries, registry=ABSENT_KEY, retries=retries, segments=segments)


def links(case, chosen_path, query="", others=True, default_path=None):
    """Entries for every os at the machine's bitness: Windows 8 (what the cases set
    Wine to) points at chosen_path; the others at paths named after their os."""
    entries = []
    for os_name, tag in (("Windows XP", "xp"), ("Windows Vista", "vista"), ("Windows 7", "win7"),
                         ("Windows 8", "win8")):
        path = chosen_path if os_name == "Windows 8" else "/%s.exe" % tag
        if os_name != "Windows 8" and not others:
            continue
        entries.append({"os": os_name, "bit": CTX.bit, "rlink": case.server.url(path, query),
                        "patch": case.server.url("/patch-%s.exe" % tag, query)})
    if default_path:
        entries.insert(0, {"os": "Windows XP", "bit": CTX.bit, "rlink": case.server.url(default_path, query),
                           "default": True})
    return entries


# --- watching a run -----------------------------------------------------------------
def frames_until_exit(case, win, timeout, limit=400):
    """Screen images of the window's rectangle, as fast as xwd gives them, until the
    installer ends."""
    frames = []
    end = time.monotonic() + timeout
    while case.inst.running():
        if time.monotonic() > end:
            raise Fail("the installer did not end within %.0f s" % timeout)
        try:
            pic = case.inst.shot(win)
        except Fail:
            continue
        if len(frames) < limit:
            frames.append((time.monotonic(), pic))
        else:
            frames[-1] = (time.monotonic(), pic)
    return frames


def showing(pic):
    """Whether the window (its band) is still on screen in this image."""
    c = pic.px(scr.BAND_X, scr.BAND_Y + 1)
    return scr.near(c, scr.DARK, 14) or scr.is_blue(c)


def statuses(frames, texts):
    """The distinct status texts read from the frames, in order."""
    seq, worst = [], []
    for _, pic in frames:
        if not showing(pic):
            continue
        text, d, font, box = CTX.text.read(pic, scr.STATUS, texts, scr.STATUS_FONT)
        if text == "":
            continue
        if d <= 0.3:
            if not seq or seq[-1] != text:
                seq.append(text)
            # Right-aligned in the panel: its last lit column within the last few.
            if box[2] < scr.STATUS[2] - 6:
                worst.append(("not right-aligned, ends at x=%d" % box[2], text))
        else:
            worst.append((round(d, 2), text))
    return seq, worst


def save_frames(case, frames, every=1):
    for i, (_, pic) in enumerate(frames[::every]):
        pic.save_png(os.path.join(case.dir, "frame-%03d.png" % i))


def expect_probe_then_range(case, path, size):
    reqs = [r for r in case.server.finished() if r["path"] == path]
    check(len(reqs) >= 2, "expected a probe and a transfer of %s, got %d requests" % (path, len(reqs)))
    for r in reqs:
        check(r["user_agent"] == AGENT, "user agent %r" % r["user_agent"])
        check(r["referer"] == REFERER, "referer %r" % r["referer"])
        check(r["method"] == "GET", "method %r" % r["method"])
    check(reqs[0]["range"] == "", "the first request carries a range: %r" % reqs[0]["range"])
    ranged = [r for r in reqs if r["range"]]
    check(ranged and ranged[0]["range"] == "bytes=0-%d" % (size - 1),
          "the transfer's range is %r, not bytes=0-%d" % (ranged[0]["range"] if ranged else None, size - 1))
    check(ranged[0]["status"] == 206, "transfer answered %d" % ranged[0]["status"])
    # On a good line nothing is asked twice: one probe, one transfer, as ever.
    check(len(reqs) == 2, "expected exactly a probe and one transfer, got %r" % [(r["range"], r["status"]) for r in reqs])


def expect_window_geometry(snap, win, cancel_text):
    l, t, r, b = win["rect"]
    check((r - l, b - t) == (600, 340), "window is %dx%d, not 600x340" % (r - l, b - t))
    check(win["client_size"] == [600, 340], "client area is %r" % win["client_size"])
    check(win["client_origin"] == [l, t], "a frame around the client area: %r vs %r" % (win["client_origin"], [l, t]))
    check(not (win["style"] & 0x00C00000), "the window has a caption bar (style %#x)" % win["style"])
    sw, sh = snap["screen"]
    wl, wt, wr, wb = snap["work_area"]
    centres = [((sw - 600) // 2, (sh - 340) // 2), ((wl + wr - 600) // 2, (wt + wb - 340) // 2)]
    check(any(abs(l - cx) <= 1 and abs(t - cy) <= 1 for cx, cy in centres),
          "window at (%d,%d), not centred on %dx%d" % (l, t, sw, sh))
    by_id = {c["id"]: c for c in win["children"]}
    check(1000 in by_id and 1001 in by_id, "controls 1000 and 1001 expected, got %r" % sorted(by_id))
    c = by_id[1000]
    cl, ct, cr, cb = c["rect"]
    check((cl - l, ct - t, cr - cl, cb - ct) == (484, 278, 96, 32),
          "Cancel at %r, not (484,278) 96x32" % [cl - l, ct - t, cr - cl, cb - ct])
    check(c["visible"], "Cancel is hidden")
    check(c["text"] == cancel_text, "Cancel reads %r, not %r" % (c["text"], cancel_text))
    check(not by_id[1001]["visible"], "the help link is visible")


def analyse_band(frames, check_mark):
    """Every frame's bar against its percentage text; returns (mid widths, complete)."""
    mids, complete, bad = [], False, []
    for _, pic in frames:
        if not showing(pic):
            continue
        w = scr.bar_width(pic)
        if scr.check_mark_at(pic, check_mark) < 2:
            # The package's own window may cover the band after this frame.
            complete = w == scr.BAR_MAX
            if not complete:
                bad.append("check mark with a bar %d wide" % w)
            break
        text, d, font, box = CTX.text.read(pic, (scr.PCT_X0, scr.BAND_Y, scr.PCT_X1, scr.BAND_Y + scr.BAND_H),
                                           PERCENTS, scr.PERCENT_FONT, threshold=170)
        if text == "":
            continue
        if d > 0.3:
            bad.append("unreadable percentage (best %s at %.2f)" % (text, d))
            continue
        pct = int(text[:-1])
        centre = (box[0] + box[2]) / 2.0
        # Centred on the area the backdrop marks (541..590); a text box two columns
        # narrower than the backdrop puts it up to 2.5 px to the left.
        if abs(centre - (scr.PCT_X0 + scr.PCT_X1 - 1) / 2.0) > 3:
            bad.append("%d%% not centred in its area (centre at x=%.1f)" % (pct, centre))
        expected = 445 * pct // 100
        # A frame may catch the bar and the text a step apart: one percent either way.
        if not (445 * max(pct - 1, 0) // 100 <= w <= 445 * min(pct + 1, 100) // 100):
            bad.append("bar %d wide at %d%% (expected %d)" % (w, pct, expected))
        fill = scr.band_fill_ok(pic, w)
        if fill:
            bad.append("band fill at %d%%: %r" % (pct, fill[:3]))
        if 0 < pct < 100:
            mids.append((pct, w))
    return mids, complete, bad


# --- the cases ----------------------------------------------------------------------
def case_success_with_ini(case):
    product = "Zarn E2E Product"
    served = case.serve("pkg.exe", 600 * 1024)
    custom = {"IDS_TEXT_CANCEL": "Stop it", "IDS_STATUS_DOWNLOADING": "Fetching the bits..."}
    case.inst.lay_out(config(product, links(case, "/pkg.exe", SLOW)), kit_ini(**custom))
    xdo("mousemove", 5, 5)
    case.inst.start()
    win = case.inst.wait_window()
    snap = CTX.probe.windows()
    win = case.inst.main_window(snap)
    check(win, "window went away at once")
    expect_window_geometry(snap, win, "Stop it")
    check(not case.inst.boxes(snap), "a message box is open")
    frames = frames_until_exit(case, win, 60)
    save_frames(case, frames, every=max(1, len(frames) // 12))
    pic0 = frames[0][1]
    scr.require_size(pic0, 600, 340)
    # Away from the texts the window is its skin: the background below the band
    # and the status backdrop left of its text.
    back = CTX.skin("MainWndBkg.jpg")
    d = pic0.crop(150, 200, 300, 60).mean_diff(back.crop(150, 200, 300, 60))
    check(d < 3, "the background below the band differs from MainWndBkg.jpg by %.1f" % d)
    status_back = CTX.skin("StatusBkg.jpg")
    d = pic0.crop(240, 164, 120, 24).mean_diff(status_back.crop(0, 0, 120, 24))
    check(d < 3, "the status panel's left part differs from StatusBkg.jpg by %.1f" % d)
    mids, complete, bad = analyse_band(frames, CTX.skin("CheckD.jpg"))
    check(not bad, "band: %s" % "; ".join(bad[:5]))
    check(len({p for p, _ in mids}) >= 2, "fewer than two mid-download percentages seen: %r" % mids)
    check([w for _, w in mids] == sorted(w for _, w in mids), "the bar shrank: %r" % mids)
    check(complete, "no frame with the full bar and the check mark")
    seq, worst = statuses(frames, STATUS_TEXTS + [custom["IDS_STATUS_DOWNLOADING"]])
    check(custom["IDS_STATUS_DOWNLOADING"] in seq, "the ini's downloading text not seen: %r %r" % (seq, worst[:3]))
    misplaced = [w for w in worst if str(w[0]).startswith("not right")]
    check(not misplaced, "status text: %r" % misplaced[:3])
    check(DEFAULTS["downloading"] not in seq, "the built-in downloading text shown despite the ini: %r" % seq)
    case.expect_started(product, served)
    check(case.inst.main_window() is None, "the window is still there")
    expect_probe_then_range(case, "/pkg.exe", len(served))
    print("  %d frames, mid percentages %s" % (len(frames), [p for p, _ in mids][:12]))


def case_success_defaults_without_ini(case):
    product = "Zarn E2E Product"
    served = case.serve("pkg.exe", 400 * 1024)
    case.inst.lay_out(config(product, links(case, "/pkg.exe", SLOW)), ini=None)
    before, temp_before = sorted(os.listdir(case.app)), CTX.temp_listing()
    case.inst.start()
    snap = CTX.probe.windows()
    win = case.inst.wait_window()
    snap = CTX.probe.windows()
    expect_window_geometry(snap, case.inst.main_window(snap) or win, "Cancel")
    frames = frames_until_exit(case, win, 60)
    seq, worst = statuses(frames, STATUS_TEXTS)
    print("  status texts seen: %r" % seq)
    check(DEFAULTS["downloading"] in seq, "no %r among %r (%r)" % (DEFAULTS["downloading"], seq, worst[:3]))
    order = [t for t in seq if t in (DEFAULTS["downloading"], DEFAULTS["done"], DEFAULTS["prepare"])]
    check(order == sorted(order, key=[DEFAULTS["downloading"], DEFAULTS["done"], DEFAULTS["prepare"]].index),
          "status texts out of order: %r" % seq)
    case.expect_started(product, served)
    # Started without a command line it writes nothing but the package (the record
    # beside it is the package's own), neither here nor among the temporary files.
    package = package_file_name(product)
    check(sorted(os.listdir(case.app)) == sorted(before + [package, package + ".started.txt"]),
          "files beside the installer: %r" % sorted(set(os.listdir(case.app)) - set(before)))
    check(CTX.temp_listing() == temp_before, "new temporary files: %r" % sorted(set(CTX.temp_listing()) - set(temp_before)))


def case_fallback_after_404(case):
    product = 'Zarn: E2E/A*B?'
    served = case.serve("pkg.exe", 64 * 1024)
    case.inst.lay_out(config(product, links(case, "/missing.exe", FAST, default_path="/pkg.exe")))
    case.inst.start()
    case.inst.wait_exit(60)
    case.expect_started(product, served)
    paths = [r["path"] for r in case.server.finished()]
    check("/missing.exe" in paths and "/pkg.exe" in paths, "requests: %r" % paths)
    check(paths.index("/missing.exe") < paths.index("/pkg.exe"), "fallback asked before the own link: %r" % paths)
    check(os.path.basename(case.package_path(product)) == "Zarn_ E2E_A_B_.exe", "target name")


def expect_failed_and_nothing_left(case, win, product, before, never=None, why=""):
    """The run shows "Download failed.", never the text never, and leaves nothing."""
    frames = frames_until_exit(case, win, 60)
    seq, worst = statuses(frames, STATUS_TEXTS)
    print("  status texts seen: %r" % seq)
    check(DEFAULTS["failed"] in seq, "no %r among %r (%r)" % (DEFAULTS["failed"], seq, worst[:3]))
    if never:
        check(never not in seq, "%s: %r" % (why, seq))
    case.expect_nothing_left(product, before)


def case_truncated_body_fails(case):
    # Without retries a cut line ends the download, as it always did.
    product = "Zarn E2E Product"
    win, _, before = start_download(case, product, "pkg.exe", 400 * 1024, "drop_after=150000&" + SLOW, retries=0)
    expect_failed_and_nothing_left(case, win, product, before, DEFAULTS["done"], "a truncated body was called complete")


def open_cancel_box(case, win, how):
    if how == "button":
        case.inst.click_client(win, 484 + 48, 278 + 16)
    elif how == "glyph":
        case.inst.click_client(win, 582, 18)
    else:
        case.inst.click_client(win, 300, 250)  # focus the window on a plain part first
        time.sleep(0.3)
        xdo("key", "Escape")
    return case.inst.wait_box(15)


def expect_notice(case, box, win, product, text):
    t, buttons = box_text(box)
    check(box["owner"] == win["hwnd"], "the box is not owned by the window")
    check(box["caption"] == product, "box caption %r" % box["caption"])
    check(t == text, "box text %r" % t)
    check(sorted(b.lower() for b in buttons) == ["no", "yes"], "box buttons %r" % buttons)
    # The message box's icon is a static control drawing an icon (SS_ICON).
    check(any(c["class"].lower() == "static" and (c["style"] & 0x1F) == 3 for c in box["children"]),
          "the box shows no icon")


def wait_transfer(case, path, at_least, timeout=20):
    wait_for(lambda: case.ranged_bytes(path) >= at_least, timeout, "%d bytes of %s sent" % (at_least, path))


def start_download(case, product, name, size, query, ini=None, after_bytes=0, retries=None, digest=None,
                   segments=None):
    """Serves name, runs the installer on it and waits for its window and for
    after_bytes of the transfer; gives the window, the served bytes and the folder's
    listing without the package. digest(served) gives the chosen link's sha256."""
    served = case.serve(name, size)
    size = len(served)
    entries = links(case, "/" + name, query)
    if digest:
        for e in entries:
            if e["rlink"].startswith(case.server.url("/" + name)):
                e["sha256"] = digest(served)
    case.inst.lay_out(config(product, entries, retries=retries, segments=segments), ini)
    case.inst.start()
    win = case.inst.wait_window()
    before = sorted(n for n in os.listdir(case.app) if n != package_file_name(product))
    if after_bytes:
        wait_transfer(case, "/" + name, after_bytes)
    return win, served, before


def case_cancel_yes_holds_then_cancels(case):
    product = "Zarn E2E Product"
    size = 40 * 1024 * 1024
    win, _, before = start_download(case, product, "big.exe", size, "chunk=65536&delay_ms=25", kit_ini(), 512 * 1024)
    box = open_cancel_box(case, win, "button")
    expect_notice(case, box, win, product, NOTICE)
    # Nothing is read while the box is open: once the socket buffers are full the
    # server can send no more. Samples every 0.25 s; some 2 s stretch must be flat.
    samples, flat = [], None
    end = time.monotonic() + 12
    while time.monotonic() < end and flat is None:
        samples.append((time.monotonic(), case.ranged_bytes("/big.exe")))
        for t0, b0 in samples:
            if samples[-1][0] - t0 >= 2.0 and samples[-1][1] == b0:
                flat = (t0, b0)
                break
        time.sleep(0.25)
    check(flat is not None, "bytes kept flowing while the box was open: %r" % [b for _, b in samples[::4]])
    check(flat[1] < size, "the whole file went while the box was open")
    check(case.inst.main_window() is not None, "the window went away behind the box")
    print("  held at %d of %d bytes while the box was open" % (flat[1], size))
    click_screen_rect(box_button(box, "Yes")["rect"])
    frames = frames_until_exit(case, win, 40)
    seq, worst = statuses(frames, STATUS_TEXTS)
    print("  status texts seen: %r" % seq)
    check(DEFAULTS["cancelling"] in seq or DEFAULTS["cancelled"] in seq,
          "neither %r nor %r among %r (%r)" % (DEFAULTS["cancelling"], DEFAULTS["cancelled"], seq, worst[:3]))
    check(DEFAULTS["done"] not in seq, "a cancelled download completed: %r" % seq)
    case.expect_nothing_left(product, before)


def case_cancel_no_resumes(case):
    product = "Zarn E2E Product"
    notice = "Really stop the E2E download?"
    win, served, _ = start_download(case, product, "pkg.exe", 4 * 1024 * 1024, "chunk=16384&delay_ms=20",
                                    kit_ini(IDS_MESSAGE_CANCELNOTICE=notice), 256 * 1024)
    box = open_cancel_box(case, win, "button")
    expect_notice(case, box, win, product, notice)
    time.sleep(1.0)
    click_screen_rect(box_button(box, "No")["rect"])
    wait_for(lambda: not case.inst.boxes(), 10, "the box to close")
    case.inst.wait_exit(60)
    case.expect_started(product, served)


def case_escape_asks_first(case):
    product = "Zarn E2E Product"
    win, _, before = start_download(case, product, "big.exe", 20 * 1024 * 1024, "chunk=16384&delay_ms=25",
                                    after_bytes=128 * 1024)
    box = open_cancel_box(case, win, "escape")
    check(case.inst.running() and case.inst.main_window() is not None, "Escape closed the window at once")
    expect_notice(case, box, win, product, NOTICE)
    click_screen_rect(box_button(box, "Yes")["rect"])
    case.inst.wait_exit(40)
    case.expect_nothing_left(product, before)


def case_close_and_minimise_glyphs(case):
    product = "Zarn E2E Product"
    xdo("mousemove", 5, 5)
    win, _, _ = start_download(case, product, "big.exe", 20 * 1024 * 1024, "chunk=16384&delay_ms=25",
                               after_bytes=64 * 1024)
    normal, hot = CTX.skin("Close_N.jpg"), CTX.skin("Close_H.jpg")
    pic = case.inst.shot(win)
    pic.save_png(os.path.join(case.dir, "close-normal.png"))
    d_normal = scr.glyph_diff(pic, scr.CLOSE, normal)
    check(d_normal < 12, "close glyph does not show Close_N.jpg (mean difference %.1f)" % d_normal)
    ox, oy = win["client_origin"]
    xdo("mousemove", ox + 582, oy + 18)
    time.sleep(0.2)
    xdo("mousemove", ox + 583, oy + 19)

    def hot_shown():
        p = case.inst.shot(win)
        return p if scr.glyph_diff(p, scr.CLOSE, hot) < 12 else None
    try:
        pic = wait_for(hot_shown, 5, "Close_H.jpg under the pointer", step=0.2)
    except Fail:
        p = case.inst.shot(win)
        p.save_png(os.path.join(case.dir, "close-hover.png"))
        raise Fail("hovered close glyph: difference %.1f to Close_H.jpg, %.1f to Close_N.jpg" %
                   (scr.glyph_diff(p, scr.CLOSE, hot), scr.glyph_diff(p, scr.CLOSE, normal)))
    pic.save_png(os.path.join(case.dir, "close-hot.png"))
    check(scr.glyph_diff(pic, scr.CLOSE, normal) > scr.glyph_diff(pic, scr.CLOSE, hot), "hot and normal alike")
    xdo("click", 1)
    box = case.inst.wait_box(15)
    expect_notice(case, box, win, product, NOTICE)
    click_screen_rect(box_button(box, "No")["rect"])
    wait_for(lambda: not case.inst.boxes(), 10, "the box to close")
    check(case.inst.running(), "No ended the program")
    case.inst.click_client(win, 553, 18)

    def minimised():
        snap = CTX.probe.windows()
        _, mine = case.inst.ours(snap)
        return [w for w in mine if w["hwnd"] == win["hwnd"] and w["minimised"]]
    wait_for(minimised, 10, "the window to be minimised", step=0.3)
    check(case.inst.running(), "minimising ended the program")


def startup_box(case, expected_text, answer, listing=True):
    before = sorted(os.listdir(case.app)) if listing else None
    case.inst.start()
    box = case.inst.wait_box(30)
    time.sleep(0.5)
    snap = CTX.probe.windows()
    boxes = case.inst.boxes(snap)
    check(len(boxes) == 1, "%d boxes open" % len(boxes))
    check(case.inst.main_window(snap) is None, "the installer window shows beside the box")
    t, buttons = box_text(boxes[0])
    check(boxes[0]["caption"] == "ZarnWebInstaller", "box caption %r" % boxes[0]["caption"])
    check(t == expected_text, "box text %r, not %r" % (t, expected_text))
    check(sorted(b.lower() for b in buttons) == ["cancel", "ok"], "box buttons %r" % buttons)
    click_screen_rect(box_button(box, answer)["rect"])
    case.inst.wait_exit(20)
    if before is not None:
        check(sorted(os.listdir(case.app)) == before, "files appeared: %s" %
              sorted(set(os.listdir(case.app)) - set(before)))
    check(not case.server.finished(), "the server was asked: %r" % [r["path"] for r in case.server.finished()])


def case_no_xml(case):
    case.inst.lay_out(xml=None)
    startup_box(case, "Xml file is missing!", "OK")


def case_unreadable_xml(case):
    case.inst.lay_out(xml="<zarnwebinstaller><product><name>Broken</name><installerInfo>\x00\x01")
    startup_box(case, "Xml file is missing!", "Cancel")


def case_no_link_for_the_machine(case):
    entries = [{"os": "Windows 8", "bit": CTX.other_bit, "rlink": case.server.url("/pkg.exe"), "default": True},
               {"os": "Windows 7", "bit": CTX.other_bit, "rlink": case.server.url("/pkg.exe")}]
    case.inst.lay_out(config("Zarn E2E Product", entries))
    startup_box(case, "Xml file is missing!", "OK")


def case_unparseable_links(case):
    # A host past the 4095 characters a link component may have fails with or
    # without the "http://" the program puts in front of a link that does not parse.
    entries = [{"os": "Windows 8", "bit": CTX.bit, "rlink": "http://" + "a" * 5000 + "/pkg.exe"},
               {"os": "Windows XP", "bit": CTX.bit, "rlink": "b" * 5000, "default": True}]
    case.inst.lay_out(config("Zarn E2E Product", entries))
    startup_box(case, "Unrecognized URL", "OK")


PATCH_KEY = r"HKLM\SOFTWARE\ZarnE2E\PatchRule"


def patch_case(case, view, registry=PATCH_KEY[len("HKLM\\"):], with_patch=True):
    product = "Zarn E2E Product"
    served = case.serve("full.exe", 64 * 1024)
    case.serve("patch.exe", 64 * 1024)
    entries = [{"os": "Windows 8", "bit": CTX.bit, "rlink": case.server.url("/full.exe")}]
    if with_patch:
        entries[0]["patch"] = case.server.url("/patch.exe")
    for v in ("/reg:64", "/reg:32"):
        CTX.wine.reg("delete", PATCH_KEY, "/f", v)
    if view:
        case.cleanups.append(lambda: CTX.wine.reg("delete", PATCH_KEY, "/f", view))
        check(CTX.wine.reg("add", PATCH_KEY, "/f", view) == 0, "reg add %s failed" % view)
    case.inst.lay_out(xml_config(product, entries, registry=registry))
    case.inst.start()
    case.inst.wait_exit(60)
    # 32-bit Windows has one registry view, which reg.exe's /reg:32 and /reg:64 both
    # name: the key is there whichever was used.
    patched = view == "/reg:64" or (view is not None and CTX.bit == "32")
    case.expect_started(product, open(os.path.join(case.server.root, "patch.exe"), "rb").read() if patched else served)
    paths = sorted({r["path"] for r in case.server.finished()})
    want = "/patch.exe" if patched else "/full.exe"
    check(paths == [want], "asked for %r, expected %s" % (paths, want))


def case_patch_key_in_64bit_view(case):
    patch_case(case, "/reg:64")


def case_patch_key_absent(case):
    patch_case(case, None)


def case_patch_key_only_in_32bit_view(case):
    patch_case(case, "/reg:32")


def case_no_registry_element_and_no_patch_gives_the_full_package(case):
    # The kit's advice to a vendor without patches: no registry element. The product
    # then counts as installed, but with no patch link the full package still comes.
    patch_case(case, None, registry=None, with_patch=False)


APPDEFAULTS = r"HKCU\Software\Wine\AppDefaults\ZarnWebInstaller.exe"


def version_case(case, wine_version, expected_path):
    product = "Zarn E2E Product"
    served = case.serve(expected_path.lstrip("/"), 64 * 1024)
    case.cleanups.append(lambda: CTX.wine.reg("add", APPDEFAULTS, "/v", "Version", "/d", "win10", "/f"))
    check(CTX.wine.reg("add", APPDEFAULTS, "/v", "Version", "/d", wine_version, "/f") == 0, "reg add failed")
    case.inst.lay_out(config(product, links(case, "/win8.exe", FAST)))
    case.inst.start()
    case.inst.wait_exit(60)
    paths = sorted({r["path"] for r in case.server.finished()})
    check(paths == [expected_path], "Wine version %s: asked for %r, not %s" % (wine_version, paths, expected_path))
    case.expect_started(product, served)


def case_version_winxp64(case):
    version_case(case, "winxp64", "/xp.exe")


def case_version_win7(case):
    version_case(case, "win7", "/win7.exe")


def case_version_win10(case):
    version_case(case, "win10", "/win8.exe")


def case_full_disk(case):
    if os.geteuid() != 0:
        raise Skip("mounting a small tmpfs needs root")
    product = "Zarn E2E Product"
    need = os.path.getsize(CTX.installer) + sum(os.path.getsize(os.path.join(CTX.kit, "skin", n)) for n in
                                                 os.listdir(os.path.join(CTX.kit, "skin")))
    size_kb = need // 1024 + 512
    os.makedirs(case.app)
    p = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%dk" % size_kb, "tmpfs", case.app],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=20)
    if p.returncode != 0:
        raise Skip("mount of a small tmpfs was refused: %s" % p.stdout.decode().strip())

    def unmount():
        if subprocess.run(["umount", case.app], timeout=20).returncode != 0:
            subprocess.run(["umount", "-l", case.app], timeout=20)
    case.cleanups.append(unmount)
    win, _, before = start_download(case, product, "pkg.exe", 8 * 1024 * 1024, "chunk=65536&delay_ms=10")
    expect_failed_and_nothing_left(case, win, product, before)


# --- integrity and resilience ---------------------------------------------------------
def case_digest_mismatch_is_never_started(case):
    product = "Zarn E2E Product"
    # One byte of the body differs from the file whose digest the entry names.
    win, _, before = start_download(case, product, "pkg.exe", 400 * 1024, "corrupt_at=300000&" + SLOW,
                                    digest=lambda data: hashlib.sha256(data).hexdigest().upper())
    expect_failed_and_nothing_left(case, win, product, before, DEFAULTS["prepare"],
                                   "a package with the wrong digest was prepared")


def case_signed_package_with_one_byte_changed_is_never_started(case):
    product = "Zarn E2E Product"
    signing = TrustedSigning(CTX.probe, os.path.join(case.dir, "signing"), CTX.package)
    case.cleanups.append(signing.close)
    data = open(signing.path("good.exe"), "rb").read()
    with open(os.path.join(case.server.root, "pkg.exe"), "wb") as f:
        f.write(data)
    # The publisher is named, no digest: the signature alone must catch the byte.
    entries = links(case, "/pkg.exe", "corrupt_at=%d&%s" % (signing.code_offset(data), SLOW))
    for e in entries:
        e["signer"] = signing.publisher
    case.inst.lay_out(config(product, entries))
    case.inst.start()
    win = case.inst.wait_window()
    before = sorted(n for n in os.listdir(case.app) if n != package_file_name(product))
    expect_failed_and_nothing_left(case, win, product, before, DEFAULTS["prepare"],
                                   "a package its publisher's signature does not cover was prepared")


def case_cut_twice_resumes_and_starts_once(case):
    product = "Zarn E2E Product"
    cut = 200000
    win, served, _ = start_download(case, product, "pkg.exe", 600 * 1024, "drop_after=%d&times=2&%s" % (cut, SLOW),
                                    digest=lambda data: hashlib.sha256(data).hexdigest())
    size = len(served)
    frames = frames_until_exit(case, win, 90)
    save_frames(case, frames, every=max(1, len(frames) // 12))
    mids, complete, bad = analyse_band(frames, CTX.skin("CheckD.jpg"))
    check(not bad, "band: %s" % "; ".join(bad[:5]))
    check([w for _, w in mids] == sorted(w for _, w in mids), "the bar went back: %r" % mids)
    seq, worst = statuses(frames, STATUS_TEXTS)
    print("  status texts seen: %r" % seq)
    check(DEFAULTS["failed"] not in seq, "a resumed download was shown as failed: %r" % seq)
    case.expect_started(product, served)
    ranged = [r["range"] for r in case.server.finished() if r["path"] == "/pkg.exe" and r["range"]]
    want = ["bytes=%d-%d" % (start, size - 1) for start in (0, cut, 2 * cut)]
    check(sorted(ranged, key=lambda r: int(r[6:].split("-")[0])) == want,
          "the transfers asked for %r, not %r" % (ranged, want))
    print("  ranges %r, mid percentages %s" % (ranged, [p for p, _ in mids][:12]))


def case_four_segments_arrive_with_a_band_that_never_goes_back(case):
    product = "Zarn E2E Product"
    # Four ranges of 1 MiB, each connection at 300 kB/s: about 3.5 s side by side.
    win, served, _ = start_download(case, product, "pkg.exe", 4 * 1024 * 1024 + 2, "pace=300000",
                                    digest=lambda data: hashlib.sha256(data).hexdigest(), segments=4)
    frames = frames_until_exit(case, win, 90)
    save_frames(case, frames, every=max(1, len(frames) // 12))
    mids, complete, bad = analyse_band(frames, CTX.skin("CheckD.jpg"))
    check(not bad, "band: %s" % "; ".join(bad[:5]))
    check(len({p for p, _ in mids}) >= 2, "fewer than two mid-download percentages seen: %r" % mids)
    check([w for _, w in mids] == sorted(w for _, w in mids), "the bar went back: %r" % mids)
    check(complete, "no frame with the full bar and the check mark")
    seq, worst = statuses(frames, STATUS_TEXTS)
    print("  status texts seen: %r" % seq)
    check(DEFAULTS["failed"] not in seq, "a segmented download was shown as failed: %r" % seq)
    case.expect_started(product, served)
    ranged = [r["range"] for r in case.server.finished() if r["path"] == "/pkg.exe" and r["range"]]
    want = ["bytes=0-1048576", "bytes=1048577-2097153", "bytes=2097154-3145729", "bytes=3145730-4194305"]
    check(sorted(ranged, key=lambda r: int(r[6:].split("-")[0])) == want,
          "the transfers asked for %r, not %r" % (ranged, want))
    print("  ranges %r, mid percentages %s" % (ranged, [p for p, _ in mids][:12]))


def case_cancel_during_a_retry_pause(case):
    product = "Zarn E2E Product"
    # Every transfer request is answered 503: after the third the engine waits 4 s.
    win, _, before = start_download(case, product, "pkg.exe", 200 * 1024, "range_status=503", retries=10)
    wait_for(lambda: len([r for r in case.server.finished() if r["range"]]) >= 3, 20, "three refused transfers")
    box = open_cancel_box(case, win, "button")
    expect_notice(case, box, win, product, NOTICE)
    asked = len([r for r in case.server.finished() if r["range"]])
    click_screen_rect(box_button(box, "Yes")["rect"])
    yes_at = time.monotonic()
    frames = frames_until_exit(case, win, 30)
    seq, worst = statuses(frames, STATUS_TEXTS)
    print("  status texts seen: %r" % seq)
    def first(text):
        return next((t for t, pic in frames if showing(pic) and
                     CTX.text.read(pic, scr.STATUS, STATUS_TEXTS, scr.STATUS_FONT)[0] == text), None)
    cancelling, cancelled = first(DEFAULTS["cancelling"]), first(DEFAULTS["cancelled"])
    check(cancelled is not None, "no %r among %r (%r)" % (DEFAULTS["cancelled"], seq, worst[:3]))
    check(cancelling is not None, "no %r among %r (%r)" % (DEFAULTS["cancelling"], seq, worst[:3]))
    # Counted from the first frame that shows the window got the answer: Wine without
    # a window manager holds the box's thread about 2 s while the box is hidden,
    # before MessageBox returns Yes to the window.
    latency = cancelled - cancelling
    print("  'Download cancelled.' %.2f s after 'Cancelling...' (%.2f s after the click on Yes)" %
          (latency, cancelled - yes_at))
    check(latency < 1.0, "'Download cancelled.' came %.2f s after the window took the Yes" % latency)
    check(DEFAULTS["failed"] not in seq, "a cancelled download failed: %r" % seq)
    later = len([r for r in case.server.finished() if r["range"]])
    check(later == asked, "%d more transfer requests after the cancel" % (later - asked))
    case.expect_nothing_left(product, before)



# --- the single-file installer ---------------------------------------------------------
def zarn_kit(*args):
    """zarn-kit.exe under Wine: (exit status, output)."""
    if not CTX.kit_tool or not os.path.exists(CTX.kit_tool):
        raise Skip("no zarn-kit.exe given")
    return CTX.wine.run([CTX.kit_tool] + [windows_path(a) if os.path.isabs(a) else a for a in args], timeout=120)


def vendor_kit(case, product, served, ini):
    """A kit folder in the kit's own layout whose every machine gets /pkg.exe with its
    digest: a kit zarn-kit finds nothing to warn about."""
    folder = os.path.join(case.dir, "kit")
    os.makedirs(os.path.join(folder, "skin"))
    digest = hashlib.sha256(served).hexdigest()
    entries = [{"os": o, "bit": b, "rlink": case.server.url("/pkg.exe", SLOW), "sha256": digest}
               for o in ("Windows XP", "Windows Vista", "Windows 7", "Windows 8") for b in ("32", "64")]
    with open(os.path.join(folder, "ZarnWebInstaller.xml"), "w", encoding="utf-8") as f:
        f.write(config(product, entries))
    with open(os.path.join(folder, "ZarnWebInstallerString.ini"), "w", encoding="utf-8") as f:
        f.write(ini)
    for name in SKIN:
        shutil.copy(os.path.join(CTX.kit, "skin", name), os.path.join(folder, "skin"))
    return folder


def packed(case, kit, name, expect_rc=0):
    out = os.path.join(case.dir, "packed", name)
    os.makedirs(os.path.dirname(out), exist_ok=True)
    rc, text = zarn_kit("pack", kit, "--out", out, "--from", os.path.abspath(CTX.installer))
    check(rc == expect_rc and os.path.exists(out), "zarn-kit pack gave %d, not %d:\n%s" % (rc, expect_rc, text[-1500:]))
    return out, text


def case_pack_gives_the_build_s_single_file_installer(case):
    # zarn-kit.exe pack on Windows and the resource compiler of make kit put the same
    # kit into the same program: every resource and the code are the same bytes.
    if not CTX.kit_installer or not os.path.exists(CTX.kit_installer):
        raise Skip("no single-file installer given")
    rc, text = zarn_kit("pack", os.path.abspath(CTX.kit), "--out", os.path.join(case.dir, "packed.exe"),
                        "--from", os.path.abspath(CTX.installer))
    check(rc in (0, 1), "zarn-kit pack of the sample kit gave %d:\n%s" % (rc, text[-1500:]))
    ours, built = pe_resources(os.path.join(case.dir, "packed.exe")), pe_resources(CTX.kit_installer)
    check(sorted(ours) == sorted(built), "resources differ: %s" % sorted(set(ours) ^ set(built)))
    differ = [k for k in ours if ours[k] != built[k]]
    check(not differ, "resources with other bytes: %r" % differ)
    check(len([k for k in ours if k[0] == 10]) == 12, "not 12 kit resources: %r" % sorted(ours))

    def text_section(path):
        data = open(path, "rb").read()
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        count, opt = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
        for i in range(count):
            name, _, _, raw, ptr = struct.unpack_from("<8sIIII", data, pe + 24 + opt + 40 * i)
            if name.rstrip(b"\0") == b".text":
                return data[ptr:ptr + raw]
        raise Fail("no .text in %s" % path)
    check(text_section(os.path.join(case.dir, "packed.exe")) == text_section(CTX.kit_installer),
          "the packed program's code differs from the build's")


def case_single_file_signed_alone_ignores_planted_files(case):
    product = "Zarn Kit Product"
    served = case.serve("pkg.exe", 300 * 1024)
    carried = {"IDS_TEXT_CANCEL": "Carried", "IDS_STATUS_DOWNLOADING": "Carried text..."}
    kit = vendor_kit(case, product, served, kit_ini(**carried))
    exe, report = packed(case, kit, "Zarn Kit Product Setup.exe")
    rc, text = zarn_kit("check", exe)
    check(rc == 0, "zarn-kit check on the packed program gave %d:\n%s" % (rc, text[-1500:]))
    pfx, pw = throwaway_certificate(os.path.join(case.dir, "cert"))
    signed = sign(exe, pfx, pw, os.path.join(case.dir, "signed.exe"))
    # Whoever can write beside the program plants another configuration, strings and
    # background: none of them may be read.
    case.inst = Installer(CTX, case.app, "Zarn Kit Product Setup.exe")
    planted = config("Planted Product", [{"os": o, "bit": b, "rlink": case.server.url("/planted.exe")}
                                         for o in ("Windows 7", "Windows 8") for b in ("32", "64")])
    case.inst.lay_out(planted, kit_ini(IDS_TEXT_CANCEL="Planted", IDS_STATUS_DOWNLOADING="Planted text..."),
                      skin=False, program=signed)
    shutil.copy(os.path.join(CTX.kit, "skin", "StatusBkg.jpg"), os.path.join(case.app, "MainWndBkg.jpg"))
    case.inst.start()
    win = case.inst.wait_window()
    snap = CTX.probe.windows()
    expect_window_geometry(snap, case.inst.main_window(snap) or win, "Carried")
    frames = frames_until_exit(case, win, 60)
    seq, worst = statuses(frames, STATUS_TEXTS + ["Carried text...", "Planted text..."])
    print("  status texts seen: %r" % seq)
    check("Carried text..." in seq and "Planted text..." not in seq, "status texts %r (%r)" % (seq, worst[:3]))
    case.expect_started(product, served)
    asked = sorted({r["path"] for r in case.server.finished()})
    check(asked == ["/pkg.exe"], "the server was asked for %r" % asked)
    check(open(os.path.join(case.app, "ZarnWebInstaller.xml"), encoding="utf-8").read() == planted,
          "the planted configuration changed")


def case_single_file_named_like_its_package_refuses(case):
    # The package lands beside the installer as "<product>.exe": an installer of that
    # name would download over itself. It says the download failed and touches nothing.
    product = "Zarn Kit Product"
    served = case.serve("pkg.exe", 64 * 1024)
    kit = vendor_kit(case, product, served, kit_ini())
    exe, report = packed(case, kit, package_file_name(product), expect_rc=1)
    check("[program-is-package]" in report, "zarn-kit did not warn about the name:\n%s" % report[-800:])
    case.inst = Installer(CTX, case.app, package_file_name(product))
    case.inst.lay_out(skin=False, program=exe)
    before = open(os.path.join(case.app, package_file_name(product)), "rb").read()
    case.inst.start()
    win = case.inst.wait_window()
    frames = frames_until_exit(case, win, 60)
    seq, worst = statuses(frames, STATUS_TEXTS)
    print("  status texts seen: %r" % seq)
    check(seq == [DEFAULTS["failed"]], "status texts %r, not only %r (%r)" % (seq, DEFAULTS["failed"], worst[:3]))
    check(open(os.path.join(case.app, package_file_name(product)), "rb").read() == before, "the program was changed")
    check(sorted(os.listdir(case.app)) == [package_file_name(product)], "files appeared: %r" % os.listdir(case.app))
    check(not case.server.finished(), "the server was asked: %r" % [r["path"] for r in case.server.finished()])


# --- every screen and every user ----------------------------------------------------
DPI_KEY = r"HKCU\Control Panel\Desktop"
FONT_LINKS = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink"
HELD = "stall_after=200000"  # 19% of the 1 MiB package, then nothing more
# Slow enough to be cancelled long before its end: a held transfer would keep the
# engine in its read until the connection times out.
CRAWL = "chunk=4096&delay_ms=150"


def set_dpi(case, dpi):
    """Wine's system DPI for the programs started from now on (LogPixels)."""
    CTX.wine.reg("delete", DPI_KEY, "/v", "LogPixels", "/f")
    if dpi != 96:
        case.cleanups.append(lambda: CTX.wine.reg("delete", DPI_KEY, "/v", "LogPixels", "/f"))
        check(CTX.wine.reg("add", DPI_KEY, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f") == 0,
              "reg add LogPixels failed")


def child(win, cid):
    return next((c for c in win["children"] if c["id"] == cid), None)


def held_download(case, product="Zarn E2E Product", ini=None, query=HELD, reader_text="Downloading..."):
    """The installer with its download held at 19%, once the status shows reader_text
    (None: once the bytes are sent, for a build without the readers)."""
    win, served, before = start_download(case, product, "pkg.exe", 1024 * 1024, query, ini)
    if reader_text is None:
        wait_transfer(case, "/pkg.exe", 200000)
        time.sleep(1.5)
        return case.inst.main_window(), before

    def settled():
        w = case.inst.main_window()
        s = w and child(w, 1002)
        p = w and child(w, 1003)
        return w if s and p and s["text"] == reader_text and p["text"].endswith("%") else None
    win = wait_for(settled, 30, "the status %r and a percentage" % reader_text, step=0.3)
    time.sleep(0.6)  # a tick or two: the panel and the band painted
    return win, before


def to_window(win, rect):
    """A screen rectangle of a child, in the window image's coordinates."""
    ox, oy = win["rect"][0], win["rect"][1]
    return rect[0] - ox, rect[1] - oy, rect[2] - ox, rect[3] - oy


def bright_box(pic, rect, threshold=150):
    pts = scr.bright_mask(pic, *rect, threshold=threshold)
    if not pts:
        return None
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    return min(xs), min(ys), max(xs) + 1, max(ys) + 1


def dark_run(pic, x, y0, y1):
    """Rows of the band's fill in one column of the band image: the band's height."""
    return sum(1 for y in range(max(0, y0), min(pic.height, y1)) if scr.near(pic.px(x, y), scr.DARK, 4))


def measure_window(case, dpi):
    set_dpi(case, dpi)
    win, _ = held_download(case)
    pic = case.inst.shot(win)
    pic.save_png(os.path.join(case.dir, "dpi-%d.png" % dpi))
    l, t, r, b = win["rect"]
    cancel, status, band = child(win, 1000)["rect"], child(win, 1002)["rect"], child(win, 1003)["rect"]
    bx0, by0, bx1, by1 = to_window(win, band)
    text = bright_box(pic, to_window(win, status))
    check(text is not None, "no status text at %d DPI" % dpi)
    m = {"window": (r - l, b - t), "cancel": (cancel[2] - cancel[0], cancel[3] - cancel[1]),
         "band": dark_run(pic, bx0 + (bx1 - bx0) * 3 // 4, by0, by1), "text": text[3] - text[1]}
    case.inst.stop()
    return m


def case_every_length_scales_with_the_dpi(case):
    # One installer run per DPI: at 144 and 192 the window, the Cancel button, the
    # band and the status text are 1.5 and 2 times as large as at 96.
    base = measure_window(case, 96)
    check(base["window"] == (600, 340) and base["cancel"] == (96, 32) and base["band"] == 14,
          "at 96 DPI: %r" % base)
    for dpi in (144, 192):
        f = dpi / 96.0
        m = measure_window(case, dpi)
        print("  %d DPI: %r (96 DPI: %r)" % (dpi, m, base))
        for what in ("window", "cancel"):
            for got, ref in zip(m[what], base[what]):
                check(abs(got - ref * f) <= 2, "%s at %d DPI is %r, not %.1f x %r" % (what, dpi, m[what], f, base[what]))
        for what in ("band", "text"):
            check(abs(m[what] - base[what] * f) <= 2, "%s height at %d DPI is %d, not %.1f x %d" %
                  (what, dpi, m[what], f, base[what]))


GERMAN = ("Die Installationsdateien werden heruntergeladen, bitte warten Sie einen Moment, "
          "bis der Vorgang abgeschlossen ist. Danke sehr")
ARABIC_INIT = "\u062c\u0627\u0631\u064d \u0627\u0644\u062a\u062d\u0636\u064a\u0631..."
ARABIC_NOTICE = "\u0647\u0644 \u062a\u0631\u064a\u062f \u0625\u0644\u063a\u0627\u0621 \u0627\u0644\u062a\u0646\u0632\u064a\u0644?"
JAPANESE = "\u30b6\u30fc\u30f3\u65e5\u672c\u8a9e\u7248"


def utf16_ini(**texts):
    """A string file as a vendor saves it for other scripts: UTF-16 LE with its mark."""
    return b"\xff\xfe" + kit_ini(**texts).encode("utf-16-le")


def components(pts):
    """Connected groups of pixels (8-neighbourhood), each as its set."""
    left, groups = set(pts), []
    while left:
        stack = [left.pop()]
        group = set(stack)
        while stack:
            x, y = stack.pop()
            for dx in (-1, 0, 1):
                for dy in (-1, 0, 1):
                    q = (x + dx, y + dy)
                    if q in left:
                        left.remove(q)
                        group.add(q)
                        stack.append(q)
        groups.append(group)
    return groups


def case_long_right_to_left_and_cjk_texts(case):
    # A 125-character German status, an Arabic one while the download starts, an
    # Arabic question, "Abbrechen" on the 96-pixel button and a Japanese product
    # name with a CJK font linked to the face the window draws with.
    check(len(GERMAN) == 125, "the German text has %d characters" % len(GERMAN))
    linked = "DejaVu Sans"  # what Wine draws for "Arial" without an Arial of its own
    case.cleanups.append(lambda: CTX.wine.reg("delete", FONT_LINKS, "/v", linked, "/f"))
    check(CTX.wine.reg("add", FONT_LINKS, "/v", linked, "/t", "REG_MULTI_SZ", "/d",
                       "VL-PGothic-Regular.ttf,VL PGothic", "/f") == 0, "reg add the font link failed")
    served = case.serve("pkg.exe", 1024 * 1024)
    entries = links(case, "/pkg.exe", "header_delay_ms=2500&" + HELD)
    case.inst.lay_out(config(JAPANESE, entries))
    with open(os.path.join(case.app, "ZarnWebInstallerString.ini"), "wb") as f:
        f.write(utf16_ini(IDS_STATUS_DOWNLOADING=GERMAN, IDS_STATUS_INIT=ARABIC_INIT, IDS_TEXT_CANCEL="Abbrechen",
                          IDS_MESSAGE_CANCELNOTICE=ARABIC_NOTICE))
    before = sorted(os.listdir(case.app))
    case.inst.start()

    def showing(text):
        w = case.inst.main_window()
        return w if w and (child(w, 1002) or {}).get("text") == text else None
    win = wait_for(lambda: showing(ARABIC_INIT), 30, "the Arabic status")
    time.sleep(0.4)
    pic = case.inst.shot(win)
    pic.save_png(os.path.join(case.dir, "arabic.png"))
    panel = to_window(win, child(win, 1002)["rect"])
    groups = sorted(components(scr.bright_mask(pic, *panel)), key=lambda g: min(x for x, _ in g))
    check(len(groups) >= 4, "the Arabic status is not drawn: %d pixel groups" % len(groups))
    # Read right to left, the text's final "..." stands at its left end: three dots
    # on one line, all left of the letters' largest stroke.
    dots, largest = groups[:3], max(groups, key=len)
    bottoms = [max(y for _, y in g) for g in dots]
    check(all(len(g) <= 9 for g in dots) and max(bottoms) - min(bottoms) <= 1 and
          max(x for g in dots for x, _ in g) < min(x for x, _ in largest),
          "\"...\" is not at the left end of the Arabic status (group sizes from the left: %r)" %
          [len(g) for g in groups])

    win = wait_for(lambda: showing(GERMAN), 30, "the German status")
    time.sleep(0.6)
    pic = case.inst.shot(win)
    pic.save_png(os.path.join(case.dir, "german.png"))
    panel = to_window(win, child(win, 1002)["rect"])
    box = bright_box(pic, panel)
    check(box[0] > panel[0] + 1, "the status text runs into the panel's left edge at x=%d: its start is cut" % box[0])
    words = GERMAN.split(" ")
    candidates = [" ".join(words[:k]) + "..." for k in range(1, len(words))]
    text, d, _, _ = CTX.text.read(pic, panel, candidates, scr.STATUS_FONT)
    check(d <= 0.3, "the status reads as none of the text's starts with \"...\" (best %r at %.2f)" % (text, d))
    print("  German status shown as %r" % text)

    cancel = to_window(win, child(win, 1000)["rect"])
    cap = bright_box(pic, (cancel[0], cancel[1] + 2, cancel[2], cancel[3] - 2), threshold=200)
    check(cap and cap[0] >= cancel[0] + 2 and cap[2] <= cancel[2] - 2,
          "\"Abbrechen\" runs to the button's edges: text %r in %r" % (cap, cancel))

    title = bright_box(pic, (48, 9, 348, 32))
    per_char = (title[2] - title[0]) / len(JAPANESE)
    print("  Japanese title %d pixels wide, %.1f a character" % (title[2] - title[0], per_char))
    check(per_char >= 12, "the Japanese name's glyphs are squeezed: %.1f pixels a character" % per_char)

    box = open_cancel_box(case, win, "button")
    t, _ = box_text(box)
    check(t == ARABIC_NOTICE, "box text %r" % t)
    click_screen_rect(box_button(box, "Yes")["rect"])
    case.inst.wait_exit(40)
    case.expect_nothing_left(JAPANESE, [n for n in before if n != package_file_name(JAPANESE)])


def cue_pixels(a, b, rect):
    """Pixels along the focus rectangle's line (3 pixels inside) that differ."""
    l, t, r, b_ = rect
    ring = [(x, y) for x in range(l + 3, r - 3) for y in (t + 3, b_ - 4)]
    ring += [(x, y) for y in range(t + 3, b_ - 3) for x in (l + 3, r - 4)]
    return sum(1 for x, y in ring if sum(abs(p - q) for p, q in zip(a.px(x, y), b.px(x, y))) > 60)


def case_keyboard_and_screen_readers(case):
    product = "Zarn E2E Product"
    events = subprocess.Popen([CTX.wine.loader, CTX.probe.exe, "winevents", "60"], env=CTX.wine.env,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    case.cleanups.append(events.kill)
    check(b'"hooked":true' in events.stdout.readline(), "no WinEvent hook")
    lines = []
    reader = threading.Thread(target=lambda: lines.extend(events.stdout), daemon=True)
    reader.start()
    xdo("mousemove", 5, 5)
    win, before = held_download(case, product, query=CRAWL)

    tree = CTX.probe.call("accessible", win["hwnd"])
    objects = {c["id"]: c["object"] for c in tree["children"]}
    print("  accessible: window %r, status %r, percentage %r" % (tree["client"], objects.get(1002), objects.get(1003)))
    check(tree["client"].get("name") == product, "the window's accessible name is %r" % tree["client"])
    check(objects.get(1002, {}).get("name") == "Downloading...", "the status reads %r" % objects.get(1002))
    pct = objects.get(1003, {})
    check(any(re.fullmatch(r"\d+%", pct.get(k) or "") for k in ("name", "value")), "the percentage reads %r" % pct)

    case.inst.click_client(win, 300, 250)  # the window takes the keyboard; Cancel keeps the focus
    time.sleep(0.3)
    quiet = case.inst.shot(win)
    cancel = to_window(win, child(win, 1000)["rect"])
    xdo("key", "Return")  # the very first key
    box = case.inst.wait_box(15)
    check(case.inst.main_window() is not None, "Enter ended the window")
    click_screen_rect(box_button(box, "No")["rect"])
    wait_for(lambda: not case.inst.boxes(), 10, "the box to close")
    time.sleep(0.5)
    cued = case.inst.shot(win)
    cued.save_png(os.path.join(case.dir, "focus-cue.png"))
    n = cue_pixels(quiet, cued, cancel)
    check(n >= 40, "no focus cue on Cancel once the keyboard was used (%d pixels changed)" % n)
    xdo("key", "Tab")
    time.sleep(0.3)
    xdo("key", "Return")
    box = case.inst.wait_box(15)
    check(case.inst.main_window() is not None, "Enter after Tab ended the window")
    click_screen_rect(next(c for c in box["children"] if c["class"].lower() == "static" and c["text"])["rect"])
    xdo("key", "y")
    case.inst.wait_exit(40)
    case.expect_nothing_left(product, before)

    events.kill()
    reader.join(5)
    seen = [json.loads(l) for l in lines if l.strip()]
    told = [e for e in seen if e["id"] == 1002 and e["text"] == "Downloading..."]
    kinds = {e["event"] for e in told}
    print("  WinEvents for the status: %r" % sorted(kinds))
    check(0x800C in kinds, "no name change for the new status text: %r" % seen[:6])
    check(0x8019 in kinds, "no live-region event for the new status text")


def case_second_instance_leaves_the_first_alone(case):
    product = "Zarn E2E Product"
    win, served, _ = start_download(case, product, "pkg.exe", 2 * 1024 * 1024, "chunk=16384&delay_ms=30",
                                    after_bytes=64 * 1024)
    second = Installer(CTX, case.app)
    case.cleanups.append(second.stop)
    second.start()
    end = time.monotonic() + 20
    while second.running():
        check(time.monotonic() < end, "the second instance is still running")
        snap = CTX.probe.windows()
        mains = [w for w in case.inst.ours(snap)[1] if w["class"] == "#32770" and w["visible"]]
        check([w["hwnd"] for w in mains] == [win["hwnd"]], "windows of the kit: %r" %
              [(w["hwnd"], w["caption"]) for w in mains])
        time.sleep(0.2)
    snap = CTX.probe.windows()
    check(snap["foreground"] == win["hwnd"], "the first window is not in front")
    case.expect_started(product, served, timeout=60)
    transfers = [r for r in case.server.finished() if r["path"] == "/pkg.exe"]
    check(len(transfers) == 2, "the package was asked for %d times" % len(transfers))


def case_giant_background_fits_the_screen(case):
    # A valid 8000 x 8000 background on a 1280 x 1024 screen.
    product = "Zarn E2E Product"
    case.serve("pkg.exe", 1024 * 1024)
    case.inst.lay_out(config(product, links(case, "/pkg.exe", CRAWL)))
    giant = os.path.join(CTX.work, "giant-background.jpg")  # made once, kept for later runs
    if not os.path.exists(giant):
        subprocess.run(["convert", "-size", "8000x8000", "xc:#2a2e35", "-quality", "50", giant + ".tmp.jpg"],
                       check=True, timeout=120)
        os.replace(giant + ".tmp.jpg", giant)
    shutil.copy(giant, os.path.join(case.app, "MainWndBkg.jpg"))
    before = sorted(os.listdir(case.app))
    case.inst.start()
    win = case.inst.wait_window(60)
    snap = CTX.probe.windows()
    win = case.inst.main_window(snap)
    wl, wt, wr, wb = snap["work_area"]
    l, t, r, b = win["rect"]
    print("  window %r in the work area %r" % (win["rect"], snap["work_area"]))
    check(wl <= l and wt <= t and r <= wr and b <= wb, "the window %r leaves the work area %r" %
          (win["rect"], snap["work_area"]))
    check(abs((r - l) - (b - t)) <= 1, "the square background lost its shape: %r" % win["rect"])
    for cid in (1000, 1002):
        cl, ct, cr, cb = child(win, cid)["rect"]
        check(l <= cl and t <= ct and cr <= r and cb <= b, "control %d at %r is off the window" % (cid, [cl, ct, cr, cb]))
    click_screen_rect(child(win, 1000)["rect"])
    box = case.inst.wait_box(15)
    click_screen_rect(box_button(box, "Yes")["rect"])
    case.inst.wait_exit(40)
    case.expect_nothing_left(product, before)


def frames_of(case, win, count, pause=0.2):
    pics = []
    for _ in range(count):
        pics.append(case.inst.shot(win))
        time.sleep(pause)
    return pics


def case_pictures_at_96_dpi_equal_mains(case):
    # The same held download under a build of main and under this one: every
    # picture of ours, idle and with the pointer on Cancel and on the close glyph,
    # is one of main's pixel for pixel. The band's stripes move, so sets are matched,
    # not sequences; main's set is the larger, so that it holds every stripe phase.
    baseline = os.environ.get("ZARN_BASELINE_INSTALLER")
    if not baseline or not os.path.exists(baseline):
        raise Skip("no baseline installer (ZARN_BASELINE_INSTALLER)")
    shots = {}
    for who, exe, count in (("main", baseline, 15), ("ours", CTX.installer, 5)):
        case.inst.stop()
        case.app = os.path.join(case.dir, who)
        case.inst = Installer(types.SimpleNamespace(installer=exe, kit=CTX.kit, wine=CTX.wine, probe=CTX.probe),
                              case.app)
        xdo("mousemove", 5, 5)
        win, _ = held_download(case, reader_text=None)
        ox, oy = win["client_origin"]
        stages = {"idle": frames_of(case, win, count)}
        xdo("mousemove", ox + 484 + 48, oy + 278 + 16)
        time.sleep(0.5)
        stages["cancel-hot"] = frames_of(case, win, count)
        xdo("mousemove", ox + 582, oy + 18)
        time.sleep(0.5)
        stages["close-hot"] = frames_of(case, win, count)
        xdo("mousemove", 5, 5)
        shots[who] = stages
        case.inst.stop()
    for stage, ours in shots["ours"].items():
        mains = {p.rgb for p in shots["main"][stage]}
        odd = [p for p in ours if p.rgb not in mains]
        print("  %s: %d of %d frames equal one of main's %d" % (stage, len(ours) - len(odd), len(ours), len(mains)))
        if odd:
            for i, p in enumerate(odd):
                p.save_png(os.path.join(case.dir, "%s-differs-%d.png" % (stage, i)))
            for i, p in enumerate(shots["main"][stage]):
                p.save_png(os.path.join(case.dir, "%s-main-%d.png" % (stage, i)))
        check(not odd, "%s: %d of %d frames differ from every frame of main's" % (stage, len(odd), len(ours)))


# --- runs an administrator scripts ----------------------------------------------------
QUIET_ARGS = "/S /exitcode=3010"


def admin_config(case, product, path, query="", digest=None):
    """The usual entries, the machine's rlink with quiet arguments (and a digest)."""
    entries = links(case, path, query)
    for e in entries:
        if e["rlink"].startswith(case.server.url(path)):
            e["quietArgs"] = QUIET_ARGS
            if digest:
                e["sha256"] = digest
    return config(product, entries)


def run_unseen(case, args, timeout=60):
    """Runs the installer with args to its end while checking that it shows no window
    and no box at any time; gives its exit code."""
    case.inst.start(args, exit_code=True)
    end = time.monotonic() + timeout
    while case.inst.running():
        check(time.monotonic() < end, "the installer did not end within %.0f s" % timeout)
        _, mine = case.inst.ours()
        shown = [w["class"] for w in mine if w["visible"]]
        check(not shown, "the installer showed a window: %r" % shown)
        time.sleep(0.2)
    return case.inst.exit_code()


def read_log(path):
    check(os.path.exists(path), "no log at %s" % path)
    raw = open(path, "rb").read()
    text = raw.decode("utf-8")  # a log that is not UTF-8 fails here
    lines = text.split("\r\n")
    check(lines[-1] == "" and all(l and l.split()[1] == "ms" for l in lines[:-1]),
          "not one timed line per event: %r" % lines[:3])
    return lines[:-1]


def expect_line(lines, *parts):
    hit = [l for l in lines if all(p in l for p in parts)]
    check(hit, "no log line with %r among:\n  %s" % (parts, "\n  ".join(lines)))
    return hit[0]


def case_quiet_success_returns_the_packages_code(case):
    product = "Zarn E2E Product"
    served = case.serve("pkg.exe", 300 * 1024)
    case.inst.lay_out(admin_config(case, product, "/pkg.exe"))
    before, temp_before = sorted(os.listdir(case.app)), CTX.temp_listing()
    code = run_unseen(case, ["/quiet"])
    check(code == 3010, "exit code %d, not the package's 3010" % code)
    case.expect_started(product, served, timeout=5)
    line = case.record_lines(product)[0]
    check(line.endswith(" " + QUIET_ARGS), "the package was started as %r" % line)
    expect_probe_then_range(case, "/pkg.exe", len(served))
    package = package_file_name(product)
    check(sorted(os.listdir(case.app)) == sorted(before + [package, package + ".started.txt"]), "files appeared")
    check(CTX.temp_listing() == temp_before, "temporary files appeared without /log")


def case_quiet_bad_switch_then_404(case):
    product = "Zarn E2E Product"
    case.serve("pkg.exe", 64 * 1024)
    case.inst.lay_out(admin_config(case, product, "/missing.exe"))
    before = sorted(os.listdir(case.app))
    # A switch nobody knows: the bad-command-line code, and not one request.
    code = run_unseen(case, ["/quiet", "/Frobnicate"])
    check(code == 1639, "exit code %d for an unknown switch" % code)
    check(not case.server.finished(), "a request was made: %r" % case.server.finished())
    # A link that answers 404, no fallback: the download failed, and the log says why.
    log = os.path.join(case.dir, "quiet 404.log")
    code = run_unseen(case, ["-Q", "/Log", windows_path(log)])
    check(code == 1603, "exit code %d after a 404" % code)
    case.expect_nothing_left(product, before)
    lines = read_log(log)
    expect_line(lines, "probe " + case.server.url("/missing.exe"), "status 404")
    expect_line(lines, 'state 6 "Download failed."', "HTTP 404")
    expect_line(lines, "exit code 1603")
    print("  log:\n    " + "\n    ".join(lines))


def case_quiet_digest_mismatch(case):
    product = "Zarn E2E Product"
    data = case.serve("pkg.exe", 200 * 1024)
    expected = hashlib.sha256(data).hexdigest()
    case.inst.lay_out(admin_config(case, product, "/pkg.exe", "corrupt_at=100000", digest=expected))
    before = sorted(os.listdir(case.app))
    log = os.path.join(case.dir, "digest.log")
    code = run_unseen(case, ["/quiet", "/log", windows_path(log)])
    check(code == 1603, "exit code %d after a digest mismatch" % code)
    case.expect_nothing_left(product, before)
    corrupt = bytearray(data)
    corrupt[100000] ^= 0xFF
    lines = read_log(log)
    expect_line(lines, "sha256 expected " + expected, "computed " + hashlib.sha256(corrupt).hexdigest())
    expect_line(lines, "digest-mismatch")


def case_passive_missing_configuration_then_cancel(case):
    product = "Zarn E2E Product"
    # No configuration: its exit code, and no box (nor a window) at any time.
    case.inst.lay_out(xml=None)
    code = run_unseen(case, ["/passive"])
    check(code == 1619, "exit code %d without a configuration" % code)
    # The window to watch; the Cancel button ends the run at once, without a question.
    case.serve("big.exe", 8 * 1024 * 1024)
    case.inst.lay_out(admin_config(case, product, "/big.exe", "chunk=16384&delay_ms=25"))
    before = sorted(n for n in os.listdir(case.app))
    case.inst.start(["/passive"], exit_code=True)
    win = case.inst.wait_window()
    wait_transfer(case, "/big.exe", 128 * 1024)
    # A quiet second run for the same package has no window to bring forward: its
    # own exit code and a log line, and never a box.
    log = os.path.join(case.dir, "second.log")
    second = Installer(CTX, case.app, run_name=os.path.basename(case.app) + "-second")
    case.cleanups.append(second.stop)
    second.start(["/quiet", "/log", windows_path(log)], exit_code=True)
    end = time.monotonic() + 20
    while second.running():
        check(time.monotonic() < end, "the second run did not end")
        shown = [w["hwnd"] for w in case.inst.ours()[1] if w["visible"]]
        check(shown == [win["hwnd"]], "windows shown: %r besides the first's %r" % (shown, win["hwnd"]))
        time.sleep(0.2)
    code = second.exit_code()
    check(code == 1618, "exit code %d for a second run" % code)
    expect_line(read_log(log), "another installer is at work on this package")
    case.inst.click_client(win, 484 + 48, 278 + 16)
    clicked = time.monotonic()
    while case.inst.running():
        check(not case.inst.boxes(), "a box asked: %r" % [box_text(b) for b in case.inst.boxes()])
        check(time.monotonic() - clicked < 15, "the run did not end after the cancel")
        time.sleep(0.3)
    print("  ended %.1f s after the click" % (time.monotonic() - clicked))
    code = case.inst.exit_code()
    check(code == 1602, "exit code %d after a cancel" % code)
    case.expect_nothing_left(product, before)


def case_log_alone_is_the_normal_run_and_a_log(case):
    product = "Zarn E2E Product"
    served = case.serve("pkg.exe", 400 * 1024)
    case.inst.lay_out(config(product, links(case, "/pkg.exe", "chunk=65536&delay_ms=100")), ini=None)
    log = os.path.join(case.dir, "normal.log")
    case.inst.start(["/log", windows_path(log)])
    win = case.inst.wait_window()
    frames = frames_until_exit(case, win, 60)
    seq, worst = statuses(frames, STATUS_TEXTS)
    print("  status texts seen: %r" % seq)
    order = [t for t in seq if t in (DEFAULTS["downloading"], DEFAULTS["done"], DEFAULTS["prepare"])]
    check(order == [DEFAULTS["downloading"], DEFAULTS["done"], DEFAULTS["prepare"]], "status texts %r" % seq)
    case.expect_started(product, served)
    line = case.record_lines(product)[0]
    check(line.strip().endswith('.exe"'), "the package got arguments in a normal run: %r" % line)
    expect_probe_then_range(case, "/pkg.exe", len(served))
    lines = read_log(log)
    for state in (1, 2, 3, 8):
        expect_line(lines, "state %d " % state)
    expect_line(lines, "package started: ", ", no arguments")
    expect_line(lines, "exit code 0")
    print("  log:\n    " + "\n    ".join(lines))


# --- the normal run against a build of main (ZARN_BASELINE_INSTALLER) ----------------
def watched_normal_run(case, installer, args=()):
    """One success run of the given installer: its requests (without the port and
    their times), the status texts seen, and two intervals of the wall clock: from
    the transfer's last byte to the package's start, and from there to the end."""
    product = "Zarn E2E Product"
    case.server.stop()
    case.server.start()
    case.serve("pkg.exe", 400 * 1024)
    shutil.rmtree(case.app, ignore_errors=True)
    case.inst.lay_out(config(product, links(case, "/pkg.exe", "chunk=65536&delay_ms=150")), ini=None)
    shutil.copy(installer, os.path.join(case.app, "ZarnWebInstaller.exe"))
    before, temp_before = sorted(os.listdir(case.app)), CTX.temp_listing()
    case.inst.start(list(args))
    win = case.inst.wait_window()
    frames = frames_until_exit(case, win, 60)
    ended = time.time()
    wait_for(lambda: case.record_lines(product), 10, "the package's start record")
    started = os.path.getmtime(case.package_path(product) + ".started.txt")
    texts, _ = statuses(frames, STATUS_TEXTS)
    port = ":%d" % case.server.port
    finished = case.server.finished()
    transfer_end = max(r["ended_ms"] for r in finished) / 1000.0
    requests = [{k: (str(v).replace(port, ":PORT")) for k, v in r.items() if k != "ended_ms"} for r in finished]
    return {"requests": requests, "texts": texts, "handoff": round(started - transfer_end, 2),
            "close": round(ended - started, 2), "files": sorted(set(os.listdir(case.app)) - set(before)),
            "temp": sorted(set(CTX.temp_listing()) - set(temp_before)), "record": case.record_lines(product)}


def case_normal_run_as_the_previous_main(case):
    baseline = os.environ.get("ZARN_BASELINE_INSTALLER")
    if not baseline or not os.path.exists(baseline):
        raise Skip("no baseline installer (ZARN_BASELINE_INSTALLER)")
    builds = [("previous main", baseline, []), ("this build", CTX.installer, []),
              ("this build, /log", CTX.installer, ["/log", windows_path(os.path.join(case.dir, "n.log"))])]
    # Rounds in turn, so that a busy moment of the machine falls on every build alike.
    rounds = [[watched_normal_run(case, exe, args) for _, exe, args in builds] for _ in range(3)]
    for rnd in rounds:
        for (name, _, _), r in zip(builds, rnd):
            print("  %-17s hand-off %.2f s, close %.2f s, texts %s" % (name, r["handoff"], r["close"], r["texts"]))
    for (name, _, _), r in zip(builds, rounds[0]):
        print("  %-17s files %s, temp %s, record %s" % (name, r["files"], r["temp"], r["record"]))
        for q in r["requests"]:
            print("  %-17s %s %s%s range=%r ua=%r referer=%r accept=%r -> %s, %s bytes" % (
                "", q["method"], q["path"], "?" + q["query"] if q["query"] else "", q["range"], q["user_agent"],
                q["referer"], q["accept"], q["status"], q["bytes_sent"]))
    order = [DEFAULTS["downloading"], DEFAULTS["done"], DEFAULTS["prepare"]]

    def median(i, key):
        return sorted(rnd[i][key] for rnd in rounds)[len(rounds) // 2]

    base = rounds[0][0]
    for i, (name, _, _) in enumerate(builds):
        seen = set()
        for rnd in rounds:
            r = rnd[i]
            check(r["requests"] == base["requests"], "%s: the requests differ" % name)
            check(r["files"] == base["files"] and r["temp"] == base["temp"], "%s: other files" % name)
            # A screen grab can miss a text that shows half a second; the order holds.
            check([t for t in order if t in r["texts"]] == r["texts"], "%s: texts %r" % (name, r["texts"]))
            seen |= set(r["texts"])
        check(seen == set(order), "%s: texts seen %r" % (name, sorted(seen)))
        if i:
            for key in ("handoff", "close"):
                a, b = median(i, key), median(0, key)
                print("  %-17s %s: median %.2f s, previous main %.2f s" % (name, key, a, b))
                check(abs(a - b) < 0.3, "%s: %s %.2f s, not %.2f s" % (name, key, a, b))


GROUPS = {
    "success": [case_success_with_ini, case_success_defaults_without_ini],
    "fallback": [case_fallback_after_404],
    "failure": [case_truncated_body_fails],
    "cancel": [case_cancel_yes_holds_then_cancels, case_cancel_no_resumes, case_escape_asks_first],
    "glyphs": [case_close_and_minimise_glyphs],
    "startup": [case_no_xml, case_unreadable_xml, case_no_link_for_the_machine, case_unparseable_links],
    "patch": [case_patch_key_absent, case_patch_key_in_64bit_view, case_patch_key_only_in_32bit_view,
              case_no_registry_element_and_no_patch_gives_the_full_package],
    "versions": [case_version_winxp64, case_version_win7, case_version_win10],
    "fulldisk": [case_full_disk],
    "kit": [case_pack_gives_the_build_s_single_file_installer, case_single_file_signed_alone_ignores_planted_files,
            case_single_file_named_like_its_package_refuses],
    "integrity": [case_digest_mismatch_is_never_started, case_signed_package_with_one_byte_changed_is_never_started,
                  case_cut_twice_resumes_and_starts_once,
                  case_cancel_during_a_retry_pause, case_four_segments_arrive_with_a_band_that_never_goes_back],
    "dpi": [case_every_length_scales_with_the_dpi],
    "texts": [case_long_right_to_left_and_cjk_texts],
    "access": [case_keyboard_and_screen_readers, case_second_instance_leaves_the_first_alone,
               case_giant_background_fits_the_screen],
    "baseline": [case_pictures_at_96_dpi_equal_mains],
    "admin": [case_quiet_success_returns_the_packages_code, case_quiet_bad_switch_then_404,
              case_quiet_digest_mismatch, case_passive_missing_configuration_then_cancel,
              case_log_alone_is_the_normal_run_and_a_log],
    "unchanged": [case_normal_run_as_the_previous_main],
}

CTX = None


def main():
    global CTX
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--group", required=True, choices=sorted(GROUPS))
    ap.add_argument("--installer", required=True)
    ap.add_argument("--probe", required=True)
    ap.add_argument("--package", required=True)
    ap.add_argument("--kit", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--server", default="")
    ap.add_argument("--kit-tool", default="", help="zarn-kit.exe, for the single-file cases")
    ap.add_argument("--kit-installer", default="", help="the single-file installer the build made of --kit")
    ap.add_argument("--case", default="", help="run only the cases whose name contains this")
    args = ap.parse_args()
    try:
        CTX = Context(args)
    except Fail as e:
        print("e2e: %s" % e)
        return 1
    results = []
    for fn in GROUPS[args.group]:
        name = fn.__name__[len("case_"):]
        if args.case and args.case not in name:
            continue
        t0 = time.monotonic()
        case = None
        try:
            case = Case(CTX, name)
            fn(case)
            verdict = "PASS"
        except Skip as e:
            verdict = "SKIP (%s)" % e
        except Fail as e:
            verdict = "FAIL: %s" % e
        except subprocess.TimeoutExpired as e:
            verdict = "FAIL: timed out: %s" % e
        except Exception as e:  # a harness fault fails the case, the others still run
            import traceback
            traceback.print_exc()
            verdict = "FAIL: harness error %r" % e
        finally:
            if case:
                case.close()
        results.append(verdict)
        print("%-40s %s  (%.1f s)" % (name, verdict, time.monotonic() - t0), flush=True)
    CTX.wine.reg("delete", APPDEFAULTS, "/f")
    if any(r.startswith("FAIL") for r in results):
        return 1
    if results and all(r.startswith("SKIP") for r in results):
        return 77
    return 0


if __name__ == "__main__":
    sys.exit(main())
