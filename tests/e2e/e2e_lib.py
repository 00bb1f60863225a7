"""The machinery of the end-to-end cases: Wine, the probe, the test server, the screen,
the case folder and the installer process. Standard library only."""
import json
import os
import shutil
import struct
import subprocess
import sys
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import signing  # noqa: E402
from signing import sign, throwaway_certificate  # noqa: E402,F401  (the release and kit cases sign with these)

# One wineserver serves 32- and 64-bit clients; the 32-bit one is there only with wine32.
WINESERVER = next((p for p in ("/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver32") if os.path.exists(p)),
                  "/usr/lib/wine/wineserver64")
SKIN = ["MainWndBkg.jpg", "StatusBkg.jpg", "Close_N.jpg", "Close_H.jpg", "Min_N.jpg", "Min_H.jpg",
        "Cancel_N.jpg", "Cancel_H.jpg", "Cancel_D.jpg", "CheckD.jpg"]
AGENT = "Ostrel_WebInstaller"
REFERER = "http://www.zarnsoft.example/"


class Fail(Exception):
    pass


class Skip(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Fail(what)


def wait_for(pred, timeout, what, step=0.1):
    """pred's first true value, or Fail after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        v = pred()
        if v:
            return v
        if time.monotonic() > end:
            raise Fail("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(step)


def windows_path(p):
    """The Wine view of a host path (the Z: drive maps /)."""
    return "Z:" + os.path.abspath(p).replace("/", "\\")


def pe_bits(path):
    """32 or 64: the bitness of a Windows program, from its PE header."""
    with open(path, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    check(head[pe:pe + 4] == b"PE\0\0", "%s is not a Windows program" % path)
    return 64 if struct.unpack_from("<H", head, pe + 4)[0] == 0x8664 else 32


class Wine:
    """Wine for programs of the given bitness, in the prefix scripts/wine-env.sh names
    (ZARN_WINE_PREFIX_ARCH 64 or 32)."""

    def __init__(self, source_dir, bits=64):
        self.env = dict(os.environ)
        self.loader = "/usr/lib/wine/wine64" if bits == 64 else "/usr/lib/wine/wine"
        pure32 = os.environ.get("ZARN_WINE_PREFIX_ARCH", "64") == "32"
        self.env["WINEPREFIX"] = os.environ.get("ZARN_WINEPREFIX") or os.path.join(
            source_dir, "build", "wineprefix32" if pure32 else "wineprefix")
        self.env["WINEDEBUG"] = os.environ.get("WINEDEBUG", "-all")
        self.env["WINEDLLOVERRIDES"] = "mscoree,mshtml=,winemenubuilder.exe=d"
        if not self.env.get("DISPLAY"):
            raise Fail("no DISPLAY: run the e2e tests under scripts/with-display")
        if not os.path.exists(os.path.join(self.env["WINEPREFIX"], "system.reg")):
            subprocess.run([os.path.join(source_dir, "scripts", "wine-prefix")], env=self.env, check=True, timeout=300)
        # One wineserver for every case of this run: it lingers a while after the last
        # client so that the next CTest entry finds it running.
        # Its output goes nowhere: a server holding the test's stdout would keep CTest
        # waiting for it to end.
        subprocess.run([WINESERVER, "-p30"], env=self.env, timeout=30, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.run(["cmd.exe", "/c", "exit"], timeout=120)  # starts the prefix's services once
        # The machine's bitness as a program reads it from the system environment: a
        # 64-bit Windows says AMD64 there even to a 32-bit program.
        rc, out = self.run(["reg.exe", "query", r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment",
                            "/v", "PROCESSOR_ARCHITECTURE"], timeout=60)
        check(rc == 0 and ("AMD64" in out or "x86" in out), "no PROCESSOR_ARCHITECTURE in the prefix: %r" % out)
        self.bitness = "64" if "AMD64" in out else "32"

    def run(self, args, timeout=60, cwd=None):
        p = subprocess.run([self.loader] + args, env=self.env, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           timeout=timeout)
        return p.returncode, p.stdout.decode("utf-8", "replace")

    def start(self, args, cwd, log, overrides=""):
        """overrides: more WINEDLLOVERRIDES entries ("name=n,b;...") for this process only."""
        env = dict(self.env)
        if overrides:
            env["WINEDLLOVERRIDES"] += ";" + overrides
        return subprocess.Popen([self.loader] + args, env=env, cwd=cwd, stdout=log, stderr=subprocess.STDOUT)

    def reg(self, *args):
        rc, out = self.run(["reg.exe"] + list(args), timeout=60)
        return rc


class Probe:
    def __init__(self, wine, exe):
        self.wine, self.exe = wine, exe

    def call(self, *args):
        rc, out = self.wine.run([self.exe] + [str(a) for a in args], timeout=60)
        try:
            return json.loads(out)
        except ValueError:
            raise Fail("window_probe %s gave no JSON (rc %d): %r" % (args[0], rc, out[:200]))

    def windows(self):
        return self.call("windows")

    def processes(self):
        return self.call("processes")["processes"]

    def temp_folder(self, prefix):
        """The prefix's folder for temporary files, as a host path."""
        t = self.call("temp")["temp"].rstrip("\\")
        check(t[1:3] == ":\\", "temp folder %r" % t)
        return os.path.join(prefix, "drive_%s" % t[0].lower(), *t[3:].split("\\"))

    def kill(self, pid):
        return self.call("kill", pid)

    def image(self, path):
        d = self.call("image", path)
        if "rows" not in d:
            raise Fail("probe cannot decode %s" % path)
        return Picture.from_rows(d["width"], d["height"], d["rows"])

    def render(self, face, height, width, weight, texts):
        return self.call("render", face, height, width, weight, *texts)["texts"]


class Picture:
    """An RGB image held as one bytes object, 3 bytes a pixel."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    @staticmethod
    def from_rows(w, h, rows):
        return Picture(w, h, bytes.fromhex("".join(rows)))

    def px(self, x, y):
        o = (y * self.width + x) * 3
        return self.rgb[o], self.rgb[o + 1], self.rgb[o + 2]

    def crop(self, x, y, w, h):
        x0, y0 = max(0, x), max(0, y)
        x1, y1 = min(self.width, x + w), min(self.height, y + h)
        rows = [self.rgb[(r * self.width + x0) * 3:(r * self.width + x1) * 3] for r in range(y0, y1)]
        return Picture(x1 - x0, y1 - y0, b"".join(rows))

    def mean_diff(self, other, ox=0, oy=0):
        """Mean absolute channel difference of other placed at (ox, oy) in self."""
        total = n = 0
        for y in range(other.height):
            for x in range(other.width):
                a, b = self.px(ox + x, oy + y), other.px(x, y)
                total += abs(a[0] - b[0]) + abs(a[1] - b[1]) + abs(a[2] - b[2])
                n += 3
        return total / max(n, 1)

    def save_png(self, path):
        raw = b"".join(b"\x00" + self.rgb[y * self.width * 3:(y + 1) * self.width * 3] for y in range(self.height))

        def chunk(kind, data):
            c = struct.pack(">I", len(data)) + kind + data
            return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
            f.write(chunk(b"IEND", b""))


def parse_xwd(data):
    """The pixels of an xwd dump (ZPixmap, 24 or 32 bits a pixel, true colour)."""
    if len(data) < 100:
        raise Fail("xwd dump too short")
    f = struct.unpack(">25I", data[:100])
    header_size, version, fmt, depth, w, h = f[0], f[1], f[2], f[3], f[4], f[5]
    byte_order, bpp, bpl = f[7], f[11], f[12]
    masks = f[14], f[15], f[16]
    ncolors = f[19]
    if version != 7 or fmt != 2 or bpp not in (24, 32):
        raise Fail("unsupported xwd dump: version %d format %d bpp %d" % (version, fmt, bpp))
    off = header_size + ncolors * 12
    pixels = data[off:off + bpl * h]
    step = bpp // 8
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    # The common case (masks ff0000/ff00/ff, LSB first) is a byte shuffle.
    if byte_order == 0 and masks == (0xFF0000, 0xFF00, 0xFF):
        out = bytearray(w * h * 3)
        for y in range(h):
            row = pixels[y * bpl:y * bpl + w * step]
            o = y * w * 3
            out[o + 0:o + w * 3:3] = row[2::step]
            out[o + 1:o + w * 3:3] = row[1::step]
            out[o + 2:o + w * 3:3] = row[0::step]
        return Picture(w, h, bytes(out))
    order = "little" if byte_order == 0 else "big"
    out = bytearray()
    for y in range(h):
        for x in range(w):
            v = int.from_bytes(pixels[y * bpl + x * step:y * bpl + x * step + step], order)
            out += bytes(((v & m) >> s) & 0xFF for m, s in zip(masks, shifts))
    return Picture(w, h, bytes(out))


def screenshot(display):
    p = subprocess.run(["xwd", "-root", "-silent", "-display", display], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, timeout=20)
    if p.returncode != 0:
        raise Fail("xwd failed on display %s" % display)
    return parse_xwd(p.stdout)


def xdo(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], timeout=20, check=True)


class Server:
    """The native test server on its own root, log and progress files."""

    def __init__(self, binary, folder):
        self.binary, self.folder = binary, folder
        self.root = os.path.join(folder, "root")
        self.log = os.path.join(folder, "requests.jsonl")
        self.progress_file = os.path.join(folder, "progress.jsonl")
        self.proc = None
        self.port = None

    def start(self):
        os.makedirs(self.root, exist_ok=True)
        port_file = os.path.join(self.folder, "port")
        for p in (port_file, self.log, self.progress_file):
            if os.path.exists(p):
                os.remove(p)
        self.out = open(os.path.join(self.folder, "server.out"), "w")
        self.proc = subprocess.Popen([self.binary, "--root", self.root, "--log", self.log, "--port-file", port_file,
                                      "--progress", self.progress_file], stdout=self.out, stderr=subprocess.STDOUT)
        def port_or_exit():
            if self.proc.poll() is not None:
                self.out.flush()
                raise Fail("the test server %s ended at once (a build without --progress?): %s" %
                           (self.binary, open(self.out.name).read().strip()[:300]))
            return os.path.exists(port_file) and open(port_file).read().strip()
        wait_for(port_or_exit, 10, "the test server's port")
        self.port = int(open(port_file).read())

    def url(self, path, query=""):
        return "http://127.0.0.1:%d%s%s" % (self.port, path, ("?" + query) if query else "")

    @staticmethod
    def _read(path):
        if not os.path.exists(path):
            return []
        out = []
        for line in open(path, encoding="utf-8", errors="replace"):
            line = line.strip()
            if line:
                out.append(json.loads(line))
        return out

    def requests(self):
        """Every request so far, answered or still sending (the progress snapshot)."""
        return self._read(self.progress_file)

    def finished(self):
        return self._read(self.log)

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
        self.proc = None


def xml_config(name, entries, registry=None, raw_name=False, retries=None, segments=None):
    """A configuration document; entries are dicts with os, bit, rlink, patch, default,
    sha256, signer and quietArgs (the rlink's attributes); retries and segments, when
    given, become <retries> and <segments>."""
    def esc(s):
        return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "<zarnwebinstaller>", "  <product>",
             "    <name>%s</name>" % (name if raw_name else esc(name))]
    if registry is not None:
        lines.append("    <registry>%s</registry>" % esc(registry))
    if retries is not None:
        lines.append("    <retries>%s</retries>" % retries)
    if segments is not None:
        lines.append("    <segments>%s</segments>" % segments)
    for e in entries:
        lines.append('    <installerInfo%s>' % (' default="YES"' if e.get("default") else ""))
        for key in ("os", "bit", "rlink", "patch"):
            if key in e:
                attr = "".join(' %s="%s"' % (a, esc(e[a])) for a in ("sha256", "signer", "quietArgs")
                               if key == "rlink" and a in e)
                lines.append("      <%s%s>%s</%s>" % (key, attr, esc(e[key]), key))
        lines.append("    </installerInfo>")
    lines += ["  </product>", "</zarnwebinstaller>", ""]
    return "\n".join(lines)


FORBIDDEN = '\\/:*?"<>|'


def package_file_name(product):
    return "".join("_" if c in FORBIDDEN else c for c in product) + ".exe"


class Installer:
    """One case folder with the installer, its skin and configuration, and its process."""

    def __init__(self, ctx, folder, exe_name="ZarnWebInstaller.exe", run_name=None):
        self.ctx, self.folder, self.exe_name = ctx, folder, exe_name
        # A second run in the same folder needs a Wine log of its own: the probe's
        # exit code is read from it.
        self.run_name = run_name or os.path.basename(folder)
        self.proc = None
        self.exe_win = windows_path(os.path.join(folder, exe_name))

    def lay_out(self, xml=None, ini=None, skin=True, program=None):
        """The folder with the program (the tested installer unless program names
        another), the skin and the files given."""
        os.makedirs(self.folder, exist_ok=True)
        shutil.copy(program or self.ctx.installer, os.path.join(self.folder, self.exe_name))
        if skin:
            skin_dir = getattr(self.ctx, "skin_dir", None) or os.path.join(self.ctx.kit, "skin")
            # The ten images and, where the skin has them, their double-size variants.
            for name in SKIN + [n.replace(".jpg", "@2x.jpg") for n in SKIN]:
                if name in SKIN or os.path.exists(os.path.join(skin_dir, name)):
                    shutil.copy(os.path.join(skin_dir, name), self.folder)
        if xml is not None:
            with open(os.path.join(self.folder, "ZarnWebInstaller.xml"), "w", encoding="utf-8") as f:
                f.write(xml)
        if ini is not None:
            with open(os.path.join(self.folder, "ZarnWebInstallerString.ini"), "w", encoding="utf-8") as f:
                f.write(ini)

    def start(self, args=(), exit_code=False, overrides=""):
        """Starts the installer with args; with exit_code through the probe, which
        waits for it and reports its whole exit code (exit_code()); overrides: more
        WINEDLLOVERRIDES entries for this run."""
        self.log_path = os.path.join(self.folder, "..", self.run_name + ".wine.log")
        self.log = open(self.log_path, "w")
        self.started_at = time.monotonic()
        cmd = [os.path.join(self.folder, self.exe_name)] + list(args)
        if exit_code:
            cmd = [self.ctx.probe.exe, "run"] + cmd
        self.proc = self.ctx.wine.start(cmd, self.folder, self.log, overrides)

    def exit_code(self):
        """The installer's exit code as the probe saw it, once the run has ended."""
        self.log.flush()
        for line in reversed(open(self.log_path, encoding="utf-8", errors="replace").read().splitlines()):
            if line.startswith('{"exit":'):
                return json.loads(line)["exit"]
        raise Fail("the probe reported no exit code")

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Fail("the installer did not end within %.0f s" % timeout)

    def ours(self, snapshot=None):
        snap = snapshot or self.ctx.probe.windows()
        mine = [w for w in snap["windows"] if w["image"].lower() == self.exe_win.lower()]
        return snap, mine

    def main_window(self, snapshot=None):
        _, mine = self.ours(snapshot)
        for w in mine:
            if w["class"] == "#32770" and any(c["id"] == 1000 for c in w["children"]) and w["visible"]:
                return w
        return None

    def boxes(self, snapshot=None):
        """The visible message boxes of the installer: dialogs without our Cancel button."""
        _, mine = self.ours(snapshot)
        return [w for w in mine if w["class"] == "#32770" and w["visible"]
                and not any(c["id"] == 1000 for c in w["children"])]

    def wait_window(self, timeout=30):
        return wait_for(self.main_window, timeout, "the installer window")

    def wait_box(self, timeout=20):
        return wait_for(lambda: (self.boxes() or [None])[0], timeout, "a message box")

    def shot(self, win):
        """The window's pixels as on screen."""
        l, t, r, b = win["rect"]
        return screenshot(self.ctx.wine.env["DISPLAY"]).crop(l, t, r - l, b - t)

    def click_client(self, win, x, y):
        ox, oy = win["client_origin"]
        xdo("mousemove", ox + x, oy + y)
        time.sleep(0.15)
        xdo("click", 1)

    def stop(self):
        """Ends the installer and anything it started from its folder."""
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)
        prefix = windows_path(self.folder).lower() + "\\"
        try:
            for p in self.ctx.probe.processes():
                if p["image"].lower().startswith(prefix):
                    self.ctx.probe.kill(p["pid"])
        except Fail:
            pass


class TrustedSigning:
    """Packages signed at run time (tests/support/signing.py) and their throwaway root
    trusted by the prefix until close()."""

    def __init__(self, probe, folder, program):
        self.probe, self.folder, self.publisher = probe, folder, signing.PUBLISHER
        self.code_offset = signing.code_offset  # a byte the signature covers
        signing.make(folder, program)
        self.root = windows_path(os.path.join(folder, "root.der"))
        check(self.probe.call("trust", "add", self.root).get("ok"), "the throwaway root could not be trusted")

    def path(self, name):
        return os.path.join(self.folder, name)

    def close(self):
        self.probe.call("trust", "remove", self.root)


def pe_imports(path):
    """The DLL names a Windows program imports statically, from its import directory."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    opt = pe + 24
    dirs = opt + (112 if struct.unpack_from("<H", data, opt)[0] == 0x20B else 96)
    rva = struct.unpack_from("<I", data, dirs + 8)[0]
    sections = [struct.unpack_from("<IIII", data, opt + struct.unpack_from("<H", data, pe + 20)[0] + 40 * i + 8)
                for i in range(struct.unpack_from("<H", data, pe + 6)[0])]

    def offset(r):
        for vsize, va, raw_size, raw in sections:
            if va <= r < va + max(vsize, raw_size):
                return raw + r - va
        raise Fail("RVA %#x is in no section of %s" % (r, path))
    names, at = [], offset(rva)
    while struct.unpack_from("<I", data, at + 12)[0]:
        name_at = offset(struct.unpack_from("<I", data, at + 12)[0])
        names.append(data[name_at:data.index(b"\0", name_at)].decode("ascii"))
        at += 20
    return names


def box_text(box):
    """(text, button captions) of a message box as the probe saw it."""
    statics = [c["text"] for c in box["children"] if c["class"].lower() == "static" and c["text"]]
    buttons = [c["text"].replace("&", "") for c in box["children"] if c["class"].lower() == "button" and c["visible"]]
    return (statics[-1] if statics else ""), buttons


def box_button(box, caption):
    for c in box["children"]:
        if c["class"].lower() == "button" and c["visible"] and c["text"].replace("&", "").lower() == caption.lower():
            return c
    raise Fail("the box has no %s button: %s" % (caption, box_text(box)[1]))


def click_screen_rect(rect):
    l, t, r, b = rect
    xdo("mousemove", (l + r) // 2, (t + b) // 2)
    time.sleep(0.15)
    xdo("click", 1)


def pe_resources(path):
    """{(type, id): bytes} of a Windows program's numbered resources (the first
    language of each), read from its resource directory."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    dirs = opt + (92 if struct.unpack_from("<H", data, opt)[0] == 0x10B else 108) + 4
    rva = struct.unpack_from("<I", data, dirs + 2 * 8)[0]
    table = [struct.unpack_from("<8sIIII", data, opt + opt_size + 40 * i) for i in range(sections)]

    def offset(r):
        for _, vsize, va, raw, ptr in table:
            if va <= r < va + max(vsize, raw):
                return ptr + r - va
        raise Fail("rva %#x of %s is in no section" % (r, path))
    root = offset(rva)

    def entries(at):
        named, numbered = struct.unpack_from("<HH", data, at + 12)
        return [struct.unpack_from("<II", data, at + 16 + 8 * i) for i in range(named, named + numbered)]
    out = {}
    for rtype, t in entries(root):
        for rid, i in entries(root + (t & 0x7FFFFFFF)):
            _, leaf = entries(root + (i & 0x7FFFFFFF))[0]
            data_rva, size = struct.unpack_from("<II", data, root + leaf)
            out[(rtype, rid)] = data[offset(data_rva):offset(data_rva) + size]
    return out


