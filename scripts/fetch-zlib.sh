#!/usr/bin/env bash
# zlib's Debian source package, with Debian's patches applied, in deps/zlib
# (git-ignored), for the driver to compile: fetched with `apt-get source`
# through a private apt configuration, unpacked with `dpkg-source -x`. Quick
# when it is there.
set -euo pipefail
DEPS="$(cd "$(dirname "$0")/.." && pwd)/deps"
TARGET=$DEPS/zlib
if [ -f "$TARGET/deflate.c" ] && [ -f "$TARGET/debian/changelog" ]; then
  exit 0
fi
. "$(dirname "$0")/private-apt.sh"
APT_DIR=$DEPS/apt-src
private_apt "$APT_DIR" deb-src
mkdir -p "$APT_DIR/archives"
(cd "$APT_DIR/archives" && "${APT[@]}" source --download-only zlib)
# Unpacked aside and moved into place whole, so that an interrupted fetch is
# fetched again.
rm -rf "$TARGET" "$APT_DIR/unpacked"
(cd "$APT_DIR" && dpkg-source --no-check -x archives/zlib_*.dsc unpacked > /dev/null)
mv "$APT_DIR/unpacked" "$TARGET"
echo "zlib source: $(head -n 1 "$TARGET/debian/changelog")"
# The package index is large and needed only for the next fetch.
rm -rf "$APT_DIR"
