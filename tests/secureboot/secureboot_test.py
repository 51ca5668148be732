#!/usr/bin/env python3
"""Secure Boot on real firmware. A fresh OVMF variable store is in setup mode,
where the built-in shell still runs: the EnrollKeys fixture enrols a test key
made here as PK, KEK and db, which turns Secure Boot on. Then the hotkey
driver signed with that key loads and the same driver unsigned is refused;
the command signed runs and saves a capture (status 0), and the same command
unsigned is refused with Access Denied and writes nothing. The refused run is
last: the shell abandons startup.nsh after it (a refused `load` does not).
A second boot, with Secure Boot on, starts the stick with every image on it
signed by the same key (as `make stick KEY=... CERT=...` makes it): its
launcher loads the driver, and Ctrl+Alt+F12 on the front page saves a PNG to
the stick. The forms tool's -text, unsigned before the keys and signed after
them, reads "Attempt Secure Boot" unchecked and then checked, and
vistrel-compare.py names that difference.

Usage: secureboot_test.py vistrel.efi EnrollKeys.efi vistrel-hotkey.efi MAKE-STICK-ARGUMENTS...
(the stick builder's --version, --release-date and --architecture NAME
BOOT_FILE FOLDER for each architecture, as the build passes them; each
folder's images are signed into a folder of the test's own)
"""
import os
import re
import subprocess
import sys
import tempfile

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")
sys.path.insert(0, SCRIPTS)
from qemu_shell import BMP_SIZE, FORMS_CLOSING, FRONT_PAGE, Disk, boot, pass_launcher, press_hotkey  # noqa: E402

# qemu_shell boots OVMF_CODE_4M.fd (Secure Boot capable, no SMM needed) with
# a fresh copy of OVMF_VARS_4M.fd, which is empty: setup mode.
SIGN = os.path.join(SCRIPTS, "sign.sh")
OWNER_GUID = "6c0ad2b5-7c2e-4b43-9b0e-5f1d3c8a7e41"
# The script cannot power off after the refused run: stop once it is answered.
REFUSAL_ANSWERED = r"SIGNED-STATUS[\s\S]*(UNSIGNED-STATUS 0x|[Aa]ccess [Dd]enied|ACCESS_DENIED)"

ATTEMPT = "Secure Boot Configuration > Secure Boot Configuration > Attempt Secure Boot = "

SCRIPT = """fs0:
vistrel-forms.efi -text
echo "TEXT-BEFORE %lasterror%"
EnrollKeys.efi
echo "ENROLL-STATUS %lasterror%"
vistrel-forms.signed.efi -text
echo "TEXT-AFTER %lasterror%"
load fs0:\\vistrel-hotkey.signed.efi
echo "LOAD-SIGNED %lasterror%"
load fs0:\\vistrel-hotkey.efi
echo "LOAD-UNSIGNED %lasterror%"
cd \\signed
\\vistrel.signed.efi
echo "SIGNED-STATUS %lasterror%"
cd \\unsigned
\\vistrel.efi
echo "UNSIGNED-STATUS %lasterror%"
reset -s
"""


def run(*args, **kwargs):
    return subprocess.run(list(args), check=True, capture_output=True,
                          env=dict(os.environ, MTOOLS_SKIP_CHECK="1"), **kwargs)


def make_keys(work):
    """One throwaway RSA key and certificate as PK, KEK and db, each .auth
    signed with it (PK signs itself, PK signs KEK, KEK signs db)."""
    key, crt, esl = (os.path.join(work, name) for name in ("test.key", "test.crt", "test.esl"))
    run("openssl", "req", "-new", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
        "-subj", "/CN=Vistrel Secure Boot test key/", "-keyout", key, "-out", crt)
    run("cert-to-efi-sig-list", "-g", OWNER_GUID, crt, esl)
    for variable in ("PK", "KEK", "db"):
        run("sign-efi-sig-list", "-g", OWNER_GUID, "-k", key, "-c", crt, variable, esl,
            os.path.join(work, variable + ".auth"))
    return key, crt


def signed_stick(work, key, crt, stick_arguments):
    """The stick made from every architecture's images signed with the key:
    each --architecture's folder is signed into one of the test's own."""
    arguments = list(stick_arguments)
    for at, argument in enumerate(stick_arguments):
        if argument != "--architecture":
            continue
        name, source = arguments[at + 1], arguments[at + 3]
        target = os.path.join(work, "signed", name)
        os.makedirs(target, exist_ok=True)
        for image in sorted(file for file in os.listdir(source) if file.endswith(".efi")
                            and not file.endswith(".signed.efi")):
            subprocess.run([SIGN, key, crt, os.path.join(source, image),
                            os.path.join(target, image[:-4] + ".signed.efi")], check=True, capture_output=True)
        arguments[at + 3] = target
    image = os.path.join(work, "vistrel-stick-signed.img")
    subprocess.run([sys.executable, os.path.join(SCRIPTS, "make-stick.py"), *arguments, "--signed", "--image", image],
                   check=True, capture_output=True)
    return Disk(os.path.join(work, "stick.img"), bus="usb", copy_of=image, offset=1 << 20)


def boot_signed_stick(work, stick):
    """Secure Boot on (the store the first boot enrolled the keys in): the
    stick boots by itself, its launcher starts the driver, and a press on
    the front page saves a PNG to the stick. Returns the launcher's message
    and the boot."""
    said, presses = [], []

    def session(machine):
        said.append(pass_launcher(machine, timeout=120))
        machine.wait_for(FRONT_PAGE, 60, since=machine.mark())
        presses.append(press_hotkey(machine, os.path.join(work, "front")))

    result = boot(work, [stick], None, qmp_path=os.path.join(work, "qmp.sock"), session=session, timeout=150,
                  vars_store=os.path.join(work, "vars.fd"))
    return said, presses, result


