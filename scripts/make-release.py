#!/usr/bin/env python3
"""Writes the release files from a build's stick: the image gzipped, the zip,
and SHA256SUMS.

    make-release.py BUILD DIST VERSION

VERSION is the build's (cmake/Stick.cmake). DIST gets
vistrel-stick-VERSION.img.gz (BUILD/vistrel-stick.img, which image writers
such as Raspberry Pi Imager, balenaEtcher and Rufus open as it is),
vistrel-VERSION.zip (a copy of BUILD's), and SHA256SUMS of both in
sha256sum's format, sorted by name (`sha256sum -c SHA256SUMS` checks them).
Files already in DIST by other names are left alone. Reproducible as the stick
is: gzip -9n keeps no file name and no time.
"""
import hashlib
import os
import shutil
import subprocess
import sys


def gzip(source, target):
    with open(target, "wb") as f:
        subprocess.run(["gzip", "-9n", "-c", source], stdout=f, check=True)


def sums(target, folder, names):
    with open(target, "w", newline="\n") as f:
        for name in sorted(names):
            with open(os.path.join(folder, name), "rb") as data:
                f.write("%s  %s\n" % (hashlib.sha256(data.read()).hexdigest(), name))


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: make-release.py BUILD DIST VERSION")
    build, dist, release = sys.argv[1:]
    image = os.path.join(build, "vistrel-stick.img")
    archive = os.path.join(build, "vistrel-%s.zip" % release)
    for needed in (image, archive):
        if not os.path.isfile(needed):
            sys.exit("make-release: %s is missing; build the stick first" % needed)
    os.makedirs(dist, exist_ok=True)
    names = ["vistrel-stick-%s.img.gz" % release, os.path.basename(archive)]
    # Each file is written whole or not at all, so a failed run leaves no
    # half file that a user or SHA256SUMS would take for a good one.
    for name, produce in ((names[0], lambda part: gzip(image, part)),
                          (names[1], lambda part: shutil.copyfile(archive, part)),
                          ("SHA256SUMS", lambda part: sums(part, dist, names))):
        produce(os.path.join(dist, name + ".part"))
        os.replace(os.path.join(dist, name + ".part"), os.path.join(dist, name))
    print("release: %s (%s)" % (dist, ", ".join(sorted(names) + ["SHA256SUMS"])))


if __name__ == "__main__":
    main()
