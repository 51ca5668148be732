#!/usr/bin/env python3
"""Real firmware refusing the save, in one boot of QEMU + OVMF's UEFI Shell.

    firmware_faults_test.py <vistrel.efi>

The first volume (FS0) is nearly full and has no EFI\\Tools folder; the
command lives on the second (FS1), which has one. Run from FS1:\\EFI\\Tools,
the command's path does not exist on the first volume: the open fails. Run
from FS1:\\, the file would go to FS0's root, where it does not fit: the
write fails. Each time: "Saving File Error !!!", a failure in %lasterror%,
and no file left on either volume; FS0's filler file stays as it was.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from qemu_shell import Disk, boot  # noqa: E402

BMP_SIZE = 54 + 800 * 600 * 3
SAVE_ERROR = "        Saving File Error !!!        "
AT_STATUS_POSITION = "\x1b[14;21H"  # column 20, row 13, as ANSI on the serial console
LEFT_FREE = 600 * 1024  # well below one capture
TIMEOUT = 75

SCRIPT = """fs1:
cd EFI\\Tools
vistrel.efi
echo "VISTREL-STATUS %lasterror%"
cd \\
vistrel.efi
echo "VISTREL-STATUS %lasterror%"
reset -s
"""


def free_bytes(disk):
    out = subprocess.run(["mdir", "-i", disk.path, "::/"], check=True, capture_output=True,
                         env=dict(os.environ, MTOOLS_SKIP_CHECK="1")).stdout.decode()
    return int(re.search(r"([\d ]+) bytes free", out).group(1).replace(" ", ""))


def captures(disk, folder="/"):
    return [name for name in disk.files(folder) if name.startswith("Vistrel_")]


def main():
    efi = sys.argv[1]
    work = tempfile.mkdtemp(prefix="vistrel-e2e-faults-")
    try:
        full = Disk(os.path.join(work, "full.img"), label="FULL")
        full.put_text("rem placeholder", "/startup.nsh")  # boot() writes the script here
        filler = os.path.join(work, "filler.bin")
        with open(filler, "wb") as f:
            f.write(bytes(range(256)) * ((free_bytes(full) - LEFT_FREE) // 256))
        full.put(filler, "/filler.bin")
        tools = Disk(os.path.join(work, "tools.img"), label="TOOLS")
        tools.mkdir("/EFI")
        tools.mkdir("/EFI/Tools")
        tools.put(efi, "/vistrel.efi")
        tools.put(efi, "/EFI/Tools/vistrel.efi")
        free_before = free_bytes(full)
        result = boot(work, [full, tools], SCRIPT, timeout=TIMEOUT)
        try:
            statuses = re.findall(r"VISTREL-STATUS (0x[0-9A-Fa-f]+)", result.text)
            assert not result.timed_out, "the boot did not power off within its time limit"
            assert free_before < BMP_SIZE, "FS0 has %d bytes free, room for a capture" % free_before
            assert len(statuses) == 2 and "0x0" not in statuses, "%%lasterror%%: %s" % statuses
            assert statuses[0] == "0xE", "missing folder: %s, 0xE (not found) expected" % statuses[0]
            assert statuses[1] == "0xB", "full volume: %s, 0xB (volume full) expected" % statuses[1]
            assert result.serial.count(AT_STATUS_POSITION + SAVE_ERROR) == 2, \
                "\"Saving File Error !!!\" at column 20, row 13 expected after each attempt"
            paths = result.closing_paths()
            assert len(paths) == 2 and paths[0].startswith("\\EFI\\Tools\\Vistrel_") and \
                paths[1].startswith("\\Vistrel_"), "closing lines: %s" % paths
            assert full.files() == ["filler.bin", "startup.nsh"], "FS0 holds %s" % full.files()
            assert captures(tools) == [] and captures(tools, "/EFI/Tools") == [], "a capture landed on FS1"
            with open(filler, "rb") as f:
                assert full.read("/filler.bin") == f.read(), "the filler file changed"
            assert free_bytes(full) >= free_before - 4096, "FS0 lost space: a partial file's clusters?"
        except AssertionError as failure:
            print("FAILED:", failure)
            print("---- serial console (%.1f s) ----" % result.seconds)
            print(result.text)
            return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("firmware faults: missing folder gave %s, full volume gave %s; error line twice, no file left "
          "(%.1f s boot)" % (statuses[0], statuses[1], result.seconds))
    return 0


if __name__ == "__main__":
    sys.exit(main())
