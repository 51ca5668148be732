#!/usr/bin/env bash
# gnu-efi's arm64 and i386 builds, for the AArch64 and IA32 images: Debian's
# packages downloaded through a private apt configuration and unpacked into
# deps/gnu-efi-<arch>/. The machine's own apt and dpkg set-up is not touched
# (no `dpkg --add-architecture`). Quick when both are there.
set -euo pipefail
DEPS="$(cd "$(dirname "$0")/.." && pwd)/deps"
ARCHES=(arm64 i386)

missing=()
for arch in "${ARCHES[@]}"; do
  [ -f "$DEPS/gnu-efi-$arch/usr/lib/libgnuefi.a" ] || missing+=("$arch")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
echo "Fetching gnu-efi for: ${missing[*]}"

. "$(dirname "$0")/private-apt.sh"
APT_DIR="$DEPS/apt-cross"
private_apt "$APT_DIR" deb "${missing[@]}"
for arch in "${missing[@]}"; do
  # apt-get download checks the file against the signed index and writes it
  # into the current folder.
  mkdir -p "$APT_DIR/$arch"
  (cd "$APT_DIR/$arch" && "${APT[@]}" download "gnu-efi:$arch")
  # Unpacked aside and moved into place whole, so that an interrupted fetch
  # is fetched again.
  rm -rf "$DEPS/gnu-efi-$arch" "$APT_DIR/unpacked"
  dpkg-deb -x "$APT_DIR/$arch"/gnu-efi_*.deb "$APT_DIR/unpacked"
  mv "$APT_DIR/unpacked" "$DEPS/gnu-efi-$arch"
done
# The package indexes are large and needed only for the next fetch.
rm -rf "$APT_DIR"
