#!/usr/bin/env bash
# Puts zlib's Debian source package, with Debian's patches applied, in
# deps/zlib (git-ignored) when it is not there yet. A private apt
# configuration under deps/apt-src lists Debian's source packages, so the
# machine's own apt sources stay as they are; apt checks the files against
# the signed index.
set -euo pipefail
cd "$(dirname "$0")/.."

TARGET=deps/zlib
if [ -f "$TARGET/deflate.c" ] && [ -f "$TARGET/debian/changelog" ]; then
  exit 0
fi

# The machine's own Debian mirror and release.
MIRROR=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\/debian\)$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1 || true)
if [ -z "$MIRROR" ]; then
  MIRROR=$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*\/debian\)[[:space:]].*/\2/p' /etc/apt/sources.list 2>/dev/null | head -n 1 || true)
fi
MIRROR=${MIRROR:-http://deb.debian.org/debian}
SUITE=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")

APT=$PWD/deps/apt-src
mkdir -p "$APT/lists/partial" "$APT/archives"
cat > "$APT/src.sources" <<SOURCES
Types: deb-src
URIs: $MIRROR
Suites: $SUITE
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
OPTIONS=(-o APT::Sandbox::User=root -o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$APT" -o "Dir::State::Lists=$APT/lists")

echo "Fetching zlib's source package from $MIRROR ($SUITE)"
apt-get "${OPTIONS[@]}" -q update > /dev/null
rm -f "$APT"/archives/zlib_*
(cd "$APT/archives" && apt-get "${OPTIONS[@]}" -q source --download-only zlib)
rm -rf "$TARGET" "$TARGET.new"
dpkg-source --no-check -x "$APT"/archives/zlib_*.dsc "$TARGET.new" > /dev/null
mv "$TARGET.new" "$TARGET"
echo "zlib source: $(head -n 1 "$TARGET/debian/changelog")"
