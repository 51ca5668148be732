#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, and
# fetches the Debian source the driver compiles in (zlib). Idempotent and
# quick when everything is there: apt-get runs only for what is missing.
set -euo pipefail

PACKAGES=(
  # build; dpkg-dev unpacks zlib's source package
  cmake make g++ binutils gnu-efi libgtest-dev dpkg-dev
  # the AArch64 and IA32 images (gnu-efi for them: scripts/fetch-gnu-efi.sh)
  g++-aarch64-linux-gnu gcc-aarch64-linux-gnu g++-i686-linux-gnu gcc-i686-linux-gnu
  # firmware tests and the demo
  qemu-system-x86 ovmf mtools dosfstools python3 python3-pil netpbm imagemagick
  qemu-system-arm qemu-efi-aarch64 ovmf-ia32
  # the stick's partition table, read back by its test (sfdisk)
  fdisk
  # lint, sanitizers, fuzzing, benchmarks; libpng (with zlib) decodes in the
  # tests and is the benchmark's yardstick
  clang clang-tidy cppcheck libclang-rt-14-dev libbenchmark-dev libpng-dev zlib1g-dev
  # signing
  sbsigntool efitools openssl
)

missing=()
for package in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# What is compiled into the images beside the project's own sources, fetched
# once into deps/: zlib's source, and gnu-efi for the other architectures.
"$(dirname "$0")/fetch-zlib.sh"
"$(dirname "$0")/fetch-gnu-efi.sh"
