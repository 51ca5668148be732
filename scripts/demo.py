#!/usr/bin/env python3
"""Runs vistrel.efi once in QEMU + OVMF and leaves the capture under out/."""
import os
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from qemu_shell import Disk, boot  # noqa: E402

SCRIPT = """\
cls 1 14
ver
map -r
echo "Vistrel demo: this screen is what the capture should show."
fs0:
vistrel.efi
echo "VISTREL-STATUS %lasterror%"
reset -s
"""


def main():
    efi = sys.argv[1]
    out = os.path.join(ROOT, "out")
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="vistrel-demo-") as work:
        disk = Disk(os.path.join(work, "disk.img"))
        disk.put(efi, "/vistrel.efi")
        print("Booting QEMU + OVMF (about 10 seconds without KVM)...", flush=True)
        result = boot(work, [disk], SCRIPT)
        captures = [name for name in disk.files() if name.startswith("Vistrel_")]
        if not captures:
            print("No capture was written. Console:\n" + result.text)
            return 1
        bmp = os.path.join(out, captures[0])
        with open(bmp, "wb") as f:
            f.write(disk.read("/" + captures[0]))
    png = bmp[:-4] + ".png"
    from PIL import Image
    Image.open(bmp).save(png)
    closing = [line for line in result.text.splitlines() if "Generate File at:" in line]
    print("Console said: " + (closing[-1].strip() if closing else "(no closing line)"))
    print("Capture: " + os.path.relpath(bmp, ROOT))
    print("Preview: " + os.path.relpath(png, ROOT))
    return 0


if __name__ == "__main__":
    sys.exit(main())
