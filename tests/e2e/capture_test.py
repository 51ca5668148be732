#!/usr/bin/env python3
"""End-to-end scenarios on QEMU + OVMF's UEFI Shell: the firmware is the judge.

    capture_test.py <vistrel.efi> <scenario>

Scenarios (one boot each, several commands per boot):
  capture    a capture at a volume's root and one in EFI\\Tools: names from the
             clock set with -rtc, closing lines naming the files on the disk,
             status 0x0, pixels equal to a QMP screendump of the still screen,
             the BMP read alike by Pillow, ImageMagick and netpbm;
  capture_cpu_max  the same under -cpu max: QEMU's default qemu64 has no
             SSSE3, so only here does firmware run the encoder's SSSE3 path;
  capture_aa64, capture_ia32  the same on AAVMF (the portable kernel) and on
             OVMF32 under -cpu max (the SSSE3 kernel built for IA32; the
             hotkey test there runs SSE2 on the default qemu32);
  no_gop     no Graphics Output (-vga none): no banner, no file, the closing
             line, status 0xE;
  read_only  the first volume is a read-only virtio disk: "Saving File Error
             !!!", no file, status 0x8, at the root and in a folder;
  replace    a longer file of the capture's name is replaced whole (no old
             tail), the files beside it untouched;
  small_screen  a 640x480 screen: the read-back fails, "Saving File Error
             !!!", no file, status 0x2;
  no_leak    with no current directory the capture goes to the root;
             repeated runs leave the firmware's free memory as it was.

Any failure prints what failed and the serial console of that boot as plain
text. Python's standard library and Pillow only.
"""
import datetime
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from qemu_shell import (AT_STATUS_POSITION, BANNER, BMP_SIZE, SAVE_ERROR, Disk, ScreenDumper,  # noqa: E402
                        boot, read_pnm)

CLEAR = "\x1b[2J"  # ClearScreen, as ANSI on the serial console
GLYPH = (8, 19)  # the graphics console's character cell, in pixels
MIN_FOREGROUND = 5000  # pixels that differ from the background on the screen compared
TIMEOUT = 75  # seconds for one boot; a good one takes 8 to 20


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def expected_names(rtc, seconds, extension=".bmp"):
    """Every name the clock could give between the boot's start and its end."""
    base = datetime.datetime.fromisoformat(rtc)
    return {(base + datetime.timedelta(seconds=s)).strftime("Vistrel_%y%m%d_%H%M%S") + extension
            for s in range(int(seconds) + 3)}


def command_output(result):
    """The raw console text each run of the command wrote before and up to its
    closing line (from the end of the previous closing line, or, where the
    shell echoed the command line, from that echo)."""
    parts = result.serial.split("Generate File at:")[:-1]
    return [part[part.rfind("vistrel.efi\r\n") + len("vistrel.efi\r\n"):] if "vistrel.efi\r\n" in part else part
            for part in parts]


def check_header(data):
    check(len(data) == BMP_SIZE, "BMP is %d bytes, %d expected" % (len(data), BMP_SIZE))
    header = struct.unpack("<2sIIIIiiHHIIiiII", data[:54])
    check(header == (b"BM", BMP_SIZE, 0, 54, 40, 800, 600, 1, 24, 0, 0, 0, 0, 0, 0),
          "BMP header %r" % (header,))


# ---------------------------------------------------------------- decoders

def decode_all(bmp_path):
    """The BMP's pixels (800x600 RGB bytes, top row first) from each
    independent decoder, by name."""
    from PIL import Image
    decoded = {}
    with Image.open(bmp_path) as image:
        check(image.format == "BMP" and image.size == (800, 600), "Pillow: %s %s" % (image.format, image.size))
        decoded["Pillow"] = image.convert("RGB").tobytes()
    tools = {"netpbm bmptopnm": ["bmptopnm", bmp_path]}
    if os.path.exists("/usr/bin/convert"):
        tools["ImageMagick convert"] = ["/usr/bin/convert", bmp_path, "-depth", "8", "ppm:-"]
    for name, command in tools.items():
        run = subprocess.run(command, capture_output=True)
        check(run.returncode == 0, "%s failed: %s" % (name, run.stderr.decode(errors="replace")))
        width, height, pixels = read_pnm(run.stdout)
        check((width, height) == (800, 600), "%s: %dx%d" % (name, width, height))
        decoded[name] = pixels
    return decoded


