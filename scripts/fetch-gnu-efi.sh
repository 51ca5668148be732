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

# The machine's own Debian mirror and release, signed by Debian's key.
. /etc/os-release
# From the sources themselves (no release files): a fresh machine has none yet.
MIRROR=$(apt-get indextargets --no-release-info --format '$(REPO_URI)' 'Identifier: Packages' "Release: $VERSION_CODENAME" | sed -n 1p)
if [ -z "$MIRROR" ]; then
  echo "no apt source for $VERSION_CODENAME to fetch gnu-efi from" >&2
  exit 1
fi
APT_DIR="$DEPS/apt-cross"
rm -rf "$APT_DIR"
mkdir -p "$APT_DIR/lists/partial"
cat > "$APT_DIR/cross.sources" <<SOURCES
Types: deb
URIs: $MIRROR
Suites: $VERSION_CODENAME
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
APT=(apt-get -q -o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$APT_DIR"
     -o "Dir::State::Lists=$APT_DIR/lists" -o "APT::Sandbox::User=$(id -un)"
     -o "APT::Architecture=${missing[0]}" -o "APT::Architectures::=")
for arch in "${missing[@]}"; do
  APT+=(-o "APT::Architectures::=$arch")
done
"${APT[@]}" update
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
