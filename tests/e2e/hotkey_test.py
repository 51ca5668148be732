#!/usr/bin/env python3
"""The resident hotkey driver on QEMU + OVMF: the firmware is the judge.

    hotkey_test.py <vistrel-hotkey.efi> <scenario>

Scenarios:
  hotkey    loaded with the shell's `load` from the first volume, read-only
            (virtio), which the driver tries first since it came from there
            and which refuses; the second is writable (SATA): Ctrl+Alt+F12 at the shell
            prompt, pressed again while that capture runs, then `exit` and
            once on the firmware's front page. Presses that arrive while a
            capture runs give exactly one more, whenever the keyboard
            delivers them: three files on the second volume, none on the
            first, named from the clock set with -rtc, each a PNG of the
            whole screen (two modes) equal to a screendump taken before the
            key, naming the firmware and, as its creation time, the name's;
            for each a green square that goes again, and nothing on the
            console. Each file's size and the time from the key to the
            square are reported.
  hotkey_usb  the same on a machine whose only keyboard is USB (xHCI), with
            the clock's time zone set first by the shell's
            `timezone -s -08:00`: each file's creation time ends in -08:00
            and its tIME is the local time eight hours on.
  hotkey_at_boot  a first boot adds the driver as a Driver#### option with
            `bcfg` and resets; the second, with the variable store kept and
            no `load`, captures the front page. A `load` of the same driver
            there is refused as already started, so the press still gives
            one file. Every name the clock can give is taken already, and its
            `_2` too: the file is `_3`, the others stay.

  stick     the stick image on the user's road (hotkey_test.py
            build/vistrel-stick.img stick), two boots on 800x600 screens:
            an internal NVMe disk with a writable FAT volume comes first on
            the PCI bus, the stick is on xHCI. From power-on into the
            firmware's front page, its Boot Manager page, the stick: the
            launcher says the hotkey is live, its captures go to the stick
            and F would walk the settings; another key hands the machine
            back, the Boot Manager page comes back drawn as it was when the
            stick was chosen, Ctrl+Alt+F12 saves it to the stick's root. The
            stick chosen again says the driver was already active, and a
            press gives one more file. Nothing is walked, nothing lands on
            the internal disk. The second boot answers F: the walk's folder
            passes the index check and holds the firmware's own menu pages
            (Device Manager, Boot Manager, Boot Maintenance Manager) with
            the front page's set skipped, the summary says where to open it,
            the page comes back as it was, a press gives exactly one file at
            the stick's root, and the variable store after power-off equals
            the first boot's.
  stick_aa64, stick_ia32  the same image as the only disk of AAVMF and
            OVMF32, which boot it by themselves (BOOTAA64.EFI, BOOTIA32.EFI):
            F walks the drivers' forms (as many as the firmware lists, 30
            and 35) onto the stick, on OVMF32 (800x600) stopped by ESC after
            the first form set, which the summary says; the front page comes
            back and a press there saves it to the stick.

A failure prints why and the serial console of each boot, and keeps the disk
images and screen dumps. Python's standard library and Pillow only.
"""
import datetime
import io
import json
import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
sys.path.insert(0, HERE)
from capture_test import Failure, check, expected_names, run_scenario  # noqa: E402
from forms_test import judge_walk  # noqa: E402
from qemu_shell import (BOOT_MANAGER, FIRMWARE, FRONT_PAGE, WALK_OFFERED, Disk, boot, boot_options,  # noqa: E402
                        choose_boot_option, enter_front_page, handed_back, open_boot_manager, pass_launcher,
                        press_hotkey, still_screen)

TIMEOUT = 90  # seconds for one boot; a good one takes 10 to 30
LOADED = re.compile(r"Image 'FS\d:\\vistrel-hotkey\.efi' loaded at \S+ - Success")


def png_utc(data):
    """The tIME chunk's date and time, or None."""
    at = 8
    while at + 12 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"tIME":
            return datetime.datetime(*struct.unpack(">HBBBBB", data[at + 8:at + 15]))
        at += 12 + length
    return None


