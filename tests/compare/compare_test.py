#!/usr/bin/env python3
"""vistrel-compare.py on the fixture folders a and b: what it names, its
filters, and its exit status on agreement, difference and bad input."""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "scripts", "vistrel-compare.py")
A, B = os.path.join(HERE, "a"), os.path.join(HERE, "b")
FAILURES = []


def compare(*arguments):
    done = subprocess.run([sys.executable, SCRIPT, *arguments], capture_output=True, text=True, encoding="utf-8")
    if "Traceback" in done.stderr:
        FAILURES.append("a traceback for %s:\n%s" % (arguments, done.stderr))
    return done.returncode, done.stdout.splitlines()[2:], done.stderr


def expect(what, got, wanted):
    if got != wanted:
        FAILURES.append("%s:\n  got    %r\n  wanted %r" % (what, got, wanted))


DIFFERENCES = ["Differs: Setup > Main > Virtualization: [ ] -> [X]",
               "Differs: Setup > Main > Language: English -> Fran\u00e7ais",
               "Only in B: Setup > Main > Only here",
               "Only in A: form set Network {00000041-1234-5678-0102-030405060708}",
               "4 differences."]
expect("a against b", compare(A, B)[:2], (1, DIFFERENCES))
expect("--non-default", compare(A, B, "--non-default")[:2], (1, DIFFERENCES[:1] + DIFFERENCES[2:4] + ["3 differences."]))
expect("--all", compare(A, B, "--all")[1][2], "Differs: Setup > Main > System Date: 2024-01-15 -> 2024-03-02")
expect("a folder against its own file", compare(A, os.path.join(A, "settings.json"))[:2], (0, ["The two agree."]))
with tempfile.TemporaryDirectory() as work:
    bad = {"not JSON": "{", "another format": '{"format": 2, "formSets": []}', "no items": '{"format": 1, "formSets": [{}]}'}
    for name, text in bad.items():
        path = os.path.join(work, name.replace(" ", "_") + ".json")
        with open(path, "w", encoding="utf-8") as file:
            file.write(text)
        status, _, said = compare(A, path)
        expect(name, (status, said.startswith("vistrel-compare: ")), (2, True))
    expect("a missing folder", compare(os.path.join(work, "none"), B)[0], 2)
for failure in FAILURES:
    print("FAILED:", failure)
sys.exit(1 if FAILURES else 0)
