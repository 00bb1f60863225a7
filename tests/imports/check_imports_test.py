#!/usr/bin/env python3
"""The import check must fail for every way a program can stop starting on XP: a
checker that always passes looks exactly like a program that is fine."""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake"))
import check_imports as ci  # noqa: E402

LIST = """
# comment line
KERNEL32.dll  CloseHandle           XP
KERNEL32.dll  GetTickCount64        Vista
COMCTL32.dll  InitCommonControlsEx  Vista  2000   # comctl32 4.70
msvcrt.dll    memcpy                2000
msvcrt.dll    memcpy_s              XP
"""


def objdump(dlls, major=4, minor=0):
    """objdump -p text in the shape binutils prints: header fields, then per DLL a
    directory line, the DLL name, the column titles and one line per import."""
    out = ["MajorSubsystemVersion\t%d" % major, "MinorSubsystemVersion\t%d" % minor, "",
           "The Import Tables (interpreted .idata section contents)"]
    for dll, names in dlls:
        out += [" 00038000\t000380c8 00000000 00000000 00039384 00038408", "", "\tDLL Name: %s" % dll,
                "\tvma:  Hint/Ord Member-Name Bound-To"]
        for i, n in enumerate(names):
            out.append("\t%x\t %4d  %s" % (0x38748 + 16 * i, 100 + i, n) if n else "\t%x\t %4d" % (0x38748, 7))
        out.append("")
    out += [" 000380b4\t00000000 00000000 00000000 00000000 00000000", "",
            "PE File Base Relocations (interpreted .reloc section contents)",
            "\treloc    0 offset  1f4 [11f4] HIGHLOW"]
    return "\n".join(out)


def check(text, floor="XPSP3"):
    imports, subsystem = ci.parse_objdump(text)
    return ci.findings(imports, subsystem, ci.parse_allowed(LIST), floor)


class Findings(unittest.TestCase):
    def test_a_program_of_listed_imports_passes(self):
        text = objdump([("KERNEL32.dll", ["CloseHandle"]), ("comctl32.DLL", ["InitCommonControlsEx"]),
                        ("msvcrt.dll", ["memcpy"])])
        self.assertEqual(ci.parse_objdump(text)[0], [("KERNEL32.dll", "CloseHandle"),
                                                     ("comctl32.DLL", "InitCommonControlsEx"),
                                                     ("msvcrt.dll", "memcpy")])
        self.assertEqual(check(text), [])

    def test_each_fault_is_named(self):
        cases = [
            ([("KERNEL32.dll", ["CloseHandle", "CreateThreadpoolWork"])], "KERNEL32.dll!CreateThreadpoolWork: not in"),
            ([("KERNEL32.dll", ["GetTickCount64"])], "GetTickCount64: needs Windows Vista"),
            ([("msvcrt.dll", ["memcpy_s"])], "memcpy_s: a secure-CRT function"),
            ([("USER32.dll", ["CloseHandle"])], "USER32.dll!CloseHandle: not in"),  # right name, wrong DLL
            ([("WS2_32.dll", [None])], "WS2_32.dll: an import by ordinal"),
        ]
        for dlls, expected in cases:
            found = check(objdump(dlls))
            self.assertEqual(len(found), 1, (dlls, found))
            self.assertIn(expected, found[0])

    def test_the_floor_decides(self):
        text = objdump([("KERNEL32.dll", ["GetTickCount64"])])
        self.assertEqual(check(text, floor="Vista"), [])
        self.assertTrue(check(text, floor="XPSP3"))
        self.assertTrue(check(objdump([("COMCTL32.dll", ["InitCommonControlsEx"])]), floor="NT4"))

    def test_subsystem_version(self):
        self.assertEqual(check(objdump([], 5, 1)), [])
        self.assertIn("subsystem version 5.02", check(objdump([], 5, 2))[0])
        self.assertIn("subsystem version 6.00", check(objdump([], 6, 0))[0])
        self.assertIn("no subsystem version", check("DLL Name: KERNEL32.dll")[0])

    def test_a_dll_that_is_not_known_is_named_once(self):
        known = ci.parse_known_dlls("kernel32.dll\nMSVCRT.DLL   # the CRT\n")
        allowed = ci.parse_allowed(LIST + "WININET.dll InternetOpenW XP\nWININET.dll InternetCloseHandle XP\n")
        text = objdump([("KERNEL32.dll", ["CloseHandle"]), ("WININET.dll", ["InternetOpenW", "InternetCloseHandle"]),
                        ("msvcrt.dll", ["memcpy"])])
        imports, subsystem = ci.parse_objdump(text)
        found = ci.findings(imports, subsystem, allowed, "XPSP3", known)
        self.assertEqual(len(found), 1, found)
        self.assertTrue(found[0].startswith("WININET.dll: imported statically but not a KnownDLL"), found[0])
        self.assertEqual(ci.findings(imports, subsystem, allowed, "XPSP3"), [], "without a list the rule is off")

    def test_nothing_after_the_tables_counts_as_an_import(self):
        imports, _ = ci.parse_objdump(objdump([("KERNEL32.dll", ["CloseHandle"])]))
        self.assertEqual(imports, [("KERNEL32.dll", "CloseHandle")])


class AllowList(unittest.TestCase):
    def test_bad_lines_are_refused(self):
        for text, why in [("KERNEL32.dll CloseHandle", "expected DLL"),
                          ("KERNEL32.dll CloseHandle Win98", "unknown client"),
                          ("KERNEL32.dll CloseHandle XP\nkernel32.DLL CloseHandle XP", "listed twice"),
                          ("COMCTL32.dll InitCommonControlsEx Vista 2000", "evidence")]:
            with self.assertRaises(ci.ListError) as e:
                ci.parse_allowed(text)
            self.assertIn(why, str(e.exception))

    def test_a_bad_known_dlls_line_is_refused(self):
        for text in ("kernel32", "kernel32.dll user32.dll"):
            with self.assertRaises(ci.ListError):
                ci.parse_known_dlls(text)

    def test_the_committed_known_dlls_leave_out_what_planting_reaches(self):
        path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "known_dlls.txt")
        known = ci.parse_known_dlls(open(path, encoding="utf-8").read())
        self.assertIn("kernel32.dll", known)
        self.assertEqual(known & {"wininet.dll", "gdiplus.dll", "comctl32.dll", "version.dll", "wintrust.dll",
                                  "crypt32.dll"}, set())

    def test_the_committed_list_parses_and_fits_the_floor(self):
        path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "windows_imports.txt")
        allowed = ci.parse_allowed(open(path, encoding="utf-8").read())
        self.assertGreater(len(allowed), 100)
        late = [k for k, (_, actual) in allowed.items() if ci.CLIENTS[actual] > ci.CLIENTS["XPSP3"]]
        self.assertEqual(late, [], "entries no XP SP3 machine has")
        self.assertEqual([k for k in allowed if k[0] == "msvcrt.dll" and k[1].endswith("_s")], [])


if __name__ == "__main__":
    unittest.main()
