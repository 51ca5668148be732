#!/usr/bin/env python3
"""vistrel-forms.efi on real firmware from the shell: the firmware is the judge.

    forms_test.py <vistrel-forms.efi> <scenario>

Scenarios (one boot each):
  forms       OVMF (800x600): -list, then the whole walk and -text between two
              `dmpstore -all -s` in the same boot: every form of the listing
              (35 in 8 sets) has an entry and at least one PNG, every PNG
              decodes, the index check passes, and the non-volatile variables
              are the same set before and after. -text's settings.txt holds
              the values checked by hand against their pages, and its
              settings agree with the walk's (vistrel-compare.py).
  forms_step  OVMF (1280x800): -step -set on the Secure Boot set: each saved screen is
              held until a key, and each PNG equals a QMP screendump taken
              while it was held.
  forms_aa64, forms_ia32  the walk and -text on AAVMF and OVMF32 (800x600
              both): they complete, with their counts, and the variables as
              above.

Reports the counts, the time per form and each run's screens. A failure
prints why and the serial console, and keeps the disk images and dumps.
"""
import json
import os
import re
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
sys.path.insert(0, HERE)
from capture_test import Failure, check, run_scenario  # noqa: E402
from qemu_shell import (FORMS_CLOSING, FORMS_LISTING, Disk, boot, check_forms_index,  # noqa: E402
                        still_screen)

TIMEOUT = 420  # seconds for one boot; a walk takes 20 s on OVMF, a minute or two on AAVMF
SECURE_BOOT_SET = "5DAF50A5-EA81-4DE2-8F9B-CABDA9CF5C14"
RTC = "2024-01-15T10:30:45"
COMPARE = os.path.join(HERE, "..", "..", "scripts", "vistrel-compare.py")
SETTINGS_LINE = re.compile(r"Settings: (\d+) questions, (\d+) values not read, (\d+) conditions not evaluated\.")
# OVMF's values, each checked by hand against the walk's PNG of its page
# (004, 030 and 035, 800x600). OVMF Settings' driver answers ExtractConfig
# only under its variable's name, not the store name its form gives: its
# page shows an empty string there, as its browser cannot read it either.
SB, OVMF, ISCSI = ("Secure Boot Configuration > Secure Boot Configuration > ", "OVMF Platform Configuration > OVMF "
                   "Settings > ", "iSCSI Configuration > Attempt Configuration > ")
OVMF_SETTINGS = [
    SB + "Attempt Secure Boot = [ ] (default none) [greyed]",
    SB + "Secure Boot Mode = not read (kept by the page's driver) (default Standard Mode)",
    OVMF + "Preferred Resolution at Next Boot = not readable (EFI_NOT_FOUND) (default none)",
    ISCSI + "iSCSI Mode = Disabled (default Disabled)",
    ISCSI + "Internet Protocol = IP4 (default none)",
    ISCSI + "Connection Establishing Timeout = 0 (default 1000) *",
    ISCSI + "Enable DHCP = [ ] (default none)",
    ISCSI + "Get target info via DHCP = [ ] (default none) [hidden]",
    ISCSI + "  Target Port = 0 (default none)",
]


def nonvolatile(data):
    """The non-volatile variables in a `dmpstore -s` file, as a set of
    (name, GUID, attributes, data): its records are a name size, a data size,
    the name, the GUID, the attributes, the data and a CRC-32."""
    found = set()
    at = 0
    while at + 8 <= len(data):
        name_size, data_size = struct.unpack_from("<II", data, at)
        name = data[at + 8:at + 8 + name_size].decode("utf-16-le").rstrip("\0")
        at += 8 + name_size
        guid, (attributes,) = data[at:at + 16].hex(), struct.unpack_from("<I", data, at + 16)
        value = data[at + 20:at + 20 + data_size]
        at += 20 + data_size + 4
        if attributes & 1:
            found.add((name, guid, attributes, value))
    check(at == len(data), "the dmpstore file does not end with a record")
    return found


def decode(path):
    """The PNG's pixels as Pillow reads them: (width, height, RGB bytes)."""
    from PIL import Image
    with Image.open(path) as image:
        check(image.format == "PNG", "%s is no PNG" % path)
        return image.size[0], image.size[1], image.convert("RGB").tobytes()


