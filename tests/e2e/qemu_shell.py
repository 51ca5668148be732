"""Boots QEMU with OVMF's built-in UEFI Shell and runs a startup.nsh.

The firmware is the judge here: disk images are made with mtools, the shell's
console is read from the serial port, and what landed on the disks is read
back afterwards. Python's standard library only.
"""
import os
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import time

OVMF_CODE = "/usr/share/OVMF/OVMF_CODE_4M.fd"
OVMF_VARS = "/usr/share/OVMF/OVMF_VARS_4M.fd"
ANSI = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")


def plain(text):
    """Serial text without ANSI escapes and carriage returns."""
    return ANSI.sub("", text).replace("\r", "")


class Disk:
    """A FAT file system on a whole raw disk image (no partition table)."""

    def __init__(self, path, size_mib=16, label="VISTREL"):
        self.path = path
        if os.path.exists(path):
            os.unlink(path)
        subprocess.run(["mkfs.fat", "-C", "-n", label, path, str(size_mib * 1024)],
                       check=True, stdout=subprocess.DEVNULL)

    def _m(self, *args, **kwargs):
        return subprocess.run(list(args), check=True, capture_output=True,
                              env=dict(os.environ, MTOOLS_SKIP_CHECK="1"), **kwargs)

    def mkdir(self, dos_path):
        self._m("mmd", "-i", self.path, "::" + dos_path.replace("\\", "/"))

    def put(self, local_path, dos_path):
        self._m("mcopy", "-o", "-i", self.path, local_path, "::" + dos_path.replace("\\", "/"))

    def put_text(self, text, dos_path):
        with tempfile.NamedTemporaryFile("w", delete=False, suffix=".txt") as f:
            f.write(text.replace("\n", "\r\n"))
        try:
            self.put(f.name, dos_path)
        finally:
            os.unlink(f.name)

    def files(self, dos_dir="/"):
        """Long names of the files directly in a directory."""
        out = self._m("mdir", "-b", "-i", self.path, "::" + dos_dir.replace("\\", "/")).stdout.decode()
        return sorted(os.path.basename(line.rstrip("/")) for line in out.splitlines()
                      if line and not line.endswith("/"))

    def read(self, dos_path):
        return self._m("mcopy", "-i", self.path, "::" + dos_path.replace("\\", "/"), "-").stdout


class Boot:
    """One boot of the shell; `serial` holds what the console said."""

    def __init__(self, serial, returncode, seconds):
        self.serial = serial
        self.text = plain(serial)
        self.returncode = returncode
        self.seconds = seconds

    def after(self, marker):
        """The console text after the last occurrence of marker."""
        at = self.text.rfind(marker)
        return self.text[at + len(marker):] if at >= 0 else ""


def boot(workdir, disks, script, rtc=None, vga=True, timeout=120, extra_args=(), qmp_path=None,
         on_serial=None, readonly_virtio=None):
    """Boots with the first disk holding startup.nsh; the script must end the
    machine (`reset -s`). Returns a Boot. `on_serial(text_so_far, qmp)` is
    called as serial text arrives, for scenarios that act during the run.
    """
    disks[0].put_text(script, "/startup.nsh")
    vars_copy = os.path.join(workdir, "vars.fd")
    shutil.copyfile(OVMF_VARS, vars_copy)
    args = ["qemu-system-x86_64", "-machine", "q35", "-m", "256", "-nodefaults", "-no-reboot",
            "-display", "none", "-monitor", "none", "-serial", "stdio",
            "-drive", "if=pflash,format=raw,readonly=on,file=" + OVMF_CODE,
            "-drive", "if=pflash,format=raw,file=" + vars_copy]
    args += ["-vga", "std"] if vga else ["-vga", "none"]
    for disk in disks:
        args += ["-drive", "file=%s,format=raw" % disk.path]
    if readonly_virtio:
        args += ["-drive", "if=virtio,format=raw,readonly=on,file=" + readonly_virtio.path]
    if rtc:
        args += ["-rtc", "base=%s,clock=vm" % rtc]
    if qmp_path:
        args += ["-qmp", "unix:%s,server=on,wait=off" % qmp_path]
    args += list(extra_args)

    started = time.monotonic()
    process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    chunks = []
    state = {"skipped": False}
    qmp = Qmp(qmp_path) if qmp_path else None

    def reader():
        while True:
            data = process.stdout.read1(4096)
            if not data:
                return
            chunks.append(data.decode("latin-1"))
            text = "".join(chunks)
            if not state["skipped"] and "any other key to continue" in text:
                state["skipped"] = True
                process.stdin.write(b" ")  # skip the shell's countdown
                process.stdin.flush()
            if on_serial:
                on_serial(text, qmp)

    thread = threading.Thread(target=reader, daemon=True)
    thread.start()
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
    thread.join(timeout=5)
    if qmp:
        qmp.close()
    return Boot("".join(chunks), process.returncode, time.monotonic() - started)


class Qmp:
    """A minimal QMP client for `screendump`."""

    def __init__(self, path):
        self.path = path
        self.sock = None

    def _connect(self):
        for _ in range(100):
            try:
                self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.sock.connect(self.path)
                self._read()
                self.command("qmp_capabilities")
                return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("no QMP socket at " + self.path)

    def _read(self):
        data = b""
        while not data.endswith(b"\n"):
            data += self.sock.recv(65536)
        return data

    def command(self, name, **arguments):
        import json
        if self.sock is None:
            self._connect()
        self.sock.sendall(json.dumps({"execute": name, "arguments": arguments}).encode() + b"\n")
        while True:
            for line in self._read().splitlines():
                reply = json.loads(line)
                if "return" in reply or "error" in reply:
                    return reply

    def close(self):
        if self.sock:
            self.sock.close()
