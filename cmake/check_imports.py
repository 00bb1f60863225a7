#!/usr/bin/env python3
"""check_imports.py: does a Windows program still start on the oldest Windows it must?

    check_imports.py --objdump OBJDUMP --allowed LIST --known-dlls LIST --floor XPSP3 PROGRAM.exe...
                     [--known-dlls-only TOOL.exe]...

Reads each program's import tables and PE header with binutils' objdump and fails
(exit 1, one line per finding) when the program imports a function the allow-list
does not name, a function whose minimum client is later than the floor, a secure-CRT
(_s) function from msvcrt.dll, or anything by ordinal; or when its subsystem version
is later than the floor's. Windows XP's loader refuses such a program outright,
while Wine runs it whatever version it claims, so no test under Wine would notice.
It also fails for a DLL imported statically that the KnownDLLs list does not name:
the loader looks for such a DLL in the program's folder first, before the program
can run a single instruction to prevent it. A program given with --known-dlls-only
(a tool that need not start on XP) is held to that rule alone.
"""
import argparse
import re
import subprocess
import sys

# Windows versions as (major, minor, service pack), for comparison only.
CLIENTS = {
    "NT4": (4, 0, 0), "2000": (5, 0, 0), "XP": (5, 1, 0), "XPSP2": (5, 1, 2), "XPSP3": (5, 1, 3),
    "2003": (5, 2, 0), "Vista": (6, 0, 0), "7": (6, 1, 0), "8": (6, 2, 0), "8.1": (6, 3, 0), "10": (10, 0, 0),
}


class ListError(Exception):
    pass


def parse_allowed(text):
    """{(dll lower case, function): (documented, actual)} from the allow-list's text."""
    allowed = {}
    for n, raw in enumerate(text.splitlines(), 1):
        line = raw.split("#", 1)[0].split()
        if not line:
            continue
        if len(line) not in (3, 4):
            raise ListError("line %d: expected DLL, function, minimum client [, actual minimum]: %r" % (n, raw))
        if len(line) == 4 and "#" not in raw:
            raise ListError("line %d: an actual minimum needs its evidence after a '#': %r" % (n, raw))
        for client in line[2:]:
            if client not in CLIENTS:
                raise ListError("line %d: unknown client %r (one of %s)" % (n, client, " ".join(CLIENTS)))
        key = (line[0].lower(), line[1])
        if key in allowed:
            raise ListError("line %d: %s!%s is listed twice" % (n, line[0], line[1]))
        allowed[key] = (line[2], line[-1])
    return allowed


def parse_known_dlls(text):
    """The set of DLL names (lower case) of the KnownDLLs list's text."""
    known = set()
    for n, raw in enumerate(text.splitlines(), 1):
        line = raw.split("#", 1)[0].split()
        if not line:
            continue
        if len(line) != 1 or not line[0].lower().endswith(".dll"):
            raise ListError("line %d: expected one DLL name: %r" % (n, raw))
        known.add(line[0].lower())
    return known


def parse_objdump(text):
    """The imports [(dll, function or None for an ordinal)] and the subsystem version."""
    imports, dll, version = [], None, {}
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name:\s*(\S+)", line)
        if m:
            dll = m.group(1)
            continue
        m = re.match(r"(Major|Minor)SubsystemVersion\s+(\d+)", line)
        if m:
            version[m.group(1)] = int(m.group(2))
            continue
        if dll is None:
            continue
        if not line.strip():
            continue
        # "\t<vma>\t <hint>  <name>" by name; by ordinal the name is missing or "<none>".
        m = re.match(r"\t[0-9a-fA-F]+\s+\d+\s*(.*)$", line)
        if m:
            rest = m.group(1).split()
            imports.append((dll, rest[0] if rest and not rest[0].startswith("<") else None))
        elif not line.startswith("\tvma:"):
            dll = None  # the end of this DLL's entries
    if "Major" not in version or "Minor" not in version:
        return imports, None
    return imports, (version["Major"], version["Minor"])


def findings(imports, subsystem, allowed, floor, known=None):
    """Every reason the program would not start on floor, or would load a DLL of
    the program's folder (known: the KnownDLLs, None skips that rule), as text lines.
    allowed None: only the KnownDLLs rule."""
    out = []
    if known is not None:
        for dll in sorted({d for d, _ in imports}, key=str.lower):
            if dll.lower() not in known:
                out.append("%s: imported statically but not a KnownDLL on every Windows the program starts on, so a "
                           "file of that name beside the program is loaded instead; load it at run time from the "
                           "system folder" % dll)
    if allowed is None:
        return out
    limit = CLIENTS[floor]
    if subsystem is None:
        out.append("no subsystem version in the PE header")
    elif subsystem > limit[:2]:
        out.append("subsystem version %d.%02d is later than %s (%d.%02d)" % (subsystem + (floor,) + limit[:2]))
    for dll, fn in imports:
        if fn is None:
            out.append("%s: an import by ordinal, which no minimum client can be checked for" % dll)
            continue
        if dll.lower() == "msvcrt.dll" and fn.endswith("_s"):
            out.append("%s!%s: a secure-CRT function, absent from the msvcrt.dll of Windows XP" % (dll, fn))
            continue
        entry = allowed.get((dll.lower(), fn))
        if entry is None:
            out.append("%s!%s: not in the list of allowed imports" % (dll, fn))
        elif CLIENTS[entry[1]] > limit:
            out.append("%s!%s: needs Windows %s, later than %s" % (dll, fn, entry[1], floor))
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--objdump", required=True)
    ap.add_argument("--allowed", required=True)
    ap.add_argument("--known-dlls", required=True)
    ap.add_argument("--floor", required=True, choices=sorted(CLIENTS))
    ap.add_argument("--known-dlls-only", action="append", default=[], metavar="PROGRAM")
    ap.add_argument("programs", nargs="*")
    a = ap.parse_args()
    try:
        allowed = parse_allowed(open(a.allowed, encoding="utf-8").read())
    except (OSError, ListError) as e:
        print("check_imports: %s: %s" % (a.allowed, e))
        return 1
    try:
        known = parse_known_dlls(open(a.known_dlls, encoding="utf-8").read())
    except (OSError, ListError) as e:
        print("check_imports: %s: %s" % (a.known_dlls, e))
        return 1
    bad = 0
    for prog in a.programs + a.known_dlls_only:
        dll_rule_only = prog in a.known_dlls_only and prog not in a.programs
        p = subprocess.run([a.objdump, "-p", prog], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        text = p.stdout.decode("utf-8", "replace")
        if p.returncode != 0:
            print("%s: objdump failed: %s" % (prog, text.strip()))
            bad += 1
            continue
        imports, subsystem = parse_objdump(text)
        problems = findings(imports, subsystem, None if dll_rule_only else allowed, a.floor, known)
        if not imports:
            problems.append("no imports found (not a PE program, or objdump's format changed)")
        for line in problems:
            print("%s: %s" % (prog, line))
        bad += bool(problems)
        if not problems:
            dlls = sorted({d for d, _ in imports}, key=str.lower)
            if dll_rule_only:
                print("%s: %d imports from %s: KnownDLLs only" % (prog, len(imports), ", ".join(dlls)))
            else:
                print("%s: %d imports from %s, subsystem %d.%02d: starts on %s" %
                      ((prog, len(imports), ", ".join(dlls)) + subsystem + (a.floor,)))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
