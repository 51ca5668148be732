#!/usr/bin/env python3
"""Secure Boot on real firmware. A fresh OVMF variable store is in setup mode,
where the built-in shell still runs: the EnrollKeys fixture enrols a test key
made here as PK, KEK and db, which turns Secure Boot on. Then the command
signed with that key runs and saves a capture (status 0), and the same command
unsigned is refused with Access Denied and writes nothing. The refused run is
last: the shell abandons startup.nsh after it.

Usage: secureboot_test.py vistrel.efi EnrollKeys.efi
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.fd"  # Secure Boot capable, no SMM needed
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"  # empty: setup mode
SIGN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "sign.sh")
OWNER_GUID = "6c0ad2b5-7c2e-4b43-9b0e-5f1d3c8a7e41"
ANSI = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")

SCRIPT = """fs0:
EnrollKeys.efi
echo "ENROLL-STATUS %lasterror%"
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


def boot(work, disk, timeout=150):
    """Boots the shell on the disk; stops once the unsigned run has been
    answered (the script does not go on after a refusal)."""
    vars_copy = os.path.join(work, "vars.fd")
    shutil.copyfile(OVMF_VARS, vars_copy)
    process = subprocess.Popen(
        ["qemu-system-x86_64", "-machine", "q35", "-m", "256", "-nodefaults", "-no-reboot",
         "-display", "none", "-monitor", "none", "-serial", "stdio", "-vga", "std",
         "-drive", "if=pflash,format=raw,readonly=on,file=" + OVMF_CODE,
         "-drive", "if=pflash,format=raw,file=" + vars_copy,
         "-drive", "file=%s,format=raw" % disk],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    chunks = []
    done = threading.Event()

    def reader():
        skipped = False
        while True:
            data = process.stdout.read1(4096)
            if not data:
                done.set()
                return
            chunks.append(data.decode("latin-1"))
            text = "".join(chunks)
            if not skipped and "any other key to continue" in text:
                skipped = True
                process.stdin.write(b" ")  # skip the shell's countdown
                process.stdin.flush()
            tail = ANSI.sub("", text[text.find("SIGNED-STATUS"):]) if "SIGNED-STATUS" in text else ""
            if "UNSIGNED-STATUS" in tail or "Access Denied" in tail or "ACCESS_DENIED" in tail.upper():
                done.set()

    threading.Thread(target=reader, daemon=True).start()
    done.wait(timeout)
    time.sleep(1)  # let the shell finish its line
    process.kill()
    process.wait()
    return ANSI.sub("", "".join(chunks)).replace("\r", "")


def captures(disk, folder):
    out = run("mdir", "-b", "-i", disk, "::/" + folder).stdout.decode()
    return [os.path.basename(line) for line in out.splitlines() if "Vistrel_" in line]


def main():
    efi, enroll = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory(prefix="vistrel-secureboot-") as work:
        key, crt = make_keys(work)
        signed = os.path.join(work, "vistrel.signed.efi")
        subprocess.run([SIGN, key, crt, efi, signed], check=True, capture_output=True)

        disk = os.path.join(work, "disk.img")
        subprocess.run(["mkfs.fat", "-C", "-n", "SECBOOT", disk, str(16 * 1024)], check=True,
                       stdout=subprocess.DEVNULL)
        for folder in ("signed", "unsigned"):
            run("mmd", "-i", disk, "::/" + folder)
        for local, name in ((efi, "vistrel.efi"), (signed, "vistrel.signed.efi"), (enroll, "EnrollKeys.efi")):
            run("mcopy", "-i", disk, local, "::/" + name)
        for variable in ("PK", "KEK", "db"):
            run("mcopy", "-i", disk, os.path.join(work, variable + ".auth"), "::/" + variable + ".auth")
        with open(os.path.join(work, "startup.nsh"), "w") as script:
            script.write(SCRIPT.replace("\n", "\r\n"))
        run("mcopy", "-i", disk, os.path.join(work, "startup.nsh"), "::/startup.nsh")

        started = time.monotonic()
        text = boot(work, disk)
        seconds = time.monotonic() - started
        try:
            assert "ENROLL-STATUS 0x0" in text, "enrolment failed"
            assert "SetupMode=0" in text, "firmware still in setup mode after enrolling PK"
            assert "SIGNED-STATUS 0x0" in text, "signed command did not succeed"
            signed_files = captures(disk, "signed")
            assert len(signed_files) == 1, "one capture from the signed command, found %s" % signed_files
            size = len(run("mcopy", "-i", disk, "::/signed/" + signed_files[0], "-").stdout)
            assert size == 1440054, "capture is %d bytes" % size
            refused = text[text.find("SIGNED-STATUS 0x0"):]
            assert re.search(r"access denied|ACCESS_DENIED|UNSIGNED-STATUS 0xF\b", refused, re.I), \
                "unsigned command not refused"
            assert "Generate File at" not in refused.split("\n", 1)[-1], "unsigned command ran"
            assert captures(disk, "unsigned") == [], "unsigned command wrote a file"
        except AssertionError as failure:
            print("FAILED:", failure)
            print("---- serial console ----")
            print(text)
            return 1
    mode = re.search(r"SetupMode=\d+ SecureBoot=\d+", text).group(0)
    print("secureboot: %s; signed run saved %s, unsigned refused (%.1f s boot)" % (mode, signed_files[0], seconds))
    return 0


if __name__ == "__main__":
    sys.exit(main())
