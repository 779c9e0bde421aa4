#!/usr/bin/env python3
"""Checks of the end-to-end scenario (scripts/e2e.sh) on what the probe and the stand-in
installers recorded. Each prints one "ok ..." or "bad ..." line per check.

  e2e_checks.py missing DETECT.json                 the missing packages' file names
  e2e_checks.py installers DETECT.json RUNS.log     each missing .exe ran once, with its switch
  e2e_checks.py present BEFORE.json AFTER.json      what was missing is present after the repair
"""
import json
import sys

# The catalogue's silent switches; the two entries without one run with no parameters.
SWITCHES = {
    "2005_vcredist_x86.exe": "/Q", "2008_vcredist_x86.exe": "/q", "2010_vcredist_x86.exe": "/q",
    "2012_vcredist_x86.exe": "/quiet /norestart", "2013_vcredist_x86.exe": "/quiet /norestart",
    "2015_VC_redist.x86.exe": "/quiet /norestart",
    "2005_vcredist_x64.exe": "/Q", "2008_vcredist_x64.exe": "/q", "2010_vcredist_x64.exe": "/q",
    "2012_vcredist_x64.exe": "/quiet /norestart", "2013_vcredist_x64.exe": "/quiet /norestart",
    "2015_VC_redist.x64.exe": "/quiet /norestart",
    "dotnetfx35.exe": "", "dotNetFx40_Full_x86_x64.exe": "/q",
    "xnafx31_redist.msi": "/quiet /norestart", "xnafx40_redist.msi": "/quiet /norestart",
    "directx_Jun2010_redist.exe": "/Q", "OpenALv2070.exe": "/S", "PhysX-9.16.0318.exe": "",
}


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def missing(detect):
    return [e["fileName"] for e in detect["entries"] if e["decision"] == "missing"]


def read_runs(path):
    runs = {}
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                fields = line.rstrip("\r\n").split("\t")
                if len(fields) != 3:
                    runs.setdefault("(malformed line)", []).append(tuple(fields))
                    continue
                runs.setdefault(fields[0], []).append((fields[1], fields[2]))
    except OSError:
        pass
    return runs


def check_installers(detect, runs):
    lines = []
    wanted = missing(detect)
    for name in wanted:
        if name.endswith(".msi"):
            continue  # msiexec runs those; they record their UI level in the registry
        got = runs.get(name, [])
        good = got == [(SWITCHES[name], "installed")]
        lines.append("%s %s ran %d time(s) with %r, expected once with %r"
                     % ("ok" if good else "bad", name, len(got), got, SWITCHES[name]))
    for name, got in sorted(runs.items()):
        if name not in wanted:
            lines.append("bad %s ran though it was not missing: %r" % (name, got))
    return lines


def check_present(before, after):
    lines = []
    was_missing = set(missing(before))
    for e in after["entries"]:
        if e["fileName"] not in was_missing:
            continue
        # On 64-bit Windows the x86 Visual C++ bits are never set: those stay missing.
        expect = "missing" if after.get("native64") and e["index"] <= 5 else "present"
        lines.append("%s %s is %s, expected %s"
                     % ("ok" if e["decision"] == expect else "bad", e["fileName"], e["decision"], expect))
    return lines


def main(argv):
    if len(argv) == 3 and argv[1] == "missing":
        print(" ".join(missing(load(argv[2]))))
        return 0
    if len(argv) == 4 and argv[1] == "installers":
        lines = check_installers(load(argv[2]), read_runs(argv[3]))
    elif len(argv) == 4 and argv[1] == "present":
        lines = check_present(load(argv[2]), load(argv[3]))
    else:
        print(__doc__, file=sys.stderr)
        return 2
    print("\n".join(lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
