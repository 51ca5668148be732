"""Boots QEMU with OVMF's built-in UEFI Shell and runs a startup.nsh.

For the demo (`make run`) and the end-to-end tests, where the firmware is the
judge: disk images are made with mtools, the shell's console is read from the
serial port, and what landed on the disks is read back afterwards. Python's
standard library only.
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


class Firmware:
    """One architecture's machine in QEMU and Debian's UEFI firmware for it:
    its flash code and variable store, the machine options, the display
    device (None: QEMU's `-vga`), whether its only keyboard is USB, and
    where its xHCI controller sits on the PCI bus (None: where QEMU puts it)."""

    def __init__(self, name, qemu, code, variables, machine, display=None, usb_only=False, memory="256",
                 xhci_address="0x10"):
        self.name = name
        self.qemu = qemu
        self.code = code
        self.variables = variables
        self.machine = machine
        self.display = display
        self.usb_only = usb_only
        self.memory = memory
        self.xhci_address = xhci_address


# x64: OVMF on a PC. ia32: OVMF32, shipped only as a Secure Boot build, which
# needs SMM and a secure flash; with its own store no keys are enrolled.
# aa64: AAVMF on QEMU's virt machine, whose screen is a ramfb and whose only
# keyboard is USB; its clock is the PL031 that -rtc sets.
FIRMWARE = {
    "x64": Firmware("OVMF", "qemu-system-x86_64", OVMF_CODE, OVMF_VARS, ["-machine", "q35"]),
    "ia32": Firmware("OVMF32", "qemu-system-i386", "/usr/share/OVMF/OVMF32_CODE_4M.secboot.fd",
                     "/usr/share/OVMF/OVMF32_VARS_4M.fd",
                     ["-machine", "q35,smm=on", "-global", "driver=cfi.pflash01,property=secure,value=on"]),
    "aa64": Firmware("AAVMF", "qemu-system-aarch64", "/usr/share/AAVMF/AAVMF_CODE.fd", "/usr/share/AAVMF/AAVMF_VARS.fd",
                     ["-machine", "virt", "-cpu", "cortex-a57"], display=["-device", "ramfb"], usb_only=True,
                     memory="512", xhci_address=None),
}
ANSI = re.compile(r"\x1b\[[0-9;]*[A-Za-z]")

# What vistrel.efi shows and writes, as the scripts here judge it.
BMP_SIZE = 54 + 800 * 600 * 3
BANNER = "       Screenshot Capturing ...      "
SAVE_ERROR = "        Saving File Error !!!        "
AT_STATUS_POSITION = "\x1b[14;21H"  # column 20, row 13, as ANSI on the serial console
# Scripts put `echo "VISTREL-STATUS %lasterror%"` after each run.
STATUS = re.compile(r"VISTREL-STATUS (0x[0-9A-Fa-f]+)")


def plain(text):
    """Serial text without ANSI escapes and carriage returns."""
    return ANSI.sub("", text).replace("\r", "")


class Disk:
    """A FAT file system on a whole raw disk image (no partition table), or
    a copy of a partitioned image whose FAT volume starts at `offset` bytes.

    `bus` is "ide" (q35's AHCI, the default), "virtio", "nvme" (placed
    first on q35's PCI bus, ahead of the xHCI controller) or "usb" (a USB
    stick on the xHCI controller); `readonly` needs virtio (QEMU refuses
    read-only AHCI disks). The image is made writable on the host either
    way, so files can be put there before the boot.
    """

    def __init__(self, path, size_mib=16, label="VISTREL", bus="ide", readonly=False, copy_of=None, offset=0):
        self.path = path
        self.bus = "virtio" if readonly else bus
        self.readonly = readonly
        self.volume = "%s@@%d" % (path, offset) if offset else path
        if os.path.exists(path):
            os.unlink(path)
        if copy_of:
            shutil.copyfile(copy_of, path)
        else:
            subprocess.run(["mkfs.fat", "-C", "-n", label, path, str(size_mib * 1024)],
                           check=True, stdout=subprocess.DEVNULL)

    def _m(self, *args, **kwargs):
        args = [self.volume if arg == self.path else arg for arg in args]
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

    def files(self, dos_dir="/", folders=False):
        """Long names of the files (or the folders) directly in a directory."""
        out = self._m("mdir", "-b", "-i", self.path, "::" + dos_dir.replace("\\", "/")).stdout.decode()
        return sorted(os.path.basename(line.rstrip("/")) for line in out.splitlines()
                      if line and line.endswith("/") == folders)

    def captures(self, dos_dir="/"):
        """The capture files directly in a directory."""
        return [name for name in self.files(dos_dir) if name.startswith("Vistrel_")]

    def free_bytes(self):
        out = self._m("mdir", "-i", self.path, "::/").stdout.decode()
        return int(re.search(r"([\d ]+) bytes free", out).group(1).replace(" ", ""))

    def read(self, dos_path):
        return self._m("mcopy", "-i", self.path, "::" + dos_path.replace("\\", "/"), "-").stdout

    def copy_out(self, dos_dir, local_dir):
        """A folder and everything in it, into local_dir (made if need be)."""
        os.makedirs(local_dir, exist_ok=True)
        self._m("mcopy", "-s", "-n", "-i", self.path, "::" + dos_dir.replace("\\", "/"), local_dir)

    def drive_args(self):
        """QEMU's -drive (and -device) for this disk."""
        if self.bus == "virtio":
            return ["-drive", "if=virtio,format=raw,file=%s%s" % (self.path, ",readonly=on" if self.readonly else "")]
        name = re.sub(r"\W", "", os.path.basename(self.path))
        if self.bus == "nvme":
            return ["-drive", "if=none,id=%s,format=raw,file=%s" % (name, self.path),
                    "-device", "nvme,drive=%s,serial=%s,addr=0x3" % (name, name[:20])]
        if self.bus == "usb":
            return ["-drive", "if=none,id=%s,format=raw,file=%s" % (name, self.path),
                    "-device", "usb-storage,bus=xhci.0,drive=%s" % name]
        return ["-drive", "file=%s,format=raw" % self.path]


class Boot:
    """One boot of the shell; `serial` holds what the console said."""

    def __init__(self, serial, returncode, seconds, timed_out=False):
        self.serial = serial
        self.text = plain(serial)
        self.returncode = returncode
        self.seconds = seconds
        self.timed_out = timed_out
        self.callback_error = None

    def after(self, marker):
        """The console text after the last occurrence of marker."""
        at = self.text.rfind(marker)
        return self.text[at + len(marker):] if at >= 0 else ""

    def closing_paths(self):
        """Every path the closing line "Generate File at:" named, in order."""
        return closing_paths(self.serial)

    def statuses(self):
        """The %lasterror% each run left, in order."""
        return STATUS.findall(self.text)


# The closing line has no newline after it: what the shell prints next (a
# prompt, or a script's echo) follows on the same line. The capture's name has
# a fixed shape, which ends the path; anything else is cut at the next escape
# sequence, line end or shell prompt.
CAPTURE_PATH = re.compile(r"Generate File at:([^\x1b\r\n]*?Vistrel_[0-9A-Fa-f]{6}_[0-9A-Fa-f]{6}\.bmp)")
PROMPT = re.compile(r"(?:Shell|FS\d+:[^>\x1b\r\n]*)> ")


def closing_paths(serial):
    """The paths named by the closing lines in raw serial text."""
    paths = []
    for at in [m.end() for m in re.finditer("Generate File at:", serial)]:
        named = CAPTURE_PATH.match(serial, at - len("Generate File at:"))
        if named:
            paths.append(named.group(1))
            continue
        rest = re.split(r"[\x1b\r\n]", serial[at:], maxsplit=1)[0]
        prompt = PROMPT.search(rest)
        paths.append(rest[:prompt.start()] if prompt else rest)
    return paths


def boot(workdir, disks, script, rtc=None, vga=True, timeout=120, extra_args=(), qmp_path=None,
         on_serial=None, readonly_virtio=None, display=None, stop_after=None, vars_store=None, session=None,
         usb_keyboard=False, arch="x64"):
    """Boots with the first disk holding startup.nsh; the script must end the
    machine (`reset -s`), or `stop_after`, a regular expression, names the
    console text after which the machine is stopped (for scripts that a
    refusal cuts short). Returns a Boot. `on_serial(text_so_far, qmp)` is
    called as serial text arrives, for scenarios that act during the run.
    `session(machine)` runs in a thread of its own while the machine runs,
    for scenarios that act step by step (see Machine); the machine is stopped
    when it returns. Disks are attached in order, each on its own bus (see
    Disk); `display` is a QEMU display back end ("gtk", "sdl"), none by
    default. The firmware's variable store is a fresh copy of OVMF's, or the
    file `vars_store` names, kept as the firmware leaves it, so that boot
    options set in one boot (`bcfg`) are there in the next. `usb_keyboard`
    makes a USB keyboard on xHCI the machine's only one (no PS/2 controller);
    QMP's send-key then types on it, the serial port as ever. `arch` picks
    the machine and firmware (see FIRMWARE); `vga` False means no screen.
    """
    firmware = FIRMWARE[arch]
    usb_keyboard = usb_keyboard or firmware.usb_only
    if script is not None:
        disks[0].put_text(script, "/startup.nsh")
    vars_copy = vars_store or os.path.join(workdir, "vars.fd")
    if not (vars_store and os.path.exists(vars_store)):
        shutil.copyfile(firmware.variables, vars_copy)
    machine = list(firmware.machine)
    if usb_keyboard and not firmware.usb_only:
        machine[1] += ",i8042=off"
    args = [firmware.qemu] + machine + ["-m", firmware.memory, "-nodefaults", "-no-reboot",
                                        "-display", display or "none", "-monitor", "none", "-serial", "stdio",
                                        "-drive", "if=pflash,format=raw,readonly=on,file=" + firmware.code,
                                        "-drive", "if=pflash,format=raw,file=" + vars_copy]
    if firmware.display:
        args += firmware.display if vga else []
    else:
        args += ["-vga", "std"] if vga else ["-vga", "none"]
    if usb_keyboard or any(getattr(disk, "bus", None) == "usb" for disk in disks):
        address = ",addr=" + firmware.xhci_address if firmware.xhci_address else ""
        args += ["-device", "qemu-xhci,id=xhci" + address]
    if usb_keyboard:
        args += ["-device", "usb-kbd,bus=xhci.0"]
    for disk in disks:
        args += disk.drive_args() if hasattr(disk, "drive_args") else ["-drive", "file=%s,format=raw" % disk.path]
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
    stop = threading.Event()

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
            if stop_after and re.search(stop_after, plain(text)):
                stop.set()
            if on_serial and not state.get("callback_error"):
                try:
                    on_serial(text, qmp)
                except Exception as failure:  # keep reading: QEMU must not block on a full pipe
                    state["callback_error"] = "%s: %s" % (type(failure).__name__, failure)

    thread = threading.Thread(target=reader, daemon=True)
    thread.start()
    if session:
        def run_session():
            try:
                session(Machine(process, chunks, qmp))
            except Exception as failure:
                state["callback_error"] = "%s: %s" % (type(failure).__name__, failure)
            stop.set()
        threading.Thread(target=run_session, daemon=True).start()
    timed_out = False
    deadline = started + timeout
    while process.poll() is None:
        if stop.wait(0.1):
            time.sleep(1)  # let the shell finish its line
            process.kill()
        elif time.monotonic() > deadline:
            timed_out = True
            process.kill()
    process.wait()
    thread.join(timeout=5)
    if qmp:
        qmp.close()
    result = Boot("".join(chunks), process.returncode, time.monotonic() - started, timed_out)
    result.callback_error = state.get("callback_error")  # what on_serial raised, if anything
    return result


class Machine:
    """A running boot as a session sees it: the console so far, the serial
    port to type on, and QMP (None without `qmp_path`)."""

    def __init__(self, process, chunks, qmp):
        self._process = process
        self._chunks = chunks
        self.qmp = qmp

    def text(self, since=0):
        """The console text so far, or after a mark()."""
        return plain("".join(self._chunks))[since:]

    def mark(self):
        """Where the console text ends now, for text(since) and wait_for(since)."""
        return len(self.text())

    def wait_for(self, pattern, timeout, since=0):
        """Waits until the console text (after the mark `since`) matches the
        regular expression; returns the match."""
        deadline = time.monotonic() + timeout
        while not re.search(pattern, self.text(since)):
            if time.monotonic() > deadline or self._process.poll() is not None:
                raise RuntimeError("%r not on the console after %d s" % (pattern, timeout))
            time.sleep(0.1)
        return re.search(pattern, self.text(since))

    def type(self, text):
        """Keys typed on the serial console ("\\r" for Enter)."""
        self._process.stdin.write(text.encode())
        self._process.stdin.flush()


class Qmp:
    """A minimal QMP client for `screendump` and `send-key`."""

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

    def screendump(self, path):
        """The whole screen as a PPM file at path; raises if QEMU refused."""
        reply = self.command("screendump", filename=path)
        if "error" in reply:
            raise RuntimeError("screendump: %s" % reply["error"])

    def send_key(self, *qcodes, hold_ms=100):
        """Presses the keys together on the machine's keyboard, as QEMU's
        qcodes ("ctrl", "alt", "f12")."""
        reply = self.command("send-key", keys=[{"type": "qcode", "data": key} for key in qcodes],
                             **{"hold-time": hold_ms})
        if "error" in reply:
            raise RuntimeError("send-key: %s" % reply["error"])

    def close(self):
        if self.sock:
            self.sock.close()


class ScreenDumper:
    """An on_serial callback: when `marker` and its line end appear on the
    console, it waits `settle` seconds and takes two screen dumps `apart`
    seconds apart (`<prefix>-1.ppm`, `<prefix>-2.ppm`). Equal dumps show the
    screen was still. The script must keep the screen still for longer
    (`stall`) after echoing the marker, with `@echo -off` so that the next
    command line is not echoed.
    """

    def __init__(self, marker, prefix, settle=0.4, apart=0.4):
        self.marker = marker + "\r\n"
        self.paths = [prefix + "-1.ppm", prefix + "-2.ppm"]
        self.settle = settle
        self.apart = apart
        self.done = False
        self.error = None

    def __call__(self, text, qmp):
        if self.done or self.marker not in text:
            return
        self.done = True
        try:
            time.sleep(self.settle)
            qmp.screendump(self.paths[0])
            time.sleep(self.apart)
            qmp.screendump(self.paths[1])
        except (OSError, RuntimeError) as failure:
            self.error = str(failure)


def read_pnm(data):
    """(width, height, RGB bytes) of a binary PPM (P6) or PGM (P5), maxval 255."""
    fields = []
    at = 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    at += 1  # the single whitespace before the raster
    magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    if maxval != 255 or magic not in (b"P6", b"P5"):
        raise ValueError("unsupported PNM %r maxval %d" % (magic, maxval))
    channels = 3 if magic == b"P6" else 1
    raster = data[at:at + width * height * channels]
    if len(raster) != width * height * channels:
        raise ValueError("short PNM raster")
    if channels == 1:
        raster = bytes(b for value in raster for b in (value, value, value))
    return width, height, raster


# vistrel-hotkey.efi: its key as QEMU qcodes, and the square it shows at the
# screen's top-left corner after a capture, green when the file was saved and
# red when not.
HOTKEY = ("ctrl", "alt", "f12")
# OVMF's front page after the shell's `exit`, once drawn: its key help comes
# late, and the mode switch alone can take a second after the first line.
FRONT_PAGE = r'starting Boot0000 "UiApp"[\s\S]*=Select Entry'
SQUARE = 24
SQUARE_COLOURS = {b"\x00\xff\x00": "green", b"\xff\x00\x00": "red"}


def dump_screen(qmp, path):
    """The screen as (width, height, RGB bytes), also left at path as a PPM."""
    qmp.screendump(path)
    with open(path, "rb") as f:
        return read_pnm(f.read())


def square_colour(screen):
    """"green" or "red" when the top-left square is all of that colour, else None."""
    width, _, raster = screen
    first = raster[:3]
    if first not in SQUARE_COLOURS:
        return None
    rows = (raster[y * width * 3:(y * width + SQUARE) * 3] for y in range(SQUARE))
    return SQUARE_COLOURS[first] if all(row == first * SQUARE for row in rows) else None


class HotkeyPress:
    """The presses of one press_hotkey as the screen and console showed them:
    `before` and `after` are screens (see dump_screen) also kept as
    <prefix>-before.ppm and <prefix>-after.ppm; `squares` one
    (colour, to_square, shown) per square seen, in order: its colour, seconds
    from the first key to it, and how long it stayed (None if it never went);
    `console` the words the serial port printed meanwhile that it had not
    printed before (the front page repaints its help text on any key)."""

    def __init__(self):
        self.squares = []


def still_screen(machine, path, timeout=30, apart=0.5):
    """Dumps the screen until two dumps `apart` seconds apart agree with
    nothing printed between them: the front page's drawing pauses for longer
    than that while its text still goes to the serial port."""
    screen, console = dump_screen(machine.qmp, path), machine.text()
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        time.sleep(apart)
        previous, screen = screen, dump_screen(machine.qmp, path)
        previous_console, console = console, machine.text()
        if screen == previous and console == previous_console:
            return screen
    raise RuntimeError("the screen did not keep still for %.1f s within %d s" % (apart, timeout))


# OVMF's own menus as the serial console shows them, where its cursor moves
# are gone: the Boot Manager page lists its boot options between its title
# and its help text, each padded with spaces to the page's width.
UI_STARTED = 'starting Boot0000 "UiApp"'
FRONT_PAGE_DRAWN = r"Select Language[\s\S]*=Select Entry"
BOOT_MANAGER = r"Boot Manager Menu\s+([\s\S]*?)\s+Use the <\^> and <v> keys[\s\S]*?=Select Entry"
# What the stick's launcher prints last before it waits for a key: the end of
# its offer of the settings walk, of the line after the walk, or, where the
# walk is not offered, of the old two lines.
LAUNCHER_WAITS = r"(?:wait \d+ seconds, to go back to|Then open the screen you want from) the firmware's menus\."
WALK_OFFERED = "Press F to save every settings page"
WALK_DONE = r"Press any key, or wait \d+ seconds, to go back to the firmware's menus\."


def enter_front_page(machine, timeout=60):
    """From power-on into the firmware's own UI: ESC is read only while the
    logo is up, a fraction of a second before a bootable disk starts, so it
    is pressed every 0.3 s until the UI starts; surplus presses do no harm
    there. Returns once the front page is drawn."""
    deadline = time.monotonic() + timeout
    while UI_STARTED not in machine.text():
        if time.monotonic() > deadline:
            raise RuntimeError("the firmware's UI did not start within %d s" % timeout)
        try:
            machine.qmp.send_key("esc")
        except (OSError, RuntimeError):
            pass  # QMP may refuse the first moments after power-on
        time.sleep(0.3)
    machine.wait_for(FRONT_PAGE_DRAWN, 30, since=machine.text().rfind(UI_STARTED))


def open_boot_manager(machine):
    """From the front page (cursor on its first line) to the Boot Manager
    page; returns its boot options, in order."""
    since = machine.mark()
    for key in ("down", "down", "ret"):
        machine.qmp.send_key(key)
        time.sleep(0.4)
    return boot_options(machine.wait_for(BOOT_MANAGER, 30, since=since))


def boot_options(page):
    return [option for option in re.split(r"\s{2,}|\n", page.group(1).strip()) if option]


def choose_boot_option(machine, options, pattern, cursor=0, before_enter=None):
    """Starts the first boot option matching `pattern` from the Boot Manager
    page, whose cursor is on option `cursor`; returns the option's index.
    `before_enter()` is called with the cursor on the option."""
    index = next(i for i, option in enumerate(options) if re.search(pattern, option))
    for _ in range(abs(index - cursor)):
        machine.qmp.send_key("down" if index > cursor else "up")
        time.sleep(0.4)
    if before_enter:
        before_enter()
    machine.qmp.send_key("ret")
    return index


def pass_launcher(machine, timeout=60, walk=False, stop_walk=False):
    """Waits for the stick's launcher to finish its message and answers it
    as the user does: with any other key, or, with `walk`, with F, which
    starts the settings walk; `stop_walk` presses ESC once the walk reaches
    its second form set. After the walk a key hands the machine back.
    Returns what the launcher (and the walk) said."""
    since = machine.mark()
    machine.wait_for(LAUNCHER_WAITS, timeout, since=since)
    if walk:
        if WALK_OFFERED not in machine.text(since):
            raise RuntimeError("the launcher did not offer the settings walk")
        # The launcher empties the keyboard as it starts to wait: an F that
        # comes just then is lost, so F is pressed again until the walk (or
        # the line after it) shows. The walk ignores a second F.
        deadline = time.monotonic() + timeout
        while not re.search(r"Form set 1/|" + WALK_DONE, machine.text(since)):
            if time.monotonic() > deadline:
                raise RuntimeError("F did not start the settings walk within %d s" % timeout)
            machine.qmp.send_key("f")
            try:
                machine.wait_for(r"Form set 1/|" + WALK_DONE, 4, since=since)
            except RuntimeError:
                pass
        if stop_walk:
            machine.wait_for(r"Form set 2/", timeout, since=since)
            machine.qmp.send_key("esc")
        machine.wait_for(WALK_DONE, timeout, since=since)
    message = machine.text(since)
    machine.qmp.send_key("spc")
    return message[message.find("Vistrel "):]


def handed_back(machine):
    """Where the console text stood when the launcher last waited for a key,
    for wait_for(since=...): what the firmware drew after it."""
    return [found.end() for found in re.finditer(LAUNCHER_WAITS, machine.text())][-1]


def press_hotkey(machine, prefix, timeout=30, again_after=None):
    """Presses the hotkey on a still screen and watches the square come and
    go, dumping the screen every few hundredths of a second (a dump takes
    about as long); `again_after` seconds later it presses again, while that
    capture runs, and then watches for the second capture's square as well.
    Returns a HotkeyPress."""
    press = HotkeyPress()
    press.before = still_screen(machine, prefix + "-before.ppm")
    console = machine.text()
    expected = 2 if again_after else 1
    machine.qmp.send_key(*HOTKEY)
    pressed = time.monotonic()
    if again_after:
        time.sleep(again_after)
        machine.qmp.send_key(*HOTKEY)
    showing = None  # (colour, when) of the square on the screen now
    while time.monotonic() - pressed < timeout and len(press.squares) < expected:
        colour = square_colour(dump_screen(machine.qmp, prefix + "-watch.ppm"))
        now = time.monotonic() - pressed
        if colour and showing is None:
            showing = (colour, now)
        elif showing and not colour:
            press.squares.append((showing[0], showing[1], now - showing[1]))
            showing = None
        time.sleep(0.02)
    if showing:
        press.squares.append((showing[0], showing[1], None))
    time.sleep(0.5)
    press.after = dump_screen(machine.qmp, prefix + "-after.ppm")
    earlier = set(console.split())
    press.console = " ".join(word for word in machine.text()[len(console):].split() if word not in earlier)
    return press


# vistrel-forms.efi: what its listing and closing line say, and the check a
# walk's folder must pass.
FORMS_LISTING = re.compile(r"Form sets: (\d+), forms: (\d+);")
# The closing line's fields, named as the tool's summary names them.
FORMS_CLOSING = re.compile(r"(?P<forms>\d+) forms: (?P<screens>\d+) screens, (?P<skipped>\d+) skipped, "
                           r"(?P<failed>\d+) failed(?P<ending>[^(\n]*) \((?P<minutes>\d+):(?P<seconds>\d\d)\)\. "
                           r"In \\(?P<folder>Vistrel_forms_\d{6}_\d{6}(?:_\d+)?): index\.html, index\.txt")


def check_forms_index(folder, forms):
    """Every <img> in index.html names a PNG in the folder (a local copy of a
    walk's), and index.html has one entry for each of the `forms` the closing
    line counts. Returns the entries (their HTML) and the images named;
    raises ValueError otherwise."""
    with open(os.path.join(folder, "index.html"), encoding="utf-8") as f:
        page = f.read()
    entries = page.split('<section class="form">')[1:]
    images = re.findall(r'<img src="([^"]+)"', page)
    files = set(os.listdir(folder))
    missing = [name for name in images if name not in files or not name.endswith(".png")]
    if missing:
        raise ValueError("index.html names images the folder lacks: %s" % missing[:5])
    if len(entries) != forms:
        raise ValueError("index.html has %d entries, the closing line counts %d forms" % (len(entries), forms))
    return entries, images
