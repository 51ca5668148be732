#!/usr/bin/env bash
# The demo: boots QEMU + OVMF's UEFI Shell, puts something on the screen,
# runs the command once and copies the capture to out/.
set -euo pipefail
EFI=${1:-build/vistrel.efi}
exec /usr/bin/python3 "$(dirname "$0")/demo.py" "$EFI"
