#!/usr/bin/env python3
"""The demo: boots QEMU + OVMF's UEFI Shell, puts something worth seeing on the
screen, runs vistrel.efi once, powers off, and leaves the capture and a PNG of
it under out/. With --hotkey it loads vistrel-hotkey.efi (beside vistrel.efi)
instead and presses Ctrl+Alt+F12 at the shell prompt, then again on the
firmware's front page after `exit`: the driver's two PNGs, as written. With
--forms it runs vistrel-forms.efi instead, which shows every settings form
the firmware holds and saves each screen, and copies its folder out. With
--arch aa64 or ia32 the machine is that architecture's, with its own firmware
(AAVMF or OVMF32), and the image is that architecture's. With --stick IMAGE
it walks the road a user walks with the USB stick instead: power on, the
firmware's front page, its Boot Manager page, the stick, the launcher's
message, back on the Boot Manager page, Ctrl+Alt+F12; an internal NVMe disk
comes first on the PCI bus. On AAVMF and OVMF32 the stick, alone, boots by
itself and the key is pressed on the front page. The capture is copied out of
the stick. --stick IMAGE --forms answers the launcher with F instead: the
settings walk from the stick, then back on the firmware's page, and the
walk's folder is copied out of the stick once its index checks out.

    demo.py [--rtc 2024-01-15T10:30:45] [--gui] [--hotkey | --stick IMAGE [--forms] | --forms]
            [--arch x64|aa64|ia32] [--out DIR] [build/vistrel.efi]
"""
import argparse
import datetime
import glob
import os
import re
import shutil
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from qemu_shell import (BANNER, BOOT_MANAGER, FIRMWARE, FORMS_CLOSING, FRONT_PAGE, SAVE_ERROR, STATUS, Disk,  # noqa: E402
                        boot, check_forms_index, choose_boot_option, closing_paths, enter_front_page, handed_back,
                        open_boot_manager, pass_launcher, plain, press_hotkey)

# White on blue, the shell's own coloured output (ver, map, ls) and a note
# typed out. The prompts and command lines stay: the capture shows the screen
# as a user at the shell sees it when typing vistrel.efi. The shell's text
# area (100x31 at 1280x800) starts 240 pixels in and 105 down, so what the
# 800x600 capture shows is kept within 70 columns and 26 rows.
SCRIPT = r"""cls 1 15
ver
map -r
fs0:
ls
type readme.txt
{pause}vistrel.efi
echo "VISTREL-STATUS %lasterror%"
{after}reset -s
"""

README = """\
  Vistrel: a screenshot command for the UEFI Shell.
  It reads the top-left 800x600 pixels back through Graphics
  Output, writes them as a 24-bit BMP named from the clock
  and tells where it went. This screen is what it captures.
"""

# What the console says on the way (as plain text), and the progress line
# each part earns, in order.
STAGES = [
    ("BdsDxe: ", "firmware up, looking for something to boot"),
    ("UEFI Interactive Shell", "UEFI Shell started"),
    ("any other key to continue", "skipping the shell's 5-second countdown; startup.nsh runs"),
    (":\\> vistrel.efi\n", "startup.nsh runs vistrel.efi"),
    (BANNER.strip(), "vistrel.efi read the screen back; writing the BMP"),
    ("Generate File at:", "vistrel.efi finished"),
    ("Reset with", "powering off"),
]


# The hotkey demo's script, note and stages; the presses themselves are
# reported as they happen.
HOTKEY_SCRIPT = r"""cls 1 15
ver
fs0:
type readme.txt
load fs0:\vistrel-hotkey.efi
echo "HOTKEY-LOADED %lasterror%"
"""

HOTKEY_README = """\
  Vistrel's hotkey driver, vistrel-hotkey.efi, is now resident.
  Ctrl+Alt+F12 saves the whole screen as a PNG at the root of the
  first volume that takes it, here at the shell and, after `exit`,
  on the firmware's own front page.
"""

HOTKEY_STAGES = STAGES[:3] + [
    ("loaded at", "vistrel-hotkey.efi loaded; it stays resident"),
]


