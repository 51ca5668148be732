#!/usr/bin/env python3
"""The stick as a user's tools see it: sfdisk reads one FAT32 partition
(type 0x0C) from 1 MiB in an image of at most 64 MiB, zero-filled where
empty; mtools and the zip list the tree the builder wrote in its manifest,
byte for byte: every built image given (each launcher in EFI/BOOT, no other
file there), each its own file, and README.TXT, which names each of them.
The release files in BUILD/dist give the image and the zip back, and their
sums check.

    check_stick.py BUILD vistrel-VERSION.zip MANIFEST IMAGE...
"""
import gzip
import json
import os
import subprocess
import sys
import zipfile


def release_files(build, image, zip_name):
    """What's wrong with BUILD/dist: the gzipped image, with neither name nor
    time in its header, must give the image back; the zip must be the build's;
    SHA256SUMS must list both, sorted, as sha256sum -c reads them."""
    dist = os.path.join(build, "dist")
    gz_name = zip_name.replace("vistrel-", "vistrel-stick-", 1)[:-len(".zip")] + ".img.gz"
    failures = []
    with open(os.path.join(dist, gz_name), "rb") as f:
        compressed = f.read()
    if compressed[3] & 0x08 or compressed[4:8] != b"\0\0\0\0":
        failures.append("%s keeps a file name or a time" % gz_name)
    with open(image, "rb") as f:
        if gzip.decompress(compressed) != f.read():
            failures.append("%s does not give the image back" % gz_name)
    with open(os.path.join(build, zip_name), "rb") as built, open(os.path.join(dist, zip_name), "rb") as copy:
        if built.read() != copy.read():
            failures.append("dist/%s is not the build's" % zip_name)
    with open(os.path.join(dist, "SHA256SUMS")) as f:
        names = [line.split("  ", 1)[1].rstrip("\n") for line in f]
    checked = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=dist, capture_output=True)
    if names != sorted([gz_name, zip_name]) or checked.returncode:
        failures.append("SHA256SUMS lists %s: %s" % (names, checked.stdout.decode().strip()))
    return failures


def main():
    build, zip_name, manifest, images = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    image = os.path.join(build, "vistrel-stick.img")
    failures = []
    if os.path.getsize(image) > 64 << 20:
        failures.append("the image is %d bytes, over 64 MiB" % os.path.getsize(image))
    table = json.loads(subprocess.run(["sfdisk", "--json", image], check=True, capture_output=True).stdout)
    partitions = table["partitiontable"]["partitions"]
    if [(p["start"], p["type"]) for p in partitions] != [(2048, "c")]:
        failures.append("sfdisk read %s, one FAT32 (LBA) partition from sector 2048 expected" % partitions)

    with open(manifest) as f:
        expected = dict(json.load(f))
    sources, wanted = {local or path for path, local in expected.items()}, set(images) | {"README.TXT"}
    if sources != wanted:
        failures.append("the stick lacks %s and holds %s besides"
                        % (sorted(wanted - sources), sorted(sources - wanted)))
    misplaced = sorted(path for path, local in expected.items()
                       if path.startswith("EFI/BOOT/") != (os.path.basename(local or "") == "vistrel-launcher.efi"))
    if misplaced:
        failures.append("launchers outside EFI/BOOT or other files in it: %s" % misplaced)
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1")
    with zipfile.ZipFile(os.path.join(build, zip_name)) as archive:
        files = sorted(name for name in archive.namelist() if not name.endswith("/"))
        if files != sorted(expected):
            failures.append("the zip holds %s" % files)
        for name in files:
            on_stick = subprocess.run(["mcopy", "-i", image + "@@1M", "::/" + name, "-"], env=env,
                                      capture_output=True).stdout
            if archive.read(name) != on_stick:
                failures.append("%s differs between the zip and the image" % name)
            if expected.get(name) and open(expected[name], "rb").read() != on_stick:
                failures.append("%s is not %s" % (name, expected[name]))
        readme = archive.read("README.TXT").decode("ascii")
        if "Ctrl+Alt+F12" not in readme or "\r\n" not in readme:
            failures.append("README.TXT is not the instructions, with DOS line ends")
        unlisted = sorted({os.path.basename(name) for name in files if os.path.basename(name) not in readme}
                          - {"README.TXT"})
        if unlisted:
            failures.append("README.TXT does not list %s" % unlisted)
    failures += release_files(build, image, zip_name)
    with open(image, "rb") as f:
        f.seek(48 << 20)
        if f.read(1 << 20).strip(b"\0"):
            failures.append("the image's empty space is not zero")
    for failure in failures:
        print("FAILED:", failure)
    if not failures:
        print("stick: one FAT32 partition from 1 MiB in %d MiB; %d files alike in the image and %s; "
              "dist/ gives both back" % (os.path.getsize(image) >> 20, len(files), zip_name))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
