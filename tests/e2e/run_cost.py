#!/usr/bin/env python3
"""What one run costs on the firmware, from serial-console timestamps: the
time from the shell starting the command (its echo of the command line) to
the closing line, and the part of it that is not the half-second pause.
Reports, never fails on time (QEMU without KVM is far slower than a PC, and
the machine is shared); it fails only if a run did not happen.

Three runs in one boot; per run, and their median:
  start -> banner    loading and starting the image, the frame read-back
  banner -> closing  encoding and writing the BMP, the pause, clearing
  total - pause      the command's own cost
"""
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from qemu_shell import Disk, boot, plain  # noqa: E402

RUNS = 3
PAUSE = 0.5
MARKERS = ("> vistrel.efi", "Screenshot Capturing", "Generate File at:")


class Stopwatch:
    """Notes when each marker first shows for each run, as serial text arrives."""

    def __init__(self):
        self.times = []  # per run: [start, banner, closing]
        self.seen = 0    # markers seen so far, over all runs
        self.scanned = 0

    def __call__(self, text, qmp):
        now = time.monotonic()
        text = plain(text)
        while self.seen < RUNS * len(MARKERS):
            marker = MARKERS[self.seen % len(MARKERS)]
            at = text.find(marker, self.scanned)
            if at < 0:
                return
            if self.seen % len(MARKERS) == 0:
                self.times.append([])
            self.times[-1].append(now)
            self.scanned = at + len(marker)
            self.seen += 1


def main():
    efi = sys.argv[1]
    watch = Stopwatch()
    with tempfile.TemporaryDirectory(prefix="vistrel-cost-") as work:
        disk = Disk(os.path.join(work, "disk.img"))
        disk.put(efi, "/vistrel.efi")
        script = "fs0:\n" + "vistrel.efi\n" * RUNS + "reset -s\n"
        result = boot(work, [disk], script, on_serial=watch)
    complete = [run for run in watch.times if len(run) == len(MARKERS)]
    if len(complete) != RUNS:
        print("FAILED: %d of %d runs seen" % (len(complete), RUNS))
        print(result.text)
        return 1
    totals = []
    print("run   start->banner   banner->closing   total     total-pause")
    for number, (start, banner, closing) in enumerate(complete, 1):
        total = closing - start
        totals.append(total)
        print("%3d   %8.0f ms     %8.0f ms       %5.0f ms  %6.0f ms" % (
            number, 1000 * (banner - start), 1000 * (closing - banner), 1000 * total, 1000 * (total - PAUSE)))
    median = statistics.median(totals)
    print("run cost (QEMU TCG, serial timestamps): median total %.0f ms, of which %.0f ms not the pause"
          % (1000 * median, 1000 * (median - PAUSE)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
