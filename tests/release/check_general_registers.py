#!/usr/bin/env python3
"""Fails when an AArch64 object this project compiled touches a floating-point
or SIMD register. Firmware there is built with general-purpose registers only
and its interrupt handlers need not preserve the others, so -mgeneral-regs-only
must have reached every source, a third-party one compiled here included.

    check_general_registers.py <objdump> <build folder>

Every object under the build folder's CMakeFiles/*.dir/ is disassembled.
"""
import glob
import os
import re
import subprocess
import sys

# Operands naming v0-v31 (with a lane or arrangement), q, d, s, h or b 0-31.
FP_SIMD = re.compile(r"(?<![\w.#])(?:v(?:[12]?\d|3[01])\.|[qdshb](?:[12]?\d|3[01])\b)")


def offending(objdump, path):
    """(function, instruction) for each instruction with such an operand."""
    found = []
    function = None
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", path], check=True,
                             capture_output=True, text=True).stdout
    for line in listing.splitlines():
        label = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
        if label:
            function = label.group(1)
            continue
        fields = line.split("\t")
        if len(fields) < 3:
            continue
        # Branch targets are addresses ("d0 <label>"), not registers.
        operands = re.sub(r"[0-9a-f]+ <[^>]*>|//.*", "", fields[2])
        if FP_SIMD.search(operands):
            found.append((function, (fields[1] + " " + fields[2]).strip()))
    return found


def main(argv):
    objdump, build = argv[1], argv[2]
    objects = sorted(glob.glob(os.path.join(build, "CMakeFiles", "*.dir", "**", "*.o"), recursive=True))
    if not objects:
        print("no objects under %s" % build)
        return 1
    bad = 0
    for path in objects:
        for function, instruction in offending(objdump, path)[:5]:
            print("%s: %s: %s" % (os.path.relpath(path, build), function, instruction))
            bad += 1
    if bad:
        print("FP/SIMD registers in the AArch64 images' own code (above): build it with -mgeneral-regs-only")
        return 1
    print("%d objects, general-purpose registers only" % len(objects))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
