#!/usr/bin/env python3
"""The end-to-end scenario's verdicts on installer runs: they must fail for a run without its
switch, a second run, a run of a package that was present, a package left missing."""
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_checks  # noqa: E402


def detect(decisions, native64=True):
    names = list(e2e_checks.SWITCHES)
    return {"native64": native64,
            "entries": [{"index": i, "fileName": n, "decision": decisions.get(n, "present")}
                        for i, n in enumerate(names)]}


def verdicts(lines):
    return {line.split()[1]: line.split()[0] for line in lines}


class InstallerRuns(unittest.TestCase):
    def runs_file(self, text):
        f = tempfile.NamedTemporaryFile("w", delete=False, encoding="utf-8", suffix=".log")
        f.write(text)
        f.close()
        self.addCleanup(os.unlink, f.name)
        return f.name

    def test_each_missing_installer_must_run_once_with_its_switch(self):
        before = detect({"2010_vcredist_x64.exe": "missing", "dotnetfx35.exe": "missing",
                         "OpenALv2070.exe": "missing", "xnafx31_redist.msi": "missing"})
        runs = self.runs_file("2010_vcredist_x64.exe\t/q\tinstalled\r\n"
                              "dotnetfx35.exe\t\tinstalled\r\n"
                              "OpenALv2070.exe\t/S\tinstalled\r\n")
        got = verdicts(e2e_checks.check_installers(before, e2e_checks.read_runs(runs)))
        self.assertEqual(got, {"2010_vcredist_x64.exe": "ok", "dotnetfx35.exe": "ok", "OpenALv2070.exe": "ok"})

    def test_wrong_switch_second_run_unneeded_run_and_no_run_fail(self):
        before = detect({"2012_vcredist_x64.exe": "missing", "2005_vcredist_x64.exe": "missing",
                         "directx_Jun2010_redist.exe": "missing"})
        runs = self.runs_file("2012_vcredist_x64.exe\t/quiet\twrong-switch\n"
                              "2005_vcredist_x64.exe\t/Q\tinstalled\n"
                              "2005_vcredist_x64.exe\t/Q\tinstalled\n"
                              "OpenALv2070.exe\t/S\tinstalled\n")
        lines = e2e_checks.check_installers(before, e2e_checks.read_runs(runs))
        got = verdicts(lines)
        self.assertEqual(got["2012_vcredist_x64.exe"], "bad")
        self.assertEqual(got["2005_vcredist_x64.exe"], "bad")      # ran twice
        self.assertEqual(got["directx_Jun2010_redist.exe"], "bad")  # never ran
        self.assertEqual(got["OpenALv2070.exe"], "bad")             # was not missing
        self.assertEqual(len(lines), 4)

    def test_a_failed_install_and_a_malformed_record_fail(self):
        before = detect({"PhysX-9.16.0318.exe": "missing"})
        runs = self.runs_file("PhysX-9.16.0318.exe\t\tfailed\ngarbage\n")
        got = verdicts(e2e_checks.check_installers(before, e2e_checks.read_runs(runs)))
        self.assertEqual(got["PhysX-9.16.0318.exe"], "bad")
        self.assertEqual(got["(malformed"], "bad")

    def test_no_log_means_nothing_ran(self):
        before = detect({"dotNetFx40_Full_x86_x64.exe": "missing"})
        got = verdicts(e2e_checks.check_installers(before, e2e_checks.read_runs("/nonexistent/runs.log")))
        self.assertEqual(got, {"dotNetFx40_Full_x86_x64.exe": "bad"})


class PresenceAfterRepair(unittest.TestCase):
    def test_repaired_packages_are_present_except_x86_vc_on_64_bit(self):
        before = detect({"2008_vcredist_x86.exe": "missing", "2008_vcredist_x64.exe": "missing",
                         "xnafx40_redist.msi": "missing"})
        after = detect({"2008_vcredist_x86.exe": "missing"})
        got = verdicts(e2e_checks.check_present(before, after))
        self.assertEqual(got, {"2008_vcredist_x86.exe": "ok", "2008_vcredist_x64.exe": "ok",
                               "xnafx40_redist.msi": "ok"})

    def test_a_package_still_missing_fails(self):
        before = detect({"xnafx31_redist.msi": "missing", "2005_vcredist_x86.exe": "missing"})
        after = detect({"xnafx31_redist.msi": "missing", "2005_vcredist_x86.exe": "missing"}, native64=False)
        got = verdicts(e2e_checks.check_present(before, after))
        # On a 32-bit machine the x86 Visual C++ packages must be found after their install.
        self.assertEqual(got, {"xnafx31_redist.msi": "bad", "2005_vcredist_x86.exe": "bad"})

    def test_missing_lists_the_file_names(self):
        d = detect({"OpenALv2070.exe": "missing", "dotnetfx35.exe": "missing"})
        path = tempfile.NamedTemporaryFile("w", delete=False, suffix=".json")
        json.dump(d, path)
        path.close()
        self.addCleanup(os.unlink, path.name)
        self.assertEqual(e2e_checks.missing(e2e_checks.load(path.name)), ["dotnetfx35.exe", "OpenALv2070.exe"])


if __name__ == "__main__":
    unittest.main()
