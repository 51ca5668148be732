#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent and quick when everything is there: apt-get runs only for what
# is missing.
set -euo pipefail

PACKAGES=(
  # build
  cmake make g++ binutils gnu-efi libgtest-dev
  # firmware tests and the demo
  qemu-system-x86 ovmf mtools dosfstools python3 python3-pil netpbm imagemagick
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

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
