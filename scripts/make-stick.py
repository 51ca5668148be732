#!/usr/bin/env python3
"""Builds the USB stick: a disk image to write to a stick as it is, and a zip
of the same files to unpack onto a stick already formatted FAT.

    make-stick.py --version VERSION --release-date YYYY-MM-DD
                  --architecture NAME BOOT_FILE FOLDER [--architecture ...]
                  --image OUT.img [--zip OUT.zip] [--manifest OUT.json] [--signed]

The build (cmake/Stick.cmake) gives the version, the release date and, for
each architecture, its folder name on the stick, its firmware's boot file
name and the folder holding its images; --signed takes their *.signed.efi
instead. The image is 64 MiB: an MBR with one FAT32 partition (type 0x0C,
which Windows gives a drive letter) from 1 MiB, made with mtools, zeros where
empty. Both outputs are reproducible: file times from the release date (or
SOURCE_DATE_EPOCH), fixed disk signature and volume serial, files copied in
sorted order. No root and no loop device. The manifest lists the tree both
hold, [path on the stick, local file] (null for README.TXT), for the stick's
test to hold them to.
"""
import argparse
import calendar
import json
import os
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SECTOR = 512
IMAGE_SECTORS = 64 * 1024 * 1024 // SECTOR
FIRST_SECTOR = 2048  # 1 MiB: where partitioning tools start, aligned for flash
PARTITION_SECTORS = IMAGE_SECTORS - FIRST_SECTOR
DISK_SIGNATURE = 0x56495354  # "VIST"
VOLUME_SERIAL = "56495354"
LABEL = "VISTREL"
HEADS, SECTORS_PER_TRACK = 255, 63


def file_time(release_date):
    """Seconds since 1970 for the files: SOURCE_DATE_EPOCH, or the release date."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    return int(epoch) if epoch else calendar.timegm(time.strptime(release_date, "%Y-%m-%d"))


def tree(architectures, signed, readme):
    """(path on the stick, local file) for every file, sorted by stick path;
    architectures are (name, boot file, folder of its images)."""
    suffix = ".signed.efi" if signed else ".efi"
    files = [("README.TXT", readme)]
    for arch, boot_name, folder in architectures:
        files.append(("EFI/BOOT/" + boot_name, os.path.join(folder, "vistrel-launcher" + suffix)))
        for image in ("vistrel-hotkey", "vistrel", "vistrel-forms"):
            files.append(("vistrel/%s/%s.efi" % (arch, image), os.path.join(folder, image + suffix)))
    for _, local in files:
        if not os.path.isfile(local):
            sys.exit("make-stick: %s is missing; build (and, for --signed, sign) the images first" % local)
    return sorted(files)


def folders(files):
    """Every folder the files need, parents first."""
    needed = set()
    for path, _ in files:
        parts = path.split("/")[:-1]
        for depth in range(1, len(parts) + 1):
            needed.add("/".join(parts[:depth]))
    return sorted(needed)


def chs(lba):
    """An MBR's cylinder-head-sector bytes for a sector, in the geometry
    mformat writes to the boot sector."""
    cylinder, rest = divmod(lba, HEADS * SECTORS_PER_TRACK)
    head, sector = divmod(rest, SECTORS_PER_TRACK)
    if cylinder > 1023:
        return bytes([0xFE, 0xFF, 0xFF])
    return bytes([head, (sector + 1) | ((cylinder >> 8) << 6), cylinder & 0xFF])


def master_boot_record():
    entry = (bytes([0x00]) + chs(FIRST_SECTOR) + bytes([0x0C]) + chs(IMAGE_SECTORS - 1)
             + struct.pack("<II", FIRST_SECTOR, PARTITION_SECTORS))
    mbr = bytearray(SECTOR)
    struct.pack_into("<I", mbr, 440, DISK_SIGNATURE)
    mbr[446:462] = entry
    mbr[510:512] = b"\x55\xaa"
    return bytes(mbr)


def make_image(path, files, epoch):
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", SOURCE_DATE_EPOCH=str(epoch), TZ="UTC")
    partition = "%s@@%d" % (path, FIRST_SECTOR * SECTOR)

    def mtools(*args):
        subprocess.run(list(args), check=True, env=env, stdout=subprocess.DEVNULL)

    with open(path, "wb") as f:
        f.write(master_boot_record())
        f.truncate(IMAGE_SECTORS * SECTOR)
    mtools("mformat", "-i", partition, "-F", "-T", str(PARTITION_SECTORS), "-h", str(HEADS), "-s",
           str(SECTORS_PER_TRACK), "-H", str(FIRST_SECTOR), "-c", "1", "-N", VOLUME_SERIAL, "-v", LABEL, "::")
    for folder in folders(files):
        mtools("mmd", "-i", partition, "::/" + folder)
    for stick_path, local in files:
        mtools("mcopy", "-i", partition, local, "::/" + stick_path)


def make_zip(path, files, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(path + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        entries = [(folder + "/", None) for folder in folders(files)] + files
        for stick_path, local in sorted(entries):
            info = zipfile.ZipInfo(stick_path, stamp)
            info.create_system = 3
            if local is None:
                info.external_attr = (0o40755 << 16) | 0x10
                archive.writestr(info, b"")
            else:
                info.external_attr = 0o100644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(local, "rb") as f:
                    archive.writestr(info, f.read())
    os.replace(path + ".part", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--release-date", required=True)
    parser.add_argument("--architecture", nargs=3, action="append", required=True,
                        metavar=("NAME", "BOOT_FILE", "FOLDER"))
    parser.add_argument("--image", required=True)
    parser.add_argument("--zip")
    parser.add_argument("--manifest")
    parser.add_argument("--signed", action="store_true")
    options = parser.parse_args()
    epoch = file_time(options.release_date)
    with tempfile.TemporaryDirectory() as work:
        readme = os.path.join(work, "README.TXT")
        with open(os.path.join(ROOT, "scripts", "stick", "README.TXT")) as f:
            text = f.read().replace("@VERSION@", options.version)
        with open(readme, "w", newline="\r\n") as f:
            f.write(text)
        files = tree(options.architecture, options.signed, readme)
        make_image(options.image + ".part", files, epoch)
        os.replace(options.image + ".part", options.image)
        if options.zip:
            make_zip(options.zip, files, epoch)
    if options.manifest:
        with open(options.manifest, "w") as f:
            f.write("[\n%s\n]\n" % ",\n".join(json.dumps([path, None if path == "README.TXT" else local])
                                                for path, local in files))
    print("stick: %s%s (%d files, version %s)" % (options.image, " and " + options.zip if options.zip else "",
                                                   len(files), options.version))


if __name__ == "__main__":
    main()
