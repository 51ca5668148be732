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
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from qemu_shell import AT_STATUS_POSITION, BMP_SIZE, SAVE_ERROR, Disk, boot  # noqa: E402

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


def main():
    efi = sys.argv[1]
    work = tempfile.mkdtemp(prefix="vistrel-e2e-faults-")
    try:
        full = Disk(os.path.join(work, "full.img"), label="FULL")
        full.put_text("rem placeholder", "/startup.nsh")  # boot() writes the script here
        filler = os.path.join(work, "filler.bin")
        with open(filler, "wb") as f:
            f.write(bytes(range(256)) * ((full.free_bytes() - LEFT_FREE) // 256))
        full.put(filler, "/filler.bin")
        tools = Disk(os.path.join(work, "tools.img"), label="TOOLS")
        tools.mkdir("/EFI")
        tools.mkdir("/EFI/Tools")
        tools.put(efi, "/vistrel.efi")
        tools.put(efi, "/EFI/Tools/vistrel.efi")
        free_before = full.free_bytes()
        result = boot(work, [full, tools], SCRIPT, timeout=TIMEOUT)
        try:
            statuses = result.statuses()
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
            assert tools.captures() == [] and tools.captures("/EFI/Tools") == [], "a capture landed on FS1"
            with open(filler, "rb") as f:
                assert full.read("/filler.bin") == f.read(), "the filler file changed"
            assert full.free_bytes() >= free_before - 4096, "FS0 lost space: a partial file's clusters?"
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