def check_capture(data, screen, name, zone=None):
    """A PNG of the whole screen, pixel for pixel, that names the firmware it
    came from and, in its creation time, the time its name gives; with the
    clock's `zone` (ISO 8601's "-08:00"), that offset and tIME in UTC."""
    width, height, pixels = screen
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "%s: no PNG signature" % name)
    from PIL import Image
    with Image.open(io.BytesIO(data)) as image:
        check(image.format == "PNG" and image.mode == "RGB" and image.size == (width, height),
              "%s: Pillow read %s %s %s" % (name, image.format, image.mode, image.size))
        decoded = image.tobytes()
        text = dict(image.text)
    if decoded != pixels:
        differ = [i // 3 for i in range(0, len(pixels), 3) if decoded[i:i + 3] != pixels[i:i + 3]]
        raise Failure("%s: %d pixels differ from the screendump, the first at (%d,%d)"
                      % (name, len(differ), differ[0] % width, differ[0] // width))
    check(text.get("Software", "").startswith("Vistrel ") and text.get("Source", "").startswith("EDK II, revision 0x")
          and "; UEFI 2." in text.get("Source", ""), "%s: text chunks %r" % (name, text))
    stamp = re.match(r"Vistrel_(\d\d)(\d\d)(\d\d)_(\d\d)(\d\d)(\d\d)", name).groups()
    created = "20%s-%s-%sT%s:%s:%s" % stamp
    check(re.fullmatch(re.escape(created) + (re.escape(zone) if zone else r"([+-]\d\d:\d\d)?"),
                       text.get("Creation Time", "")),
          "%s: creation time %r, %s%s expected" % (name, text.get("Creation Time"), created, zone or ""))
    if zone:
        offset = datetime.timedelta(hours=int(zone[1:3]), minutes=int(zone[4:6])) * (1 if zone[0] == "+" else -1)
        utc = datetime.datetime.fromisoformat(created) - offset
        check(png_utc(data) == utc, "%s: tIME %s, %s UTC expected" % (name, png_utc(data), utc))
    return len(data)


def check_press(press, what, squares=1):
    check(len(press.squares) == squares, "%s: %d squares seen, %d expected" % (what, len(press.squares), squares))
    for colour, _, shown in press.squares:
        check(colour == "green", "%s: a square was %s, green expected" % (what, colour))
        check(shown is not None, "%s: the square did not go away" % what)
    check(press.after == press.before, "%s: the screen after the capture differs from the screen before" % what)
    check(press.console == "", "%s: the console printed %r" % (what, press.console))


def scenario_load(efi, work, usb_keyboard=False, arch="x64", zone=None):
    # Loaded from the read-only volume, which it prefers and which refuses.
    readonly = Disk(os.path.join(work, "readonly.img"), label="READONLY", readonly=True)
    readonly.put(efi, "/vistrel-hotkey.efi")
    disk = Disk(os.path.join(work, "disk.img"), label="CAPTURES")
    rtc = "2024-01-15T10:30:45"
    # The shell's `timezone` keeps the local time and says what the firmware took.
    script = ("timezone -s %s\ntimezone\n" % zone if zone else "") + \
        "for %m in fs0 fs1 fs2\n  if exist %m:\\vistrel-hotkey.efi then\n    load %m:\\vistrel-hotkey.efi\n" \
        "  endif\nendfor\necho \"HOTKEY-LOADED %lasterror%\"\n"
    presses = []

    def session(machine):
        machine.wait_for(r"HOTKEY-LOADED \S+\n", TIMEOUT)
        # Pressed again while the capture runs: one more capture follows it.
        presses.append(press_hotkey(machine, os.path.join(work, "shell"), again_after=0.2))
        machine.type("exit\r")
        machine.wait_for(FRONT_PAGE, 60)
        presses.append(press_hotkey(machine, os.path.join(work, "front")))

    result = boot(work, [disk], script, rtc=rtc, qmp_path=os.path.join(work, "qmp.sock"),
                  readonly_virtio=readonly, session=session, timeout=TIMEOUT, usb_keyboard=usb_keyboard, arch=arch)
    lines = []

    def judge():
        check(LOADED.search(result.text) and "HOTKEY-LOADED 0x0" in result.text, "`load` did not report Success")
        check(not zone or "UTC" + zone in result.text, "the shell's `timezone` did not show UTC%s" % zone)
        check(result.callback_error is None, "the session stopped: %s" % result.callback_error)
        check(readonly.files() == ["vistrel-hotkey.efi"], "the read-only volume holds %s" % readonly.files())
        captures = disk.captures()  # in the order made: a second's _2 sorts after its first
        check(len(captures) == 3, "three captures expected on the second volume, found %s" % captures)
        names = expected_names(rtc, result.seconds, ".png")
        names |= {name[:-4] + "_2.png" for name in names}
        shots = [(presses[0], "shell"), (presses[0], "shell, pressed again"), (presses[1], "front page")]
        sizes = []
        for name, (press, what) in zip(captures, shots):
            check(name in names, "%s is not named from the clock (%s + %.0f s)" % (name, rtc, result.seconds))
            sizes.append("%s %d bytes" % (name, check_capture(disk.read("/" + name), press.before, name, zone)))
        for press, what, files in ((presses[0], "shell", sizes[:2]), (presses[1], "front page", sizes[2:])):
            check_press(press, what, squares=len(files))
            lines.append("%s: %s, %dx%d, each equal to the screendump; %s, then the screen as before"
                         % (what, ", ".join(files), press.before[0], press.before[1],
                            "; ".join("green square %.2f s after the key for %.2f s" % square[1:]
                                      for square in press.squares)))
        check(presses[0].before[:2] != presses[1].before[:2], "the shell and the front page had the same mode")
        if zone:
            lines.append("the clock's zone UTC%s: each creation time ends in %s, each tIME is in UTC" % (zone, zone))

    return [result], judge, lines


def scenario_at_boot(efi, work):
    disk = Disk(os.path.join(work, "disk.img"), label="CAPTURES")
    disk.put(efi, "/vistrel-hotkey.efi")
    store = os.path.join(work, "vars.fd")
    first = boot(work, [disk], "bcfg driver add 0 fs0:\\vistrel-hotkey.efi \"Vistrel hotkey\"\nreset\n",
                 vars_store=store, timeout=TIMEOUT)
    # 50 seconds of names, seven directory entries each: within the 512
    # that FAT16 gives a root directory.
    rtc = "2031-12-31T23:59:30"
    taken = sorted(expected_names(rtc, 48, ".png"))
    taken += [name[:-4] + "_2.png" for name in taken]
    for name in taken:
        disk.put_text(name, "/" + name)
    presses = []

    def session(machine):
        machine.wait_for(FRONT_PAGE, TIMEOUT)
        presses.append(press_hotkey(machine, os.path.join(work, "front")))

    second = boot(work, [disk], "bcfg driver dump\nload fs0:\\vistrel-hotkey.efi\nexit\n", rtc=rtc,
                  qmp_path=os.path.join(work, "qmp.sock"), vars_store=store, session=session, timeout=TIMEOUT)
    lines = []

    def judge():
        check(re.search(r"bcfg: Add Driver\d+ as 0", first.text) and first.returncode == 0,
              "the first boot did not add the driver option and reset")
        check("Desc    - Vistrel hotkey" in second.text, "the second boot's store lacks the driver option")
        check(re.search(r"Image 'FS0:\\vistrel-hotkey\.efi' error in StartImage: Already started", second.text),
              "a second copy was not refused as already started")
        check(second.callback_error is None, "the session stopped: %s" % second.callback_error)
        check_press(presses[0], "front page")
        new = sorted(set(disk.captures()) - set(taken))
        check(len(new) == 1 and new[0].endswith("_3.png") and new[0][:-6] + ".png" in taken,
              "one capture named after a taken name with _3 expected, found %s" % new)
        for name in taken:
            check(disk.read("/" + name) == name.encode(), "%s, taken before, changed" % name)
        size = check_capture(disk.read("/" + new[0]), presses[0].before, new[0])
        lines.append("no `load`: %s, %d bytes, %dx%d, equals the screendump; %d taken names untouched; a second "
                     "copy's `load` refused: %s" % (new[0], size, presses[0].before[0], presses[0].before[1], len(taken),
                                                   re.search(r"Image .*vistrel-hotkey.*", second.text).group(0)))

    return [first, second], judge, lines


STICK_OFFSET = 1 << 20  # the stick's FAT volume, after its partition table
WALK_TIMEOUT = 300  # seconds more for a boot with the settings walk, which takes 15 s to 2 minutes
# The firmware's own menu pages, which the walk saves when it is started from
# the Boot Manager page, as index.txt writes their form sets' GUIDs.
MENU_SETS = {"Device Manager": "3EBFA8E6-511D-4B5B-A95F-FB38260F1C27",
             "Boot Manager": "847BC3FE-B974-446D-9449-5AD5412E993B",
             "Boot Maintenance Manager": "642237C7-35D4-472D-8365-12E0CCF27A22"}
FRONT_PAGE_SET = "9E0C30BC-3F06-4BA6-8288-09179B855DBE"
# The drivers' forms each firmware holds when it boots the stick by itself;
# on one of them ESC stops the walk after its first form set.
DRIVER_FORMS = {"aa64": 30, "ia32": 35}
STOPPED_BY_ESC = "ia32"
WALK_PROGRESS = re.compile(r"Form set \d+/\d+, form \d+/(\d+), \d+:\d\d: ")
SMALL_SCREEN = ["-device", "VGA,xres=800,yres=600"]


def check_live(message, what, stick_label="VISTREL"):
    check("The hotkey is live" in message and "Captures go to the root of this stick, %s (" % stick_label in message,
          "%s: the launcher said %r" % (what, message))


class StickBoot:
    """One power-on with a copy of the stick, and what its session saw: the
    launcher's words, the hotkey's presses, and on x86-64 the Boot Manager
    page as each start left it and the screen just before each start."""

    def __init__(self, image, work, name, arch, walk):
        self.name, self.walk = name, walk
        self.folder = os.path.join(work, name)
        os.makedirs(self.folder)
        self.stick = Disk(os.path.join(self.folder, "stick.img"), bus="usb", copy_of=image, offset=STICK_OFFSET)
        self.internal = Disk(os.path.join(self.folder, "internal.img"), label="INTERNAL", bus="nvme") \
            if arch == "x64" else None
        self.vars = os.path.join(self.folder, "vars.fd")
        self.said, self.presses, self.pages, self.chosen = [], [], [], []
        self.result = None

    def session(self, machine, arch):
        if not self.internal:
            self.said.append(pass_launcher(machine, timeout=WALK_TIMEOUT, walk=self.walk,
                                           stop_walk=arch == STOPPED_BY_ESC))
            machine.wait_for(FRONT_PAGE, 60, since=handed_back(machine))
            self.presses.append(press_hotkey(machine, os.path.join(self.folder, "front")))
            return
        enter_front_page(machine)
        options = open_boot_manager(machine)
        index = 0
        # The walk once; without it, the stick twice: the second start finds
        # the driver active.
        for start in range(1 if self.walk else 2):
            prefix = os.path.join(self.folder, "start%d" % (start + 1))
            index = choose_boot_option(machine, options, r"USB HARDDRIVE", cursor=index,
                                       before_enter=lambda: self.chosen.append(
                                           still_screen(machine, prefix + "-chosen.ppm")))
            self.said.append(pass_launcher(machine, timeout=WALK_TIMEOUT, walk=self.walk))
            self.pages.append(boot_options(machine.wait_for(BOOT_MANAGER, 30, since=handed_back(machine))))
            self.presses.append(press_hotkey(machine, prefix))

    def judge(self, rtc, lines):
        """What every boot must show: the launcher's words, the presses'
        files at the stick's root, and on x86-64 the page back as it was
        and nothing on the internal disk. Returns the stick's folders."""
        result = self.result
        check(result.callback_error is None, "%s: the session stopped: %s" % (self.name, result.callback_error))
        check_live(self.said[0], self.name + ", the first start")
        check(WALK_OFFERED in self.said[0], "%s: the walk was not offered" % self.name)
        captures = self.stick.captures()
        check(len(captures) == len(self.presses), "%s: %d captures on the stick's root expected, found %s"
              % (self.name, len(self.presses), captures))
        names = expected_names(rtc, result.seconds, ".png")
        names |= {name[:-4] + "_2.png" for name in names}
        for name, press in zip(captures, self.presses):
            check(name in names, "%s is not named from the clock" % name)
            check_press(press, name)
            size = check_capture(self.stick.read("/" + name), press.before, name)
            lines.append("%s: %s, %d bytes, %dx%d, equals the screendump" % (self.name, name, size, *press.before[:2]))
        if self.internal:
            check(self.internal.files() + self.internal.files(folders=True) == [],
                  "%s: the internal disk holds %s" % (self.name, self.internal.files()))
            for page, chosen, press in zip(self.pages, self.chosen, self.presses):
                check(any("USB HARDDRIVE" in option for option in page), "the Boot Manager page did not come back")
                check(press.before == chosen, "%s: the Boot Manager page came back otherwise drawn than it was "
                      "when the stick was chosen" % self.name)
        for what, message in zip(("first start", "second start"), self.said):
            lines.append("%s, %s: %s" % (self.name, what, " ".join(message.split("\n")[2:5]).strip()))
        return sorted(set(self.stick.files(folders=True)) - {"EFI", "vistrel"})


def scenario_stick(image, work, arch="x64"):
    """The user's road: power on, the firmware's menu, the stick, F for the
    settings walk. On x86-64 an internal NVMe disk with a writable FAT
    volume comes first on the PCI bus and the Boot Manager page starts the
    stick; a control boot along the same road answers the launcher with
    another key instead and starts the stick twice. Elsewhere the stick is
    the only disk and boots by itself, once, with the walk."""
    rtc = "2024-01-15T10:30:45"
    runs = ([StickBoot(image, work, "control", arch, walk=False)] if arch == "x64" else []) + \
        [StickBoot(image, work, "walk", arch, walk=True)]
    # 800x600, as AAVMF's ramfb: the walk's screens are judged by their index,
    # not their size, and smaller ones save faster. Both x86-64 boots share
    # it, as their variable stores are compared.
    screen = [] if FIRMWARE[arch].display else SMALL_SCREEN
    for run in runs:
        run.result = boot(run.folder, [disk for disk in (run.internal, run.stick) if disk], None, rtc=rtc,
                          qmp_path=os.path.join(run.folder, "qmp.sock"), vars_store=run.vars, arch=arch,
                          session=lambda machine, run=run: run.session(machine, arch),
                          timeout=TIMEOUT + (WALK_TIMEOUT if run.walk else 0), vga=not screen, extra_args=screen)
    lines = []

    def judge():
        for run in runs:
            folders = run.judge(rtc, lines)
            if not run.walk:
                check("Form set" not in run.result.text and folders == [],
                      "%s: another key walked the forms: %s" % (run.name, folders))
                check("The hotkey was already active" in run.said[1] and "Captures go" not in run.said[1],
                      "the second start said %r" % run.said[1])
                continue
            stopped = arch == STOPPED_BY_ESC
            folder, closing = judge_walk(run.result, run.stick, work, lines, shell=False,
                                         ending="; the walk stopped: ESC was pressed" if stopped else "")
            check(folders == [closing.group("folder")], "%s: the stick holds the folders %s" % (run.name, folders))
            check("Open \\%s\\index.html on another computer." % closing.group("folder") in run.said[0],
                  "%s: the summary does not say where to open the contact sheet" % run.name)
            forms = int(closing.group("forms"))
            listed = int(WALK_PROGRESS.search(run.said[0]).group(1))
            if arch == "x64":
                with open(os.path.join(folder, "index.txt"), encoding="utf-8") as f:
                    index = f.read()
                for title, guid in MENU_SETS.items():
                    check(re.search(r"\[%s form \d+\]: \d{3}_\S+\.png" % guid, index),
                          "%s: no screen of the %s page (%s) in index.txt" % (run.name, title, guid))
                check(re.search(r"\[%s form \d+\]: \(skipped: the front page's" % FRONT_PAGE_SET, index),
                      "%s: the front page's set is not skipped in index.txt" % run.name)
                # The menu pages' settings too, read from their own drivers.
                with open(os.path.join(folder, "settings.json"), encoding="utf-8") as f:
                    read = {one["guid"]: [item for item in one["items"] if item.get("value") is not None]
                            for one in json.load(f)["formSets"]}
                check(read.get(MENU_SETS["Boot Maintenance Manager"]),
                      "%s: no value read from Boot Maintenance Manager's pages" % run.name)
                lines.append("%s: %s" % (run.name, re.search(r"Settings: [^\r\n]*", run.said[0]).group(0)))
                with open(runs[0].vars, "rb") as control, open(run.vars, "rb") as walked:
                    check(control.read() == walked.read(), "the variable store after the walk differs from the "
                          "control boot's")
                lines.append("%s: the menu pages among the %d forms, then the Boot Manager page as it was drawn; "
                             "the variable store as the control boot's" % (run.name, forms))
            else:
                check(listed == DRIVER_FORMS[arch], "%s lists %d forms, %d expected"
                      % (FIRMWARE[arch].name, listed, DRIVER_FORMS[arch]))
                check(forms < listed if stopped else forms == listed,
                      "%s: %d of the %d forms walked" % (run.name, forms, listed))
                lines.append("%s: %d of %d forms walked, %s, then the front page"
                             % (run.name, forms, listed, "stopped by ESC" if stopped else "all"))

    return [run.result for run in runs], judge, lines


SCENARIOS = {"hotkey": scenario_load,
             "hotkey_usb": lambda efi, work: scenario_load(efi, work, usb_keyboard=True, zone="-08:00"),
             "hotkey_at_boot": scenario_at_boot,
             "hotkey_aa64": lambda efi, work: scenario_load(efi, work, arch="aa64"),
             "hotkey_ia32": lambda efi, work: scenario_load(efi, work, arch="ia32"),
             "stick": scenario_stick,
             "stick_aa64": lambda image, work: scenario_stick(image, work, arch="aa64"),
             "stick_ia32": lambda image, work: scenario_stick(image, work, arch="ia32")}


if __name__ == "__main__":
    sys.exit(run_scenario(sys.argv, SCENARIOS))