# The forms tool's walk: its line per form set is passed on as it comes.
FORMS_SCRIPT = "cls\nfs0:\n{pause}vistrel-forms.efi\necho \"VISTREL-STATUS %lasterror%\"\n{pause}reset -s\n"
FORMS_STAGES = STAGES[:3] + [(":\\> vistrel-forms.efi\n", "startup.nsh runs vistrel-forms.efi: it lists the forms, "
                              "makes its folder and shows each form in turn")]
FORM_SET_LINE = re.compile(r"Form set \d+/\d+, form \d+/\d+, \d+:\d\d: [^\n]*\n")


class Progress:
    """Prints a line as each stage shows up on the serial console, and a
    heartbeat while nothing does."""

    def __init__(self, stages=STAGES):
        self.stages = stages
        self.started = time.monotonic()
        self.next_stage = 0
        self.last_print = self.started
        self.done = threading.Event()
        self.greeted = False
        self.form_sets = 0
        self.lock = threading.Lock()

    def say(self, message):
        with self.lock:
            print("  [%5.1f s] %s" % (time.monotonic() - self.started, message), flush=True)
            self.last_print = time.monotonic()

    def on_serial(self, text, _qmp):
        text = plain(text)
        while self.next_stage < len(self.stages) and self.stages[self.next_stage][0] in text:
            self.say(self.stages[self.next_stage][1])
            self.next_stage += 1
        for line in FORM_SET_LINE.findall(text)[self.form_sets:]:
            self.say(line.strip())
            self.form_sets += 1

    def heartbeat(self):
        while not self.done.wait(1.0):
            if not self.greeted and self.next_stage == 0 and time.monotonic() - self.last_print >= 2.0:
                self.greeted = True
                self.say("QEMU started; the firmware is setting up the machine (no KVM: the CPU is emulated)...")
            elif time.monotonic() - self.last_print >= 5.0:
                self.say("still running...")


