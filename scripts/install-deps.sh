#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent and quick when everything is there: apt-get runs only for what
# is missing.
set -euo pipefail

PACKAGES=(
  # build
  cmake make g++ binutils gnu-efi libgtest-dev
  # the AArch64 and IA32 images (gnu-efi for them: scripts/fetch-gnu-efi.sh)
  g++-aarch64-linux-gnu g++-i686-linux-gnu
  # firmware tests and the demo
  qemu-system-x86 ovmf mtools dosfstools python3 python3-pil netpbm imagemagick
  qemu-system-arm qemu-efi-aarch64 ovmf-ia32
  # lint, sanitizers, fuzzing, benchmarks
  clang clang-tidy cppcheck libclang-rt-14-dev libbenchmark-dev
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

"$(dirname "$0")/fetch-gnu-efi.sh"
