#!/usr/bin/env python3
"""Applies each fault of tests/faults.txt alone to a copy of the tree,
rebuilds it and runs the tests; a fault is caught when a test fails.

    tools/faults.py [--list FILE] [ID...]   (through ./dev faults)

The copy and its build live in build-faults/ and are kept between runs, so
only what a fault touches is rebuilt.  Prints one line a fault and the
count; exits 1 when a fault survived or does not apply.
"""
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "build-faults")
SRC = os.path.join(WORK, "src")
BUILD = os.path.join(WORK, "build")
# First the fast suites of the window model (ctest label "fast"), then, for a
# fault they miss, everything else but the checks of the build's layers.
FAST = ["velmira_scenarios", "velmira_tests"]
ALL = FAST + ["velmira_e2e_tests", "velmira_stacking_tests", "velmira_camera_tests", "velmira_gui_tests", "velmira_dbus_tests", "velmira_x11_tests",
              "velmira-end-child", "velmira-sim", "velmira"]
EXCLUDE = "^Layers\\."


def read_list(path):
    """The faults of the list: "ID FILE: breaks", then indented "OLD => NEW" and "tests REGEX" lines."""
    faults = []
    for n, raw in enumerate(open(path, encoding="utf-8"), 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        if not line.startswith(" "):
            head, _, breaks = line.partition(": ")
            ident, _, file = head.partition(" ")
            if not ident or not file or not breaks:
                sys.exit(f"{path}:{n}: expected 'ID FILE: what a user would suffer'")
            faults.append({"id": ident, "in": file, "breaks": breaks, "line": n, "edits": [], "tests": None})
            continue
        text = line.strip()
        if not faults:
            sys.exit(f"{path}:{n}: an indented line before the first fault")
        if text.startswith("tests "):
            faults[-1]["tests"] = text[6:]
            continue
        old, sep, new = (text + " ").partition(" => ")
        if not sep:
            sys.exit(f"{path}:{n}: expected 'OLD => NEW'")
        faults[-1]["edits"].append((old.replace("\\n", "\n"), new.strip().replace("\\n", "\n")))
    for f in faults:
        if not f["edits"]:
            sys.exit(f"{path}:{f['line']}: fault {f['id']} changes nothing")
    return faults


def sync_tree():
    """Copies the tracked and new files of the tree, rewriting only those that differ, and removes
    the copies of files the tree no longer has (the build's globs would still compile them)."""
    files = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT, check=True,
                           capture_output=True).stdout.decode().split("\0")
    kept = set(filter(None, files))
    for folder, _, names in os.walk(SRC):
        for name in names:
            rel = os.path.relpath(os.path.join(folder, name), SRC)
            if rel not in kept:
                os.remove(os.path.join(folder, name))
    for rel in filter(None, files):
        src, dst = os.path.join(ROOT, rel), os.path.join(SRC, rel)
        if not os.path.isfile(src) or os.path.islink(src):
            continue
        data = open(src, "rb").read()
        if os.path.exists(dst) and open(dst, "rb").read() == data:
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        # A fresh time: a file put back older than its object is rebuilt.
        shutil.copyfile(src, dst)
        shutil.copymode(src, dst)


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


def build(targets=ALL):
    r = run(["cmake", "--build", BUILD, "-j2", "--target", *targets])
    return r.returncode == 0, r.stdout[-3000:] + r.stderr[-3000:]


def tests(*select):
    """Runs the tests; a failure counts when the failed tests fail again (a
    test on real time can fail once on a loaded machine)."""
    cmd = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", "ctest", "--test-dir", BUILD, "-j2",
           "--timeout", "120", "-E", EXCLUDE]
    failed = []
    for stop in (["--stop-on-failure"], []):
        r = run(cmd + stop + list(select))
        if r.returncode == 0:
            return True, [], r.stdout[-2000:]
        failed = re.findall(r"^\s*\d+ - (.+?) \((?:Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)",
                            r.stdout, re.M)
        # The same selection again: ctest numbers the tests within it, and
        # the failed list holds those numbers.
        if run(cmd + list(select) + ["--rerun-failed"]).returncode != 0:
            return False, failed, r.stdout[-2000:]
    return True, [], ""


def main():
    args = sys.argv[1:]
    path = os.path.join(ROOT, "tests", "faults.txt")
    if args[:1] == ["--list"]:
        path, args = args[1], args[2:]
    faults = read_list(path)
    if args:
        faults = [f for f in faults if f["id"] in args]
    os.makedirs(SRC, exist_ok=True)
    sync_tree()
    env = dict(os.environ)
    launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"] \
        if shutil.which("ccache") else []
    run(["cmake", "-S", SRC, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DVELMIRA_GUI=ON",
         "-DBUILD_TESTING=ON", "-DVELMIRA_FIRMWARE=OFF", *launcher], check=True, env=env)
    ok, out = build()
    if not ok:
        sys.exit("the tree does not build:\n" + out)
    ok, failed, out = tests()
    if not ok:
        sys.exit("the tests fail without any fault: " + ", ".join(failed) + "\n" + out)
    caught, bad = 0, []
    for f in faults:
        start = time.time()
        target = os.path.join(SRC, f["in"])
        original = open(target, encoding="utf-8").read()
        faulty = original
        for old, new in f["edits"]:
            if faulty.count(old) != 1:
                break
            faulty = faulty.replace(old, new)
        else:
            old = None
        if old is not None:
            print(f"NOT APPLIED {f['id']}: {old!r} is in {f['in']} {faulty.count(old)} times", flush=True)
            bad.append(f["id"])
            continue
        try:
            open(target, "w", encoding="utf-8").write(faulty)
            tiers = [(ALL, ["-R", f["tests"]])] if f["tests"] else [(FAST, ["-L", "fast"]), (ALL, ["-LE", "fast"])]
            for targets, select in tiers:
                built, out = build(targets)
                if not built:
                    break
                passed, failed, _ = tests(*select)
                if not passed:
                    break
            if not built:
                print(f"NO BUILD    {f['id']}\n{out}", flush=True)
                bad.append(f["id"])
                continue
        finally:
            open(target, "w", encoding="utf-8").write(original)
        took = f"{time.time() - start:.0f} s"
        if passed:
            print(f"SURVIVED    {f['id']}: {f['breaks']} ({took})", flush=True)
            bad.append(f["id"])
        else:
            caught += 1
            print(f"caught      {f['id']} by {failed[0] if failed else '?'} ({took})", flush=True)
    build()  # leave the copy's build as the tree is
    print(f"{caught} of {len(faults)} faults caught" + (f"; not caught: {' '.join(bad)}" if bad else ""))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
