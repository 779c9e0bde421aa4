#!/usr/bin/env python3
"""rundix-skin run as a person runs it: arguments in, JSON lines and an exit status out.

  SkinToolTest.py --tool PATH --data DIR --skin res/skin.xml --artifacts DIR [--emulator CMD]

The PNGs of the shipped skin's sections are kept under --artifacts for a look by eye.
"""
import argparse
import json
import os
import struct
import subprocess
import sys
import unittest

ARGS = None


def tool_path(path):
    """A host path as the tool sees it: under Wine, drive Z: is the host's root."""
    if not ARGS.emulator or not os.path.isabs(path):
        return path
    return "Z:" + path.replace("/", "\\")


def run_tool(*arguments, timeout=300):
    """Runs the tool; returns (exit status, the JSON values of its lines, its stderr).
    Arguments that are absolute host paths are handed over as the tool sees them."""
    arguments = [str(a) for a in arguments]
    if ARGS.emulator and "--png" not in arguments:
        # On Windows the window otherwise stays on screen until someone closes it.
        arguments += ["--png", os.path.join(ARGS.artifacts, "wine-scratch.png")]
    command = list(ARGS.emulator) + [ARGS.tool] + [tool_path(a) for a in arguments]
    done = subprocess.run(command, capture_output=True, timeout=timeout)
    lines = []
    for raw in done.stdout.decode("utf-8").splitlines():
        raw = raw.strip()
        if raw:
            lines.append(json.loads(raw))
    return done.returncode, lines, done.stderr.decode("utf-8", "replace")


def data(name):
    return os.path.join(ARGS.data, name)


def of_kind(lines, kind):
    return [line[kind] for line in lines if kind in line]


def by_name(tree, name):
    for control in tree:
        if control["ref"]["name"] == name:
            return control
    raise AssertionError("no control named %r in the tree" % name)