def judge_walk(result, disk, work, lines, listed=None, ending="", shell=True):
    """The closing line, with no failure and the `ending` given (none when
    the walk completed), status 0x0 when run from the `shell`, the folder
    copied out and checked, every PNG decoded; returns the folder and the
    closing line's match."""
    closing = FORMS_CLOSING.search(result.text)
    check(closing, "no closing line")
    forms, screens, skipped, failed = (int(closing.group(name)) for name in ("forms", "screens", "skipped", "failed"))
    check(not shell or re.search(r"FORMS-STATUS 0x0\b", result.text), "the walk's %lasterror% is not 0x0")
    check(failed == 0 and closing.group("ending") == ending, "the walk did not end as expected: %s" % closing.group(0))
    if listed is not None:
        check(forms == listed, "the walk counts %d forms, the listing %d" % (forms, listed))
    folder = os.path.join(work, closing.group("folder"))
    disk.copy_out("/" + closing.group("folder"), work)
    entries, images = check_forms_index(folder, forms)
    bare = [entry.split("</h2>")[0] for entry in entries if "<img" not in entry and 'class="why"' not in entry]
    check(not bare, "entries with no image and no reason: %s" % bare[:3])
    pngs = sorted(name for name in os.listdir(folder) if name.endswith(".png"))
    check(len(pngs) == screens == len(images), "%d PNGs, %d images in the index, %d screens counted"
          % (len(pngs), len(images), screens))
    sizes = [os.path.getsize(os.path.join(folder, name)) for name in pngs]
    for name in pngs:
        decode(os.path.join(folder, name))
    seconds = int(closing.group("minutes")) * 60 + int(closing.group("seconds"))
    lines.append("%d forms (%d skipped), %d screens, %d to %d bytes each; %d s, %.2f s a form"
                 % (forms, skipped, screens, min(sizes), max(sizes), seconds, seconds / max(forms - skipped, 1)))
    return folder, closing


def judge_text(result, disk, work, lines, walked, arch):
    """-text after the walk: the same forms, no PNG, settings that agree
    with the walk's, the values checked by hand (OVMF), and its time."""
    closings = list(FORMS_CLOSING.finditer(result.text))
    check(len(closings) == 2 and re.search(r"TEXT-STATUS 0x0\b", result.text), "-text did not finish with 0x0")
    walk, text = closings
    check(text.group("forms") == walk.group("forms") and text.group("screens") == "0",
          "-text read %s forms with %s screens, the walk %s" % (text.group("forms"), text.group("screens"),
                                                                walk.group("forms")))
    counts = SETTINGS_LINE.findall(result.text)
    check(len(counts) == 2, "the Settings lines: %s" % counts)
    folder = os.path.join(work, text.group("folder"))
    disk.copy_out("/" + text.group("folder"), work)
    check(not [name for name in os.listdir(folder) if name.endswith(".png")], "-text left PNGs")
    with open(os.path.join(folder, "settings.json"), encoding="utf-8") as file:
        check(json.load(file)["format"] == 1, "settings.json has no format 1")
    for read in (walked, folder):
        with open(os.path.join(read, "settings.txt"), encoding="utf-8") as file:
            settings = file.read().splitlines()
        missing = [line for line in OVMF_SETTINGS if line not in settings] if arch == "x64" else []
        check(not missing, "%s/settings.txt lacks %s" % (os.path.basename(read), missing))
    compared = subprocess.run([sys.executable, COMPARE, walked, folder], capture_output=True, text=True)
    check(compared.returncode == 0, "the walk's settings and -text's differ:\n%s%s" % (compared.stdout, compared.stderr))
    seconds = int(text.group("minutes")) * 60 + int(text.group("seconds"))
    questions, unread, unevaluated = counts[1]
    lines.append("-text: %s questions, %s values not read, %s conditions not evaluated, in %d s; the same as the "
                 "walk's" % (questions, unread, unevaluated, seconds))


