#!/usr/bin/env python3
"""Real firmware, once: the command at a volume's root writes a 1,440,054-byte
BMP with the right header, and the console shows the closing line."""
import os
import struct
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from qemu_shell import BMP_SIZE, Disk, boot  # noqa: E402


def main():
    efi = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="vistrel-smoke-") as work:
        disk = Disk(os.path.join(work, "disk.img"))
        disk.put(efi, "/vistrel.efi")
        result = boot(work, [disk], "fs0:\nvistrel.efi\necho \"VISTREL-STATUS %lasterror%\"\nreset -s\n",
                      rtc="2024-01-15T10:30:45")
        try:
            captures = disk.captures()
            assert len(captures) == 1, "one capture expected, found %s" % captures
            name = captures[0]
            assert name.startswith("Vistrel_240115_1030") and name.endswith(".bmp"), name
            data = disk.read("/" + name)
            assert len(data) == BMP_SIZE, len(data)
            header = struct.unpack("<2sIIIIiiHHIIiiII", data[:54])
            assert header == (b"BM", BMP_SIZE, 0, 54, 40, 800, 600, 1, 24, 0, 0, 0, 0, 0, 0), header
            assert "Generate File at:\\" + name in result.text, "closing line missing"
            assert "VISTREL-STATUS 0x0" in result.text, "status not 0"
        except AssertionError as failure:
            print("FAILED:", failure)
            print("---- serial console ----")
            print(result.text)
            return 1
    print("smoke: %s written and reported (%.1f s boot)" % (name, result.seconds))
    return 0


if __name__ == "__main__":
    sys.exit(main())