# ---------------------------------------------------------------- pixels

def pixel_rows(pixels, width):
    return [pixels[y * width * 3:(y + 1) * width * 3] for y in range(len(pixels) // (width * 3))]


def crop_top_left(width, pixels, w=800, h=600):
    return b"".join(row[:w * 3] for row in pixel_rows(pixels, width)[:h])


def compare_screen(capture, screen, width=800):
    """Compares the captured pixels with the screen's, both 800x600 RGB.

    The background is the screen's commonest colour. Every pixel that is not
    background on either side must match, and there must be at least
    MIN_FOREGROUND of them, so that a mostly empty screen cannot hide a
    flipped or shifted picture. One allowance: the text cursor, which the
    command hides before reading the screen back; differing pixels must then
    fit in one character cell and be background in the capture.
    Returns (foreground count, description of the allowed difference or None).
    """
    counts = {}
    for i in range(0, len(screen), 3 * 97):  # a sample is enough for the commonest colour
        counts[screen[i:i + 3]] = counts.get(screen[i:i + 3], 0) + 1
    background = max(counts, key=counts.get)
    foreground = 0
    differ = []
    for i in range(0, len(screen), 3):
        s, c = screen[i:i + 3], capture[i:i + 3]
        if s != background or c != background:
            foreground += 1
        if s != c:
            differ.append((i // 3 % width, i // 3 // width, s, c))
    check(foreground >= MIN_FOREGROUND,
          "only %d pixels differ from the background %s; at least %d needed to judge"
          % (foreground, background.hex(), MIN_FOREGROUND))
    if not differ:
        return foreground, None
    xs = [d[0] for d in differ]
    ys = [d[1] for d in differ]
    box = (min(xs), min(ys), max(xs) + 1, max(ys) + 1)
    cursor_like = (box[2] - box[0] <= GLYPH[0] and box[3] - box[1] <= GLYPH[1]
                   and all(c == background for _, _, _, c in differ))
    sample = ", ".join("(%d,%d) screen %s capture %s" % (x, y, s.hex(), c.hex()) for x, y, s, c in differ[:5])
    check(cursor_like, "%d of %d foreground pixels differ, within %s; first: %s"
          % (len(differ), foreground, box, sample))
    return foreground, "%d pixels in %s (the text cursor, hidden by the command)" % (len(differ), box)


def flipped(pixels, width=800):
    return b"".join(reversed(pixel_rows(pixels, width)))


def shifted(pixels, width=800):
    """One pixel to the right."""
    return b"".join(row[:3] + row[:-3] for row in pixel_rows(pixels, width))


# ---------------------------------------------------------------- scenarios

CAPTURE_RTC = "2024-01-15T10:30:45"
CAPTURE_SCRIPT = r"""@echo -off
cls 1 14
ver
echo "Vistrel end-to-end: the captured pixels must equal this screen."
echo "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz 0123456789 -=.:@_"
echo "Lines of text at the top, nothing at the bottom: a flipped picture cannot match."
echo "MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM"
echo "    WWWW    WWWW    WWWW    WWWW    WWWW    WWWW    WWWW    WWWW    WWWW"
echo "=============================================================================="
fs0:
echo "VISTREL-SCREEN-STILL"
stall 3000000
vistrel.efi
echo "VISTREL-STATUS %lasterror%"
cd EFI\Tools
vistrel.efi
echo "VISTREL-STATUS %lasterror%"
reset -s
"""


def scenario_capture(efi, work, cpu=None, arch="x64"):
    disk = Disk(os.path.join(work, "disk.img"))
    disk.put(efi, "/vistrel.efi")
    disk.mkdir("/EFI")
    disk.mkdir("/EFI/Tools")
    dumper = ScreenDumper("VISTREL-SCREEN-STILL", os.path.join(work, "screen"))
    result = boot(work, [disk], CAPTURE_SCRIPT, rtc=CAPTURE_RTC, qmp_path=os.path.join(work, "qmp.sock"),
                  on_serial=dumper, timeout=TIMEOUT, extra_args=["-cpu", cpu] if cpu else [], arch=arch)
    lines = []

    def judge():
        # Files, names and the closing lines.
        names = expected_names(CAPTURE_RTC, result.seconds)
        root, tools = disk.captures("/"), disk.captures("/EFI/Tools")
        check(len(root) == 1, "one capture expected at the root, found %s" % root)
        check(len(tools) == 1, "one capture expected in \\EFI\\Tools, found %s" % tools)
        check(root[0] in names, "%s is not named from the clock (%s + %.0f s)" % (root[0], CAPTURE_RTC, result.seconds))
        check(tools[0] in names, "%s is not named from the clock (%s + %.0f s)" % (tools[0], CAPTURE_RTC, result.seconds))
        check(tools[0] >= root[0], "the second capture's name %s is earlier than the first's %s" % (tools[0], root[0]))
        paths = result.closing_paths()
        check(paths == ["\\" + root[0], "\\EFI\\Tools\\" + tools[0]],
              "closing lines named %s; on the disk: \\%s and \\EFI\\Tools\\%s" % (paths, root[0], tools[0]))
        check(result.statuses() == ["0x0", "0x0"], "%%lasterror%% after the captures: %s" % result.statuses())
        check(result.serial.count(AT_STATUS_POSITION + BANNER) == 2, "the banner at column 20, row 13, twice")
        check(SAVE_ERROR not in result.text, "a save error was shown")
        for output in command_output(result):
            banner = output.find(AT_STATUS_POSITION + BANNER)
            check(banner >= 0 and CLEAR in output[banner:],
                  "the banner and then a cleared screen expected before the closing line: %r" % output[-300:])
        lines.append("names %s and EFI\\Tools\\%s from the clock, closing lines match, status 0x0 twice"
                     % (root[0], tools[0]))

        # The file, through independent decoders.
        bmp = os.path.join(work, root[0])
        with open(bmp, "wb") as f:
            f.write(disk.read("/" + root[0]))
        with open(bmp, "rb") as f:
            check_header(f.read())
        check_header(disk.read("/EFI/Tools/" + tools[0]))
        decoded = decode_all(bmp)
        reference = decoded["Pillow"]
        for name, pixels in decoded.items():
            check(pixels == reference, "%s decodes different pixels from Pillow" % name)
        lines.append("the BMP decodes alike with %s" % ", ".join(sorted(decoded)))

        # The pixels against the screen, dumped while it was still.
        check(result.callback_error is None, "the screen dumper failed: %s" % result.callback_error)
        check(dumper.done, "the marker VISTREL-SCREEN-STILL never appeared on the console")
        check(dumper.error is None, "screendump failed: %s" % dumper.error)
        dumps = []
        for path in dumper.paths:
            with open(path, "rb") as f:
                dumps.append(read_pnm(f.read()))
        width, height, screen = dumps[0]
        check(dumps[1] == dumps[0], "the screen changed between the two dumps: it was not still")
        check(width >= 800 and height >= 600, "the screen is %dx%d" % (width, height))
        screen = crop_top_left(width, screen)
        foreground, allowance = compare_screen(reference, screen)
        lines.append("pixels equal the %dx%d screen's top-left 800x600 (%d foreground pixels%s)"
                     % (width, height, foreground, "; allowed: " + allowance if allowance else ""))
        # The judge itself must reject a flipped or shifted picture.
        for name, wrong in (("flipped", flipped(reference)), ("shifted", shifted(reference))):
            try:
                compare_screen(wrong, screen)
            except Failure:
                continue
            raise Failure("the comparison accepted a %s picture: it cannot judge this screen" % name)

    return [result], judge, lines


def scenario_no_gop(efi, work):
    disk = Disk(os.path.join(work, "disk.img"))
    disk.put(efi, "/vistrel.efi")
    disk.mkdir("/EFI")
    disk.mkdir("/EFI/Tools")
    script = ("fs0:\nvistrel.efi\necho \"VISTREL-STATUS %lasterror%\"\n"
              "cd EFI\\Tools\nvistrel.efi\necho \"VISTREL-STATUS %lasterror%\"\nreset -s\n")
    rtc = "2030-06-30T23:59:50"
    result = boot(work, [disk], script, rtc=rtc, vga=False, timeout=TIMEOUT)
    lines = []

    def judge():
        check(result.statuses() == ["0xE", "0xE"], "%%lasterror%% without Graphics Output: %s (0xE expected)"
              % result.statuses())
        check(BANNER.strip() not in result.text, "the banner was shown without Graphics Output")
        check(SAVE_ERROR.strip() not in result.text, "the save error was shown without Graphics Output")
        check(disk.captures("/") == [] and disk.captures("/EFI/Tools") == [], "a file was written")
        for output in command_output(result):
            check(CLEAR not in output and AT_STATUS_POSITION not in output,
                  "the command drew or cleared without Graphics Output: %r" % output)
        paths = result.closing_paths()
        names = expected_names(rtc, result.seconds)
        check(len(paths) == 2, "two closing lines expected, found %s" % paths)
        check(paths[0].startswith("\\") and paths[0][1:] in names, "closing line at the root: %s" % paths[0])
        check(paths[1].startswith("\\EFI\\Tools\\") and paths[1][len("\\EFI\\Tools\\"):] in names,
              "closing line in EFI\\Tools: %s" % paths[1])
        lines.append("no banner, no file, closing lines %s, status 0xE twice" % paths)

    return [result], judge, lines


def scenario_read_only(efi, work):
    # The only volume, so both the shell's FS0 and the firmware's first
    # file-system handle: a read-only virtio disk that also holds the command.
    disk = Disk(os.path.join(work, "ro.img"), label="READONLY", readonly=True)
    disk.put(efi, "/vistrel.efi")
    disk.mkdir("/EFI")
    disk.mkdir("/EFI/Tools")
    script = ("fs0:\nvistrel.efi\necho \"VISTREL-STATUS %lasterror%\"\n"
              "cd EFI\\Tools\nvistrel.efi\necho \"VISTREL-STATUS %lasterror%\"\nreset -s\n")
    disk.put_text("rem placeholder", "/startup.nsh")  # boot() writes the script here
    before = (disk.files("/"), disk.files("/EFI/Tools"))
    result = boot(work, [disk], script, timeout=TIMEOUT)
    lines = []

    def judge():
        check(result.statuses() == ["0x8", "0x8"], "%%lasterror%% on a write-protected volume: %s (0x8 expected)"
              % result.statuses())
        check(result.serial.count(AT_STATUS_POSITION + SAVE_ERROR) == 2,
              "\"Saving File Error !!!\" at column 20, row 13 expected after each attempt")
        after = (disk.files("/"), disk.files("/EFI/Tools"))
        check(after == before, "the volume changed: %s, then %s" % (before, after))
        paths = result.closing_paths()
        check(len(paths) == 2 and paths[0].startswith("\\Vistrel_") and paths[1].startswith("\\EFI\\Tools\\Vistrel_"),
              "closing lines: %s" % paths)
        lines.append("\"Saving File Error !!!\" twice, no file, closing lines %s, status 0x8 twice" % paths)

    return [result], judge, lines


REPLACE_RTC = "2024-02-29T08:15:00"
REPLACE_WINDOW = 40  # seconds from power-on in which the command may run
OLD_SIZE = BMP_SIZE + 65536


def scenario_replace(efi, work):
    # Older, longer files under every name the clock can give: whichever the
    # command picks must end up as exactly the new BMP, with no old tail, and
    # the others must stay as they were.
    disk = Disk(os.path.join(work, "disk.img"), size_mib=112)
    disk.put(efi, "/vistrel.efi")
    disk.mkdir("/Old")
    old = os.path.join(work, "old.bin")
    with open(old, "wb") as f:
        f.write(b"\xEE" * OLD_SIZE)
    names = sorted(expected_names(REPLACE_RTC, REPLACE_WINDOW))
    for name in names:
        disk.put(old, "/Old/" + name)
    script = "fs0:\ncd Old\nvistrel.efi\necho \"VISTREL-STATUS %lasterror%\"\nreset -s\n"
    result = boot(work, [disk], script, rtc=REPLACE_RTC, timeout=TIMEOUT)
    lines = []

    def judge():
        check(result.statuses() == ["0x0"], "%%lasterror%% after replacing a file: %s" % result.statuses())
        check(disk.captures("/Old") == names, "files appeared or went: %s" % disk.captures("/Old"))
        paths = result.closing_paths()
        check(len(paths) == 1 and paths[0].startswith("\\Old\\"), "closing line: %s" % paths)
        target = paths[0][len("\\Old\\"):]
        check(target in names, "the capture %s was not among the prepared names" % target)
        data = disk.read("/Old/" + target)
        check_header(data)
        check(data[54:].count(b"\xEE" * 3) < 1000, "the new file still holds the old file's bytes")
        for name in names:
            if name != target:
                check(len(disk.read("/Old/" + name)) == OLD_SIZE, "%s, not the target, changed" % name)
        lines.append("%s, %d bytes before, is now the %d-byte BMP; the other %d files are untouched"
                     % (target, OLD_SIZE, BMP_SIZE, len(names) - 1))

    return [result], judge, lines


def scenario_small_screen(efi, work):
    # A 640x480 screen (QEMU's VGA offering that as its preferred mode, which
    # OVMF takes): the 800x600 read-back fails, and a picture that was not
    # read must not be saved as a screenshot.
    disk = Disk(os.path.join(work, "disk.img"))
    disk.put(efi, "/vistrel.efi")
    script = "fs0:\nvistrel.efi\necho \"VISTREL-STATUS %lasterror%\"\nreset -s\n"
    result = boot(work, [disk], script, vga=False, extra_args=["-device", "VGA,xres=640,yres=480"],
                  timeout=TIMEOUT)
    lines = []

    def judge():
        check(result.statuses() == ["0x2"], "%%lasterror%% on a 640x480 screen: %s (0x2 expected)" % result.statuses())
        output = command_output(result)
        check(len(output) == 1, "one run expected")
        check(AT_STATUS_POSITION + SAVE_ERROR in output[0], "\"Saving File Error !!!\" at column 20, row 13 expected")
        check(BANNER.strip() not in output[0], "the banner was shown although the screen was not read")
        check(CLEAR in output[0][output[0].find(SAVE_ERROR):], "the screen was not cleared after the error line")
        check(disk.captures("/") == [], "a file was written: %s" % disk.captures("/"))
        paths = result.closing_paths()
        check(len(paths) == 1 and paths[0].startswith("\\Vistrel_"), "closing line: %s" % paths)
        lines.append("\"Saving File Error !!!\", no banner, no file, closing line %s, status 0x2" % paths[0])

    return [result], judge, lines


LEAK_RUNS = 3
LEAK_TOLERANCE_PAGES = 16  # the shell's own bookkeeping; one leaked capture is about 830


def available_pages(memmap_csv):
    """Pages of the "Available" rows in one `memmap -sfo` listing."""
    return sum(int(pages, 16) for pages in
               re.findall(r'MemoryMap,"Available","[0-9A-F]+","[0-9A-F]+","([0-9A-F]+)"', memmap_csv))


def scenario_no_leak(efi, work):
    # Boot-services pool is not given back when a shell application exits:
    # whatever a run keeps is lost until reboot. After a first run (the shell
    # sets up what it keeps for itself), further runs must leave the free
    # memory as it was. The first run starts before any mapping is selected,
    # when the shell has no current directory at all: the capture goes to
    # the root.
    disk = Disk(os.path.join(work, "disk.img"))
    disk.put(efi, "/vistrel.efi")
    run = "vistrel.efi\necho \"VISTREL-STATUS %lasterror%\"\n"
    script = "fs0:\\" + run + "fs0:\nmemmap -sfo\n" + run * LEAK_RUNS + "memmap -sfo\nreset -s\n"
    result = boot(work, [disk], script, timeout=TIMEOUT)
    lines = []

    def judge():
        check(result.statuses() == ["0x0"] * (LEAK_RUNS + 1), "%%lasterror%% of the runs: %s" % result.statuses())
        first = result.closing_paths()[:1]
        check(len(first) == 1 and first[0].startswith("\\Vistrel_") and first[0][1:] in disk.captures("/"),
              "without a current directory the capture belongs at the root: closing line %s, files %s"
              % (first, disk.captures("/")))
        listings = result.text.split('ShellCommand,"memmap"')[1:]
        check(len(listings) == 2, "two memory maps expected, found %d" % len(listings))
        before, after = (available_pages(listing) for listing in listings)
        check(before > 0, "no Available rows in the memory map")
        check(before - after <= LEAK_TOLERANCE_PAGES,
              "%d runs took %d pages (%d KiB) of free memory for good"
              % (LEAK_RUNS, before - after, (before - after) * 4))
        lines.append("no current directory: %s at the root; %d runs: free memory %d pages before, %d after"
                     % (first[0], LEAK_RUNS, before, after))

    return [result], judge, lines


SCENARIOS = {"capture": scenario_capture, "no_gop": scenario_no_gop, "read_only": scenario_read_only,
             "replace": scenario_replace, "no_leak": scenario_no_leak, "small_screen": scenario_small_screen,
             "capture_cpu_max": lambda efi, work: scenario_capture(efi, work, cpu="max"),
             "capture_aa64": lambda efi, work: scenario_capture(efi, work, arch="aa64"),
             "capture_ia32": lambda efi, work: scenario_capture(efi, work, cpu="max", arch="ia32")}


def run_scenario(argv, scenarios):
    """The main of a scenario script: `<script> <image> <scenario>`. A
    scenario returns its boots, a judge and the lines it reports on success.
    A failure prints why and each boot's serial console, and keeps the disk
    images, variable stores and screen dumps."""
    script = os.path.basename(argv[0])
    if len(argv) != 3 or argv[2] not in scenarios:
        print("usage: %s <image.efi> <%s>" % (script, "|".join(scenarios)))
        return 2
    efi, name = argv[1], argv[2]
    work = tempfile.mkdtemp(prefix="vistrel-e2e-%s-" % name)
    try:
        boots, judge, lines = scenarios[name](efi, work)
        try:
            check(not any(result.timed_out for result in boots), "a boot did not end within its time limit")
            judge()
        except Failure as failure:
            print("FAILED (%s): %s" % (name, failure))
            kept = os.path.join(os.getcwd(), "e2e-failed-" + name)
            shutil.rmtree(kept, ignore_errors=True)
            shutil.copytree(work, kept, ignore=shutil.ignore_patterns("*.sock", "*-watch.ppm"))
            print("disk images, variable stores and screen dumps kept in " + kept)
            for result in boots:
                print("---- serial console (%.1f s, exit %s) ----" % (result.seconds, result.returncode))
                print(result.text)
            print("---- end of serial console ----")
            return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for line in lines:
        print("%s: %s" % (name, line))
    print("%s: passed (%s s boots)" % (name, " + ".join("%.1f" % result.seconds for result in boots)))
    return 0


if __name__ == "__main__":
    sys.exit(run_scenario(sys.argv, SCENARIOS))