def gui_display():
    """The QEMU display back end to show a window with, or None and why not."""
    if not (os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY")):
        return None, "no display here (DISPLAY is not set)"
    for name in ("gtk", "sdl"):
        # Debian's module folder, whatever this machine's architecture.
        if glob.glob("/usr/lib/*/qemu/ui-%s.so" % name):
            return name, None
    return None, "QEMU has no window back end (the qemu-system-gui package adds one)"


def console_lines(serial):
    """What vistrel.efi said on the console, as plain lines: the status line
    at row 13 and the closing line (which has no newline after it)."""
    said = []
    at = serial.rfind("vistrel.efi\r\n")
    run = serial[at:] if at >= 0 else serial
    for message in (BANNER.strip(), SAVE_ERROR.strip()):
        if message in run:
            said.append('"%s" (white on red, column 20, row 13)' % message)
    for path in closing_paths(run):
        said.append("Generate File at:" + path)
    status = STATUS.search(run)
    if status:
        said.append("%%lasterror%% afterwards: %s" % status.group(1))
    return said


def run_machine(work, disks, script, rtc, display, progress=None, **options):
    """One boot, with progress lines on the way; options go to boot()."""
    progress = progress or Progress()
    beat = threading.Thread(target=progress.heartbeat, daemon=True)
    beat.start()
    options.setdefault("timeout", 90)
    result = boot(work, disks, script, rtc=rtc, display=display, on_serial=progress.on_serial, **options)
    progress.done.set()
    beat.join()
    print("QEMU finished in %.1f s." % result.seconds, flush=True)
    return result


def run_in_window(run, display):
    """run(display), and once more headless when QEMU could not show a window."""
    result = run(display)
    if display and "BdsDxe" not in result.text:
        print("QEMU could not show a window (%s); running headless"
              % (result.text.strip().splitlines() or ["no reason given"])[-1], flush=True)
        result = run(None)
    return result


def save_png(bmp):
    """A PNG beside the BMP, for viewing: its path and the picture's size."""
    from PIL import Image
    png = bmp[:-4] + ".png"
    with Image.open(bmp) as image:
        image.save(png)
        return png, image.size


def describe(press):
    if not press.squares:
        return "no square: the driver did not answer the key"
    colour, _, shown = press.squares[0]
    if colour == "green":
        return "a green square for %.1f s: the capture was saved" % (shown or 0)
    return "a red square: nothing was saved"


def hotkey_session(work, progress, pause):
    """Presses the hotkey at the shell prompt, leaves the shell for the
    front page and presses it there."""
    def session(machine):
        machine.wait_for(r"HOTKEY-LOADED \S+\n", 90)
        if "HOTKEY-LOADED 0x0" not in machine.text():
            progress.say("`load` failed; nothing to press")
            return
        for where, prefix in (("the shell prompt", "shell"), ("the front page", "front")):
            if prefix == "front":
                progress.say("typing exit: the shell ends, the firmware starts its front page (UiApp)")
                machine.type("exit\r")
                machine.wait_for(FRONT_PAGE, 60)
            time.sleep(pause)
            progress.say("pressing Ctrl+Alt+F12 at %s" % where)
            progress.say(describe(press_hotkey(machine, os.path.join(work, prefix))))
        time.sleep(pause)
        progress.say("stopping QEMU")
    return session


def shell_disk(work, options, name, readme=None, how_long="about 10 to 20 seconds", size_mib=16):
    """The demo's one disk, the image on it as `name` with its readme, and
    the boot announced."""
    disk = Disk(os.path.join(work, "disk.img"), size_mib=size_mib, label="DEMO")
    disk.put(options.efi, "/" + name)
    if readme:
        disk.put_text(readme, "/readme.txt")
    print("Booting QEMU + %s's UEFI Shell (%s without KVM)%s..."
          % (FIRMWARE[options.arch].name, how_long, ", clock set to " + options.rtc if options.rtc else ""), flush=True)
    return disk


def hotkey_demo(options, display):
    with tempfile.TemporaryDirectory(prefix="vistrel-demo-") as work:
        disk = shell_disk(work, options, "vistrel-hotkey.efi", HOTKEY_README, "about 15 to 30 seconds")

        def run(display):
            progress = Progress(HOTKEY_STAGES)
            session = hotkey_session(work, progress, 3 if display else 0)  # a moment to look at the window
            return run_machine(work, [disk], HOTKEY_SCRIPT, options.rtc, display, progress=progress, timeout=150,
                               qmp_path=os.path.join(work, "qmp.sock"), session=session, arch=options.arch)
        result = run_in_window(run, display)

        captures = disk.captures()
        if not as_expected(result, captures, 2, "Two captures"):
            return 1
        copy_out(disk, captures, options.out, ("The shell", "The front page"))
    return 0


def as_expected(result, captures, count, what):
    """Whether the session ran through and wrote `count` captures; if not,
    says so with the console's text."""
    if result.callback_error is None and len(captures) == count:
        return True
    print("%s expected, %d written%s. The console said:"
          % (what, len(captures), " (" + result.callback_error + ")" if result.callback_error else ""))
    print(result.text)
    return False


def copy_out(disk, names, out, wheres):
    """The driver's files as they came off the disk, listed."""
    from PIL import Image
    print()
    for name, where in zip(names, wheres):
        png = os.path.join(out, name)
        with open(png, "wb") as f:
            f.write(disk.read("/" + name))
        with Image.open(png) as image:
            label = "%s (%dx%d PNG, %d bytes):" % (where, *image.size, os.path.getsize(png))
        print("%-42s %s" % (label, os.path.relpath(png)))


def stick_session(work, progress, pause, internal, walk):
    """The user's road with the stick, as far as the firmware takes it: the
    hotkey pressed where the launcher hands back, or, with `walk`, F at the
    launcher and the settings walk."""
    def session(machine):
        if internal:
            progress.say("pressing Esc every 0.3 s, as the logo shows, to enter the firmware's menu")
            enter_front_page(machine)
            progress.say("the front page is up; opening its Boot Manager page")
            options = open_boot_manager(machine)
            progress.say("boot options: %s; choosing the stick" % "; ".join(options))
            choose_boot_option(machine, options, r"USB HARDDRIVE")
        else:
            progress.say("the stick is the only disk: the firmware boots it by itself")
        if walk:
            progress.say("pressing F at the launcher's offer: the settings walk")
        message = pass_launcher(machine, timeout=300, walk=walk)
        progress.say("the launcher said:")
        for line in message.split("Form set 1/")[0].strip().split("\n"):
            print("      | " + line, flush=True)
        if walk:
            progress.say("the walk said:")
            for line in (FORMS_CLOSING.search(message), re.search(r"Open \\\S+ on another computer\.", message)):
                print("      | " + (line.group(0) if line else "(nothing: it did not finish)"), flush=True)
        progress.say("a key pressed: the launcher hands the machine back to the firmware")
        if internal:
            machine.wait_for(BOOT_MANAGER, 30, since=handed_back(machine))
            where = "the Boot Manager page"
        else:
            machine.wait_for(FRONT_PAGE, 60, since=handed_back(machine))
            where = "the front page"
        time.sleep(pause)
        if walk:
            progress.say("back on %s" % where)
        else:
            progress.say("pressing Ctrl+Alt+F12 on %s" % where)
            progress.say(describe(press_hotkey(machine, os.path.join(work, "stick"))))
            time.sleep(pause)
        progress.say("stopping QEMU")
    return session


def stick_demo(options, display):
    with tempfile.TemporaryDirectory(prefix="vistrel-demo-") as work:
        stick = Disk(os.path.join(work, "stick.img"), bus="usb", copy_of=options.stick, offset=1 << 20)
        internal = Disk(os.path.join(work, "internal.img"), label="INTERNAL", bus="nvme") \
            if options.arch == "x64" else None
        disks = [disk for disk in (internal, stick) if disk]
        print("Powering on QEMU + %s with the stick on USB%s (about %s without KVM)..."
              % (FIRMWARE[options.arch].name, " beside an internal NVMe disk" if internal else "",
                 "one to three minutes with the walk" if options.forms else "20 to 40 seconds"), flush=True)

        def run(display):
            progress = Progress(STAGES[:1])
            session = stick_session(work, progress, 3 if display else 0, internal, options.forms)
            return run_machine(work, disks, None, options.rtc, display, progress=progress,
                               timeout=480 if options.forms else 180, qmp_path=os.path.join(work, "qmp.sock"),
                               session=session, arch=options.arch)
        result = run_in_window(run, display)
        if internal and internal.files() + internal.files(folders=True):
            print("warning: the internal disk holds %s" % (internal.files() + internal.files(folders=True)))
        if options.forms:
            if result.callback_error:
                print("The road did not run through (%s)." % result.callback_error)
            return 0 if copy_walk_out(stick, result, work, options.out) and not result.callback_error else 1
        captures = stick.captures()
        if not as_expected(result, captures, 1, "One capture on the stick"):
            return 1
        copy_out(stick, captures, options.out, ["From the stick"])
    return 0


def copy_walk_out(disk, result, work, out):
    """The walk's folder from the disk into `out`, once it passes the index
    check, and says where it is. Returns the closing line's match, or None
    (and why) when there is nothing to copy."""
    closing = FORMS_CLOSING.search(result.text)
    if not closing:
        print("The walk did not finish%s. The console said:" % (" (QEMU timed out)" if result.timed_out else ""))
        print(result.text)
        return None
    disk.copy_out("/" + closing.group("folder"), work)
    try:
        entries, images = check_forms_index(os.path.join(work, closing.group("folder")),
                                            int(closing.group("forms")))
    except ValueError as failure:
        print("The folder fails the index check: %s" % failure)
        return None
    folder = os.path.join(out, closing.group("folder"))
    shutil.copytree(os.path.join(work, closing.group("folder")), folder, dirs_exist_ok=True)
    print()
    print("Folder (%d entries, %d screens, every image in the index there): %s"
          % (len(entries), len(images), os.path.relpath(folder)))
    print("Contact sheet: %s" % os.path.relpath(os.path.join(folder, "index.html")))
    print("Every setting as text: %s (and settings.json)" % os.path.relpath(os.path.join(folder, "settings.txt")))
    return closing


def forms_demo(options, display):
    with tempfile.TemporaryDirectory(prefix="vistrel-demo-") as work:
        disk = shell_disk(work, options, "vistrel-forms.efi", how_long="the walk takes half a minute to two",
                          size_mib=64)

        def run(display):
            pause = "stall 3000000\n" if display else ""  # a moment to look at the window
            return run_machine(work, [disk], FORMS_SCRIPT.format(pause=pause), options.rtc, display,
                               progress=Progress(FORMS_STAGES), timeout=600, arch=options.arch)
        result = run_in_window(run, display)
        closing = copy_walk_out(disk, result, work, options.out)
        if not closing:
            return 1
    status = STATUS.search(result.text)
    print()
    print("vistrel-forms.efi said:")
    print("  " + closing.group(0))
    settings = re.search(r"Settings: [^\n]*", result.text)
    if settings:
        print("  " + settings.group(0).strip())
    if status:
        print("  %%lasterror%% afterwards: %s" % status.group(1))
    return 0 if status and status.group(1) == "0x0" else 1


def command_demo(options, display):
    """The shell command once, its BMP copied into OUT with a PNG preview."""
    with tempfile.TemporaryDirectory(prefix="vistrel-demo-") as work:
        disk = shell_disk(work, options, "vistrel.efi", README)

        def run(display):
            pause = "stall 3000000\n" if display else ""  # a moment to look at the window
            return run_machine(work, [disk], SCRIPT.format(pause=pause, after=pause), options.rtc, display,
                               arch=options.arch)
        result = run_in_window(run, display)

        said = console_lines(result.serial)
        paths = closing_paths(result.serial)
        captures = disk.captures()
        if result.timed_out or not captures:
            print("No capture was written%s. The console said:" % (" (QEMU timed out)" if result.timed_out else ""))
            print(result.text)
            return 1
        name = captures[0]
        if paths and paths[-1] != "\\" + name:
            print("warning: the console named %s, the disk holds \\%s" % (paths[-1], name))
        bmp = os.path.join(options.out, name)
        with open(bmp, "wb") as f:
            f.write(disk.read("/" + name))

    png, size = save_png(bmp)
    print()
    print("vistrel.efi said:")
    for line in said:
        print("  " + line)
    print()
    print("Capture (%dx%d BMP): %s" % (size[0], size[1], os.path.relpath(bmp)))
    print("Preview (PNG):         %s" % os.path.relpath(png))
    return 0



def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("efi", nargs="?", help="default: build/vistrel.efi, or build/<arch>/vistrel.efi")
    parser.add_argument("--rtc", help="clock at power-on, e.g. 2024-01-15T10:30:45 (default: now, UTC)")
    parser.add_argument("--gui", action="store_true", help="show QEMU's window when a display is there")
    parser.add_argument("--hotkey", action="store_true",
                        help="load vistrel-hotkey.efi and press its key at the shell and on the front page")
    parser.add_argument("--stick", metavar="IMAGE",
                        help="boot the stick image from the firmware's menu and press the key there "
                             "(with --forms: F at the launcher, the settings walk)")
    parser.add_argument("--forms", action="store_true",
                        help="run vistrel-forms.efi instead: every settings form, its folder copied out")
    parser.add_argument("--out", default=os.path.join(ROOT, "out"), help="where the capture goes (default out/)")
    parser.add_argument("--arch", choices=sorted(FIRMWARE), default="x64",
                        help="the machine and firmware: x64 (OVMF), aa64 (AAVMF) or ia32 (OVMF32)")
    options = parser.parse_args()
    if not options.efi:
        options.efi = os.path.join(ROOT, "build", "" if options.arch == "x64" else options.arch, "vistrel.efi")

    if options.rtc:
        try:
            datetime.datetime.fromisoformat(options.rtc)
        except ValueError:
            print("RTC=%s: expected a date and time like 2024-01-15T10:30:45" % options.rtc)
            return 2
    display = None
    if options.gui:
        display, why_not = gui_display()
        print("GUI=1: " + ("showing QEMU's %s window" % display if display else why_not + "; running headless"))
    if options.hotkey:
        options.efi = os.path.join(os.path.dirname(options.efi), "vistrel-hotkey.efi")
    if options.stick:
        options.efi = options.stick
    if options.forms and not options.stick:
        options.efi = os.path.join(os.path.dirname(options.efi), "vistrel-forms.efi")
    if not os.path.exists(options.efi):
        print("%s is missing: run `make build` first" % options.efi)
        return 2

    os.makedirs(options.out, exist_ok=True)
    if options.stick:
        return stick_demo(options, display)
    if options.hotkey:
        return hotkey_demo(options, display)
    if options.forms:
        return forms_demo(options, display)
    return command_demo(options, display)

if __name__ == "__main__":
    sys.exit(main())