def png_size(path):
    with open(path, "rb") as f:
        header = f.read(24)
    assert header[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG" % path
    return struct.unpack(">II", header[16:24])


class ShippedSkin(unittest.TestCase):
    """The program's four sections, built with the program's callback, at the program's sizes."""

    SECTIONS = [("Main", None, (1100, 824)), ("Details", "750,600", (750, 600)),
                ("Login", "500,400", (500, 400)), ("Kefu", "450,450", (450, 450))]

    def test_sections_build_lay_out_and_paint(self):
        for section, size, expected in self.SECTIONS:
            with self.subTest(section=section):
                png = os.path.join(ARGS.artifacts, section + ".png")
                if os.path.exists(png):
                    os.remove(png)
                arguments = ["--builtin", "--app", "--section", section, "--png", png]
                if size:
                    arguments += ["--size", size]
                status, lines, err = run_tool(*arguments)
                self.assertEqual(status, 0, err + str(lines[-1:]))
                self.assertEqual(of_kind(lines, "error"), [])
                window = of_kind(lines, "window")
                self.assertEqual(len(window), 1)
                self.assertEqual(window[0]["client"], list(expected))
                self.assertEqual(window[0]["caption"], [0, 0, 0, 70])
                self.assertEqual(window[0]["roundcorner"], [2, 2])
                fonts = {f["id"]: f for f in window[0]["fonts"]}
                self.assertTrue(fonts["normal12"]["default"])
                self.assertEqual(fonts["bold24"]["size"], 24)
                self.assertTrue(fonts["bold24"]["bold"])
                self.assertIn("VScrollBar1", window[0]["defaults"])
                # The first paint: window-size (2) before window-init (1), both before the tree.
                kinds = [next(iter(line)) for line in lines]
                first_tree = kinds.index("tree")
                notified = [line["notify"]["type"] for line in lines[:first_tree] if "notify" in line]
                self.assertEqual(notified[:2], [2, 1])
                tree = of_kind(lines, "tree")[0]
                self.assertEqual(tree[0]["ref"]["path"], [])
                self.assertEqual(tree[0]["rect"], [0, 0, expected[0], expected[1]])
                self.assertEqual(png_size(png), expected)
                if section == "Main":
                    window_main = window[0]
                    self.assertEqual(window_main["mininfo"], [1100, 824])
                    classes = [c["class"] for c in tree]
                    self.assertEqual(classes.count("LeftOption"), 4)
                    self.assertEqual(classes.count("CheckResult"), 4)

    def test_without_app_the_program_elements_are_left_out(self):
        status, lines, err = run_tool("--builtin", "--section", "Main")
        self.assertEqual(status, 0, err)
        classes = [c["class"] for c in of_kind(lines, "tree")[0]]
        self.assertNotIn("LeftOption", classes)
        self.assertNotIn("CheckResult", classes)

    def test_caption_band_drags_and_the_rest_is_client(self):
        steps = os.path.join(ARGS.artifacts, "hittest.json")
        with open(steps, "w") as f:
            json.dump([{"step": "nchittest", "pt": [300, 30]},
                       {"step": "nchittest", "pt": [300, 400]}], f)
        status, lines, err = run_tool("--builtin", "--section", "Main", "--steps", steps)
        self.assertEqual(status, 0, err)
        self.assertEqual(of_kind(lines, "hittest"), ["HTCAPTION", "HTCLIENT"])


class Steps(unittest.TestCase):
    def buttons(self, steps, *more):
        return run_tool(data("controls.xml"), "--section", "Buttons", "--steps", data(steps), *more)

    def test_click_on_a_button_notifies_in_order(self):
        status, lines, err = self.buttons("click.json")
        self.assertEqual(status, 0, err)
        trees = of_kind(lines, "tree")
        first_tree = [i for i, line in enumerate(lines) if "tree" in line][1]
        after_first = [i for i, line in enumerate(lines) if "manager" in line][0]
        ok_path = by_name(trees[0], "ok")["ref"]["path"]
        events = [(n["type"], n["sender"]["name"]) for n in
                  (line["notify"] for line in lines[after_first:first_tree] if "notify" in line)]
        # mouseenter (4), lbuttondown (10), lbuttonup (11), then click (3) from the release.
        self.assertEqual(events, [(4, "ok"), (10, "ok"), (3, "ok"), (11, "ok")])
        clicked = [line["notify"] for line in lines if "notify" in line and line["notify"]["type"] == 3]
        self.assertEqual(clicked[0]["sender"]["path"], ok_path)
        ok = by_name(trees[1], "ok")
        self.assertTrue(ok["hot"])
        self.assertFalse(ok["pushed"])
        self.assertFalse(ok["captured"])
        manager = of_kind(lines, "manager")[1]
        self.assertEqual(manager["hover"]["name"], "ok")
        self.assertIsNone(manager["click"])
        self.assertEqual(manager["cursor"], "hand")
        self.assertEqual(manager["groups"]["7"]["name"], "opt1")

    def test_tab_moves_the_focus_and_shift_tab_moves_it_back(self):
        status, lines, err = self.buttons("tab.json")
        self.assertEqual(status, 0, err)
        focus = [m["focus"]["name"] for m in of_kind(lines, "manager")]
        # The first paint gives the first tab stop the focus.
        self.assertEqual(focus, ["ok", "second", "opt1", "second"])
        trees = of_kind(lines, "tree")
        self.assertTrue(by_name(trees[1], "second")["focused"])
        self.assertFalse(by_name(trees[1], "ok")["focused"])

    def test_wheel_scrolls_a_long_list_a_line_a_notch(self):
        status, lines, err = run_tool(data("controls.xml"), "--section", "List",
                                      "--steps", data("wheel.json"))
        self.assertEqual(status, 0, err)
        trees = of_kind(lines, "tree")
        scroll = [by_name(t, "list")["scroll"] for t in trees]
        self.assertTrue(scroll[0]["exists"] and scroll[0]["visible"])
        # 500 pixels of rows in 300: range 200; each notch is the style's line size 30.
        self.assertEqual([s["range"] for s in scroll], [200, 200, 200])
        self.assertEqual([s["pos"] for s in scroll], [0, 60, 30])
        self.assertEqual(scroll[0]["rect"], [285, 0, 300, 300])
        self.assertEqual(scroll[0]["thumb"][3] - scroll[0]["thumb"][1], 300 * 300 // 500)
        self.assertEqual(by_name(trees[0], "row0")["rect"], [0, 0, 285, 50])
        self.assertEqual(by_name(trees[1], "row0")["rect"], [0, -60, 285, -10])

    def test_thumb_drag_moves_the_list_when_time_passes(self):
        status, lines, err = run_tool(data("controls.xml"), "--section", "List",
                                      "--steps", data("drag.json"))
        self.assertEqual(status, 0, err)
        trees = of_kind(lines, "tree")
        pos = [t[0]["scroll"]["pos"] for t in trees]
        # The drag is applied by the bar's 50 ms timer: nothing until time passes. Moving
        # the thumb 60 of the 120 free pixels is half the range of 200.
        self.assertEqual(pos, [0, 0, 100, 0, 200, 45])
        self.assertEqual(by_name(trees[2], "row0")["rect"], [0, -100, 285, -50])
        self.assertEqual(trees[4][0]["scroll"]["thumb"], [285, 120, 300, 300])
        bar_ref = {"scrollbar": "vertical", "owner": {"path": [], "name": "list"}}
        managers = of_kind(lines, "manager")
        self.assertEqual(managers[1]["click"], bar_ref)
        self.assertIsNone(managers[3]["click"])

    def test_cursor_leave_double_click_typing_and_window_size(self):
        status, lines, err = self.buttons("input.json", "--png", os.path.join(ARGS.artifacts, "input.png"))
        self.assertEqual(status, 0, err)
        managers = of_kind(lines, "manager")
        # Over the edit, over a control without setcursor, over a button with it.
        self.assertEqual([m["cursor"] for m in managers[1:4]], ["ibeam", "system", "hand"])
        self.assertEqual(managers[3]["hover"]["name"], "ok")
        self.assertIsNone(managers[4]["hover"])
        dumps = [i for i, line in enumerate(lines) if "tree" in line]
        ok_events = [line["notify"]["type"] for line in lines[dumps[4]:dumps[5]]
                     if "notify" in line and line["notify"]["sender"]["name"] == "ok"]
        # A press, release, double click and release make two clicks.
        self.assertEqual(ok_events.count(3), 2)
        edit_events = [line["notify"]["type"] for line in lines[dumps[4]:dumps[5]]
                       if "notify" in line and line["notify"]["sender"]["name"] == "edit"]
        self.assertEqual(edit_events, [19, 15])  # text changed, then Enter
        trees = of_kind(lines, "tree")
        maximized, restored = trees[5], trees[6]
        self.assertGreater(maximized[0]["rect"][2], 400)
        self.assertEqual(restored[0]["rect"], [0, 0, 400, 300])
        self.assertEqual(by_name(restored, "edit")["text"], "7")
        self.assertTrue(by_name(restored, "edit")["focused"])

    def test_progress_bar_set_to_half(self):
        png = os.path.join(ARGS.artifacts, "progress-half.png")
        status, lines, err = self.buttons("progress.json", "--fields", "--png", png)
        self.assertEqual(status, 0, err)
        before, after = (by_name(t, "bar")["fields"] for t in of_kind(lines, "tree"))
        self.assertEqual(before["value"], 0)
        self.assertEqual(after["value"], 50)
        left, top, right, bottom = after["bar"]
        self.assertEqual(right - left, 175)  # half of the 350-pixel bar
        self.assertEqual(png_size(png), (400, 300))

    def test_calls_select_options_and_scroll(self):
        steps = os.path.join(ARGS.artifacts, "calls.json")
        with open(steps, "w") as f:
            json.dump([{"step": "call", "name": "opt2", "method": "Selected", "args": [True]},
                       {"step": "call", "name": "ok", "method": "SetEnabled", "args": [False]},
                       {"step": "call", "name": "second", "method": "SetText", "args": ["改"]},
                       {"step": "dump"}], f)
        status, lines, err = self.buttons(steps)
        self.assertEqual(status, 0, err + str(lines[-1:]))
        changes = [(n["type"], n["sender"]["name"], n["wParam"]) for n in
                   (line["notify"] for line in lines if "notify" in line) if n["type"] == 14]
        self.assertEqual(changes, [(14, "opt1", 0), (14, "opt2", 1)])
        tree = of_kind(lines, "tree")[1]
        self.assertFalse(by_name(tree, "ok")["enabled"])
        self.assertEqual(by_name(tree, "second")["text"], "改")
        self.assertTrue(by_name(tree, "opt2")["selected"])
        self.assertEqual(of_kind(lines, "manager")[1]["groups"]["7"]["name"], "opt2")


class Encodings(unittest.TestCase):
    def test_utf8_source_and_gbk_copy_build_the_same_tree(self):
        with open(data("controls.xml"), encoding="utf-8") as f:
            text = f.read()
        gbk = os.path.join(ARGS.artifacts, "controls-gbk.xml")
        with open(gbk, "wb") as f:
            f.write(text.encode("gbk"))
        trees = []
        for path in (data("controls.xml"), gbk):
            status, lines, err = run_tool(path, "--section", "Buttons")
            self.assertEqual(status, 0, err)
            trees.append(of_kind(lines, "tree")[0])
        self.assertEqual(trees[0], trees[1])
        self.assertEqual(by_name(trees[0], "ok")["text"], "确定")


class Fields(unittest.TestCase):
    def test_every_kind_of_attribute_reads_back(self):
        status, lines, err = run_tool(data("controls.xml"), "--section", "Fields", "--fields")
        self.assertEqual(status, 0, err)
        tree = of_kind(lines, "tree")[0]
        f = by_name(tree, "every")["fields"]
        self.assertEqual(f["classid"], 1)
        self.assertEqual(f["interfaces"], [1])
        self.assertEqual((f["id"], f["tag"], f["shortcut"], f["tooltip"], f["userdata"]),
                         (150, 42, "K", "提示", "u"))
        self.assertEqual((f["pos"], f["width"], f["height"]), ([10, 20], 100, 50))
        self.assertEqual((f["padding"], f["cut"]), ([1, 2, 3, 4], [1, 1, 1, 1]))
        self.assertEqual((f["minwidth"], f["maxwidth"], f["minheight"], f["maxheight"]), (5, 500, 6, 600))
        self.assertEqual(f["disabledbkcolor"], "#80101112")
        self.assertEqual(f["normaltextcolor"], "#FF161718")  # written without '#'
        self.assertEqual(f["focusbordercolor"], "#FF2E2F30")
        self.assertEqual((f["normalbordersize"], f["focusbordersize"]), (2, 5))
        self.assertEqual(f["roundcorner"], [6, 7])
        self.assertEqual(f["disabledfont"], "f1")
        self.assertEqual(f["selectedtextpadding"], [4, 4, 4, 4])
        self.assertEqual(f["normalimage"]["parsed"], {"res": "114", "restype": "PNG", "dest": [1, 2, 25, 26]})
        self.assertEqual(f["hotimage"]["parsed"], {"name": "hot.png"})
        self.assertEqual(f["pushedimage"]["parsed"],
                         {"file": "p.png", "corner": [2, 2, 2, 2], "fade": 128, "hole": True})
        self.assertEqual(f["bknormalimage"]["parsed"]["source"], [0, 0, 20, 20])
        # "vcenter" holds both "vcen" and "center".
        self.assertEqual(sorted(f["textstyle"]["bits"]), ["center", "endellipsis", "singleline", "vcenter"])
        self.assertEqual(f["rowheight"], 3)
        # "topmost" holds "top" too.
        self.assertEqual(sorted(f["format"]["bits"]), ["center", "top", "topmost"])
        self.assertEqual(f["flags"], {"setcursor": True, "enterrolltext": False, "tabstop": True, "focusable": False})
        self.assertEqual(f["notify"], ["click", "mouseenter", "killfocus"])
        self.assertEqual(f["dispatch"], ["mousewheel", "setcursor", "activate"])
        for switch in ("float", "caption", "capture", "spacereturn", "htmltext", "customtooltip",
                       "hasbeenhover", "selfadaption"):
            self.assertTrue(f[switch], switch)
        self.assertEqual(f["tooltipdelaytime"], 500)
        # A float child sits at its fixed position inside the root's rectangle.
        self.assertEqual(by_name(tree, "every")["rect"], [11, 22, 107, 66])

        box = by_name(tree, "box")
        b = box["fields"]
        self.assertEqual((b["classid"], b["interfaces"]), (4, [4, 1]))
        self.assertEqual((b["inset"], b["childpadding"], b["layouttype"]), ([4, 5, 6, 7], 3, "horizontal"))
        self.assertEqual((b["autodestroy"], b["alwayshowvscroll"]), (False, True))
        bar = box["scroll"]
        self.assertTrue(bar["exists"])
        self.assertEqual((bar["fields"]["linesize"], bar["fields"]["showbutton1"]), (20, False))
        self.assertEqual(bar["fields"]["width"], 12)
        self.assertEqual(bar["fields"]["thumbhotimage"]["parsed"], {"res": "115", "restype": "PNG"})

        e = by_name(tree, "pass")["fields"]
        self.assertEqual((e["classid"], e["password"], e["passwordchar"], e["maxchar"]), (8, True, "#", 8))
        self.assertEqual((e["numberonly"], e["readonly"], e["multiline"]), (True, True, True))
        self.assertEqual(e["nativebkcolor"], "#FF102030")
        p = by_name(tree, "meter")["fields"]
        self.assertEqual((p["classid"], p["foreinset"], p["step"], p["source"]), (7, [1, 2, 3, 4], 5, True))

        window = of_kind(lines, "window")[0]
        font = window["fonts"][0]
        self.assertEqual((font["id"], font["italic"], font["underline"], font["strikeout"], font["bold"]),
                         ("f1", True, True, True, False))


class Errors(unittest.TestCase):
    def assert_error(self, expected_part, *arguments):
        status, lines, err = run_tool(*arguments)
        self.assertNotEqual(status, 0)
        errors = of_kind(lines, "error")
        self.assertEqual(len(errors), 1, lines)
        self.assertIn(expected_part, errors[0])
        self.assertEqual(of_kind(lines, "tree"), [])
        return errors[0]

    def test_malformed_xml_names_the_line(self):
        self.assert_error("line ", data("malformed.xml"), "--section", "Broken")

    def test_missing_section(self):
        self.assert_error('no Window named "Nope"', data("controls.xml"), "--section", "Nope")
        self.assert_error('no Window named "Nope"', "--builtin", "--section", "Nope")

    def test_the_shipped_skin_without_a_section_builds_nothing(self):
        self.assert_error("--section", "--builtin")

    def test_bad_steps_files(self):
        self.assert_error("step 1", data("controls.xml"), "--section", "Buttons",
                          "--steps", data("bad-steps.json"))
        bad = os.path.join(ARGS.artifacts, "not-json.json")
        with open(bad, "w") as f:
            f.write('[{"step": "dump"},')
        self.assert_error("not JSON", data("controls.xml"), "--section", "Buttons", "--steps", bad)
        with open(bad, "w") as f:
            json.dump([{"step": "call", "name": "ok", "method": "Explode"}], f)
        self.assert_error("method", data("controls.xml"), "--section", "Buttons", "--steps", bad)

    def test_a_call_on_a_missing_control_stops_the_run(self):
        steps = os.path.join(ARGS.artifacts, "missing-control.json")
        with open(steps, "w") as f:
            json.dump([{"step": "call", "name": "nobody", "method": "SetVisible", "args": [False]},
                       {"step": "dump"}], f)
        status, lines, err = run_tool(data("controls.xml"), "--section", "Buttons", "--steps", steps)
        self.assertEqual(status, 1)
        self.assertIn('no control "nobody"', of_kind(lines, "error")[0])
        self.assertEqual(len(of_kind(lines, "tree")), 1)  # the first paint's only

    def test_missing_skin_file_and_bad_usage(self):
        self.assert_error("cannot read", data("no-such-skin.xml"))
        for size in ("0,5", "5", "16384,16384", "-3,4"):
            status, lines, err = run_tool("--size", size, "--builtin", "--section", "Main")
            self.assertEqual(status, 2, size)
            self.assertIn("usage", err)
            self.assertEqual(lines, [])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--data", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--emulator", default="")
    ARGS, rest = parser.parse_known_args()
    ARGS.emulator = ARGS.emulator.split() if ARGS.emulator else []
    ARGS.data = os.path.abspath(ARGS.data)
    ARGS.artifacts = os.path.abspath(ARGS.artifacts)
    os.makedirs(ARGS.artifacts, exist_ok=True)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
