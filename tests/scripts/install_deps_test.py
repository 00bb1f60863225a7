#!/usr/bin/env python3
"""scripts/install-deps against an apt-get that fails as a mirror mid-sync made the
real one fail: each failure path must end in the packages installed (or 32-bit Wine
left out, with its reason noted for the 32-bit tiers), never in a stopped script
nor in a required package quietly skipped."""
import os
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "install-deps")


# The cases about installing 32-bit Wine say ZARN_32BIT=yes: on a kernel without
# 32-bit execution the script rightly never tries, whatever apt would answer.
def run(**fake):
    with tempfile.TemporaryDirectory() as d:
        prefix = os.path.join(d, "prefix")
        os.makedirs(prefix)
        open(os.path.join(prefix, "system.reg"), "w").close()  # the Wine prefix counts as made
        env = dict(os.environ, PATH=os.path.join(HERE, "fake") + ":" + os.environ["PATH"], FAKE_DIR=d,
                   ZARN_DEPS_STATE=os.path.join(d, "state"), ZARN_WINEPREFIX=prefix, ZARN_WINE_PREFIX_ARCH="64")
        env.pop("ZARN_32BIT", None)
        env.update(fake)
        p = subprocess.run([SCRIPT], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120)

        def read(name):
            path = os.path.join(d, name)
            if not os.path.exists(path):
                return None
            with open(path) as f:
                return f.read()
        calls = (read("calls") or "").splitlines()
        installed = (read("installed") or "").split()
        return p.returncode, p.stdout.decode(), calls, installed, read("state/wine32-unavailable.txt")


@unittest.skipUnless(os.geteuid() == 0, "install-deps calls apt-get through sudo when not root")
class InstallDeps(unittest.TestCase):
    def test_a_failing_index_is_tried_again_then_the_install_goes_on(self):
        rc, out, calls, installed, _ = run(FAKE_UPDATE_FAILS="2", FAKE_MISSING="xdotool")
        self.assertEqual(rc, 0, out)
        self.assertEqual(calls.count("apt-get update -qq"), 3)
        self.assertEqual(calls.count("sleep 10"), 2)
        self.assertEqual(installed, ["xdotool"])

        rc, out, calls, installed, _ = run(FAKE_UPDATE_FAILS="99", FAKE_MISSING="xdotool")
        self.assertEqual(rc, 0, out)
        self.assertEqual(calls.count("apt-get update -qq"), 4, "the first try and three more")
        self.assertIn("going on with the package indexes apt has", out)
        self.assertIn("Mirror sync in progress?", out)
        self.assertEqual(installed, ["xdotool"])

    def test_unmatched_i386_versions_install_with_the_release_as_target(self):
        rc, out, calls, installed, note = run(FAKE_UPDATE_FAILS="99", FAKE_MISSING="wine32:i386 xdotool",
                                              FAKE_WINE32="mismatch", ZARN_32BIT="yes")
        self.assertEqual(rc, 0, out)
        self.assertIn("apt-get install -y -qq --no-install-recommends -t bookworm xdotool wine32:i386", calls)
        self.assertEqual(sorted(installed), ["wine32:i386", "xdotool"])
        self.assertIsNone(note)

    def test_32bit_wine_is_the_one_package_that_may_be_left_out(self):
        rc, out, _, installed, note = run(FAKE_MISSING="wine32:i386 xdotool", FAKE_WINE32="none", ZARN_32BIT="yes")
        self.assertEqual(rc, 0, out)
        self.assertEqual(installed, ["xdotool"])
        self.assertIn("Unable to locate package wine32:i386", note)

        rc, out, calls, installed, note = run(FAKE_MISSING="wine32:i386 xdotool", ZARN_32BIT="no")
        self.assertEqual(rc, 0, out)
        self.assertEqual(installed, ["xdotool"])
        self.assertFalse([c for c in calls if "wine32" in c or "add-architecture" in c], calls)
        self.assertEqual(note.strip(), "forced by ZARN_32BIT=no")

    def test_any_other_package_that_cannot_be_installed_fails_the_script(self):
        rc, out, _, installed, note = run(FAKE_MISSING="wine32:i386 xdotool", FAKE_BROKEN="xdotool")
        self.assertEqual(rc, 1, out)
        self.assertIn("FAILED to install xdotool", out)
        self.assertNotIn("wine32:i386 cannot be installed", out, "the fault is xdotool's, not 32-bit Wine's")

    def test_nothing_missing_installs_nothing(self):
        rc, out, calls, _, _ = run()
        self.assertEqual(rc, 0, out)
        self.assertIn("all packages present", out)
        self.assertEqual(calls, [])


if __name__ == "__main__":
    unittest.main()
