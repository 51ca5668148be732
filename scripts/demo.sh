#!/usr/bin/env bash
# The demo: boots QEMU + OVMF's UEFI Shell, puts something on the screen,
# runs the command once and copies the capture (and a PNG of it) to out/;
# with --hotkey, loads the hotkey driver beside it and captures the shell and
# the front page; with --forms, walks every settings form with the forms tool.
#   scripts/demo.sh [build/vistrel.efi] [--rtc 2024-01-15T10:30:45] [--gui] [--hotkey | --forms] [--out DIR]
# `make run` passes RTC=..., GUI=1, HOTKEY=1, FORMS=1 and OUT=... through.
set -euo pipefail
EFI=build/vistrel.efi
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  EFI=$1
  shift
fi
exec /usr/bin/python3 "$(dirname "$0")/demo.py" "$EFI" "$@"