def scenario_walk(efi, work, arch="x64", small_screen=False):
    disk = Disk(os.path.join(work, "disk.img"), size_mib=64)
    disk.put(efi, "/vistrel-forms.efi")
    script = ("fs0:\nvistrel-forms.efi -list\ndmpstore -all -s before.dmp\nvistrel-forms.efi\n"
              "echo \"FORMS-STATUS %lasterror%\"\nvistrel-forms.efi -text\necho \"TEXT-STATUS %lasterror%\"\n"
              "dmpstore -all -s after.dmp\nreset -s\n")
    screen = ["-device", "VGA,xres=800,yres=600"] if small_screen else []
    result = boot(work, [disk], script, rtc=RTC, timeout=TIMEOUT, arch=arch, vga=not small_screen, extra_args=screen)
    lines = []

    def judge():
        listing = FORMS_LISTING.search(result.text)
        check(listing, "no listing")
        sets, forms = int(listing.group(1)), int(listing.group(2))
        if arch == "x64":
            check((sets, forms) == (8, 35), "OVMF lists %d sets and %d forms, 8 and 35 expected" % (sets, forms))
        walked, _ = judge_walk(result, disk, work, lines, listed=forms)
        judge_text(result, disk, work, lines, walked, arch)
        before, after = nonvolatile(disk.read("/before.dmp")), nonvolatile(disk.read("/after.dmp"))
        check(before, "no non-volatile variable in the first dmpstore")
        changed = sorted(name for name, _, _, _ in before ^ after)
        check(not changed, "non-volatile variables changed: %s" % changed)
        lines.append("%d sets listed; %d non-volatile variables, the same set before and after" % (sets, len(before)))

    return [result], judge, lines


def scenario_step(efi, work):
    disk = Disk(os.path.join(work, "disk.img"), size_mib=64)
    disk.put(efi, "/vistrel-forms.efi")
    script = ("fs0:\necho FORMS-STEP\nvistrel-forms.efi -step -set %s\necho \"FORMS-STATUS %%lasterror%%\"\n"
              % SECURE_BOOT_SET)
    dumps = []

    def session(machine):
        machine.wait_for(r"FORMS-STEP\n", 120)
        # A key may come before the tool waits for it: it then drops it, the
        # screen stays, and the key is sent again.
        while not FORMS_CLOSING.search(machine.text()):
            screen = still_screen(machine, os.path.join(work, "held.ppm"), timeout=120)
            if FORMS_CLOSING.search(machine.text()):
                break
            dumps.append(screen)
            console = machine.text()
            machine.qmp.send_key("x")
            deadline = time.monotonic() + 10
            while machine.text() == console and time.monotonic() < deadline:
                time.sleep(0.1)
        machine.wait_for(r"FORMS-STATUS \S+\n", 30)

    result = boot(work, [disk], script, rtc=RTC, timeout=TIMEOUT, qmp_path=os.path.join(work, "qmp.sock"),
                  session=session)
    lines = []

    def judge():
        check(result.callback_error is None, "the session stopped: %s" % result.callback_error)
        folder, closing = judge_walk(result, disk, work, lines)
        check(int(closing.group("forms")) == 17, "the Secure Boot set has 17 forms on OVMF, %s counted" % closing.group("forms"))
        for name in sorted(os.listdir(folder)):
            if name.endswith(".png"):
                check(decode(os.path.join(folder, name)) in dumps, "%s equals no screendump taken while held" % name)
        lines.append("each of its PNGs equals one of %d screendumps taken while the screens were held" % len(dumps))

    return [result], judge, lines


# The walks on 800x600 screens, as AAVMF's: the time goes into the pixels, and
# nothing judged there depends on the mode; forms_step keeps OVMF's 1280x800.
SCENARIOS = {"forms": lambda efi, work: scenario_walk(efi, work, small_screen=True), "forms_step": scenario_step,
             "forms_aa64": lambda efi, work: scenario_walk(efi, work, arch="aa64"),
             "forms_ia32": lambda efi, work: scenario_walk(efi, work, arch="ia32", small_screen=True)}


if __name__ == "__main__":
    sys.exit(run_scenario(sys.argv, SCENARIOS))