def compare_settings(disk, text, work):
    """The two -text folders, before the keys and after: "Attempt Secure Boot"
    unchecked, then checked, and the compare script naming it (exit 1).
    Returns the script's output."""
    assert "TEXT-BEFORE 0x0" in text and "TEXT-AFTER 0x0" in text, "a -text run failed"
    folders = [match.group("folder") for match in FORMS_CLOSING.finditer(text)]
    assert len(folders) == 2, "two -text closing lines expected, found %s" % folders
    for folder, shown in zip(folders, ("[ ]", "[X]")):
        disk.copy_out("/" + folder, work)
        with open(os.path.join(work, folder, "settings.txt"), encoding="utf-8") as file:
            lines = [line for line in file.read().splitlines() if line.startswith(ATTEMPT)]
        assert len(lines) == 1 and lines[0].startswith(ATTEMPT + shown), "%s: %s" % (folder, lines)
    compared = subprocess.run([sys.executable, os.path.join(SCRIPTS, "vistrel-compare.py"),
                               *(os.path.join(work, folder) for folder in folders)], capture_output=True, text=True)
    assert compared.returncode == 1 and "Attempt Secure Boot" in compared.stdout, \
        "the compare script said (%d): %s%s" % (compared.returncode, compared.stdout, compared.stderr)
    return compared.stdout


def main():
    efi, enroll, driver, stick_arguments = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    # The x86-64 forms tool, from the stick's folder of x86-64 images.
    at = stick_arguments.index("--architecture", stick_arguments.index("x64") - 1)
    forms = os.path.join(stick_arguments[at + 3], "vistrel-forms.efi")
    with tempfile.TemporaryDirectory(prefix="vistrel-secureboot-") as work:
        key, crt = make_keys(work)
        signed = os.path.join(work, "vistrel.signed.efi")
        subprocess.run([SIGN, key, crt, efi, signed], check=True, capture_output=True)
        signed_driver = os.path.join(work, "vistrel-hotkey.signed.efi")
        subprocess.run([SIGN, key, crt, driver, signed_driver], check=True, capture_output=True)
        signed_forms = os.path.join(work, "vistrel-forms.signed.efi")
        subprocess.run([SIGN, key, crt, forms, signed_forms], check=True, capture_output=True)

        disk = Disk(os.path.join(work, "disk.img"), label="SECBOOT")
        for folder in ("signed", "unsigned"):
            disk.mkdir("/" + folder)
        for local, name in ((efi, "vistrel.efi"), (signed, "vistrel.signed.efi"), (enroll, "EnrollKeys.efi"),
                            (driver, "vistrel-hotkey.efi"), (signed_driver, "vistrel-hotkey.signed.efi"),
                            (forms, "vistrel-forms.efi"), (signed_forms, "vistrel-forms.signed.efi")):
            disk.put(local, "/" + name)
        for variable in ("PK", "KEK", "db"):
            disk.put(os.path.join(work, variable + ".auth"), "/" + variable + ".auth")

        result = boot(work, [disk], SCRIPT, timeout=150, stop_after=REFUSAL_ANSWERED)
        second = None
        text, seconds = result.text, result.seconds
        try:
            assert "ENROLL-STATUS 0x0" in text, "enrolment failed"
            assert "SetupMode=0" in text, "firmware still in setup mode after enrolling PK"
            assert re.search(r"Image 'FS0:\\vistrel-hotkey\.signed\.efi' loaded at \S+ - Success", text) \
                and "LOAD-SIGNED 0x0" in text, "the signed driver did not load"
            assert "Image 'FS0:\\vistrel-hotkey.efi' loaded" not in text \
                and re.search(r"LOAD-UNSIGNED 0x[1-9A-F]", text), "the unsigned driver was not refused"
            assert "SIGNED-STATUS 0x0" in text, "signed command did not succeed"
            signed_files = disk.captures("/signed")
            assert len(signed_files) == 1, "one capture from the signed command, found %s" % signed_files
            size = len(disk.read("/signed/" + signed_files[0]))
            assert size == BMP_SIZE, "capture is %d bytes" % size
            refused = text[text.find("SIGNED-STATUS 0x0"):]
            assert re.search(r"access denied|ACCESS_DENIED|UNSIGNED-STATUS 0xF\b", refused, re.I), \
                "unsigned command not refused"
            assert "Generate File at" not in refused.split("\n", 1)[-1], "unsigned command ran"
            assert disk.files("/unsigned") == [], "unsigned command wrote a file"
            compared = compare_settings(disk, text, work)
            stick = signed_stick(work, key, crt, stick_arguments)
            said, presses, second = boot_signed_stick(work, stick)
            assert second.callback_error is None, "the signed stick's session stopped: %s" % second.callback_error
            assert "The hotkey is live" in said[0], "the signed stick's launcher said %r" % said[0]
            captures = stick.captures()
            assert len(captures) == 1 and presses[0].squares and presses[0].squares[0][0] == "green", \
                "one capture on the signed stick expected, found %s" % captures
        except AssertionError as failure:
            print("FAILED:", failure)
            print("---- serial console ----")
            print(text)
            if second:
                print("---- serial console of the signed stick's boot ----")
                print(second.text)
            return 1
    mode = re.search(r"SetupMode=\d+ SecureBoot=\d+", text).group(0)
    print("secureboot: %s; signed driver loaded, unsigned refused; signed run saved %s, unsigned refused "
          "(%.1f s boot); the signed stick's hotkey saved %s (%.1f s boot)"
          % (mode, signed_files[0], seconds, captures[0], second.seconds))
    print("secureboot: -text before and after the keys, compared:\n" + compared.rstrip())
    return 0


if __name__ == "__main__":
    sys.exit(main())
